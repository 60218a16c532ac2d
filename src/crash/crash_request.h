#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "crash/exception_information.h"
#include "crash/stack_tracer.h"

namespace trellon {

// What a faulting process hands to the crash helper: fixed in size and plain, so that a signal
// handler can fill it without allocating and send it in one write. The helper answers with one
// byte once the report is in the log.
struct CrashRequest {
  static constexpr uint32_t kMagic = 0x54435248;
  static constexpr size_t kMaxFrames = 128;

  uint32_t magic = kMagic;
  int32_t processId = 0;
  int32_t threadId = 0;
  // The main thread faulted; otherwise the report names the thread.
  bool mainThread = true;
  TclProcessorContext context;
  TclExceptionRecord record;
  uint32_t frameCount = 0;
  uint64_t frames[kMaxFrames] = {};
  // The frame's address is the faulting instruction itself, not a return address.
  bool exact[kMaxFrames] = {};
};
static_assert(std::is_trivially_copyable_v<CrashRequest>);

// The crash helper's way into the log.
class CrashReportSink {
 public:
  virtual ~CrashReportSink() = default;
  // Writes a report's lines into the log, all at once.
  virtual void WriteReport(const std::vector<std::string>& lines) = 0;
};

// The report lines of a fault: no exception object, the stack from the recorded frames starting
// at the faulting instruction, named through `symbols` (the crashed process's), and the thread's
// line when another thread than the main thread faulted (`threadName` as the system names it).
std::vector<std::string> CrashReportLines(const CrashRequest& request,
                                          std::unique_ptr<SymbolSource> symbols,
                                          const std::string& threadName);

}  // namespace trellon
