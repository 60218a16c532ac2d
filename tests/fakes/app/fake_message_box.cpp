#include "fakes/app/fake_message_box.h"

#include <utility>

namespace trellon::fakes {

void RecordingMessageBoxes::OpenErrorBox(const std::string& caption, const std::string& text,
                                         std::function<void()> onClosed) {
  boxes.push_back({true, caption, text});
  onClosed_ = std::move(onClosed);
  if (onShow) onShow();
  if (!keepErrorBoxesOpen) DismissErrorBox();
}

void RecordingMessageBoxes::ShowMessageBox(const std::string& caption, const std::string& text) {
  boxes.push_back({false, caption, text});
  if (onShow) onShow();
}

void RecordingMessageBoxes::DismissErrorBox() {
  if (auto onClosed = std::exchange(onClosed_, nullptr)) onClosed();
}

}  // namespace trellon::fakes
