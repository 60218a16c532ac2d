// vx710-sim's command lines and options: every line is either a command or refused with a reason,
// and the simulator runs whatever was accepted (on a manual clock, against a recording line)
// without failing.
//
// Input: command lines, one per line; the first line is also split into option words.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "base/clock.h"
#include "controller_sim.h"
#include "fuzz_check.h"
#include "sim_command.h"
#include "sim_options.h"
#include "tools/fake_sim_wire.h"

namespace {

using namespace trellon::sim;

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  std::istringstream stream(input);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  if (lines.empty()) return 0;

  const ParsedOptions options = ParseOptions(Words(lines.front()));

  trellon::ManualClock clock(0xFFFFFF00u);
  FakeWire wire;
  size_t outputLines = 0;
  SimSettings settings = options.error.empty() ? options.options.settings : SimSettings{};
  ControllerSim sim(
      clock, wire, [&](const std::string&) { ++outputLines; }, settings);
  for (const std::string& line : lines) {
    const ParsedCommand parsed = ParseCommand(line);
    FUZZ_CHECK(parsed.command.has_value() != !parsed.error.empty());
    if (parsed.command && parsed.command->kind == SimCommand::Kind::Raw) {
      FUZZ_CHECK(!parsed.command->bytes.empty());
    }
    sim.Submit(line);
    // The line from the program now and then, as the controller would see it.
    if (line.size() % 3 == 0) sim.OnReceived(std::vector<uint8_t>(line.begin(), line.end()));
    sim.Poll();
    clock.Advance(static_cast<uint32_t>(line.size()) * 37);
    sim.Poll();
    FUZZ_CHECK(sim.MillisToNextDue() <= ControllerSim::kIdleWaitMs);
  }
  return 0;
}
