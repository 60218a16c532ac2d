#pragma once

#include <exception>
#include <string>

#include "base/shell_services.h"

namespace trellon {

// Modal message boxes. Each call returns once the user dismissed the box.
class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  // An error: error icon, one OK button, centred on the screen.
  virtual void ShowErrorBox(const std::string& caption, const std::string& text) = 0;
  // A plain note: no icon, one OK button, centred on the screen.
  virtual void ShowMessageBox(const std::string& caption, const std::string& text) = 0;
};

// The application's error handling for exceptions that escape an event handler: a report line
// in the log ("Exception EComPort: <message>"), then the message in a box captioned with the
// application title. One box at a time: errors raised while it is open (its modal loop keeps
// timers and handlers running) are only logged. Main thread only.
class ErrorBox final : public ErrorReporter {
 public:
  ErrorBox(LogSink& log, MessageBoxPresenter& presenter, std::string caption);

  void HandleException(std::exception_ptr error) override;

  bool BoxOpen() const { return boxOpen_; }

 private:
  LogSink& log_;
  MessageBoxPresenter& presenter_;
  std::string caption_;
  bool boxOpen_ = false;
};

}  // namespace trellon
