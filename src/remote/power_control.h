#pragma once

#include <cstdint>

#include "base/clock.h"
#include "base/control_models.h"
#include "base/shell_services.h"
#include "remote/key_interfaces.h"
#include "remote/power_link_control.h"
#include "remote/power_system.h"

namespace trellon {

// Items of rbPowerOffDo, by index.
enum PowerOffDoItem : int32_t {
  kPowerOffHibernate = 0,
  kPowerOffStandby = 1,
  kPowerOffSendPowerKey = 2,
  kPowerOffShutdown = 3,
  kPowerOffNothing = 4,
};

// The remote's power key and the system's power notifications. The key does not switch off at
// once: it shows "Power Off" and queues "home", "stop" and the power action (or only the
// action) in the delayed-key queue, so a key pressed in between cancels it. A suspend detaches
// the controller; a resume (or a refused suspend) makes the link reopen the port.
//
// Main thread only: the link tick calls PowerKeyPressed and, through the queue, DoPowerOff; the
// power backend delivers the notifications to PowerBroadcast.
class PowerControl final : public PowerOffAction {
 public:
  // cbPowerOffStopHome and rbPowerOffDo are read at every use. keys dispatches the "power" key;
  // queue takes the delayed entries.
  PowerControl(const Clock& clock, const CheckBoxModel& cbPowerOffStopHome,
               const RadioGroupModel& rbPowerOffDo, KeyDispatcher& keys, KeyScheduler& queue,
               PowerSystem& powerSystem, ControllerLinkControl& link, OverlaySink& overlay,
               LogSink& log);

  // The remote's power code. The caller has emptied the queue before, as for every key code.
  void PowerKeyPressed();
  // The configured action of rbPowerOffDo; run when the queue's marker falls due.
  void DoPowerOff() override;
  // See PowerSystem::EnableShutdownPrivilege; the result is only informative.
  bool EnableShutdownPrivilege();
  // One power notification: logs it and acts on it; codes of no interest are left alone.
  void PowerBroadcast(uint32_t eventCode);

 private:
  const Clock& clock_;
  const CheckBoxModel& cbPowerOffStopHome_;
  const RadioGroupModel& rbPowerOffDo_;
  KeyDispatcher& keys_;
  KeyScheduler& queue_;
  PowerSystem& powerSystem_;
  ControllerLinkControl& link_;
  OverlaySink& overlay_;
  LogSink& log_;
};

}  // namespace trellon
