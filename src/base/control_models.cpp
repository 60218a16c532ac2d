#include "base/control_models.h"

#include <algorithm>

#include "base/ini_file.h"

namespace trellon {

void ControlModel::Changed() {
  if (viewUpdate_) viewUpdate_();
  if (onChange_) onChange_();
}

SpinEditModel::SpinEditModel(std::string name, int32_t minValue, int32_t maxValue,
                             int32_t increment, int32_t value)
    : ControlModel(std::move(name)),
      minValue_(minValue),
      maxValue_(maxValue),
      increment_(increment),
      text_(std::to_string(Clamp(value))) {}

int32_t SpinEditModel::Clamp(int32_t value) const {
  if (minValue_ == maxValue_) return value;
  return std::clamp(value, std::min(minValue_, maxValue_), std::max(minValue_, maxValue_));
}

int32_t SpinEditModel::Value() const {
  return ParseInteger(text_).value_or(minValue_);
}

void SpinEditModel::SetValue(int32_t value) {
  SetText(std::to_string(Clamp(value)));
}

void SpinEditModel::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Changed();
}

void SpinEditModel::CommitText() {
  // Text that is not a number reads as the minimum, which is in range: it stays as typed.
  const int32_t value = Value();
  if (Clamp(value) != value) SetValue(value);
}

void SpinEditModel::SetMinValue(int32_t minValue) {
  minValue_ = minValue;
}

void SpinEditModel::SetMaxValue(int32_t maxValue) {
  maxValue_ = maxValue;
}

CheckBoxModel::CheckBoxModel(std::string name, std::string caption, bool checked)
    : ControlModel(std::move(name)), caption_(std::move(caption)), checked_(checked) {}

void CheckBoxModel::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Changed();
}

TextEditModel::TextEditModel(std::string name, std::string text)
    : ControlModel(std::move(name)), text_(std::move(text)) {}

void TextEditModel::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Changed();
}

RadioGroupModel::RadioGroupModel(std::string name, std::string caption,
                                 std::vector<std::string> items, int32_t itemIndex)
    : ControlModel(std::move(name)),
      caption_(std::move(caption)),
      items_(std::move(items)),
      itemIndex_(-1) {
  if (itemIndex >= 0 && itemIndex < static_cast<int32_t>(items_.size())) itemIndex_ = itemIndex;
}

void RadioGroupModel::SetItemIndex(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(items_.size())) index = -1;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  Changed();
}

}  // namespace trellon
