// A burst of log lines onto a full log, written the old way (the whole file replaced and flushed
// to the disk for every line, on the main thread) and through the file writer thread. Prints the
// main thread's time per line and the lines in the file at the end.
//
//   trellon-bench-log [directory]    (default: a new directory in the system's temp folder)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/event_log.h"
#include "app/log_time_format.h"
#include "base/atomic_file.h"
#include "base/clock.h"
#include "base/file_read.h"
#include "base/file_writer.h"
#include "base/main_thread.h"
#include "base/shell_services.h"

namespace {

using trellon::EventLog;
using SteadyClock = std::chrono::steady_clock;

constexpr int kBurstLines = 1000;
const std::string kMessage = "Comm: Received key 0x1C (ok) from the remote control";

struct Result {
  double microsPerLine = 0;
  size_t linesOnDisk = 0;
};

double MicrosSince(SteadyClock::time_point start) {
  return std::chrono::duration<double, std::micro>(SteadyClock::now() - start).count();
}

void WriteFullLog(const std::string& path) {
  std::string content;
  for (size_t i = 1; i <= EventLog::kMaxLines; ++i) {
    content += "12/06/26 23:00:00: earlier line " + std::to_string(i) + "\r\n";
  }
  if (const std::string failure = trellon::ReplaceFileContent(path, content); !failure.empty()) {
    throw std::runtime_error(failure);
  }
}

size_t LinesOnDisk(const std::string& path) {
  std::string content;
  trellon::ReadFileContent(path, content);
  return trellon::SplitLines(content).size();
}

// As the log did before the writer thread: append, trim, join and replace the file, per line.
Result Before(const std::string& path, trellon::Clock& clock) {
  WriteFullLog(path);
  const trellon::LogTimeFormat format("C");
  std::deque<std::string> lines;
  std::string content;
  trellon::ReadFileContent(path, content);
  for (std::string& line : trellon::SplitLines(content)) lines.push_back(std::move(line));

  const auto start = SteadyClock::now();
  for (int i = 0; i < kBurstLines; ++i) {
    lines.push_back(format.Format(clock.Now()) + ": " + kMessage);
    while (lines.size() > EventLog::kMaxLines) lines.pop_front();
    std::string text;
    for (const std::string& line : lines) {
      text += line;
      text += "\r\n";
    }
    if (const std::string failure = trellon::ReplaceFileContent(path, text); !failure.empty()) {
      throw std::runtime_error(failure);
    }
  }
  return {MicrosSince(start) / kBurstLines, LinesOnDisk(path)};
}

// Reports a failed write of the benchmark's files.
class PrintingReporter final : public trellon::ErrorReporter {
 public:
  void HandleException(std::exception_ptr error) override {
    std::cerr << "error: " << trellon::ExceptionMessage(error) << std::endl;
  }
};

// Through the event log and the writer thread; the flush is the wait at close.
Result After(const std::string& path, trellon::Clock& clock, int& diskWrites, double& flushMillis) {
  WriteFullLog(path);
  trellon::MainThread mainThread;
  PrintingReporter reporter;
  std::atomic<int> writes{0};
  trellon::FileWriter writer(mainThread, reporter,
                             [&writes](const std::string& file, const std::string& content) {
                               ++writes;
                               return trellon::ReplaceFileContent(file, content);
                             });
  EventLog log(clock, writer, path, trellon::LogTimeFormat("C"));
  log.Load();

  const auto start = SteadyClock::now();
  for (int i = 0; i < kBurstLines; ++i) log.WriteLog(kMessage);
  const double burstMicros = MicrosSince(start);
  const auto flushStart = SteadyClock::now();
  writer.Flush();
  flushMillis = MicrosSince(flushStart) / 1000;
  diskWrites = writes;
  return {burstMicros / kBurstLines, LinesOnDisk(path)};
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const bool ownDirectory = argc < 2;
  const fs::path directory =
      ownDirectory ? fs::temp_directory_path() /
                         ("trellon-bench-log-" +
                          std::to_string(SteadyClock::now().time_since_epoch().count()))
                   : fs::path(argv[1]);
  try {
    fs::create_directories(directory);
    const std::string path = (directory / "Trellon.log").string();
    trellon::SystemClock clock;

    const Result before = Before(path, clock);
    int diskWrites = 0;
    double flushMillis = 0;
    const Result after = After(path, clock, diskWrites, flushMillis);

    std::printf("Log burst: %d lines onto a full log of %zu lines, in %s\n", kBurstLines,
                EventLog::kMaxLines, directory.c_str());
    std::printf("%-34s %22s %15s\n", "", "main thread per line", "lines on disk");
    std::printf("%-34s %19.1f µs %15zu\n", "before (file replaced per line)", before.microsPerLine,
                before.linesOnDisk);
    std::printf("%-34s %19.1f µs %15zu\n", "after (file writer thread)", after.microsPerLine,
                after.linesOnDisk);
    std::printf("after: %d disk writes for the burst; the wait at close (flush) took %.1f ms\n",
                diskWrites, flushMillis);
  } catch (const std::exception& error) {
    std::cerr << "trellon-bench-log: " << error.what() << std::endl;
    return 1;
  }
  if (ownDirectory) fs::remove_all(directory);
  return 0;
}
