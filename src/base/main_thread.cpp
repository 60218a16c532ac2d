#include "base/main_thread.h"

#include <chrono>

namespace trellon {

MainThread::MainThread() : mainId_(std::this_thread::get_id()) {}

void MainThread::SetWakeUp(std::function<void()> wakeUp) {
  std::lock_guard lock(mutex_);
  wakeUp_ = std::move(wakeUp);
}

void MainThread::Invoke(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  auto request = std::make_shared<Request>();
  request->call = call;
  request->waited = true;
  Enqueue(request);
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [&] { return request->finished; });
  if (request->error) std::rethrow_exception(request->error);
}

void MainThread::Post(std::function<void()> call) {
  auto request = std::make_shared<Request>();
  request->call = std::move(call);
  Enqueue(request);
}

void MainThread::Enqueue(const std::shared_ptr<Request>& request) {
  std::function<void()> wakeUp;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(request);
    wakeUp = wakeUp_;
  }
  queued_.notify_all();
  if (wakeUp) wakeUp();
}

std::shared_ptr<MainThread::Request> MainThread::TakeNext() {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return nullptr;
  auto request = queue_.front();
  queue_.pop_front();
  return request;
}

void MainThread::Run(const std::shared_ptr<Request>& request) {
  std::exception_ptr error;
  try {
    request->call();
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard lock(mutex_);
    request->finished = true;
    request->error = error;
  }
  finished_.notify_all();
  // A posted call has nobody to carry its exception to: it escapes into the main loop's
  // error handling like any other handler's.
  if (error && !request->waited) std::rethrow_exception(error);
}

int MainThread::RunPending() {
  int count = 0;
  while (auto request = TakeNext()) {
    ++count;
    Run(request);
  }
  return count;
}

void MainThread::ServeUntil(const std::function<bool()>& done) {
  for (;;) {
    RunPending();
    if (done()) return;
    std::unique_lock lock(mutex_);
    const uint64_t seen = notifications_;
    // The time-out only guards against a done() that turns true without a Notify.
    queued_.wait_for(lock, std::chrono::milliseconds(20),
                     [&] { return !queue_.empty() || notifications_ != seen; });
  }
}

void MainThread::Notify() {
  {
    std::lock_guard lock(mutex_);
    ++notifications_;
  }
  queued_.notify_all();
}

size_t MainThread::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace trellon
