#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace trellon {

// Hands calls from worker threads to the main thread.
//
// A worker calls Invoke and blocks until the main thread has run the call; an exception thrown
// by the call is carried back and rethrown in the worker. Post queues a call without waiting.
// The main thread runs queued calls in RunPending (the Qt side wires the wake-up to a queued
// event) and, while it waits for a worker to end, in ServeUntil.
class MainThread {
 public:
  // The thread that constructs the object is the main thread.
  MainThread();
  MainThread(const MainThread&) = delete;
  MainThread& operator=(const MainThread&) = delete;

  bool IsMainThread() const { return std::this_thread::get_id() == mainId_; }

  // Called (from the handing thread) after a call was queued, so the main loop can drain it.
  void SetWakeUp(std::function<void()> wakeUp);

  // Worker side: runs call on the main thread and waits for it; rethrows its exception.
  // Called on the main thread itself, it runs the call at once.
  void Invoke(const std::function<void()>& call);
  // Any thread: queues call for the main thread and returns at once.
  void Post(std::function<void()> call);

  // Main thread: runs every call queued so far. Returns how many ran.
  int RunPending();
  // Main thread: runs queued calls as they come until done() is true; done is checked after
  // every call and whenever Notify is called (a worker that ends calls Notify).
  void ServeUntil(const std::function<bool()>& done);
  // Wakes ServeUntil so that it checks its condition again.
  void Notify();

  size_t PendingCount() const;

 private:
  struct Request {
    std::function<void()> call;
    bool finished = false;
    std::exception_ptr error;
    bool waited = false;
  };

  void Enqueue(const std::shared_ptr<Request>& request);
  std::shared_ptr<Request> TakeNext();
  void Run(const std::shared_ptr<Request>& request);

  const std::thread::id mainId_;
  mutable std::mutex mutex_;
  std::condition_variable queued_;    // main thread waits here in ServeUntil
  std::condition_variable finished_;  // workers wait here in Invoke
  std::deque<std::shared_ptr<Request>> queue_;
  std::function<void()> wakeUp_;
  uint64_t notifications_ = 0;
};

}  // namespace trellon
