#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "base/clock.h"
#include "fault_injector.h"
#include "frame_decoder.h"
#include "sim_command.h"
#include "sim_wire.h"

namespace trellon::sim {

struct SimSettings {
  bool answerHello = true;  // off: only the `answer` command answers
  uint32_t answerDelayMs = 0;
  uint32_t repeatIntervalMs = 108;
  uint32_t reportIntervalMs = 1000;
  bool quietTicks = false;  // hide the per-second lines (tick, sent temp)
  int rearCelsius = 40;
  int frontCelsius = 35;
  bool drift = false;
  std::optional<FaultOptions> faults = std::nullopt;  // misbehave on this schedule
};

// Receives each output line, without its line end.
using LineSink = std::function<void(const std::string&)>;

// The VX710 front-panel controller as the program sees it over the line: answers the hello
// frame, reports temperatures while attached, and sends the key codes that commands ask for.
// Single-threaded; driven by calls and the clock, so the tests run it on a manual clock.
class ControllerSim {
 public:
  // Hello frames closer together than this belong to one burst, which is answered once.
  static constexpr uint32_t kHelloBurstGapMs = 500;
  // How long the caller may wait when nothing is scheduled.
  static constexpr uint32_t kIdleWaitMs = 1000;
  // Drift moves a temperature by one degree every this many reports, up to kDriftRange.
  static constexpr int kDriftStepReports = 5;
  static constexpr int kDriftRange = 3;

  ControllerSim(Clock& clock, SimWire& wire, LineSink out, SimSettings settings);

  // Queues one command line; queued lines run in order from Poll.
  void Submit(std::string line);
  // Bytes that the program wrote.
  void OnReceived(std::span<const uint8_t> bytes);
  // The program opened or closed the device.
  void OnPortOpened();
  void OnPortClosed();
  // Runs whatever is due: the answer, a temperature report, repeat codes, queued commands.
  void Poll();
  // Milliseconds until Poll has something to do; kIdleWaitMs at most.
  uint32_t MillisToNextDue() const;
  // Commands are queued, or one is still running (sleep, hold, repeat).
  bool Busy() const;
  bool QuitRequested() const { return quit_; }
  bool Attached() const { return attached_; }
  // A fault holds the program's bytes back: the caller leaves them unread for now.
  bool ReadsStalled() const { return faults_ && faults_->ReadsStalled(); }

 private:
  // Repeat codes of a running hold or repeat command.
  struct RepeatRun {
    std::string label;  // how the summary line names the run
    uint32_t start = 0;
    uint32_t firstStep = 0;  // the first repeat goes at start + firstStep × interval
    uint32_t total = 0;
    uint32_t done = 0;
    uint32_t sent = 0;
  };

  bool Due(uint32_t at) const;
  uint32_t Remaining(uint32_t at) const;
  void OnFrame(const ProgramFrame& frame);
  void OnHello();
  void SetAttached(bool attached);
  void SendAnswer();
  bool Send(std::span<const uint8_t> bytes, const std::string& label);
  // Every byte to the program goes through here, where the faults may hold it back or alter it.
  bool WireWrite(std::span<const uint8_t> bytes);
  void ServiceRepeats();
  void ServiceReport();
  void Execute(const SimCommand& command);
  int ReportedCelsius(int channel) const;
  std::string StatusLine();

  Clock& clock_;
  SimWire& wire_;
  LineSink out_;
  SimSettings settings_;
  FrameDecoder decoder_;
  std::optional<FaultInjector> faults_;

  bool attached_ = false;
  bool inHelloBurst_ = false;
  bool burstAnswered_ = false;
  uint32_t lastHello_ = 0;
  std::optional<uint32_t> answerDue_;

  uint32_t nextReport_ = 0;
  int reports_ = 0;
  int driftOffset_ = 0;  // added to rear, taken from front
  int driftStep_ = 1;
  std::optional<uint8_t> lastFan_[2];

  std::deque<std::string> queue_;
  std::optional<uint32_t> blockedUntil_;
  std::optional<SimCommand::Condition> waitingFor_;
  bool portOpen_ = false;
  std::optional<RepeatRun> run_;
  bool quit_ = false;
};

}  // namespace trellon::sim
