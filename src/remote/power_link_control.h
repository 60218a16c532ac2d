#pragma once

namespace trellon {

// What the power handling needs of the controller link. The link implements it (main thread).
class ControllerLinkControl {
 public:
  virtual ~ControllerLinkControl() = default;
  // Detaches the controller and closes the port when the port is open (waits in place for the
  // detach frames to go out); does nothing when it is closed.
  virtual void DetachController() = 0;
  // linkState := Opening, whatever the current state: the next link tick closes and reopens the
  // port and starts the handshake again.
  virtual void ReopenController() = 0;
};

}  // namespace trellon
