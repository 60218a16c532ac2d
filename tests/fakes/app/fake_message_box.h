#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/error_box.h"

namespace trellon::fakes {

// Records every message box instead of showing it. onShow runs while the "box is open", so a
// test can raise more errors during that time.
class RecordingMessageBoxes : public MessageBoxPresenter {
 public:
  struct Box {
    bool error;
    std::string caption;
    std::string text;
  };

  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void ShowMessageBox(const std::string& caption, const std::string& text) override;

  std::vector<Box> boxes;
  std::function<void()> onShow;
};

}  // namespace trellon::fakes
