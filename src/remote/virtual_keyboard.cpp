#include "remote/virtual_keyboard.h"

#include <algorithm>

namespace trellon {

void InputKeyOutput::KeyForwarded(const ForwardedKey& key) {
  const auto it = codes_.find(key.name);
  if (it == codes_.end()) return;
  // A device that stopped taking events (unplugged uinput, a full buffer) loses the keystroke;
  // the next one tries again.
  keyboard_.Write(KeystrokeEvents(it->second));
}

std::vector<int> InputKeyOutput::CodesOf(const std::map<std::string, int, std::less<>>& codes) {
  std::vector<int> result;
  for (const auto& [name, code] : codes) result.push_back(code);
  std::sort(result.begin(), result.end());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return result;
}

}  // namespace trellon
