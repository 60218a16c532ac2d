#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crash/crash_request.h"
#include "crash/fault_reporting.h"

namespace trellon {

// The program's crash helper mode: "<program> --crash-helper <log file>", started by the program
// itself before anything else (StartCrashReporting).
constexpr const char* kCrashHelperArgument = "--crash-helper";

// Writes a crash report into the log file as the program's log does (time-stamped lines, the
// last 3600 kept, the file replaced atomically), all lines in one write, and echoes them to
// standard error. The file is read afresh for every report: the crashed program wrote it last.
class CrashLogSink final : public CrashReportSink {
 public:
  explicit CrashLogSink(std::string logPath) : logPath_(std::move(logPath)) {}
  void WriteReport(const std::vector<std::string>& lines) override;

 private:
  std::string logPath_;
};

// When the command line asks for the crash helper: runs it until the program that started it
// has ended, and returns its exit code. Otherwise nothing.
std::optional<int> RunCrashHelperIfAsked(int argc, char** argv);

// Starts fault reporting with this program as the crash helper, writing into logPath, and the
// controller's fans to full speed as the safe state. Null when the helper cannot be started; the
// reason goes to standard error.
std::unique_ptr<FaultReporting> StartCrashReporting(const std::string& logPath);

}  // namespace trellon
