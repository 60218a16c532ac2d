#include "sim_command.h"

#include <cctype>
#include <cstddef>
#include <span>

#include "base/ini_file.h"
#include "protocol/controller_protocol.h"

namespace trellon::sim {
namespace {

using namespace trellon::vx710;

constexpr uint32_t kMaxDurationMs = 24u * 3600u * 1000u;
constexpr uint32_t kMaxRepeatCount = 10000;

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::optional<int64_t> Number(std::string_view word, int64_t low, int64_t high) {
  const auto value = ParseInteger(word);
  if (!value || *value < low || *value > high) return std::nullopt;
  return *value;
}

// "4D", "0x4D" or "$4D".
std::optional<uint8_t> HexByte(std::string_view word) {
  std::string text(word);
  if (!text.starts_with("0x") && !text.starts_with("0X") && !text.starts_with("$")) {
    text = "0x" + text;
  }
  const auto value = ParseInteger(text);
  if (!value || *value < 0 || *value > 255) return std::nullopt;
  return static_cast<uint8_t>(*value);
}

ParsedCommand Fail(std::string_view error) {
  return {std::nullopt, std::string(error)};
}
ParsedCommand Ok(SimCommand command) {
  return {std::move(command), {}};
}

using Kind = SimCommand::Kind;
using Arguments = std::span<const std::string_view>;

// Usages that also answer a wrong argument, not only a wrong number of them.
constexpr std::string_view kCodeUsage = "usage: code N, with N from 0 to 255 (e.g. code 65)";
constexpr std::string_view kTempUsage = "usage: temp rear|front C, e.g. temp rear 42";
constexpr std::string_view kDriftUsage = "usage: drift on|off";
constexpr std::string_view kSleepUsage = "usage: sleep MS, with MS from 0 to 86400000";
constexpr std::string_view kWaitUsage = "usage: wait open|attached";

SimCommand OfKind(Kind kind) {
  SimCommand command;
  command.kind = kind;
  return command;
}

template <Kind kind>
ParsedCommand ParseBare(Arguments) {
  return Ok(OfKind(kind));
}

ParsedCommand ParseHold(Arguments args) {
  const auto code = SimKeyCode(args[0]);
  if (!code) return Fail("unknown key \"" + std::string(args[0]) + "\" (help lists the keys)");
  const auto ms = Number(args[1], 0, kMaxDurationMs);
  if (!ms) return Fail("hold: milliseconds must be a whole number from 0 to 86400000");
  SimCommand command = OfKind(Kind::Hold);
  command.code = *code;
  command.keyName = std::string(args[0]);
  command.milliseconds = static_cast<uint32_t>(*ms);
  return Ok(command);
}

ParsedCommand ParseRepeat(Arguments args) {
  const auto count = args.empty() ? std::optional<int64_t>(1) : Number(args[0], 1, kMaxRepeatCount);
  if (!count) return Fail("repeat: N must be a whole number from 1 to 10000");
  SimCommand command = OfKind(Kind::Repeat);
  command.count = static_cast<uint32_t>(*count);
  return Ok(command);
}

ParsedCommand ParseCode(Arguments args) {
  const auto code = Number(args[0], 0, 255);
  if (!code) return Fail(kCodeUsage);
  SimCommand command = OfKind(Kind::Code);
  command.code = static_cast<uint8_t>(*code);
  return Ok(command);
}

ParsedCommand ParseRaw(Arguments args) {
  SimCommand command = OfKind(Kind::Raw);
  for (const std::string_view word : args) {
    const auto byte = HexByte(word);
    if (!byte) return Fail("raw: \"" + std::string(word) + "\" is not a hex byte");
    command.bytes.push_back(*byte);
  }
  return Ok(command);
}

ParsedCommand ParseTemp(Arguments args) {
  if (args[0] != "rear" && args[0] != "front") return Fail(kTempUsage);
  const auto celsius = Number(args[1], kMinCelsius, kMaxCelsius);
  if (!celsius) return Fail("temp: degrees must be a whole number from -22 to 100");
  SimCommand command = OfKind(Kind::Temp);
  command.channel = args[0] == "rear" ? SimCommand::Channel::Rear : SimCommand::Channel::Front;
  command.celsius = static_cast<int>(*celsius);
  return Ok(command);
}

ParsedCommand ParseDrift(Arguments args) {
  if (args[0] != "on" && args[0] != "off") return Fail(kDriftUsage);
  SimCommand command = OfKind(Kind::Drift);
  command.on = args[0] == "on";
  return Ok(command);
}

ParsedCommand ParseSleep(Arguments args) {
  const auto ms = Number(args[0], 0, kMaxDurationMs);
  if (!ms) return Fail(kSleepUsage);
  SimCommand command = OfKind(Kind::Sleep);
  command.milliseconds = static_cast<uint32_t>(*ms);
  return Ok(command);
}

ParsedCommand ParseWait(Arguments args) {
  if (args[0] != "open" && args[0] != "attached") return Fail(kWaitUsage);
  SimCommand command = OfKind(Kind::Wait);
  command.condition =
      args[0] == "open" ? SimCommand::Condition::PortOpen : SimCommand::Condition::Attached;
  return Ok(command);
}

// One command word: how many arguments it takes, the answer to any other number, and the
// parser of its arguments (called with an allowed number of them).
struct Verb {
  std::string_view name;
  size_t minArguments;
  size_t maxArguments;
  std::string_view usage;
  ParsedCommand (*parse)(Arguments);
};

constexpr size_t kAnyNumber = SIZE_MAX;

// Looked at before the key names.
constexpr Verb kVerbs[] = {
    {"help", 0, 0, "help takes no arguments", ParseBare<Kind::Help>},
    {"quit", 0, 0, "quit takes no arguments", ParseBare<Kind::Quit>},
    {"status", 0, 0, "status takes no arguments", ParseBare<Kind::Status>},
    {"answer", 0, 0, "answer takes no arguments", ParseBare<Kind::Answer>},
    {"hold", 2, 2, "usage: hold KEY MS, e.g. hold up 1500", ParseHold},
    {"repeat", 0, 1, "usage: repeat [N]", ParseRepeat},
    {"code", 1, 1, kCodeUsage, ParseCode},
    {"raw", 1, kAnyNumber, "usage: raw HH [HH ...], bytes in hex (e.g. raw 4D 5A 35)", ParseRaw},
    {"temp", 2, 2, kTempUsage, ParseTemp},
    {"drift", 1, 1, kDriftUsage, ParseDrift},
    {"sleep", 1, 1, kSleepUsage, ParseSleep},
    {"wait", 1, 1, kWaitUsage, ParseWait},
};

ParsedCommand ParseKey(std::string_view name, Arguments args) {
  const auto code = SimKeyCode(name);
  if (!code) return Fail("unknown command \"" + std::string(name) + "\" (help lists the commands)");
  if (!args.empty()) return Fail("a key takes no arguments (hold KEY MS holds it)");
  SimCommand command = OfKind(Kind::Key);
  command.code = *code;
  command.keyName = std::string(name);
  return Ok(command);
}

ParsedCommand ParseWords(const std::vector<std::string_view>& words) {
  const std::string_view name = words[0];
  const Arguments args = Arguments(words).subspan(1);
  for (const Verb& verb : kVerbs) {
    if (verb.name != name) continue;
    if (args.size() < verb.minArguments || args.size() > verb.maxArguments) return Fail(verb.usage);
    return verb.parse(args);
  }
  return ParseKey(name, args);
}

}  // namespace

ParsedCommand ParseCommand(std::string_view line) {
  const auto words = Words(line);
  if (words.empty() || words[0].starts_with("#")) return Ok(SimCommand{});
  return ParseWords(words);
}

std::optional<std::string> SimKeyName(uint8_t code) {
  if (code == kPowerCode) return "power";
  if (code == kDisplayModeCode) return "display";
  if (const auto name = KeyNameForCode(code)) return std::string(*name);
  return std::nullopt;
}

std::optional<uint8_t> SimKeyCode(std::string_view name) {
  if (name == "power") return kPowerCode;
  if (name == "display") return kDisplayModeCode;
  return CodeForKeyName(name);
}

std::vector<std::string> HelpLines(uint32_t repeatIntervalMs) {
  const std::string every = std::to_string(repeatIntervalMs) + " ms";
  std::vector<std::string> lines = {
      "commands, one a line (scripts use the same):",
      "  KEY                send a remote key by name, e.g. ok, home, up, 5, power, display",
      "  hold KEY MS        send KEY, then repeat codes every " + every + " for MS milliseconds",
      "  repeat [N]         send N repeat codes (default 1), " + every + " apart",
      "  code N             send one byte N (0..255), e.g. code 65 for the power key",
      "  raw HH [HH ...]    send bytes given in hex, e.g. raw 4D 5A 35",
      "  temp rear|front C  set a reported temperature (-22..100 C)",
      "  drift on|off       let both temperatures wander slowly by up to 3 C",
      "  answer             send the hello answer MZ5 now",
      "  sleep MS           wait MS milliseconds before the next command",
      "  wait open|attached wait until the program opens the device, or has attached",
      "  status             show link, port, temperatures and the last fan values",
      "  help               this list",
      "  quit               end the simulator (so does Ctrl+D)",
  };
  std::string keys = "keys:";
  for (int code = kFirstKeyCode; code <= kLastKeyCode; ++code) {
    if (const auto name = SimKeyName(static_cast<uint8_t>(code))) {
      if (keys.size() + name->size() + 1 > 98) {
        lines.push_back(keys);
        keys = "     ";
      }
      keys += " " + *name;
    }
  }
  lines.push_back(keys);
  return lines;
}

}  // namespace trellon::sim
