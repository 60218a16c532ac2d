// The crash helper's loop: one request per fault of the process it was started by; the process
// has gone when the channel ends.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>

#include "crash/crash_request.h"
#include "crash/fault_reporting.h"

namespace trellon {
namespace {

bool ReadAll(int descriptor, void* data, size_t length) {
  auto* bytes = static_cast<uint8_t*>(data);
  while (length > 0) {
    const ssize_t got = read(descriptor, bytes, length);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    length -= static_cast<size_t>(got);
  }
  return true;
}

// The system's name of a thread ("QXcbEventQueue"); empty when it cannot be read.
std::string ThreadName(int32_t processId, int32_t threadId) {
  const std::string path =
      "/proc/" + std::to_string(processId) + "/task/" + std::to_string(threadId) + "/comm";
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return {};
  char name[64] = {};
  const bool read = std::fgets(name, sizeof name, file) != nullptr;
  std::fclose(file);
  if (!read) return {};
  std::string text = name;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

void Report(const CrashRequest& request, CrashReportSink& sink) {
  try {
    sink.WriteReport(CrashReportLines(
        request, CreateSymbolSource(request.processId),
        request.mainThread ? std::string() : ThreadName(request.processId, request.threadId)));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "Trellon crash helper: the report failed: %s\n", error.what());
  }
}

}  // namespace

int RunCrashHelper(int channel, CrashReportSink& sink) {
  // The helper ends with the program, not with signals meant for it or its terminal.
  for (const int signal : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE}) std::signal(signal, SIG_IGN);
  CrashRequest request;
  while (ReadAll(channel, &request, sizeof request)) {
    if (request.magic != CrashRequest::kMagic) {
      std::fputs("Trellon crash helper: a request it does not understand\n", stderr);
      return 1;
    }
    Report(request, sink);
    const uint8_t done = 1;
    while (write(channel, &done, 1) < 0 && errno == EINTR) {
    }
  }
  return 0;
}

}  // namespace trellon
