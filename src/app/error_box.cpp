#include "app/error_box.h"

namespace trellon {

ErrorBox::ErrorBox(LogSink& log, MessageBoxPresenter& presenter, std::string caption)
    : log_(log), presenter_(presenter), caption_(std::move(caption)) {}

void ErrorBox::HandleException(std::exception_ptr error) {
  if (!error) return;
  const std::string className = ExceptionClassName(error);
  const std::string message = ExceptionMessage(error);
  log_.WriteLog("Exception " + className + ": " + message);
  if (*boxOpen_) return;

  *boxOpen_ = true;
  presenter_.OpenErrorBox(caption_, message.empty() ? className : message,
                          [open = std::weak_ptr<bool>(boxOpen_)] {
                            if (const auto flag = open.lock()) *flag = false;
                          });
}

}  // namespace trellon
