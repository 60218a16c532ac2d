#pragma once

#include <string>

namespace trellon {

// Where the link and the volume knob send the keys they decode; the main window forwards them to
// key dispatch. Main thread only.
class KeySink {
 public:
  virtual ~KeySink() = default;
  // keyName "" is the remote's repeat code; fromRemote is false for the knob's keys.
  virtual void DispatchKey(const std::string& keyName, bool fromRemote) = 0;
};

}  // namespace trellon
