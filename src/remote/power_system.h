#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace trellon {

// The system's power notifications, by the event codes the power handling knows.
enum PowerEventCode : uint32_t {
  kPowerQuerySuspend = 0,
  kPowerQueryStandby = 1,
  kPowerQuerySuspendFailed = 2,
  kPowerQueryStandbyFailed = 3,
  kPowerSuspend = 4,
  kPowerStandby = 5,
  kPowerResumeCritical = 6,
  kPowerResumeSuspend = 7,
  kPowerResumeAutomatic = 18,
};

// Receives the system's power notifications on the main thread.
using PowerEventHandler = std::function<void(uint32_t eventCode)>;

// The power actions of the operating system. Every action fails silently: a refused or
// unavailable action leaves the program running as it was.
class PowerSystem {
 public:
  virtual ~PowerSystem() = default;
  // Makes sure the process may ask for a power action; true when it may. Callers go on with
  // the action either way.
  virtual bool EnableShutdownPrivilege() = 0;
  virtual void Hibernate() = 0;
  virtual void Suspend() = 0;
  // Shuts the system down and switches the power off, without forcing programs to close.
  virtual void PowerOff() = 0;
};

// The platform's power system, which also delivers the system's power notifications.
class WatchedPowerSystem : public PowerSystem {
 public:
  // Starts delivering the notifications to onEvent, on the main thread. Call once.
  virtual void Start(PowerEventHandler onEvent) = 0;
};

class LogSink;
class ErrorReporter;

// This platform's power system; exceptions escaping the notification handler go to errors.
std::unique_ptr<WatchedPowerSystem> CreatePowerSystem(LogSink& log, ErrorReporter& errors);

}  // namespace trellon
