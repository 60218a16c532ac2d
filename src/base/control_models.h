#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trellon {

// Models of the settings controls. Each holds what its control shows and fires the control's
// change (or click) handler when that changes, whether the user or the program changed it. The
// logic reads settings from these models at the moment of use; the window binds a widget to each
// model (the widget writes user input into the model, the model's view callback updates the
// widget when the program changes it).
class ControlModel {
 public:
  explicit ControlModel(std::string name) : name_(std::move(name)) {}
  virtual ~ControlModel() = default;
  ControlModel(const ControlModel&) = delete;
  ControlModel& operator=(const ControlModel&) = delete;

  const std::string& Name() const { return name_; }
  // The control's event handler (OnChange, or OnClick for check boxes and radio groups).
  void SetOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }
  // Called whenever the shown state changes, for the widget bound to the model.
  void SetViewUpdate(std::function<void()> update) { viewUpdate_ = std::move(update); }

 protected:
  void Changed();

 private:
  std::string name_;
  std::function<void()> onChange_;
  std::function<void()> viewUpdate_;
};

// A numeric edit with up/down buttons. Reading gives its text as an integer, or the minimum when
// the text is not a whole number; a value set by the program, and the typed text when the control
// loses the focus, are clamped to the range unless minimum and maximum are equal.
class SpinEditModel final : public ControlModel {
 public:
  SpinEditModel(std::string name, int32_t minValue, int32_t maxValue, int32_t increment = 1,
                int32_t value = 0);

  int32_t Value() const;
  void SetValue(int32_t value);
  const std::string& Text() const { return text_; }
  // Typed text: taken as it is, not clamped.
  void SetText(std::string text);
  // The control lost the focus: the typed value is clamped into the range.
  void CommitText();

  int32_t MinValue() const { return minValue_; }
  int32_t MaxValue() const { return maxValue_; }
  void SetMinValue(int32_t minValue);
  void SetMaxValue(int32_t maxValue);
  int32_t Increment() const { return increment_; }

 private:
  int32_t Clamp(int32_t value) const;

  int32_t minValue_;
  int32_t maxValue_;
  int32_t increment_;
  std::string text_;
};

class CheckBoxModel final : public ControlModel {
 public:
  CheckBoxModel(std::string name, std::string caption, bool checked = false);

  bool Checked() const { return checked_; }
  // Fires the click handler when the state changes.
  void SetChecked(bool checked);
  const std::string& Caption() const { return caption_; }

 private:
  std::string caption_;
  bool checked_;
};

class TextEditModel final : public ControlModel {
 public:
  explicit TextEditModel(std::string name, std::string text = {});

  const std::string& Text() const { return text_; }
  void SetText(std::string text);

 private:
  std::string text_;
};

class RadioGroupModel final : public ControlModel {
 public:
  RadioGroupModel(std::string name, std::string caption, std::vector<std::string> items,
                  int32_t itemIndex = -1);

  int32_t ItemIndex() const { return itemIndex_; }
  // Out-of-range indexes select nothing (-1). Fires the click handler when the index changes.
  void SetItemIndex(int32_t index);
  const std::vector<std::string>& Items() const { return items_; }
  const std::string& Caption() const { return caption_; }

 private:
  std::string caption_;
  std::vector<std::string> items_;
  int32_t itemIndex_;
};

}  // namespace trellon
