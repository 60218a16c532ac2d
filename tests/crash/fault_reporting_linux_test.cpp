// Faults of a child process (the test forks, the child faults) reported by the real program as
// crash helper into a log file, and the controller's safe state written on the way.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "base/file_writer.h"
#include "base/main_thread.h"
#include "crash/fault_reporting.h"
#include "support/temporary_directory.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace trellon {
namespace {

using test_support::ReadText;
using test_support::TemporaryDirectory;

const std::vector<uint8_t> kFullSpeed = {0xA3, 0xB1, 0xA4, 0xB1};

// In the child: the handlers, with the program as helper writing into `log`.
void StartReporting(const std::string& log, int controllerPort = -1) {
  static std::unique_ptr<FaultReporting> reporting;
  reporting = StartFaultReporting({{TRELLON_EXECUTABLE, "--crash-helper", log}, kFullSpeed});
  reporting->SetControllerPort(controllerPort);
}

// The faults themselves, past the sanitizers' own checks of null pointers and division, and
// past the optimiser (volatile).
constexpr int kFaultLine = __LINE__ + 3;
__attribute__((noinline, no_sanitize("undefined"))) void WriteThroughNull(int* target) {
  volatile int* volatile through = target;
  *through = 1;
}

__attribute__((noinline, no_sanitize("undefined"))) int Divide(int a, int b) {
  volatile int dividend = a;
  volatile int divisor = b;
  return dividend / divisor;
}

__attribute__((noinline)) void FreeTwice() {
  void* volatile block = std::malloc(2000);  // too large for the per-thread caches
  void* volatile after = std::malloc(16);    // keeps the block from merging into the heap's top
  std::free(block);
  std::free(block);
  std::free(after);
}

// The log's messages (after each line's time stamp).
std::vector<std::string> Messages(const std::string& log) {
  std::vector<std::string> messages;
  const std::string text = ReadText(log);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    const std::string line = text.substr(start, end - start);
    const size_t separator = line.find(": ");
    messages.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return messages;
}

// The report's lines from its header on; empty when there is none.
std::vector<std::string> Report(const std::vector<std::string>& messages) {
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i] == "Exception detected: ") return {messages.begin() + i, messages.end()};
  }
  return {};
}

bool HasFrame(const std::vector<std::string>& report, const std::string& text) {
  for (const std::string& line : report) {
    if (line.rfind("    ", 0) == 0 && line.find(text) != std::string::npos) return true;
  }
  return false;
}

TEST(FaultReportingDeathTest, AFaultOnTheMainThreadIsReportedInTheLogAndEndsTheProgram) {
  TemporaryDirectory directory;
  const std::string log = directory.File("Trellon.log");
  std::string old;
  for (int n = 0; n < 3600; ++n) old += "12/07/26 04:14:33: old " + std::to_string(n) + "\r\n";
  test_support::WriteText(log, old);

  EXPECT_EXIT(
      {
        StartReporting(log);
        WriteThroughNull(nullptr);
      },
      testing::KilledBySignal(SIGSEGV), "");

  const std::vector<std::string> messages = Messages(log);
  EXPECT_EQ(messages.size(), 3600u) << "the log keeps its last 3600 lines";
  const std::vector<std::string> report = Report(messages);
  ASSERT_GE(report.size(), 7u) << ReadText(log);
  EXPECT_EQ(report[1], "  Code : C0000005");
  EXPECT_EQ(report[2], "  Flags: 00000000");
  EXPECT_EQ(report[3].substr(0, 9), "  Addr : ");
  EXPECT_GE(report[3].size(), 9u + 8u);
  EXPECT_EQ(report[4], "  Stack:");
  EXPECT_EQ(report[5],
            "    trellon_crash_tests.(anonymous namespace)::WriteThroughNull @ "
            "fault_reporting_linux_test.cpp." +
                std::to_string(kFaultLine));
  EXPECT_TRUE(HasFrame(report, "AFaultOnTheMainThreadIsReported")) << ReadText(log);
}

// The error handling of a file writer in a child that only writes.
class NoErrors final : public ErrorReporter {
 public:
  void HandleException(std::exception_ptr) override { std::abort(); }
};

// The program's own log on the main thread: the whole file handed to the writer again and
// again, so that the main thread often holds the writer's lock.
[[noreturn]] void KeepWritingTheLog(const std::string& log) {
  MainThread mainThread;
  NoErrors errors;
  FileWriter writer(mainThread, errors);
  for (int line = 0;; ++line) {
    writer.Write(log, "12/07/26 04:14:33: line " + std::to_string(line) + "\r\n");
  }
}

TEST(FaultReportingDeathTest, AFaultOnAnotherThreadWhileTheMainThreadWritesTheLog) {
  TemporaryDirectory directory;
  const std::string log = directory.File("Trellon.log");
  EXPECT_EXIT(
      {
        StartReporting(log);
        std::thread([] {
          pthread_setname_np(pthread_self(), "divider");
          std::exit(Divide(1, 0));
        }).detach();
        KeepWritingTheLog(log);
      },
      testing::KilledBySignal(SIGFPE), "");

  const std::vector<std::string> report = Report(Messages(log));
  ASSERT_GE(report.size(), 7u) << ReadText(log);
  EXPECT_EQ(report[1], "  Code : C0000094");
  EXPECT_EQ(report[4].rfind("  Thread: divider (", 0), 0u) << report[4];
  EXPECT_EQ(report[5], "  Stack:");
  EXPECT_TRUE(HasFrame(report, "(anonymous namespace)::Divide @ fault_reporting_linux_test.cpp."))
      << ReadText(log);
}

// In the sanitizer build the sanitizer's allocator finds the double free and ends the program
// with its own report; told to abort then, it aborts inside its free.
void AbortWhereTheSanitizerEnds() {
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_set_death_callback(&std::abort);
#endif
}

TEST(FaultReportingDeathTest, AnAbortInsideTheAllocatorOnABrokenHeapIsReported) {
  TemporaryDirectory directory;
  const std::string log = directory.File("Trellon.log");
  EXPECT_EXIT(
      {
        StartReporting(log);
        AbortWhereTheSanitizerEnds();
        // After a second thread, the allocator locks its heap: the abort comes with the lock held.
        std::thread([] {}).join();
        FreeTwice();
      },
      testing::KilledBySignal(SIGABRT), "double[ -]free");

  const std::vector<std::string> report = Report(Messages(log));
  ASSERT_GE(report.size(), 6u) << ReadText(log);
  EXPECT_EQ(report[1], "  Code : 40000015");
  EXPECT_TRUE(HasFrame(report, "libc.so.6.abort @ ")) << ReadText(log);
  EXPECT_TRUE(HasFrame(report, "(anonymous namespace)::FreeTwice @ ")) << ReadText(log);
}

TEST(FaultReportingDeathTest, TheControllersFansGoToFullSpeedOnlyWhileItIsAttached) {
  TemporaryDirectory directory;
  for (const bool attached : {true, false}) {
    int port[2];
    ASSERT_EQ(pipe(port), 0);
    EXPECT_EXIT(
        {
          StartReporting(directory.File("Trellon.log"), attached ? port[1] : -1);
          WriteThroughNull(nullptr);
        },
        testing::KilledBySignal(SIGSEGV), "");
    close(port[1]);
    std::vector<uint8_t> received(16);
    const ssize_t count = read(port[0], received.data(), received.size());
    close(port[0]);
    received.resize(count > 0 ? static_cast<size_t>(count) : 0);
    EXPECT_EQ(received, attached ? kFullSpeed : std::vector<uint8_t>()) << attached;
  }
}

}  // namespace
}  // namespace trellon
