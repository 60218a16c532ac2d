#include "fakes/fake_comm_device.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "support/wait.h"

namespace trellon::fakes {

class FakeCommDevice::Stop final : public CommWaitStop {
 public:
  explicit Stop(FakeCommDevice& device) : device_(device) {}
  void Set() override {
    {
      std::lock_guard lock(device_.mutex_);
      set_ = true;
    }
    device_.changed_.notify_all();
  }
  bool IsSet() const override {
    std::lock_guard lock(device_.mutex_);
    return set_;
  }
  // With the device's mutex held.
  bool IsSetLocked() const { return set_; }

 private:
  FakeCommDevice& device_;
  bool set_ = false;
};

uint32_t FakeCommDevice::Enter(const std::string& name, std::vector<int64_t> args,
                               std::string text) {
  calls_.push_back({name, std::move(args), std::move(text)});
  const auto failure = failures_.find(name);
  if (failure == failures_.end()) return winerr::kSuccess;
  const uint32_t error = failure->second.error;
  if (failure->second.times > 0 && --failure->second.times == 0) failures_.erase(failure);
  return error;
}

uint32_t FakeCommDevice::Open(const std::string& portName) {
  std::lock_guard lock(mutex_);
  if (const uint32_t error = Enter("Open", {}, portName)) return error;
  if (open_) return winerr::kAccessDenied;
  open_ = true;
  mask_ = 0;
  pending_ = 0;
  return winerr::kSuccess;
}

void FakeCommDevice::Close() {
  std::lock_guard lock(mutex_);
  Enter("Close", {});
  open_ = false;
}

bool FakeCommDevice::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

uint32_t FakeCommDevice::SetupComm(uint32_t inQueue, uint32_t outQueue) {
  std::lock_guard lock(mutex_);
  if (const uint32_t error = Enter("SetupComm", {inQueue, outQueue})) return error;
  return open_ ? winerr::kSuccess : winerr::kInvalidHandle;
}

uint32_t FakeCommDevice::SetCommState(const CommDcb& dcb) {
  std::lock_guard lock(mutex_);
  if (const uint32_t error = Enter("SetCommState", {dcb.BaudRate, dcb.Flags})) return error;
  if (!open_) return winerr::kInvalidHandle;
  dcb_ = dcb;
  return winerr::kSuccess;
}

uint32_t FakeCommDevice::SetCommTimeouts(const CommTimeouts& timeouts) {
  std::lock_guard lock(mutex_);
  if (const uint32_t error =
          Enter("SetCommTimeouts",
                {timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                 timeouts.ReadTotalTimeoutConstant, timeouts.WriteTotalTimeoutMultiplier,
                 timeouts.WriteTotalTimeoutConstant})) {
    return error;
  }
  if (!open_) return winerr::kInvalidHandle;
  timeouts_ = timeouts;
  return winerr::kSuccess;
}

uint32_t FakeCommDevice::GetCommModemStatus(uint32_t& status) {
  std::lock_guard lock(mutex_);
  status = 0;
  if (const uint32_t error = Enter("GetCommModemStatus", {})) return error;
  if (!open_) return winerr::kInvalidHandle;
  status = modemStatus_;
  return winerr::kSuccess;
}

uint32_t FakeCommDevice::EscapeCommFunction(uint32_t function) {
  std::lock_guard lock(mutex_);
  if (const uint32_t error = Enter("EscapeCommFunction", {function})) return error;
  return open_ ? winerr::kSuccess : winerr::kInvalidHandle;
}

uint32_t FakeCommDevice::ClearCommError(uint32_t& errors, CommStatus& status) {
  std::lock_guard lock(mutex_);
  errors = 0;
  status = {};
  if (const uint32_t error = Enter("ClearCommError", {})) return error;
  if (!open_) return winerr::kInvalidHandle;
  errors = lineErrors_;
  lineErrors_ = 0;
  status.cbInQue = static_cast<uint32_t>(input_.size());
  return winerr::kSuccess;
}

uint32_t FakeCommDevice::PurgeComm(uint32_t flags) {
  std::lock_guard lock(mutex_);
  if (const uint32_t error = Enter("PurgeComm", {flags})) return error;
  if (!open_) return winerr::kInvalidHandle;
  if (flags & kPurgeRxClear) input_.clear();
  return winerr::kSuccess;
}

uint32_t FakeCommDevice::WriteFile(const uint8_t* data, uint32_t length, uint32_t& written) {
  std::lock_guard lock(mutex_);
  written = 0;
  if (const uint32_t error = Enter("WriteFile", {length})) return error;
  if (!open_) return winerr::kInvalidHandle;
  written = std::min(length, writeLimit_);
  written_.insert(written_.end(), data, data + written);
  return winerr::kSuccess;
}

uint32_t FakeCommDevice::ReadFile(uint8_t* data, uint32_t length, uint32_t& read) {
  std::lock_guard lock(mutex_);
  read = 0;
  if (const uint32_t error = Enter("ReadFile", {length})) return error;
  if (!open_) return winerr::kInvalidHandle;
  read = std::min<uint32_t>(length, static_cast<uint32_t>(input_.size()));
  std::copy_n(input_.begin(), read, data);
  input_.erase(input_.begin(), input_.begin() + read);
  return winerr::kSuccess;
}

uint32_t FakeCommDevice::SetCommMask(uint32_t mask) {
  {
    std::lock_guard lock(mutex_);
    if (const uint32_t error = Enter("SetCommMask", {mask})) return error;
    if (!open_) return winerr::kInvalidHandle;
    mask_ = mask;
    pending_ = 0;
    ++maskGeneration_;
  }
  changed_.notify_all();
  return winerr::kSuccess;
}

std::unique_ptr<CommWaitStop> FakeCommDevice::CreateWaitStop() {
  return std::make_unique<Stop>(*this);
}

uint32_t FakeCommDevice::WaitCommEvent(CommWaitStop& stop, uint32_t& events) {
  auto* fakeStop = dynamic_cast<Stop*>(&stop);
  std::unique_lock lock(mutex_);
  events = 0;
  if (const uint32_t error = Enter("WaitCommEvent", {})) return error;
  if (!fakeStop) return winerr::kInvalidParameter;
  if (!open_) return winerr::kInvalidHandle;
  const uint64_t generation = maskGeneration_;
  if (pending_ == 0 && !fakeStop->IsSetLocked()) {
    ++waitsBlocked_;
    changed_.notify_all();
  }
  changed_.wait(lock, [&] {
    return fakeStop->IsSetLocked() || pending_ != 0 || maskGeneration_ != generation;
  });
  if (fakeStop->IsSetLocked()) return winerr::kOperationAborted;
  events = pending_;
  pending_ = 0;
  return winerr::kSuccess;
}

void FakeCommDevice::SetModemStatus(uint32_t status) {
  std::lock_guard lock(mutex_);
  modemStatus_ = status;
}

void FakeCommDevice::QueueInput(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  input_.insert(input_.end(), bytes.begin(), bytes.end());
}

void FakeCommDevice::SetLineErrors(uint32_t errors) {
  std::lock_guard lock(mutex_);
  lineErrors_ = errors;
}

void FakeCommDevice::RaiseEvents(uint32_t events) {
  {
    std::lock_guard lock(mutex_);
    pending_ |= events & mask_;
  }
  changed_.notify_all();
}

void FakeCommDevice::FailCall(const std::string& name, uint32_t error, int times) {
  std::lock_guard lock(mutex_);
  failures_[name] = {error, times};
}

void FakeCommDevice::ClearFailures() {
  std::lock_guard lock(mutex_);
  failures_.clear();
}

void FakeCommDevice::SetWriteLimit(uint32_t limit) {
  std::lock_guard lock(mutex_);
  writeLimit_ = limit;
}

std::vector<FakeCommDevice::Call> FakeCommDevice::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeCommDevice::CallNames() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  for (const Call& call : calls_) names.push_back(call.name);
  return names;
}

size_t FakeCommDevice::CountCalls(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(),
                                           [&](const Call& call) { return call.name == name; }));
}

void FakeCommDevice::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::vector<uint8_t> FakeCommDevice::Written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

std::vector<uint8_t> FakeCommDevice::Input() const {
  std::lock_guard lock(mutex_);
  return {input_.begin(), input_.end()};
}

CommDcb FakeCommDevice::LastDcb() const {
  std::lock_guard lock(mutex_);
  return dcb_;
}

CommTimeouts FakeCommDevice::LastTimeouts() const {
  std::lock_guard lock(mutex_);
  return timeouts_;
}

uint32_t FakeCommDevice::Mask() const {
  std::lock_guard lock(mutex_);
  return mask_;
}

size_t FakeCommDevice::WaitsBlocked() const {
  std::lock_guard lock(mutex_);
  return waitsBlocked_;
}

bool FakeCommDevice::AwaitWaitsBlocked(size_t count, uint32_t timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return waitsBlocked_ >= count; });
}

namespace {

class ForwardingDevice final : public CommDevice {
 public:
  explicit ForwardingDevice(std::shared_ptr<FakeCommDevice> fake) : fake_(std::move(fake)) {}

  uint32_t Open(const std::string& portName) override { return fake_->Open(portName); }
  void Close() override { fake_->Close(); }
  bool IsOpen() const override { return fake_->IsOpen(); }
  intptr_t NativeHandle() const override { return fake_->NativeHandle(); }
  uint32_t SetupComm(uint32_t in, uint32_t out) override { return fake_->SetupComm(in, out); }
  uint32_t SetCommState(const CommDcb& dcb) override { return fake_->SetCommState(dcb); }
  uint32_t SetCommTimeouts(const CommTimeouts& timeouts) override {
    return fake_->SetCommTimeouts(timeouts);
  }
  uint32_t GetCommModemStatus(uint32_t& status) override {
    return fake_->GetCommModemStatus(status);
  }
  uint32_t EscapeCommFunction(uint32_t function) override {
    return fake_->EscapeCommFunction(function);
  }
  uint32_t ClearCommError(uint32_t& errors, CommStatus& status) override {
    return fake_->ClearCommError(errors, status);
  }
  uint32_t PurgeComm(uint32_t flags) override { return fake_->PurgeComm(flags); }
  uint32_t WriteFile(const uint8_t* data, uint32_t length, uint32_t& written) override {
    return fake_->WriteFile(data, length, written);
  }
  uint32_t ReadFile(uint8_t* data, uint32_t length, uint32_t& read) override {
    return fake_->ReadFile(data, length, read);
  }
  uint32_t SetCommMask(uint32_t mask) override { return fake_->SetCommMask(mask); }
  std::unique_ptr<CommWaitStop> CreateWaitStop() override { return fake_->CreateWaitStop(); }
  uint32_t WaitCommEvent(CommWaitStop& stop, uint32_t& events) override {
    return fake_->WaitCommEvent(stop, events);
  }

 private:
  const std::shared_ptr<FakeCommDevice> fake_;
};

}  // namespace

std::unique_ptr<CommDevice> ForwardTo(std::shared_ptr<FakeCommDevice> fake) {
  return std::make_unique<ForwardingDevice>(std::move(fake));
}

bool ServeUntil(MainThread& mainThread, const std::function<bool()>& done, uint32_t timeoutMs) {
  const test_support::Deadline deadline(static_cast<int>(timeoutMs));
  mainThread.ServeUntil([&] { return done() || deadline.Passed(); });
  return done();
}

}  // namespace trellon::fakes
