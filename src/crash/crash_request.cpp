#include "crash/crash_request.h"

#include <algorithm>

#include "crash/exception_report.h"

namespace trellon {

std::vector<std::string> CrashReportLines(const CrashRequest& request,
                                          std::unique_ptr<SymbolSource> symbols,
                                          const std::string& threadName) {
  const TclExceptionInformation information{request.context, request.record, true};
  TclStackFrames recorded;
  const size_t count = std::min<size_t>(request.frameCount, CrashRequest::kMaxFrames);
  for (size_t i = 0; i < count; ++i) {
    TclStackFrame frame;
    frame.Address = request.frames[i];
    frame.ReturnAddress = !request.exact[i];
    recorded.push_back(frame);
  }
  RecordedStackTracer tracer(std::move(recorded), std::move(symbols));
  ExceptionReportInput input;
  input.information = &information;
  input.frames = &tracer.GetStackFrames(information);
  if (!request.mainThread) {
    input.threadLine = threadName.empty()
                           ? std::to_string(request.threadId)
                           : threadName + " (" + std::to_string(request.threadId) + ")";
  }
  return FormatExceptionReport(input);
}

}  // namespace trellon
