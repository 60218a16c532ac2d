#pragma once

#include <string>
#include <vector>

namespace trellon {

// True when the first argument after the program name is exactly "-noclick" (case-sensitive):
// then the click hook is not installed. Later arguments are not looked at.
bool HasNoClickArgument(const std::vector<std::string>& arguments);

}  // namespace trellon
