#include "base/main_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "base/manual_reset_event.h"

namespace trellon {
namespace {

TEST(MainThreadTest, WorkerCallRunsOnTheMainThreadAndWaits) {
  MainThread mainThread;
  std::atomic<bool> ranOnMain{false};
  std::atomic<bool> workerReturned{false};
  std::thread worker([&] {
    mainThread.Invoke([&] { ranOnMain = mainThread.IsMainThread(); });
    workerReturned = true;
  });
  mainThread.ServeUntil([&] { return workerReturned.load(); });
  worker.join();
  EXPECT_TRUE(ranOnMain);
}

TEST(MainThreadTest, ExceptionIsCarriedBackToTheWorker) {
  MainThread mainThread;
  std::string caught;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      mainThread.Invoke([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& error) {
      caught = error.what();
    }
    done = true;
    mainThread.Notify();
  });
  mainThread.ServeUntil([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(caught, "handler failed");
}

TEST(MainThreadTest, WakeUpIsCalledForEveryHandOverAndInvokeOnMainRunsAtOnce) {
  MainThread mainThread;
  std::atomic<int> wakeUps{0};
  mainThread.SetWakeUp([&] { ++wakeUps; });
  int ran = 0;
  mainThread.Invoke([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(wakeUps, 0);

  std::thread poster([&] {
    mainThread.Post([&] { ++ran; });
    mainThread.Post([&] { ++ran; });
  });
  poster.join();
  EXPECT_EQ(wakeUps, 2);
  EXPECT_EQ(mainThread.PendingCount(), 2u);
  EXPECT_EQ(mainThread.RunPending(), 2);
  EXPECT_EQ(ran, 3);
}

TEST(MainThreadTest, ServeUntilKeepsServingAWorkerThatHandsOverRepeatedly) {
  MainThread mainThread;
  ManualResetEvent stop;
  std::atomic<bool> ended{false};
  int delivered = 0;
  std::thread worker([&] {
    while (!stop.IsSet()) mainThread.Invoke([&] { ++delivered; });
    ended = true;
    mainThread.Notify();
  });
  // The main thread waits for the worker's end while serving its hand-overs: without that the
  // worker would block in Invoke for ever.
  mainThread.ServeUntil([&] {
    if (delivered >= 5) stop.Set();
    return ended.load();
  });
  worker.join();
  EXPECT_GE(delivered, 5);
}

TEST(ManualResetEventTest, StaysSetUntilReset) {
  ManualResetEvent event;
  EXPECT_FALSE(event.Wait(1));
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(0));
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.Wait(5000));
  setter.join();
}

}  // namespace
}  // namespace trellon
