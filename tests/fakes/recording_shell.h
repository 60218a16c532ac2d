#pragma once

#include <string>
#include <vector>

#include "base/shell_services.h"

namespace trellon::fakes {

// Records log lines, overlay messages and reported errors in order.
class RecordingShell : public LogSink, public OverlaySink, public ErrorReporter {
 public:
  struct Overlay {
    std::string text;
    int32_t seconds;
  };

  void WriteLog(const std::string& message) override { logLines.push_back(message); }
  void ShowOverlayMessage(const std::string& text, int32_t seconds) override {
    overlays.push_back({text, seconds});
  }
  void HandleException(std::exception_ptr error) override {
    errors.push_back(ExceptionMessage(error));
    errorClasses.push_back(ExceptionClassName(error));
  }

  std::vector<std::string> logLines;
  std::vector<Overlay> overlays;
  std::vector<std::string> errors;
  std::vector<std::string> errorClasses;  // "IniWriteError", ... for each of errors
};

}  // namespace trellon::fakes
