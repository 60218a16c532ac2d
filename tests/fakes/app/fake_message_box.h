#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/error_box.h"

namespace trellon::fakes {

// Records every message box instead of showing it. onShow runs while the box is open. Error boxes
// are dismissed as soon as they are recorded, unless keepErrorBoxesOpen is set; then they stay
// open until DismissErrorBox.
class RecordingMessageBoxes : public MessageBoxPresenter {
 public:
  struct Box {
    bool error;
    std::string caption;
    std::string text;
  };

  void OpenErrorBox(const std::string& caption, const std::string& text,
                    std::function<void()> onClosed) override;
  void ShowMessageBox(const std::string& caption, const std::string& text) override;
  // The user dismisses the open error box.
  void DismissErrorBox();

  std::vector<Box> boxes;
  std::function<void()> onShow;
  bool keepErrorBoxesOpen = false;

 private:
  std::function<void()> onClosed_;
};

}  // namespace trellon::fakes
