#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/shell_services.h"
#include "link/controller_port.h"
#include "link/key_sink.h"

namespace trellon {

enum class LinkState : uint8_t { Detached = 0, Opening = 1, Handshake = 2, Attached = 3 };

// What the link calls on the rest of the program for received codes; the main window implements
// it by forwarding to key dispatch, the power key, the display mirror and the fan regulation.
// Main thread only.
class ControllerLinkActions : public KeySink {
 public:
  // Runs the first delayed key when it is due (at most one per call).
  virtual void ServiceDelayedKeys() = 0;
  virtual void ClearDelayedKeys() = 0;
  virtual void PowerKeyPressed() = 0;
  virtual bool DisplayMode() const = 0;
  virtual void SetDisplayMode(bool on) = 0;
  // A case sensor's report: channel 0 rear, 1 front; 0 °C means no reading.
  virtual void CaseTemperature(int32_t channel, int32_t celsius) = 0;
  // The controller has just been attached; its fans have not been told anything yet.
  virtual void ControllerAttached() = 0;
};

// The link to the VX710 front-panel controller: opens the port, finds the controller by its
// handshake, turns received bytes into keys, power and display-mode actions and case
// temperatures, carries the fan commands, and detaches. Everything runs on the main thread.
//
// The waits of the hello burst and the attach pause are timed steps of the 100 ms link tick
// (read from the clock), so the tick never blocks; only DetachController waits in place. Bytes
// received up to the handshake answer are dropped with it; those that arrive during the attach
// pause are handled on the first attached tick. A burst that gets no answer within 5 s (the
// controller was off, or the answer was lost on the line) and leaves no bytes to look at is
// followed by a new opening of the port and a new burst, so the link never waits for good.
class ControllerLink final {
 public:
  ControllerLink(ControllerPort& port, ControllerLinkActions& actions, Clock& clock, LogSink& log);

  // The link tick (Timer1, every 100 ms).
  void Timer1Timer();
  // While a timed step of the handshake is pending (the next hello of the burst, the attach at
  // the end of the pause): the tick count it is due at. The window runs RunDueStep then, so that
  // the hellos keep their 100 ms spacing however long opening the port took and however late a
  // link tick comes; the link tick runs the step as well when it comes first.
  std::optional<uint32_t> NextStepDue() const;
  // Runs the pending timed step when it is due; otherwise does nothing.
  void RunDueStep();
  // The port's OnRxChar handler: appends up to count received bytes to rxBuffer. While attached
  // they are acted on at once, as the next tick would have: its delayed key first (when one is
  // due and the tick has not run one since the last tick), then the bytes in order. Keys reach
  // the clients without waiting for the tick, and the repeat filter sees when they arrived. The
  // handshake is left to the tick.
  void commRxChar(int32_t count);
  // Sends the detach frames and closes the port when it is open; otherwise does nothing. Waits
  // about 300 ms in place (shutdown and system suspend only). Ends Detached with the port
  // closed even when a write fails; that failure propagates.
  void DetachController();
  // linkState := Opening (resume, refused suspend): the next tick closes and reopens the port.
  void ReopenController() { SetLinkState(LinkState::Opening); }

  // Writes one frame to the port in one write; a failed write starts the link over and
  // propagates.
  void SendToController(const std::vector<uint8_t>& bytes);
  bool IsAttached() const { return linkState_ == LinkState::Attached; }

  bool HasReceived(size_t n) const { return rxBuffer_.size() >= n; }
  // Removes and returns up to n bytes from the head of rxBuffer.
  std::vector<uint8_t> TakeReceived(size_t n);

  LinkState linkState() const { return linkState_; }
  // Start-up and the power events set Opening, so that the next tick (re)opens the port and
  // runs the handshake again; a burst or attach pause under way is abandoned.
  void SetLinkState(LinkState state);
  int32_t tempChannel() const { return tempChannel_; }

  // A one-line description of the link for the Status page ("VX710 attached", "Cannot open
  // the port: ...").
  const std::string& StatusText() const { return statusText_; }
  // Called on the main thread whenever StatusText changes.
  void SetOnStatusChange(std::function<void(const std::string&)> handler) {
    onStatusChange_ = std::move(handler);
  }

  // rxBuffer holds at most this many bytes; beyond it the oldest are dropped, so a device that
  // floods the line while no handshake answer comes cannot exhaust memory.
  static constexpr size_t kRxBufferLimit = 64 * 1024;

 private:
  void TickOpening();
  void TickHandshake();
  void TickAttached();
  // The delayed key of the current tick period (at most one per period), then every buffered
  // byte in order.
  void ServiceDelayedKeysOfThisPeriod();
  void DecodeReceived();
  void HandleByte(uint8_t b);
  void Attach();
  // SetLinkState without ending the streak of unanswered bursts.
  void ChangeState(LinkState state);
  // The burst went unanswered: the port is opened again and a new burst sent.
  void StartOverUnanswered();
  void HoldOpening(uint32_t notBefore);
  void ResetSteps();
  void SetStatus(std::string text);

  ControllerPort& port_;
  ControllerLinkActions& actions_;
  Clock& clock_;
  LogSink& log_;

  LinkState linkState_ = LinkState::Opening;
  std::deque<uint8_t> rxBuffer_;
  int32_t tempChannel_ = 0;
  // The delayed keys were serviced since the last attached tick (by bytes that came in): the
  // next tick does not run another, so entries still run at most one per tick.
  bool delayedKeysServiced_ = false;

  // Timed steps of the handshake.
  int hellosSent_ = 0;
  // The hellos of this handshake came from the link's own opening of the port.
  bool burstSent_ = false;
  uint32_t lastHelloTick_ = 0;
  bool answerSeen_ = false;
  uint32_t answerTick_ = 0;

  // Bursts in a row that got no answer; only the first is logged.
  int unansweredBursts_ = 0;
  // The current streak of failed opens.
  int openFailures_ = 0;
  // After repeated failed opens, or a failed write, the port is opened again no sooner than
  // openNotBefore_.
  bool openHeld_ = false;
  uint32_t openNotBefore_ = 0;

  std::string statusText_;
  std::function<void(const std::string&)> onStatusChange_;
};

}  // namespace trellon
