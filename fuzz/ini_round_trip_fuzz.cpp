// The settings file's reader and writer: any text read and written again reads back as the same
// file, and a value written into it reads back as written (line breaks become blanks, the ends
// are trimmed).
//
// Input: the file's text, then (after the last 0 byte, when there is one) a value to write.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/ini_file.h"
#include "fuzz_check.h"
#include "support/temporary_directory.h"

namespace {

using trellon::IniFile;

std::string Trimmed(std::string value) {
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  const char* const blanks = " \t\n\v\f\r";
  const size_t first = value.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return value.substr(first, value.find_last_not_of(blanks) - first + 1);
}

IniFile Read(const std::string& path, const std::string& text) {
  trellon::test_support::WriteText(path, text);
  IniFile ini(path);
  ini.Load();
  return ini;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const trellon::test_support::TemporaryDirectory directory;
  const std::string path = directory.File("Trellon.ini");
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.rfind('\0');
  const std::string text = split == std::string::npos ? input : input.substr(0, split);
  const std::string value = split == std::string::npos ? "" : input.substr(split + 1);

  IniFile first = Read(path, text);
  const std::string once = first.Text();
  FUZZ_CHECK(Read(path, once).Text() == once);

  // Keys the program writes, in the section it uses, and one that no file has yet.
  for (const char* key : {"Left", "edHomeMediaPortal", "Fuzz Key"}) {
    IniFile written = Read(path, text);
    const std::string before = written.ReadString("X", "Other", "-");
    written.WriteString("X", key, value);
    IniFile reread = Read(path, written.Text());
    FUZZ_CHECK(reread.HasKey("X", key));
    FUZZ_CHECK(reread.ReadString("X", key, "") == Trimmed(value));
    FUZZ_CHECK(reread.ReadString("X", "Other", "-") == before);
  }
  return 0;
}
