#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_read.h"

namespace trellon {

class FileWriter;

// Raised (on the main thread, through the file writer's report) when the settings file cannot be
// written.
class IniWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised when the settings file cannot be used as it is (reported through the error handling).
class IniReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses an integer the way the settings file and the numeric edits read one: optional blanks
// and sign, then decimal digits, or hexadecimal after "$" or "0x"/"0X" (hexadecimal is taken as
// 32 bits, so "$FFFFFFFF" is -1). Anything else, or a value outside 32 bits, gives nothing.
std::optional<int32_t> ParseInteger(std::string_view text);

// An ini-style text file held in memory: sections of "key=value" lines. Lines, keys and sections
// that the program does not write are kept as they were. A key that is written for the first time
// is appended to the end of its section, so a new file holds the keys in the order of writing.
class IniFile {
 public:
  // A settings file is small: a larger one, or one with a longer value, is not taken (reading and
  // showing it would hold the program for seconds and fill its memory). A value has room for the
  // longest text an edit holds (32767 characters of up to three bytes each).
  static constexpr size_t kMaxFileBytes = 1024 * 1024;
  static constexpr size_t kMaxValueBytes = 96 * 1024;

  explicit IniFile(std::string path);

  // Reads the file. A file that is missing, cannot be read (FileStatus::Unreadable, also anything
  // but a regular file) or is too large (TooLarge, also for a value over kMaxValueBytes) gives an
  // empty one; the result tells which.
  FileRead Load();
  // The same for the file as it will be once the writer has written what it was given.
  FileRead Load(const FileWriter& writer);
  // Hands the whole text to the writer, which writes it to a temporary file beside the file and
  // renames it over the old one, so the old file stays whole when writing fails. A failure
  // raises IniWriteError with the reason in the writer's report on the main thread.
  void Save(FileWriter& writer) const;

  bool HasKey(std::string_view section, std::string_view key) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // Booleans are integers: non-zero is true, anything unparsable the default.
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  // A present key reads its text, even when empty; a missing key the default.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;

  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  const std::string& Path() const { return path_; }
  // The file's text as Save would write it.
  std::string Text() const;

 private:
  struct Line {
    std::string text;  // the raw line (for comments, blanks and section headers)
    std::string key;   // empty for lines that are not key=value
    std::string value;
  };
  struct Section {
    std::string name;
    std::string header;  // raw header line; empty for lines before the first section
    std::vector<Line> lines;
  };

  // Parses what was read; a value over the limit makes the whole file too large.
  FileRead Take(FileRead read, const std::string& content);
  void Parse(const std::string& content);
  const Line* Find(std::string_view section, std::string_view key) const;
  Section& SectionFor(std::string_view section);

  std::string path_;
  std::vector<Section> sections_;
};

}  // namespace trellon
