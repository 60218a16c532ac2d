#pragma once

#include "app/error_box.h"

namespace trellon {

// Message boxes as QMessageBox dialogs, run modally on the main thread.
class QtMessageBoxPresenter final : public MessageBoxPresenter {
 public:
  void ShowErrorBox(const std::string& caption, const std::string& text) override;
  void ShowMessageBox(const std::string& caption, const std::string& text) override;
};

}  // namespace trellon
