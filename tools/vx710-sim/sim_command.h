#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trellon::sim {

// One command line of the simulator, as typed or read from a script.
struct SimCommand {
  enum class Kind {
    None,    // blank line or comment
    Key,     // send a key code: `ok`, `power`, `5`
    Hold,    // `hold up 1500`: the key, then repeat codes for that long
    Repeat,  // `repeat 3`: repeat codes only
    Code,    // `code 65`: one raw byte
    Raw,     // `raw 4D 5A 35`: bytes in hex
    Temp,    // `temp rear 42`
    Drift,   // `drift on`
    Answer,  // send the hello answer now
    Sleep,   // `sleep 500`: hold back the following commands
    Wait,    // `wait open`, `wait attached`: hold them back until that holds
    Status,
    Help,
    Quit,
  };
  enum class Channel { Rear, Front };
  enum class Condition { PortOpen, Attached };

  Kind kind = Kind::None;
  uint8_t code = 0;                           // Key, Hold, Code
  std::string keyName;                        // Key, Hold
  uint32_t milliseconds = 0;                  // Hold, Sleep
  uint32_t count = 0;                         // Repeat
  std::vector<uint8_t> bytes;                 // Raw
  Channel channel = Channel::Rear;            // Temp
  int celsius = 0;                            // Temp
  bool on = false;                            // Drift
  Condition condition = Condition::PortOpen;  // Wait
};

struct ParsedCommand {
  std::optional<SimCommand> command;  // empty when the line is wrong
  std::string error;                  // why, for the user
};

ParsedCommand ParseCommand(std::string_view line);

// The key name of a code the simulator can send by name: the remote's key table plus "power"
// and "display", which have actions instead of names in the program.
std::optional<std::string> SimKeyName(uint8_t code);
std::optional<uint8_t> SimKeyCode(std::string_view name);

// The `help` text, one line per entry, without line ends.
std::vector<std::string> HelpLines(uint32_t repeatIntervalMs);

// Warmest and coldest temperature the controller's byte can carry.
constexpr int kMinCelsius = -22;
constexpr int kMaxCelsius = 100;

}  // namespace trellon::sim
