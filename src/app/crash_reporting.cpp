#include "app/crash_reporting.h"

#include <cstring>
#include <iostream>

#include "app/event_log.h"
#include "app/log_time_format.h"
#include "base/clock.h"
#include "base/file_writer.h"
#include "base/main_thread.h"
#include "protocol/controller_protocol.h"

namespace trellon {
namespace {

// The helper has no window: a failure of the log's writer can only go to standard error.
class StandardErrorReporter final : public ErrorReporter {
 public:
  void HandleException(std::exception_ptr error) override {
    std::cerr << "Trellon crash helper: " << ExceptionMessage(error) << std::endl;
  }
};

}  // namespace

void CrashLogSink::WriteReport(const std::vector<std::string>& lines) {
  SystemClock clock;
  MainThread mainThread;
  StandardErrorReporter errors;
  FileWriter writer(mainThread, errors);
  EventLog log(clock, writer, logPath_, LogTimeFormat(""), &std::cerr);
  log.Load();
  log.WriteLogLines(lines);
  writer.Flush();
}

std::optional<int> RunCrashHelperIfAsked(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], kCrashHelperArgument) != 0) return std::nullopt;
  if (argc < 3) {
    std::cerr << "Trellon: " << kCrashHelperArgument << " needs the log file" << std::endl;
    return 2;
  }
  CrashLogSink sink(argv[2]);
  return RunCrashHelper(FaultReporting::kHelperChannel, sink);
}

std::unique_ptr<FaultReporting> StartCrashReporting(const std::string& logPath) {
  FaultReporting::Options options;
  options.helperCommand = {OwnExecutablePath(), kCrashHelperArgument, logPath};
  for (const int fan : {0, 1}) {
    const vx710::Frame fullSpeed = vx710::FanFrame(fan, vx710::kFanMax);
    options.safeStateBytes.insert(options.safeStateBytes.end(), fullSpeed.begin(), fullSpeed.end());
  }
  try {
    return StartFaultReporting(options);
  } catch (const std::exception& error) {
    std::cerr << "Trellon: crashes will not be reported: " << error.what() << std::endl;
    return nullptr;
  }
}

}  // namespace trellon
