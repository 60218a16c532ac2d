#include "app/error_box.h"

namespace trellon {

ErrorBox::ErrorBox(LogSink& log, MessageBoxPresenter& presenter, std::string caption)
    : log_(log), presenter_(presenter), caption_(std::move(caption)) {}

void ErrorBox::HandleException(std::exception_ptr error) {
  if (!error) return;
  const std::string className = ExceptionClassName(error);
  const std::string message = ExceptionMessage(error);
  log_.WriteLog("Exception " + className + ": " + message);
  if (boxOpen_) return;

  // Reset the flag however the box ends, so that the next error is shown again.
  struct Open {
    bool& flag;
    explicit Open(bool& f) : flag(f) { flag = true; }
    ~Open() { flag = false; }
  } open(boxOpen_);
  presenter_.ShowErrorBox(caption_, message.empty() ? className : message);
}

}  // namespace trellon
