#include "sim_command.h"

#include <cctype>

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

ParsedCommand Fail(std::string error) {
  return {std::nullopt, std::move(error)};
}
ParsedCommand Ok(SimCommand command) {
  return {std::move(command), {}};
}

ParsedCommand ParseWords(const std::vector<std::string_view>& words) {
  using Kind = SimCommand::Kind;
  const std::string_view verb = words[0];
  const size_t args = words.size() - 1;
  SimCommand command;

  if (verb == "help" || verb == "quit" || verb == "status" || verb == "answer") {
    if (args != 0) return Fail(std::string(verb) + " takes no arguments");
    command.kind = verb == "help"     ? Kind::Help
                   : verb == "quit"   ? Kind::Quit
                   : verb == "status" ? Kind::Status
                                      : Kind::Answer;
    return Ok(command);
  }
  if (verb == "hold") {
    if (args != 2) return Fail("usage: hold KEY MS, e.g. hold up 1500");
    const auto code = SimKeyCode(words[1]);
    if (!code) return Fail("unknown key \"" + std::string(words[1]) + "\" (help lists the keys)");
    const auto ms = Number(words[2], 0, kMaxDurationMs);
    if (!ms) return Fail("hold: milliseconds must be a whole number from 0 to 86400000");
    command.kind = Kind::Hold;
    command.code = *code;
    command.keyName = std::string(words[1]);
    command.milliseconds = static_cast<uint32_t>(*ms);
    return Ok(command);
  }
  if (verb == "repeat") {
    if (args > 1) return Fail("usage: repeat [N]");
    const auto count = args == 0 ? std::optional<int64_t>(1) : Number(words[1], 1, kMaxRepeatCount);
    if (!count) return Fail("repeat: N must be a whole number from 1 to 10000");
    command.kind = Kind::Repeat;
    command.count = static_cast<uint32_t>(*count);
    return Ok(command);
  }
  if (verb == "code") {
    const auto code = args == 1 ? Number(words[1], 0, 255) : std::nullopt;
    if (!code) return Fail("usage: code N, with N from 0 to 255 (e.g. code 65)");
    command.kind = Kind::Code;
    command.code = static_cast<uint8_t>(*code);
    return Ok(command);
  }
  if (verb == "raw") {
    if (args == 0) return Fail("usage: raw HH [HH ...], bytes in hex (e.g. raw 4D 5A 35)");
    command.kind = Kind::Raw;
    for (size_t i = 1; i < words.size(); ++i) {
      const auto byte = HexByte(words[i]);
      if (!byte) return Fail("raw: \"" + std::string(words[i]) + "\" is not a hex byte");
      command.bytes.push_back(*byte);
    }
    return Ok(command);
  }
  if (verb == "temp") {
    if (args != 2 || (words[1] != "rear" && words[1] != "front")) {
      return Fail("usage: temp rear|front C, e.g. temp rear 42");
    }
    const auto celsius = Number(words[2], kMinCelsius, kMaxCelsius);
    if (!celsius) return Fail("temp: degrees must be a whole number from -22 to 100");
    command.kind = Kind::Temp;
    command.channel = words[1] == "rear" ? SimCommand::Channel::Rear : SimCommand::Channel::Front;
    command.celsius = static_cast<int>(*celsius);
    return Ok(command);
  }
  if (verb == "drift") {
    if (args != 1 || (words[1] != "on" && words[1] != "off")) return Fail("usage: drift on|off");
    command.kind = Kind::Drift;
    command.on = words[1] == "on";
    return Ok(command);
  }
  if (verb == "sleep") {
    const auto ms = args == 1 ? Number(words[1], 0, kMaxDurationMs) : std::nullopt;
    if (!ms) return Fail("usage: sleep MS, with MS from 0 to 86400000");
    command.kind = Kind::Sleep;
    command.milliseconds = static_cast<uint32_t>(*ms);
    return Ok(command);
  }
  if (verb == "wait") {
    if (args != 1 || (words[1] != "open" && words[1] != "attached")) {
      return Fail("usage: wait open|attached");
    }
    command.kind = Kind::Wait;
    command.condition =
        words[1] == "open" ? SimCommand::Condition::PortOpen : SimCommand::Condition::Attached;
    return Ok(command);
  }
  if (const auto code = SimKeyCode(verb)) {
    if (args != 0) return Fail("a key takes no arguments (hold KEY MS holds it)");
    command.kind = Kind::Key;
    command.code = *code;
    command.keyName = std::string(verb);
    return Ok(command);
  }
  return Fail("unknown command \"" + std::string(verb) + "\" (help lists the commands)");
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
