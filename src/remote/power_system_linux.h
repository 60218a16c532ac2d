#pragma once

#include <QString>
#include <exception>
#include <memory>
#include <string>

#include "base/shell_services.h"
#include "remote/power_system.h"

class QDBusConnection;
class QDBusPendingCallWatcher;

namespace trellon {

class LogindSleepReceiver;

// Power actions and notifications through systemd-logind on the system bus.
//
// logind announces a sleep (suspend or hibernation alike) with PrepareForSleep(true) and the
// wake-up with PrepareForSleep(false); they reach the handler as kPowerSuspend and
// kPowerResumeAutomatic (logind cannot tell whether a user woke the machine). A "delay"
// inhibitor is held while the machine is awake, so logind waits until the handler has detached
// the controller; it is given back right after the suspend handling and taken again on resume.
// The actions are logind's Hibernate, Suspend and PowerOff, never interactive, sent without
// waiting for the answer.
//
// Without a system bus or logind the program runs on and says so once in the log. Main thread
// only; notifications arrive through the Qt event loop.
class LogindPowerSystem final : public WatchedPowerSystem {
 public:
  // busAddress empty: the system bus; otherwise the address of a private bus (tests). Exceptions
  // escaping the handler go to errors; the inhibitor is given back in any case.
  LogindPowerSystem(LogSink& log, ErrorReporter& errors, const std::string& busAddress = {});
  ~LogindPowerSystem() override;
  LogindPowerSystem(const LogindPowerSystem&) = delete;
  LogindPowerSystem& operator=(const LogindPowerSystem&) = delete;

  // Starts watching PrepareForSleep and asks for the delay inhibitor (the answer arrives through
  // the event loop). Call once.
  void Start(PowerEventHandler onEvent) override;

  // There is no process privilege to switch on under Linux: logind decides at the call whether
  // this user may hibernate, suspend or power off. So this only tells whether logind is reachable.
  bool EnableShutdownPrivilege() override;
  void Hibernate() override;
  void Suspend() override;
  void PowerOff() override;

  bool IsWatching() const { return watching_; }
  bool HoldsInhibitor() const { return inhibitorFd_ >= 0; }

 private:
  friend class LogindSleepReceiver;

  void OnPrepareForSleep(bool start);
  // Runs the handler; what escapes it is returned for the error handling.
  std::exception_ptr Deliver(uint32_t eventCode);
  void TakeInhibitor();
  void OnInhibitReply(QDBusPendingCallWatcher& watcher);
  void ReleaseInhibitor();
  bool LogindRegistered() const;
  void CallManager(const char* method);
  void LogOnce(bool& said, const std::string& message);

  LogSink& log_;
  ErrorReporter& errors_;
  QString connectionName_;  // empty for the shared system bus connection
  std::unique_ptr<QDBusConnection> bus_;
  std::unique_ptr<LogindSleepReceiver> receiver_;
  PowerEventHandler onEvent_;
  int inhibitorFd_ = -1;
  bool inhibitorPending_ = false;
  bool sleeping_ = false;
  bool watching_ = false;
  bool saidUnavailable_ = false;
  bool saidInhibitorFailed_ = false;
};

}  // namespace trellon
