#pragma once
// Template definitions of input_key_table.h.

#include <charconv>

namespace trellon {

template <typename CodeForName>
std::optional<int> InputKeyCode(std::string_view entry, CodeForName codeForName) {
  if (entry.empty()) return std::nullopt;
  int code = 0;
  const auto [end, error] = std::from_chars(entry.data(), entry.data() + entry.size(), code);
  if (error == std::errc() && end == entry.data() + entry.size()) {
    if (code < 1 || code > kMaxInputKeyCode) return std::nullopt;
    return code;
  }
  return codeForName(entry);
}

template <typename CodeForName>
std::map<std::string, int, std::less<>> ResolveInputKeys(const InputKeyTable& table,
                                                         CodeForName codeForName,
                                                         std::vector<std::string>& unknown) {
  std::map<std::string, int, std::less<>> codes;
  for (const auto& [remoteKey, entry] : table.Entries()) {
    if (const std::optional<int> code = InputKeyCode(entry, codeForName)) {
      codes.emplace(remoteKey, *code);
    } else {
      unknown.push_back(remoteKey + "=" + entry);
    }
  }
  return codes;
}

}  // namespace trellon
