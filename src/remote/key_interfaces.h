#pragma once

#include <cstdint>
#include <string>

namespace trellon {

// The seams between key dispatch and the parts it feeds or is fed by. The main window wires the
// real objects together; tests use recording fakes.

// Every key that passes dispatch goes to all connected media-centre clients (the key server).
class KeyBroadcaster {
 public:
  virtual ~KeyBroadcaster() = default;
  virtual void BroadcastKey(const std::string& keyName) = 0;
};

// A key that dispatch passed on, as the outputs for other programs see it (the virtual keyboard,
// the LIRC socket): the first key of a press, or a repeat that the repeat filter forwarded.
struct ForwardedKey {
  std::string name;
  bool repeat = false;
};

// An output beside the key server. It gets every key the server gets, in the same order, right
// after the server.
class KeyOutput {
 public:
  virtual ~KeyOutput() = default;
  virtual void KeyForwarded(const ForwardedKey& key) = 0;
};

// The home key's media-centre actions, run for every accepted "home" before it is broadcast.
// heldTimeMs is 0 for the press, the time since the press for an accepted repeat. The two flags
// belong to the current press (dispatch resets them on every new key); the actions set them.
class HomeActions {
 public:
  virtual ~HomeActions() = default;
  virtual void RunHomeActions(double heldTimeMs, bool& homeCloseDone, bool& homeKillDone) = 0;
};

// The single entry point for keys: remote codes, knob steps and synthesised keys.
class KeyDispatcher {
 public:
  virtual ~KeyDispatcher() = default;
  virtual void DispatchKey(const std::string& keyName, bool fromRemote) = 0;
};

// The delayed-key queue as the power key fills it.
class KeyScheduler {
 public:
  virtual ~KeyScheduler() = default;
  virtual void ScheduleKey(const std::string& text, uint32_t due) = 0;
};

// The configured power action, run when the queue's "@PowerOffDo" marker falls due.
class PowerOffAction {
 public:
  virtual ~PowerOffAction() = default;
  virtual void DoPowerOff() = 0;
};

}  // namespace trellon
