#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "base/control_models.h"
#include "remote/key_interfaces.h"

namespace trellon {

// The queue text that stands for the configured power action; it is run, never sent as a key.
constexpr std::string_view kPowerOffMarker = "@PowerOffDo";

// Milliseconds from one local date-time to a later one. Date-times are read with millisecond
// resolution, so the difference is rounded to whole milliseconds: without that, two readings
// exactly 250 ms apart can come out as 249.99999 and slip past a "250 ms or more" test.
double MillisecondsBetween(double from, double to);

// Every key passes through here: remote key codes and the remote's repeat code, knob steps and
// the keys the program makes up. Repeat codes are turned back into the held remote key and
// filtered by three settings; accepted keys run the home actions (for "home") and then go to the
// media-centre clients. Also owns the delayed-key queue that the power key fills.
//
// Main thread only: the link tick and the knob's line-change event are the only callers.
// Keys are deliberately not logged.
class KeyDispatch final : public KeyDispatcher, public KeyScheduler {
 public:
  struct DelayedKey {
    std::string text;
    uint32_t due;  // tick count at which the entry falls due
  };

  // The three spin edits are read at every use, so a change takes effect at once. The clock
  // gives Now() for the repeat filter and TickCount() for the queue.
  KeyDispatch(const Clock& clock, const SpinEditModel& edRepeatDead,
              const SpinEditModel& edRepeatFirst, const SpinEditModel& edRepeatNext,
              HomeActions& homeActions, KeyBroadcaster& broadcaster, PowerOffAction& powerOff);

  // keyName empty = the remote's repeat code. fromRemote is false for knob steps and made-up keys.
  void DispatchKey(const std::string& keyName, bool fromRemote) override;

  // Every accepted key also goes to `output`, after the key server. Outputs are called in the
  // order they were added; each must outlive the dispatch or be removed first.
  void AddKeyOutput(KeyOutput& output);
  void RemoveKeyOutput(KeyOutput& output);

  // Appends without sorting.
  void ScheduleKey(const std::string& text, uint32_t due) override;
  // Runs the first entry when it is due; at most one entry per call. A later entry that is
  // already due waits behind the first.
  void ServiceDelayedKeys();
  void ClearDelayedKeys();

  // Read-only state, for the tests.
  const std::string& lastRemoteKey() const { return lastRemoteKey_; }
  double pressTime() const { return pressTime_; }
  double lastCodeTime() const { return lastCodeTime_; }
  bool repeating() const { return repeating_; }
  double lastRepeatTime() const { return lastRepeatTime_; }
  bool homeCloseDone() const { return homeCloseDone_; }
  bool homeKillDone() const { return homeKillDone_; }
  const std::deque<DelayedKey>& delayedKeys() const { return delayedKeys_; }

 private:
  // Applies the repeat filter to a repeat code; true when it is passed on, with its held time.
  bool AcceptRepeat(double& heldTimeMs);
  void AcceptKey(const std::string& name, double heldTimeMs, bool repeat);

  const Clock& clock_;
  const SpinEditModel& edRepeatDead_;
  const SpinEditModel& edRepeatFirst_;
  const SpinEditModel& edRepeatNext_;
  HomeActions& homeActions_;
  KeyBroadcaster& broadcaster_;
  // Run for the queue's "@PowerOffDo" marker.
  PowerOffAction& powerOff_;
  std::vector<KeyOutput*> outputs_;

  std::string lastRemoteKey_;
  double pressTime_ = 0.0;
  double lastCodeTime_ = 0.0;
  bool repeating_ = false;
  double lastRepeatTime_ = 0.0;
  bool homeCloseDone_ = false;
  bool homeKillDone_ = false;
  std::deque<DelayedKey> delayedKeys_;
};

}  // namespace trellon
