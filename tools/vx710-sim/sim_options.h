#pragma once

#include <string>
#include <vector>

#include "controller_sim.h"

namespace trellon::sim {

struct SimOptions {
  SimSettings settings;
  std::string linkPath;     // --link: a symbolic link to the device
  std::string scriptPath;   // --script: commands run before those from stdin
  bool stay = false;        // keep running at the end of stdin
  bool timestamps = false;  // prefix lines with seconds since start
  bool help = false;
};

struct ParsedOptions {
  SimOptions options;
  std::string error;  // empty when the arguments were fine
};

// Parses the arguments after the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);
std::string UsageText();

}  // namespace trellon::sim
