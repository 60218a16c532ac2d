// The controller link's receive path: any bytes, in any state of the link, interleaved with
// ticks, timed steps, state changes, detaches and failing ports, on a fake port and a manual
// clock. The link never holds more than its buffer's limit, an attached link has acted on every
// byte once the receive handler returns, and what it reports stays in range.
//
// Input: the first byte picks the state the link is brought into; the rest is a list of
// operations, one byte each with its arguments after it.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "base/clock.h"
#include "fakes/fake_controller_port.h"
#include "fakes/fake_link_actions.h"
#include "fakes/recording_shell.h"
#include "fuzz_check.h"
#include "link/controller_link.h"

namespace {

using trellon::ControllerLink;
using trellon::LinkState;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
  std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> bytes;
    while (n-- > 0 && !Empty()) bytes.push_back(Byte());
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

struct Rig {
  trellon::ManualClock clock{0xFFFFF000u};  // the tick count wraps during the run
  trellon::fakes::FakeControllerPort port{&clock};
  trellon::fakes::FakeLinkActions actions;
  trellon::fakes::RecordingShell shell;
  ControllerLink link{port, actions, clock, shell};

  // What the window does with a handler's exception: report it and go on.
  template <typename Step>
  bool Run(Step&& step) {
    try {
      step();
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }
  void Receive(const std::vector<uint8_t>& bytes, int32_t count) {
    port.Queue(bytes);
    Run([&] { link.commRxChar(count); });
  }
  void Tick(uint32_t ms) {
    clock.Advance(ms);
    Run([&] { link.Timer1Timer(); });
  }
};

// The states a link goes through, reached the way the program reaches them.
void Prepare(Rig& rig, uint8_t choice) {
  rig.link.SetLinkState(LinkState::Opening);
  switch (choice % 6) {
    case 0:  // opening
      return;
    case 1:  // in the hello burst
      rig.Tick(100);
      return;
    case 2:  // waiting for the answer
      for (int i = 0; i < 12; ++i) rig.Tick(100);
      return;
    case 3:  // in the attach pause
      for (int i = 0; i < 12; ++i) rig.Tick(100);
      rig.Receive({'M', 'Z', '5'}, 3);
      rig.Tick(100);
      return;
    case 4:  // attached
      for (int i = 0; i < 12; ++i) rig.Tick(100);
      rig.Receive({'M', 'Z', '5'}, 3);
      for (int i = 0; i < 25; ++i) rig.Tick(100);
      return;
    case 5:  // detached
      rig.Tick(100);
      rig.Run([&] { rig.link.DetachController(); });
      return;
  }
}

void CheckInvariants(const Rig& rig) {
  FUZZ_CHECK(!rig.link.HasReceived(ControllerLink::kRxBufferLimit + 1));
  FUZZ_CHECK(static_cast<int>(rig.link.linkState()) <= 3);
  FUZZ_CHECK(rig.link.tempChannel() == 0 || rig.link.tempChannel() == 1);
  for (const int32_t celsius : rig.actions.caseTemperatures) {
    FUZZ_CHECK(celsius >= -22 && celsius <= 100);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  Rig rig;
  Prepare(rig, input.Byte());
  while (!input.Empty()) {
    switch (input.Byte() % 9) {
      case 0:
      case 1:
      case 2: {  // bytes from the controller, as many as the port reports
        const size_t n = input.Byte() % 64 + 1;
        const auto bytes = input.Bytes(n);
        const bool handled = [&] {
          rig.port.Queue(bytes);
          return rig.Run([&] { rig.link.commRxChar(static_cast<int32_t>(bytes.size())); });
        }();
        // (Bytes kept from the attach pause wait for the tick, or for the next bytes that come.)
        if (handled && !bytes.empty() && rig.link.IsAttached()) {
          FUZZ_CHECK(!rig.link.HasReceived(1));
        }
        break;
      }
      case 3: {  // the port reports more or fewer bytes than it holds
        const auto count = static_cast<int32_t>(static_cast<int8_t>(input.Byte()));
        rig.Run([&] { rig.link.commRxChar(count); });
        break;
      }
      case 4:  // a link tick, on time or late
        rig.Tick(static_cast<uint32_t>(input.Byte()) * 8);
        break;
      case 5:  // the window's step timer
        rig.clock.Advance(input.Byte());
        rig.Run([&] { rig.link.RunDueStep(); });
        break;
      case 6:  // power events and shutdown
        if (input.Byte() % 2 == 0) {
          rig.link.ReopenController();
        } else {
          rig.Run([&] { rig.link.DetachController(); });
        }
        break;
      case 7:  // the device fails or comes back
        rig.port.failWrites = input.Byte() % 2 == 1;
        rig.port.openFailuresLeft = input.Byte() % 4;
        break;
      case 8:  // the fan regulation sends a command
        rig.Run([&] { rig.link.SendToController({0xA3, input.Byte()}); });
        break;
    }
    CheckInvariants(rig);
  }
  return 0;
}
