// The log page's memory over a long run: 100 000 log lines through the event log into the log
// view (the memo), the file writes left out. Prints the resident memory and the view's lines and
// undo steps every 10 000 lines, and the main thread's time per line. With --before the memo has
// no line maximum and keeps its undo history, as it did before.
//
//   trellon-bench-log-view [--before]
#include <QApplication>
#include <QPlainTextEdit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/control_binding.h"
#include "app/event_log.h"
#include "base/clock.h"
#include "base/file_writer.h"
#include "base/main_thread.h"
#include "base/shell_services.h"

namespace {

constexpr int kLines = 100000;
constexpr int kReportEvery = 10000;
const std::string kMessage = "Comm: Received key 0x1C (ok) from the remote control";

// Resident memory in KiB, from /proc/self/statm.
long ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  long size = 0;
  long resident = 0;
  statm >> size >> resident;
  return resident * 4;
}

class PrintingReporter final : public trellon::ErrorReporter {
 public:
  void HandleException(std::exception_ptr error) override {
    std::fprintf(stderr, "error: %s\n", trellon::ExceptionMessage(error).c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  const bool before = argc > 1 && std::strcmp(argv[1], "--before") == 0;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);

  trellon::SystemClock clock;
  trellon::MainThread mainThread;
  PrintingReporter reporter;
  trellon::FileWriter writer(mainThread, reporter,
                             [](const std::string&, const std::string&) { return std::string(); });
  trellon::EventLog log(clock, writer, "Trellon.log", trellon::LogTimeFormat("C"));
  QPlainTextEdit memo;
  trellon::QtLogView view(memo);
  if (before) {
    memo.setMaximumBlockCount(0);
    memo.setUndoRedoEnabled(true);
  }
  log.SetView(&view);

  std::printf("%d log lines into the log view%s\n", kLines,
              before ? " (no line maximum, undo history kept: as before)" : "");
  std::printf("%8s %14s %12s %12s %22s\n", "lines", "resident KiB", "view lines", "undo steps",
              "main thread per line");
  auto start = std::chrono::steady_clock::now();
  for (int i = 1; i <= kLines; ++i) {
    log.WriteLog(kMessage);
    if (i % kReportEvery != 0) continue;
    const double micros =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count() /
        kReportEvery;
    std::printf("%8d %14ld %12d %12d %19.1f µs\n", i, ResidentKiB(), memo.document()->blockCount(),
                memo.document()->availableUndoSteps(), micros);
    std::fflush(stdout);
    start = std::chrono::steady_clock::now();
  }
  writer.Flush();
  log.SetView(nullptr);
  return 0;
}
