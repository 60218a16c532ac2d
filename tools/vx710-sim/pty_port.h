#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim_wire.h"

namespace trellon::sim {

// The controller's end of a pseudo-terminal. The program opens the other end (the device path)
// as its serial port, and may close and reopen it at any time.
//
// The simulator does not keep the device open itself: a pty master reports hang-up while no one
// holds the device, which is how the simulator sees the program open and close its port, and
// the device path stays valid as long as the master is open.
class PtyPort final : public SimWire {
 public:
  PtyPort() = default;
  ~PtyPort() override;
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  // Creates the pseudo-terminal in raw mode, 38400 baud. False with a message on failure.
  bool Create(std::string& error);
  const std::string& DeviceName() const { return deviceName_; }
  int MasterFd() const { return master_; }

  // Makes `path` a symbolic link to the device. An existing link there is replaced; any other
  // file is left alone and reported as an error.
  bool MakeLink(const std::string& path, std::string& error);
  // Removes the link if it still points at this device.
  void RemoveLink();

  // What the program wrote, as far as it is queued now; empty when nothing is.
  std::vector<uint8_t> ReadAvailable();

  // Waits, at most timeoutMs, until the program has read what was sent to it. Closing the
  // master hangs the device up, which throws away what the program has not read yet.
  void WaitUntilRead(int timeoutMs);

  bool IsOpen() override;
  bool Write(std::span<const uint8_t> bytes) override;
  // Closes the pseudo-terminal and removes the link; a new one is made by RestoreLine.
  void DropLine() override;
  bool RestoreLine(std::string& text) override;

 private:
  int master_ = -1;
  std::string deviceName_;
  std::string linkPath_;
  std::string droppedLinkPath_;
};

}  // namespace trellon::sim
