#include "fakes/app/fake_message_box.h"

namespace trellon::fakes {

void RecordingMessageBoxes::ShowErrorBox(const std::string& caption, const std::string& text) {
  boxes.push_back({true, caption, text});
  if (onShow) onShow();
}

void RecordingMessageBoxes::ShowMessageBox(const std::string& caption, const std::string& text) {
  boxes.push_back({false, caption, text});
  if (onShow) onShow();
}

}  // namespace trellon::fakes
