#include "base/ini_file.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "base/file_writer.h"

namespace trellon {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<int32_t> ParseInteger(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (!text.empty() && text.front() == '$') {
    hex = true;
    text.remove_prefix(1);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t magnitude = 0;
  for (const char c : text) {
    const int digit = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return std::nullopt;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > 0xFFFFFFFFull) return std::nullopt;
  }
  int64_t value;
  if (hex) {
    value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
  } else {
    value = static_cast<int64_t>(magnitude);
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

FileRead IniFile::Load() {
  std::string content;
  return Take(ReadFile(path_, content, kMaxFileBytes), content);
}

FileRead IniFile::Load(const FileWriter& writer) {
  std::string content;
  return Take(writer.ReadNewest(path_, content, kMaxFileBytes), content);
}

FileRead IniFile::Take(FileRead read, const std::string& content) {
  Parse(content);
  for (const Section& section : sections_) {
    for (const Line& line : section.lines) {
      if (line.value.size() <= kMaxValueBytes) continue;
      Parse({});
      return {FileStatus::TooLarge,
              path_ + ": a value is longer than " + std::to_string(kMaxValueBytes) + " bytes"};
    }
  }
  return read;
}

void IniFile::Parse(const std::string& content) {
  sections_.clear();
  sections_.push_back(Section{});
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string raw = content.substr(start, end - start);
    // Every carriage return at the end goes: one left behind would be the end of the line after
    // the next save, and the line would change with every load and save.
    while (!raw.empty() && raw.back() == '\r') raw.pop_back();
    start = end + 1;
    const std::string_view trimmed = Trim(raw);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
      Section section;
      section.name = std::string(Trim(trimmed.substr(1, trimmed.size() - 2)));
      section.header = raw;
      sections_.push_back(std::move(section));
      continue;
    }
    Line line;
    line.text = raw;
    const size_t equals = raw.find('=');
    if (equals != std::string::npos && !trimmed.empty() && trimmed.front() != ';') {
      line.key = std::string(Trim(std::string_view(raw).substr(0, equals)));
      line.value = std::string(Trim(std::string_view(raw).substr(equals + 1)));
      // Read a carriage return inside a value as the space that a save writes for it.
      std::replace(line.value.begin(), line.value.end(), '\r', ' ');
    }
    sections_.back().lines.push_back(std::move(line));
  }
}

std::string IniFile::Text() const {
  std::string text;
  for (const Section& section : sections_) {
    if (!section.header.empty()) text += section.header + "\n";
    for (const Line& line : section.lines) {
      text += line.key.empty() ? line.text : line.key + "=" + line.value;
      text += "\n";
    }
  }
  return text;
}

void IniFile::Save(FileWriter& writer) const {
  writer.Write(path_, Text(), [](const std::string& failure) {
    if (!failure.empty()) throw IniWriteError("Cannot write the settings file " + failure);
  });
}

const IniFile::Line* IniFile::Find(std::string_view section, std::string_view key) const {
  for (const Section& s : sections_) {
    if (s.header.empty() || !SameName(s.name, section)) continue;
    for (const Line& line : s.lines) {
      if (!line.key.empty() && SameName(line.key, key)) return &line;
    }
  }
  return nullptr;
}

IniFile::Section& IniFile::SectionFor(std::string_view section) {
  if (sections_.empty()) sections_.push_back(Section{});
  for (Section& s : sections_) {
    if (!s.header.empty() && SameName(s.name, section)) return s;
  }
  Section fresh;
  fresh.name = std::string(section);
  fresh.header = "[" + fresh.name + "]";
  sections_.push_back(std::move(fresh));
  return sections_.back();
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
  return Find(section, key) != nullptr;
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                             int32_t defaultValue) const {
  const Line* line = Find(section, key);
  if (!line) return defaultValue;
  return ParseInteger(line->value).value_or(defaultValue);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
  const Line* line = Find(section, key);
  return line ? line->value : std::string(defaultValue);
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  // A line break in a value would split the line and corrupt the file on the next read.
  std::string clean(value);
  std::replace_if(
      clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  Section& s = SectionFor(section);
  for (Line& line : s.lines) {
    if (!line.key.empty() && SameName(line.key, key)) {
      line.value = clean;
      return;
    }
  }
  // New keys go after the section's last key, before trailing blank lines.
  auto position = s.lines.end();
  while (position != s.lines.begin() && std::prev(position)->key.empty() &&
         Trim(std::prev(position)->text).empty()) {
    --position;
  }
  Line line;
  line.key = std::string(key);
  line.value = clean;
  s.lines.insert(position, std::move(line));
}

}  // namespace trellon
