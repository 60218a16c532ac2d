#include "remote/power_control.h"

#include <string>

#include "remote/key_dispatch.h"

namespace trellon {
namespace {

constexpr uint32_t kStopDelayMs = 5000;
constexpr uint32_t kPowerOffDelayMs = 10000;

}  // namespace

PowerControl::PowerControl(const Clock& clock, const CheckBoxModel& cbPowerOffStopHome,
                           const RadioGroupModel& rbPowerOffDo, KeyDispatcher& keys,
                           KeyScheduler& queue, PowerSystem& powerSystem,
                           ControllerLinkControl& link, OverlaySink& overlay, LogSink& log)
    : clock_(clock),
      cbPowerOffStopHome_(cbPowerOffStopHome),
      rbPowerOffDo_(rbPowerOffDo),
      keys_(keys),
      queue_(queue),
      powerSystem_(powerSystem),
      link_(link),
      overlay_(overlay),
      log_(log) {}

void PowerControl::PowerKeyPressed() {
  overlay_.ShowOverlayMessage("Power Off", 2);
  const std::string marker(kPowerOffMarker);
  if (cbPowerOffStopHome_.Checked()) {
    // Each due from its own reading of the tick count, in rising order: the queue is not sorted.
    queue_.ScheduleKey("home", clock_.TickCount());
    queue_.ScheduleKey("stop", clock_.TickCount() + kStopDelayMs);
    queue_.ScheduleKey(marker, clock_.TickCount() + kPowerOffDelayMs);
  } else {
    queue_.ScheduleKey(marker, clock_.TickCount());
  }
}

void PowerControl::DoPowerOff() {
  // Results are not examined: a refused action leaves the program running as it was.
  switch (rbPowerOffDo_.ItemIndex()) {
    case kPowerOffHibernate:
      EnableShutdownPrivilege();
      powerSystem_.Hibernate();
      break;
    case kPowerOffStandby:
      EnableShutdownPrivilege();
      powerSystem_.Suspend();
      break;
    case kPowerOffSendPowerKey:
      keys_.DispatchKey("power", false);
      break;
    case kPowerOffShutdown:
      EnableShutdownPrivilege();
      powerSystem_.PowerOff();
      break;
    default:  // "Nothing", or no item selected
      break;
  }
}

bool PowerControl::EnableShutdownPrivilege() {
  return powerSystem_.EnableShutdownPrivilege();
}

void PowerControl::PowerBroadcast(uint32_t eventCode) {
  switch (eventCode) {
    case kPowerQuerySuspend:
    case kPowerQueryStandby:
      log_.WriteLog("Query standby/suspend");
      break;
    case kPowerQuerySuspendFailed:
    case kPowerQueryStandbyFailed:
      // The port may never have closed; reopening it anyway brings the link back to a known state.
      log_.WriteLog("Query standby/suspend failed");
      link_.ReopenController();
      break;
    case kPowerSuspend:
    case kPowerStandby:
      log_.WriteLog("Standby/suspend");
      link_.DetachController();
      break;
    case kPowerResumeCritical:
      log_.WriteLog("Resume critical");
      link_.ReopenController();
      break;
    case kPowerResumeSuspend:
      log_.WriteLog("Resume suspend");
      link_.ReopenController();
      break;
    case kPowerResumeAutomatic:
      log_.WriteLog("Resume automatic");
      link_.ReopenController();
      break;
    default:  // power status changes and the like: not ours
      break;
  }
}

}  // namespace trellon
