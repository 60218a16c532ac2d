#pragma once

#include <QPointer>
#include <vector>

#include "app/error_box.h"

class QMessageBox;

namespace trellon {

// Message boxes as QMessageBox dialogs on the main thread. Error boxes stay open after the call
// returns; those still open when the presenter goes are closed without their callback.
class QtMessageBoxPresenter final : public MessageBoxPresenter {
 public:
  QtMessageBoxPresenter() = default;
  ~QtMessageBoxPresenter() override;
  QtMessageBoxPresenter(const QtMessageBoxPresenter&) = delete;
  QtMessageBoxPresenter& operator=(const QtMessageBoxPresenter&) = delete;

  void OpenErrorBox(const std::string& caption, const std::string& text,
                    std::function<void()> onClosed) override;
  void ShowMessageBox(const std::string& caption, const std::string& text) override;

 private:
  std::vector<QPointer<QMessageBox>> openBoxes_;
};

}  // namespace trellon
