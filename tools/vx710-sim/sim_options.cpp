#include "sim_options.h"

#include <optional>

#include "base/ini_file.h"
#include "sim_command.h"

namespace trellon::sim {
namespace {

std::optional<int> Number(const std::string& text, int low, int high) {
  const auto value = ParseInteger(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return *value;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions result;
  SimOptions& options = result.options;
  std::optional<uint32_t> faultGapMs;
  std::optional<std::vector<FaultKind>> faultKinds;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // Options that take a value accept "--opt VALUE" and "--opt=VALUE".
    std::string name = arg;
    std::optional<std::string> value;
    if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    auto takeValue = [&]() -> std::optional<std::string> {
      if (value) return value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    auto numberValue = [&](int low, int high) -> std::optional<int> {
      const auto text = takeValue();
      if (!text) {
        result.error = name + " needs a value";
        return std::nullopt;
      }
      const auto number = Number(*text, low, high);
      if (!number) {
        result.error = name + ": \"" + *text + "\" is not a whole number from " +
                       std::to_string(low) + " to " + std::to_string(high);
      }
      return number;
    };

    if (name == "-h" || name == "--help") {
      options.help = true;
    } else if (name == "--link" || name == "--script") {
      const auto text = takeValue();
      if (!text || text->empty()) {
        result.error = name + " needs a path";
      } else {
        (name == "--link" ? options.linkPath : options.scriptPath) = *text;
      }
    } else if (name == "--answer-delay") {
      if (const auto ms = numberValue(0, 600000)) options.settings.answerDelayMs = *ms;
    } else if (name == "--faults") {
      if (const auto seed = numberValue(0, 2147483647)) {
        if (!options.settings.faults) options.settings.faults.emplace();
        options.settings.faults->seed = static_cast<uint32_t>(*seed);
      }
    } else if (name == "--fault-gap") {
      if (const auto ms = numberValue(10, 3600000)) faultGapMs = static_cast<uint32_t>(*ms);
    } else if (name == "--fault-kinds") {
      const auto text = takeValue();
      faultKinds = ParseFaultKinds(text.value_or(""));
      if (!faultKinds) {
        result.error = name + " needs a list of drop, silent, late, garbage, stall, flip, flood";
      }
    } else if (name == "--repeat-interval") {
      if (const auto ms = numberValue(1, 10000)) options.settings.repeatIntervalMs = *ms;
    } else if (name == "--rear" || name == "--front") {
      if (const auto c = numberValue(kMinCelsius, kMaxCelsius)) {
        (name == "--rear" ? options.settings.rearCelsius : options.settings.frontCelsius) = *c;
      }
    } else if (value) {
      result.error = name + " takes no value";
    } else if (name == "--no-answer") {
      options.settings.answerHello = false;
    } else if (name == "--drift") {
      options.settings.drift = true;
    } else if (name == "--quiet-ticks") {
      options.settings.quietTicks = true;
    } else if (name == "--stay") {
      options.stay = true;
    } else if (name == "--time") {
      options.timestamps = true;
    } else {
      result.error = "unknown option " + arg;
    }
    if (!result.error.empty()) break;
  }
  if (result.error.empty() && (faultGapMs || faultKinds) && !options.settings.faults) {
    result.error = "--fault-gap and --fault-kinds need --faults SEED";
  } else if (options.settings.faults) {
    if (faultGapMs) options.settings.faults->meanGapMs = *faultGapMs;
    if (faultKinds) options.settings.faults->kinds = *faultKinds;
  }
  return result;
}

std::string UsageText() {
  return R"(usage: vx710-sim [options]

A virtual VX710 front-panel controller on a pseudo-terminal. It prints the device name
("device /dev/pts/N"); give it to the program as TRELLON_COM3. Commands come from stdin
(type help), or from a script; every event is printed on one line.

options:
  --link PATH            also make PATH a symbolic link to the device (an old link is replaced)
  --script FILE          run the commands in FILE first, then those from stdin
  --stay                 keep running at the end of stdin, until quit, Ctrl+C or SIGTERM
  --no-answer            never answer the hello frame by itself (the answer command still does)
  --answer-delay MS      answer the first hello frame of a burst after MS milliseconds (default 0)
  --rear C, --front C    temperatures to report, -22..100 C (default 40 and 35)
  --drift                let the temperatures wander slowly by up to 3 C
  --repeat-interval MS   spacing of the repeat codes of hold and repeat (default 108)
  --quiet-ticks          hide the per-second lines: "tick" and "sent temp ..."
  --time                 start each line with the seconds since start, e.g. "12.345 hello"
  --faults SEED          misbehave on a schedule drawn from SEED (lines "fault ..." say when)
  --fault-gap MS         mean time between two faults (default 5000)
  --fault-kinds LIST     only these faults: drop,silent,late,garbage,stall,flip,flood (default all)
  -h, --help             this text

Ctrl+D (end of stdin) or quit ends the simulator once the commands before it have run.
)";
}

}  // namespace trellon::sim
