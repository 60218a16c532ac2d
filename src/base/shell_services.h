#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace trellon {

// The application shell's services that every subsystem reports through. The main window
// implements them; tests use the recording fakes.

// The event log: one time-stamped line per call (main thread only).
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void WriteLog(const std::string& message) = 0;
};

// The on-screen overlay message (main thread only).
class OverlaySink {
 public:
  virtual ~OverlaySink() = default;
  virtual void ShowOverlayMessage(const std::string& text, int32_t seconds) = 0;
};

// The application's error handling for an exception that escaped an event handler: a report in
// the log, then one message box at a time (main thread only).
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void HandleException(std::exception_ptr error) = 0;
};

// Runs an event handler; an exception escaping it goes to the application's error handling, as
// the message loop does for every handler.
template <typename Handler>
void RunHandler(ErrorReporter& reporter, Handler&& handler) {
  try {
    handler();
  } catch (...) {
    reporter.HandleException(std::current_exception());
  }
}

// The text of an exception for reports and message boxes.
std::string ExceptionMessage(const std::exception_ptr& error);
// The exception's class name for reports ("EComPort", "IniWriteError", ...).
std::string ExceptionClassName(const std::exception_ptr& error);

}  // namespace trellon
