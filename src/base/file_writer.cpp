#include "base/file_writer.h"

#include <algorithm>
#include <atomic>

#include "base/atomic_file.h"

namespace trellon {
namespace {

std::atomic<bool> writesStopped{false};

}  // namespace

void StopFileWrites() noexcept {
  writesStopped.store(true);
}

void FileWriter::Reports::Add(std::function<void()> report) {
  std::lock_guard lock(mutex_);
  if (!closed_) reports_.push_back(std::move(report));
}

bool FileWriter::Reports::RunNext() {
  std::function<void()> report;
  {
    std::lock_guard lock(mutex_);
    if (reports_.empty()) return false;
    report = std::move(reports_.front());
    reports_.pop_front();
  }
  RunHandler(errors_, report);
  return true;
}

void FileWriter::Reports::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  reports_.clear();
}

FileWriter::FileWriter(MainThread& mainThread, ErrorReporter& errors, Replace replace)
    : mainThread_(mainThread),
      replace_(replace ? std::move(replace) : Replace(ReplaceFileContent)),
      reports_(std::make_shared<Reports>(errors)),
      thread_([this] { Run(); }) {}

FileWriter::~FileWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  thread_.join();
  // The handlers may refer to objects that are gone once the writer is.
  reports_->Close();
}

void FileWriter::Write(const std::string& path, std::string content, ResultHandler onResult) {
  {
    std::lock_guard lock(mutex_);
    const auto waiting = std::find_if(queue_.begin(), queue_.end(),
                                      [&](const Job& job) { return job.path == path; });
    if (waiting != queue_.end()) {
      waiting->content = std::move(content);
      waiting->onResult = std::move(onResult);
      return;
    }
    queue_.push_back(Job{path, std::move(content), std::move(onResult)});
  }
  queued_.notify_one();
}

FileRead FileWriter::ReadNewest(const std::string& path, std::string& content, size_t maxBytes,
                                ReadPart part) const {
  {
    std::lock_guard lock(mutex_);
    // The queue holds at most one job per path, and it is newer than the one in flight.
    for (const Job& job : queue_) {
      if (job.path == path) {
        content = job.content;
        return {};
      }
    }
    if (inFlight_ && inFlight_->path == path) {
      content = inFlight_->content;
      return {};
    }
  }
  // Nothing is on its way: only this thread queues, so the file stays as it is read.
  return ReadFile(path, content, maxBytes, part);
}

void FileWriter::Flush() {
  do {
    WaitUntilIdle();
  } while (reports_->RunNext());
}

void FileWriter::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] { return queue_.empty() && !inFlight_; });
}

void FileWriter::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    // What is queued is written before the thread ends.
    if (queue_.empty()) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    inFlight_ = &job;
    lock.unlock();
    const std::string failure =
        writesStopped.load() ? std::string() : replace_(job.path, job.content);
    Finish(job, failure);
    lock.lock();
    inFlight_ = nullptr;
    if (queue_.empty()) idle_.notify_all();
  }
}

void FileWriter::Finish(Job& job, const std::string& failure) {
  const bool failed = !failure.empty();
  const bool recovered = !failed && failedPaths_.erase(job.path) > 0;
  if (failed) failedPaths_.insert(job.path);
  if (!(failed || recovered) || !job.onResult) return;
  // Queued before the job counts as done, so a Flush that waited for it finds its report.
  reports_->Add([onResult = std::move(job.onResult), failure] { onResult(failure); });
  mainThread_.Post([reports = reports_] { reports->RunNext(); });
}

}  // namespace trellon
