#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trellon {

// True when the first argument after the program name is exactly "-noclick" (case-sensitive):
// then the click hook is not installed. Later arguments are not looked at.
bool HasNoClickArgument(const std::vector<std::string>& arguments);

// What the program prints for "--help" or "--version" as the first argument, before it ends
// without opening a window; nothing for any other command line (which starts the program).
std::optional<std::string> CommandLineAnswer(const std::vector<std::string>& arguments);

// The environment variable that moves the key server off its usual port (tests, a second copy).
constexpr const char* kKeyServerPortVariable = "TRELLON_KEY_SERVER_PORT";

// The key server's port for the variable's value: a whole number 0..65535 (0 picks a free port);
// null or empty gives 21000. Any other value also gives 21000, and sets problem to a note.
uint16_t KeyServerPortSetting(const char* value, std::string& problem);

}  // namespace trellon
