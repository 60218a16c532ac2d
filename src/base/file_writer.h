#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "base/file_read.h"
#include "base/main_thread.h"
#include "base/shell_services.h"

namespace trellon {

// Writes whole files on a thread of its own, so that the main thread never waits for the disk
// while the program runs. The main thread hands over the newest text of a file; the writer
// replaces the file with it atomically (ReplaceFileContent). Text that is still waiting when
// newer text for the same file comes is dropped: a burst of changes costs one write.
//
// A failed write is reported on the main thread: the write's result handler runs there, through
// the main-thread hand-over or in Flush, whichever comes first, and an exception it throws goes to
// the application's error handling like any handler's. The handler is called with the reason of
// every failed write, and with an empty reason for the first write that succeeds after a failure
// of the same file.
class FileWriter {
 public:
  // Replaces a file's content; returns an empty string on success, else the reason.
  using Replace = std::function<std::string(const std::string& path, const std::string& content)>;
  // Main thread: the result of a write (see above).
  using ResultHandler = std::function<void(const std::string& failure)>;

  // The error handling is used only while reports run, so it may be built after the writer.
  FileWriter(MainThread& mainThread, ErrorReporter& errors, Replace replace = nullptr);
  // Writes what is still waiting, then stops the thread. Reports not yet run are dropped: call
  // Flush before to have them.
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // Main thread: queues content as the file's new content, in place of text still waiting for
  // the same path.
  void Write(const std::string& path, std::string content, ResultHandler onResult = nullptr);

  // Main thread: the file's content as it will be once the queued writes are done: the newest
  // text handed over and not yet written (taken whole), else what ReadFile finds on the disk
  // within the limit.
  FileRead ReadNewest(const std::string& path, std::string& content, size_t maxBytes,
                      ReadPart part = ReadPart::Whole) const;

  // Main thread: waits until every write queued so far is on the disk (or failed), then runs
  // their reports. Writes that the reports queue (a report of the error in the log) are waited
  // for as well.
  void Flush();

 private:
  struct Job {
    std::string path;
    std::string content;
    ResultHandler onResult;
  };
  // The reports on their way to the main thread; shared with the calls posted there, which may
  // run after the writer is gone.
  class Reports {
   public:
    explicit Reports(ErrorReporter& errors) : errors_(errors) {}
    void Add(std::function<void()> report);
    // Runs the oldest report through the error handling; false when there was none.
    bool RunNext();
    // Drops the reports and refuses new ones.
    void Close();

   private:
    ErrorReporter& errors_;
    std::mutex mutex_;
    std::deque<std::function<void()>> reports_;
    bool closed_ = false;
  };

  void Run();
  void Finish(Job& job, const std::string& failure);
  void WaitUntilIdle();

  MainThread& mainThread_;
  Replace replace_;
  std::shared_ptr<Reports> reports_;
  // Worker only: files whose last write failed.
  std::set<std::string> failedPaths_;

  mutable std::mutex mutex_;
  std::condition_variable queued_;  // the writer waits for work here
  std::condition_variable idle_;    // Flush waits here
  std::deque<Job> queue_;
  const Job* inFlight_ = nullptr;  // the writer's current job, until it is done
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

// Stops every file writer of the process for good: what is queued or handed over later is
// dropped. A crash handler calls it (it only sets a flag, which is safe in a signal handler), so
// that no write of the dying program replaces the report that the crash helper puts into the
// log.
void StopFileWrites() noexcept;

}  // namespace trellon
