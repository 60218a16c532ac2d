#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "base/shell_services.h"

namespace trellon {

// Message boxes, centred on the screen, each with one OK button.
class MessageBoxPresenter {
 public:
  virtual ~MessageBoxPresenter() = default;
  // An error box with the error icon, modal to the application. Returns at once: the box runs
  // no event loop of its own, so no timer, socket or port event waits for the user. onClosed
  // runs on the main thread once the user dismissed the box.
  virtual void OpenErrorBox(const std::string& caption, const std::string& text,
                            std::function<void()> onClosed) = 0;
  // A plain note without icon; returns once the user dismissed it (shutdown only, when the
  // timers have stopped).
  virtual void ShowMessageBox(const std::string& caption, const std::string& text) = 0;
};

// The application's error handling for exceptions that escape an event handler: a report line
// in the log ("Exception EComPort: <message>"), then the message in a box captioned with the
// application title. One box at a time: errors raised while it is open (timers and handlers
// keep running) are only logged. Main thread only.
class ErrorBox final : public ErrorReporter {
 public:
  ErrorBox(LogSink& log, MessageBoxPresenter& presenter, std::string caption);

  void HandleException(std::exception_ptr error) override;

  bool BoxOpen() const { return *boxOpen_; }

 private:
  LogSink& log_;
  MessageBoxPresenter& presenter_;
  std::string caption_;
  // Shared with the open box's close callback, which may come after this object is gone.
  std::shared_ptr<bool> boxOpen_ = std::make_shared<bool>(false);
};

}  // namespace trellon
