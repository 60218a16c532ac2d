#include "link/com_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/manual_reset_event.h"
#include "fakes/fake_comm_device.h"
#include "link/com_port.h"
#include "support/wait.h"

namespace trellon {
namespace {

using fakes::FakeCommDevice;
using fakes::ServeUntil;

constexpr uint32_t kLongMs = 5000;

// Takes reported errors and notes whether each came on the main thread.
class CheckingReporter : public ErrorReporter {
 public:
  explicit CheckingReporter(MainThread& mainThread) : mainThread_(mainThread) {}
  void HandleException(std::exception_ptr error) override {
    std::lock_guard lock(mutex_);
    errors_.push_back(ExceptionMessage(error));
    allOnMain_ = allOnMain_ && mainThread_.IsMainThread();
  }
  std::vector<std::string> Errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }
  bool AllOnMain() const {
    std::lock_guard lock(mutex_);
    return allOnMain_;
  }

 private:
  MainThread& mainThread_;
  mutable std::mutex mutex_;
  std::vector<std::string> errors_;
  bool allOnMain_ = true;
};

class ComThreadTest : public ::testing::Test {
 protected:
  ComThreadTest() : reporter(mainThread) {
    auto device = std::make_unique<FakeCommDevice>();
    fake = device.get();
    port = std::make_unique<TComPort>(std::move(device), mainThread, reporter);
  }
  ~ComThreadTest() override { port.reset(); }

  void Log(const std::string& entry) {
    std::lock_guard lock(logMutex);
    log.push_back(entry);
    onMain.push_back(mainThread.IsMainThread());
  }
  std::vector<std::string> Logged() {
    std::lock_guard lock(logMutex);
    return log;
  }
  size_t LogSize() { return Logged().size(); }

  // The controller link's port: received characters read as they come, CTS and DSR changes.
  void OpenAsComm() {
    port->SetEvents({TComEvent::evRxChar, TComEvent::evCTS, TComEvent::evDSR});
    port->OnRxChar = [this](TCustomComPort& sender, int32_t count) {
      Log("rx " + std::to_string(sender.ReadBytes(count).size()));
    };
    port->OnCTSChange = [this](TCustomComPort&, bool on) { Log(on ? "CTS on" : "CTS off"); };
    port->OnDSRChange = [this](TCustomComPort&, bool on) { Log(on ? "DSR on" : "DSR off"); };
    port->Open();
    ClearLog();
    ASSERT_TRUE(fake->AwaitWaitsBlocked(1, kLongMs));
  }

  void ClearLog() {
    std::lock_guard lock(logMutex);
    log.clear();
    onMain.clear();
  }

  // The port's device hands its calls to a fake the test keeps, so that what happened on the
  // device can be looked at after the port is gone.
  std::shared_ptr<FakeCommDevice> KeepDevice() {
    auto kept = std::make_shared<FakeCommDevice>();
    fake = kept.get();
    port = std::make_unique<TComPort>(fakes::ForwardTo(kept), mainThread, reporter);
    return kept;
  }

  bool AwaitPendingHandOver() {
    return test_support::WaitFor([this] { return mainThread.PendingCount() > 0; }, kLongMs);
  }

  MainThread mainThread;
  CheckingReporter reporter;
  FakeCommDevice* fake = nullptr;
  std::unique_ptr<TComPort> port;
  std::mutex logMutex;
  std::vector<std::string> log;
  std::vector<bool> onMain;
};

TEST(ComEventMaskTest, TranslatesBothWays) {
  EXPECT_EQ(EventMask({TComEvent::evRxChar, TComEvent::evCTS, TComEvent::evDSR}), 0x0019u);
  const uint32_t bits[] = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040,
                           0x0008, 0x0010, 0x0080, 0x0020, 0x0400};
  for (unsigned i = 0; i < 10; ++i) {
    const TComEvents one{static_cast<TComEvent>(i)};
    EXPECT_EQ(EventMask(one), bits[i]) << i;
    EXPECT_EQ(EventsFromMask(bits[i]), one) << i;
  }
  EXPECT_EQ(EventMask(kAllComEvents), 0x05FFu);
  EXPECT_EQ(EventsFromMask(0xFFFF), kAllComEvents);
}

TEST_F(ComThreadTest, OneWakeUpReachesTheHandlersInTheFixedOrderOnTheMainThread) {
  port->OnError = [this](TCustomComPort&, TComErrors errors) {
    Log(errors == TComErrors{TComError::ceFrame} ? "Error frame" : "Error other");
  };
  port->OnRxChar = [this](TCustomComPort&, int32_t count) {
    Log("RxChar " + std::to_string(count));
  };
  port->OnTxEmpty = [this](TCustomComPort&) { Log("TxEmpty"); };
  port->OnBreak = [this](TCustomComPort&) { Log("Break"); };
  port->OnRing = [this](TCustomComPort&) { Log("Ring"); };
  port->OnCTSChange = [this](TCustomComPort&, bool on) { Log(on ? "CTS on" : "CTS off"); };
  port->OnDSRChange = [this](TCustomComPort&, bool on) { Log(on ? "DSR on" : "DSR off"); };
  port->OnRxFlag = [this](TCustomComPort&) { Log("RxFlag"); };
  port->OnRLSDChange = [this](TCustomComPort&, bool on) { Log(on ? "RLSD on" : "RLSD off"); };
  port->OnRx80Full = [this](TCustomComPort&) { Log("Rx80Full"); };
  port->Open();
  ClearLog();
  ASSERT_TRUE(fake->AwaitWaitsBlocked(1, kLongMs));

  fake->QueueInput({1, 2});
  fake->SetLineErrors(0x0008);
  fake->SetModemStatus(kMsCtsOn | kMsRlsdOn);
  fake->RaiseEvents(0x05FF);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 10; }, kLongMs));
  EXPECT_EQ(Logged(),
            (std::vector<std::string>{"Error frame", "RxChar 2", "TxEmpty", "Break", "Ring",
                                      "CTS on", "DSR off", "RxFlag", "RLSD on", "Rx80Full"}));
  for (bool main : onMain) EXPECT_TRUE(main);
}

TEST_F(ComThreadTest, ReceivedCharactersComeBeforeCtsAndCtsBeforeDsr) {
  OpenAsComm();
  fake->QueueInput({'M', 'Z', '5'});
  fake->SetModemStatus(kMsDsrOn);
  fake->RaiseEvents(0x0001 | 0x0008 | 0x0010);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 3; }, kLongMs));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"rx 3", "CTS off", "DSR on"}));
}

TEST_F(ComThreadTest, NoRxCharWhenTheQueueIsAlreadyEmpty) {
  OpenAsComm();
  fake->RaiseEvents(0x0001);
  // The wake-up is over once the thread waits again.
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return fake->WaitsBlocked() >= 2; }, kLongMs));
  mainThread.RunPending();
  EXPECT_TRUE(Logged().empty());
}

TEST_F(ComThreadTest, ABufferHandlerGetsTheReceivedBytesInsteadOfRxChar) {
  OpenAsComm();
  auto received = std::make_shared<std::vector<uint8_t>>();
  port->OnRxBuf = [this, received](TCustomComPort&, const uint8_t* buffer, int32_t count) {
    received->assign(buffer, buffer + count);
    Log("buf");
  };
  fake->QueueInput({'M', 'Z', '5'});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 1; }, kLongMs));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"buf"}));
  EXPECT_EQ(*received, (std::vector<uint8_t>{'M', 'Z', '5'}));
  EXPECT_TRUE(fake->Input().empty());
}

TEST_F(ComThreadTest, EventsDuringADeliveryComeTogetherWithTheNextWakeUp) {
  OpenAsComm();
  port->OnRxChar = [this](TCustomComPort& sender, int32_t count) {
    Log("rx " + std::to_string(sender.ReadBytes(count).size()));
    // The volume knob turns while the handler runs.
    fake->RaiseEvents(0x0010);
    fake->RaiseEvents(0x0008);
  };
  fake->QueueInput({7});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 3; }, kLongMs));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"rx 1", "CTS off", "DSR off"}));
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return fake->WaitsBlocked() >= 2; }, kLongMs));
  // Two wake-ups: the second wait found both changes pending and did not block.
  EXPECT_EQ(fake->CountCalls("WaitCommEvent"), 3u);
  EXPECT_EQ(fake->WaitsBlocked(), 2u);
}

TEST_F(ComThreadTest, ClosingCompletesAPendingHandOverAndNothingComesAfter) {
  OpenAsComm();
  port->OnAfterClose = [this](TCustomComPort&) { Log("AfterClose"); };
  fake->QueueInput({1, 2});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(AwaitPendingHandOver());

  port->Close();
  const auto logged = Logged();
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back(), "AfterClose");
  EXPECT_NE(std::find(logged.begin(), logged.end(), "rx 2"), logged.end());
  EXPECT_EQ(mainThread.PendingCount(), 0u);
  EXPECT_EQ(mainThread.RunPending(), 0);
  EXPECT_EQ(Logged(), logged);
}

TEST_F(ComThreadTest, AThrowingHandlerIsReportedOnTheMainThreadAndDeliveryGoesOn) {
  OpenAsComm();
  port->OnRxChar = [this](TCustomComPort& sender, int32_t count) {
    sender.ReadBytes(count);
    Log("rx");
    throw std::runtime_error("handler failed");
  };
  fake->QueueInput({1});
  fake->RaiseEvents(0x0001 | 0x0008);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return reporter.Errors().size() == 1; }, kLongMs));
  // The later event of the same wake-up was still delivered.
  EXPECT_EQ(Logged(), (std::vector<std::string>{"rx", "CTS off"}));

  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return fake->WaitsBlocked() >= 2; }, kLongMs));
  fake->QueueInput({2});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return reporter.Errors().size() == 2; }, kLongMs));
  EXPECT_EQ(reporter.Errors(), (std::vector<std::string>{"handler failed", "handler failed"}));
  EXPECT_TRUE(reporter.AllOnMain());
  EXPECT_TRUE(port->Connected());
}

TEST_F(ComThreadTest, AHandlerThatClosesThePortEndsDeliveryWithoutDeadlock) {
  OpenAsComm();
  port->OnRxChar = [this](TCustomComPort& sender, int32_t) {
    Log("rx");
    sender.Close();
  };
  fake->QueueInput({1});
  fake->RaiseEvents(0x0001 | 0x0008);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return !port->Connected(); }, kLongMs));
  // The close notifications ran inside the handler; the rest of the wake-up was dropped.
  EXPECT_EQ(Logged(), (std::vector<std::string>{"rx", "CTS off", "DSR off"}));
  EXPECT_FALSE(fake->IsOpen());

  // A new opening gets a new thread that delivers again.
  port->Open();
  ASSERT_TRUE(fake->AwaitWaitsBlocked(2, kLongMs));
  ClearLog();
  fake->QueueInput({2});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return !port->Connected(); }, kLongMs));
  EXPECT_EQ(Logged().front(), "rx");
  // The abandoned threads never touched the device after it was closed.
  for (const auto& call : fake->Calls()) {
    EXPECT_FALSE(call.name == "SetCommMask" && call.args.at(0) == 0);
  }
}

TEST_F(ComThreadTest, AWakeUpCutShortByAReopenInItsHandlerIsNotDeliveredToTheNewOpening) {
  OpenAsComm();
  auto reopened = std::make_shared<bool>(false);
  port->OnRxChar = [this, reopened](TCustomComPort& sender, int32_t count) {
    sender.ReadBytes(count);
    Log("rx");
    if (*reopened) return;
    // The link's opening order, run from inside a delivery (a tick in a nested loop).
    *reopened = true;
    sender.Close();
    sender.Open();
  };
  fake->SetModemStatus(kMsCtsOn);
  fake->QueueInput({1});
  fake->RaiseEvents(0x0001 | 0x0008);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return *reopened && fake->WaitsBlocked() >= 2; }, kLongMs));
  mainThread.RunPending();
  // Close and open notify the lines; the old wake-up's CTS change does not follow them.
  EXPECT_EQ(Logged(), (std::vector<std::string>{"rx", "CTS off", "DSR off", "CTS on", "DSR off"}));

  // The new opening delivers.
  fake->QueueInput({2});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 6; }, kLongMs));
  EXPECT_EQ(Logged().back(), "rx");
}

TEST_F(ComThreadTest, CollectingAStoppedThreadRunsNoHandOverOfTheCurrentOne) {
  OpenAsComm();
  // A thread that ended inside its own delivery waits to be collected.
  port->OnRxChar = [](TCustomComPort& sender, int32_t count) {
    sender.ReadBytes(count);
    sender.Close();
    sender.Open();
  };
  fake->QueueInput({1});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return fake->WaitsBlocked() >= 2; }, kLongMs));

  // The current thread's next hand-over is pending when the port goes, and its handler closes
  // the port. It runs inside the close, not while the old thread is collected before.
  ClearLog();
  port->OnRxChar = [this](TCustomComPort& sender, int32_t) {
    Log("rx");
    sender.Close();
  };
  fake->QueueInput({2});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(AwaitPendingHandOver());
  port.reset();
  EXPECT_EQ(Logged(), (std::vector<std::string>{"CTS off", "DSR off", "rx"}));
}

// The device's last calls, each with its first argument: "SetCommMask 0".
std::vector<std::string> LastCalls(const FakeCommDevice& device, size_t count) {
  const auto calls = device.Calls();
  std::vector<std::string> last;
  for (size_t i = calls.size() - std::min(count, calls.size()); i < calls.size(); ++i) {
    const auto& call = calls[i];
    last.push_back(call.args.empty() ? call.name
                                     : call.name + " " + std::to_string(call.args.front()));
  }
  return last;
}

// The thread's own end (mask off, both queues emptied) before the device is closed.
const std::vector<std::string> kThreadEndThenClose = {"SetCommMask 0", "PurgeComm 12", "Close"};

TEST_F(ComThreadTest, APortDestroyedWhileOpenEndsItsThreadBeforeItIsGone) {
  const auto kept = KeepDevice();
  OpenAsComm();
  port->OnAfterClose = [this](TCustomComPort&) { Log("AfterClose"); };
  fake->QueueInput({1, 2});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(AwaitPendingHandOver());  // the thread is blocked in a hand-over

  port.reset();
  // The pending hand-over ran inside the close, while the port was still there.
  EXPECT_EQ(Logged(), (std::vector<std::string>{"CTS off", "DSR off", "rx 2", "AfterClose"}));
  EXPECT_EQ(LastCalls(*kept, 3), kThreadEndThenClose);
  EXPECT_EQ(mainThread.PendingCount(), 0u);
}

TEST_F(ComThreadTest, APortDestroyedWhileItsHandlerRunsOnTheEventThreadWaitsForTheHandler) {
  const auto kept = KeepDevice();
  port->SetSyncMethod(TSyncMethod::smNone);
  port->SetEvents({TComEvent::evCTS});
  ManualResetEvent entered;
  port->OnCTSChange = [&](TCustomComPort&, bool) {
    if (mainThread.IsMainThread()) return;  // the open and close notifications
    entered.Set();
    // Still running when the destruction has begun: the close has aborted the transfers.
    test_support::WaitFor([&] { return kept->CountCalls("PurgeComm") > 0; }, kLongMs);
    Log("handler done");
  };
  port->OnAfterClose = [this](TCustomComPort&) { Log("AfterClose"); };
  port->Open();
  ASSERT_TRUE(kept->AwaitWaitsBlocked(1, kLongMs));
  kept->RaiseEvents(0x0008);
  ASSERT_TRUE(entered.Wait(kLongMs));

  port.reset();
  EXPECT_EQ(Logged(), (std::vector<std::string>{"handler done", "AfterClose"}));
  EXPECT_EQ(LastCalls(*kept, 3), kThreadEndThenClose);
}

TEST_F(ComThreadTest, APortDestroyedInsideItsOwnDeliveryEndsTheProgram) {
  // Its thread waits for the very hand-over that destroys the port and would outlive it.
  EXPECT_DEATH(
      {
        OpenAsComm();
        port->OnRxChar = [this](TCustomComPort&, int32_t) { port.reset(); };
        fake->QueueInput({1});
        fake->RaiseEvents(0x0001);
        ServeUntil(
            mainThread, [] { return false; }, kLongMs);
      },
      "destroyed inside its own event delivery");
}

TEST_F(ComThreadTest, WindowSyncReleasesTheSenderBeforeTheStepRuns) {
  port->SetSyncMethod(TSyncMethod::smWindowSync);
  std::atomic<bool> released{false};
  port->OnRxChar = [&](TCustomComPort& sender, int32_t count) {
    // The event thread is already back in its wait while this handler runs.
    released = fake->AwaitWaitsBlocked(2, kLongMs);
    sender.ReadBytes(count);
    Log("rx");
    throw std::runtime_error("step failed");
  };
  port->OnCTSChange = [this](TCustomComPort&, bool) { Log("CTS"); };
  port->SetEvents({TComEvent::evRxChar, TComEvent::evCTS});
  port->Open();
  ClearLog();
  ASSERT_TRUE(fake->AwaitWaitsBlocked(1, kLongMs));

  fake->QueueInput({1});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 1; }, kLongMs));
  EXPECT_TRUE(released);
  mainThread.RunPending();
  EXPECT_EQ(reporter.Errors(), (std::vector<std::string>{"step failed"}));

  fake->RaiseEvents(0x0008);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 2; }, kLongMs));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"rx", "CTS"}));
  for (bool main : onMain) EXPECT_TRUE(main);
}

TEST_F(ComThreadTest, WindowSyncStepsHandedOverBeforeCloseAreSkipped) {
  port->SetSyncMethod(TSyncMethod::smWindowSync);
  port->SetEvents({TComEvent::evRxChar});
  port->OnRxChar = [this](TCustomComPort&, int32_t) { Log("rx"); };
  port->Open();
  ASSERT_TRUE(fake->AwaitWaitsBlocked(1, kLongMs));
  fake->QueueInput({1});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(AwaitPendingHandOver());

  port->Close();
  mainThread.RunPending();
  EXPECT_TRUE(Logged().empty());
}

TEST_F(ComThreadTest, WithoutSynchronisationHandlersRunOnTheEventThread) {
  port->SetSyncMethod(TSyncMethod::smNone);
  port->SetEvents({TComEvent::evCTS});
  port->Open();
  ASSERT_TRUE(fake->AwaitWaitsBlocked(1, kLongMs));
  port->OnCTSChange = [this](TCustomComPort&, bool) {
    Log("CTS");
    throw std::runtime_error("off the main thread");
  };
  fake->RaiseEvents(0x0008);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return reporter.Errors().size() == 1; }, kLongMs));
  ASSERT_EQ(Logged(), (std::vector<std::string>{"CTS"}));
  EXPECT_FALSE(onMain.at(0));
  EXPECT_TRUE(reporter.AllOnMain());
  port->OnCTSChange = nullptr;  // the close notification would run it on this thread
}

TEST_F(ComThreadTest, AFailedWaitDropsOnlyThatWakeUp) {
  fake->FailCall("WaitCommEvent", winerr::kGenFailure, 1);
  OpenAsComm();
  fake->QueueInput({1});
  fake->RaiseEvents(0x0001);
  ASSERT_TRUE(ServeUntil(
      mainThread, [&] { return LogSize() == 1; }, kLongMs));
  EXPECT_EQ(Logged(), (std::vector<std::string>{"rx 1"}));
}

}  // namespace
}  // namespace trellon
