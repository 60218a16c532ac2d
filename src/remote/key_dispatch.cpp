#include "remote/key_dispatch.h"

#include <algorithm>
#include <cmath>

namespace trellon {
namespace {

constexpr std::string_view kHomeKey = "home";

}  // namespace

double MillisecondsBetween(double from, double to) {
  return std::round((to - from) * kSecondsPerDay * 1000.0);
}

KeyDispatch::KeyDispatch(const Clock& clock, const SpinEditModel& edRepeatDead,
                         const SpinEditModel& edRepeatFirst, const SpinEditModel& edRepeatNext,
                         HomeActions& homeActions, KeyBroadcaster& broadcaster,
                         PowerOffAction& powerOff)
    : clock_(clock),
      edRepeatDead_(edRepeatDead),
      edRepeatFirst_(edRepeatFirst),
      edRepeatNext_(edRepeatNext),
      homeActions_(homeActions),
      broadcaster_(broadcaster),
      powerOff_(powerOff) {}

void KeyDispatch::DispatchKey(const std::string& keyName, bool fromRemote) {
  if (!keyName.empty()) {
    // A made-up key ends any repetition of a remote key: repeat codes after it are ignored.
    lastRemoteKey_ = fromRemote ? keyName : std::string();
    pressTime_ = clock_.Now();
    lastCodeTime_ = pressTime_;
    repeating_ = false;
    homeCloseDone_ = false;
    homeKillDone_ = false;
    // A new key is never filtered, not even the same key twice in quick succession.
    AcceptKey(keyName, 0.0, false);
    return;
  }

  double heldTimeMs = 0.0;
  if (!AcceptRepeat(heldTimeMs)) return;
  // Copied: the home actions or a client may lead to a new key that replaces lastRemoteKey.
  const std::string name = lastRemoteKey_;
  AcceptKey(name, heldTimeMs, true);
}

bool KeyDispatch::AcceptRepeat(double& heldTimeMs) {
  if (lastRemoteKey_.empty()) return false;

  // A code that comes too long after the previous sign of life is bogus (a lost code or one
  // after the release). lastCodeTime stays put, so the rest of this press is bogus as well.
  double now = clock_.Now();
  if (edRepeatDead_.Value() <= MillisecondsBetween(lastCodeTime_, now)) return false;
  lastCodeTime_ = now;

  if (repeating_) {
    now = clock_.Now();
    if (edRepeatNext_.Value() > MillisecondsBetween(lastRepeatTime_, now)) return false;
    lastRepeatTime_ = now;
  } else {
    now = clock_.Now();
    if (edRepeatFirst_.Value() > MillisecondsBetween(pressTime_, now)) return false;
    repeating_ = true;
    lastRepeatTime_ = now;
  }

  heldTimeMs = MillisecondsBetween(pressTime_, clock_.Now());
  return true;
}

void KeyDispatch::AcceptKey(const std::string& name, double heldTimeMs, bool repeat) {
  if (name == kHomeKey) homeActions_.RunHomeActions(heldTimeMs, homeCloseDone_, homeKillDone_);
  // Every accepted key goes out, "home" included, whether or not a home action fired.
  broadcaster_.BroadcastKey(name);
  if (outputs_.empty()) return;
  const ForwardedKey key{name, repeat};
  // A copy: an output may not change the list, but a nested key from it must not see a moved one.
  const std::vector<KeyOutput*> outputs = outputs_;
  for (KeyOutput* output : outputs) output->KeyForwarded(key);
}

void KeyDispatch::AddKeyOutput(KeyOutput& output) {
  outputs_.push_back(&output);
}

void KeyDispatch::RemoveKeyOutput(KeyOutput& output) {
  outputs_.erase(std::remove(outputs_.begin(), outputs_.end(), &output), outputs_.end());
}

void KeyDispatch::ScheduleKey(const std::string& text, uint32_t due) {
  delayedKeys_.push_back({text, due});
}

void KeyDispatch::ServiceDelayedKeys() {
  if (delayedKeys_.empty()) return;
  if (!TickReached(clock_.TickCount(), delayedKeys_.front().due)) return;

  // Off the queue before it runs: the action may dispatch keys or touch the queue itself.
  const std::string text = std::move(delayedKeys_.front().text);
  delayedKeys_.pop_front();

  if (text == kPowerOffMarker) {
    powerOff_.DoPowerOff();
  } else {
    DispatchKey(text, false);
  }
}

void KeyDispatch::ClearDelayedKeys() {
  delayedKeys_.clear();
}

}  // namespace trellon
