#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/main_thread.h"
#include "link/comm_device.h"

namespace trellon::fakes {

// A serial device in memory. Records every call with its arguments in order (from any thread),
// and lets a test set the modem lines, queue received bytes, raise comm events and make any
// call fail.
class FakeCommDevice : public CommDevice {
 public:
  struct Call {
    std::string name;
    std::vector<int64_t> args;
    std::string text;  // the port name of Open
  };

  FakeCommDevice() = default;
  FakeCommDevice(const FakeCommDevice&) = delete;
  FakeCommDevice& operator=(const FakeCommDevice&) = delete;

  // --- CommDevice
  uint32_t Open(const std::string& portName) override;
  void Close() override;
  bool IsOpen() const override;
  // kHandle while open.
  intptr_t NativeHandle() const override { return IsOpen() ? kHandle : -1; }
  static constexpr intptr_t kHandle = 77;
  uint32_t SetupComm(uint32_t inQueue, uint32_t outQueue) override;
  uint32_t SetCommState(const CommDcb& dcb) override;
  uint32_t SetCommTimeouts(const CommTimeouts& timeouts) override;
  uint32_t GetCommModemStatus(uint32_t& status) override;
  uint32_t EscapeCommFunction(uint32_t function) override;
  uint32_t ClearCommError(uint32_t& errors, CommStatus& status) override;
  uint32_t PurgeComm(uint32_t flags) override;
  uint32_t WriteFile(const uint8_t* data, uint32_t length, uint32_t& written) override;
  uint32_t ReadFile(uint8_t* data, uint32_t length, uint32_t& read) override;
  uint32_t SetCommMask(uint32_t mask) override;
  std::unique_ptr<CommWaitStop> CreateWaitStop() override;
  uint32_t WaitCommEvent(CommWaitStop& stop, uint32_t& events) override;

  // --- Test controls (any thread)
  // MS_* bits that GetCommModemStatus reports.
  void SetModemStatus(uint32_t status);
  void QueueInput(const std::vector<uint8_t>& bytes);
  // CE_* bits that the next ClearCommError reports.
  void SetLineErrors(uint32_t errors);
  // Events for the waiting thread; those raised before it waits come together with the next
  // wait, as a driver collects them. Only events in the mask are kept.
  void RaiseEvents(uint32_t events);
  // The call fails with error, for the next `times` calls (-1: until cleared).
  void FailCall(const std::string& name, uint32_t error, int times = -1);
  void ClearFailures();
  // How many bytes a write takes at most (a write time-out for the rest).
  void SetWriteLimit(uint32_t limit);

  // --- What happened
  std::vector<Call> Calls() const;
  std::vector<std::string> CallNames() const;
  size_t CountCalls(const std::string& name) const;
  void ClearCalls();
  std::vector<uint8_t> Written() const;
  std::vector<uint8_t> Input() const;
  CommDcb LastDcb() const;
  CommTimeouts LastTimeouts() const;
  uint32_t Mask() const;
  // How many WaitCommEvent calls have begun to wait (blocked, nothing pending).
  size_t WaitsBlocked() const;
  // Blocks until at least count waits have blocked or timeoutMs passed; true when they did.
  bool AwaitWaitsBlocked(size_t count, uint32_t timeoutMs) const;

 private:
  class Stop;
  friend class Stop;

  // Records the call and returns its failure, if one is set (mutex_ held).
  uint32_t Enter(const std::string& name, std::vector<int64_t> args, std::string text = {});

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Call> calls_;
  struct Failure {
    uint32_t error;
    int times;
  };
  std::map<std::string, Failure> failures_;
  bool open_ = false;
  uint32_t modemStatus_ = 0;
  uint32_t lineErrors_ = 0;
  std::deque<uint8_t> input_;
  std::vector<uint8_t> written_;
  uint32_t writeLimit_ = UINT32_MAX;
  CommDcb dcb_;
  CommTimeouts timeouts_;
  uint32_t mask_ = 0;
  uint64_t maskGeneration_ = 0;
  uint32_t pending_ = 0;
  size_t waitsBlocked_ = 0;
};

// A device that hands every call to `fake`, which the test keeps: what happened on the device
// can still be looked at once the port that owned this one is gone.
std::unique_ptr<CommDevice> ForwardTo(std::shared_ptr<FakeCommDevice> fake);

// Runs the main thread's hand-overs until done() or timeoutMs passed; returns done().
bool ServeUntil(MainThread& mainThread, const std::function<bool()>& done, uint32_t timeoutMs);

}  // namespace trellon::fakes
