#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "remote/key_interfaces.h"

namespace trellon::fakes {

// The peers of key dispatch in one object, so that the order of their calls is kept in one
// journal: "send:<key>" for a broadcast, "home:<heldTimeMs>" for the home actions, "poweroff".
class RecordingKeyPeers : public KeyBroadcaster, public HomeActions, public PowerOffAction {
 public:
  void BroadcastKey(const std::string& keyName) override {
    sent.push_back(keyName);
    journal.push_back("send:" + keyName);
  }
  void RunHomeActions(double heldTimeMs, bool& homeCloseDone, bool& homeKillDone) override {
    homeHeldTimes.push_back(heldTimeMs);
    homeFlagsSeen.push_back({homeCloseDone, homeKillDone});
    journal.push_back("home:" + std::to_string(static_cast<int64_t>(heldTimeMs)));
    // Behaves like the launcher's one-shot actions when told to.
    if (closeAfterMs >= 0 && heldTimeMs >= closeAfterMs) homeCloseDone = true;
    if (killAfterMs >= 0 && heldTimeMs >= killAfterMs) homeKillDone = true;
  }
  void DoPowerOff() override { journal.push_back("poweroff"); }

  struct Flags {
    bool closeDone;
    bool killDone;
  };

  std::vector<std::string> sent;
  std::vector<double> homeHeldTimes;
  std::vector<Flags> homeFlagsSeen;
  std::vector<std::string> journal;
  double closeAfterMs = -1;
  double killAfterMs = -1;
};

// Keys and queue entries as the power control hands them over.
class RecordingKeyQueue : public KeyDispatcher, public KeyScheduler {
 public:
  struct Entry {
    std::string text;
    uint32_t due;
  };

  void DispatchKey(const std::string& keyName, bool fromRemote) override {
    dispatched.push_back(keyName + (fromRemote ? "/remote" : "/synthetic"));
  }
  void ScheduleKey(const std::string& text, uint32_t due) override {
    scheduled.push_back({text, due});
  }

  std::vector<std::string> dispatched;
  std::vector<Entry> scheduled;
};

}  // namespace trellon::fakes
