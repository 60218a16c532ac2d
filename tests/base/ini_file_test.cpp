#include "base/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/file_writer.h"
#include "fakes/recording_shell.h"
#include "support/temporary_directory.h"

namespace trellon {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& text) { test_support::WriteText(path_, text); }
  std::string ReadFile() { return test_support::ReadText(path_); }

  // Saves through the writer and waits for it, as the program does at close.
  void Save(const IniFile& ini) {
    ini.Save(writer_);
    writer_.Flush();
  }

  test_support::TemporaryDirectory dir_;
  std::string path_ = dir_.File("Trellon.ini");
  MainThread mainThread_;
  fakes::RecordingShell shell_;
  FileWriter writer_{mainThread_, shell_};
};

TEST(ParseIntegerTest, ReadsDecimalAndBothHexadecimalForms) {
  EXPECT_EQ(ParseInteger("35"), 35);
  EXPECT_EQ(ParseInteger(" -12 "), -12);
  EXPECT_EQ(ParseInteger("+7"), 7);
  EXPECT_EQ(ParseInteger("$1F"), 31);
  EXPECT_EQ(ParseInteger("0x1f"), 31);
  EXPECT_EQ(ParseInteger("0X10"), 16);
  EXPECT_EQ(ParseInteger("-$10"), -16);
  // Hexadecimal is a 32-bit pattern.
  EXPECT_EQ(ParseInteger("$FFFFFFFF"), -1);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), INT32_MIN);
}

TEST(ParseIntegerTest, RejectsJunkAndOverflow) {
  for (const char* junk : {"", " ", "abc", "12abc", "1.5", "true", "$", "0x", "--1", "$1G",
                           "2147483648", "99999999999999999999", "$100000000"}) {
    EXPECT_FALSE(ParseInteger(junk).has_value()) << junk;
  }
}

TEST_F(IniFileTest, MissingFileAndKeysGiveDefaults) {
  IniFile ini(path_);
  ini.Load();
  EXPECT_EQ(ini.ReadInteger("X", "Width", 800), 800);
  EXPECT_TRUE(ini.ReadBool("X", "HomeStart", true));
  EXPECT_EQ(ini.ReadString("X", "sfname0", "0"), "0");
}

TEST_F(IniFileTest, ReadsValuesWithHexJunkAndEmptyText) {
  WriteFile(
      "[X]\r\nLeft=$20\r\nTop=0x10\r\nWidth=junk\r\nMinimized=true\r\nHomeStart=0\r\n"
      "sfname1=\r\nsfname2= CPU \r\n");
  IniFile ini(path_);
  ini.Load();
  EXPECT_EQ(ini.ReadInteger("X", "Left", 0), 32);
  EXPECT_EQ(ini.ReadInteger("x", "top", 0), 16) << "section and key names ignore case";
  EXPECT_EQ(ini.ReadInteger("X", "Width", 800), 800);
  EXPECT_FALSE(ini.ReadBool("X", "Minimized", false)) << "a word reads as the default";
  EXPECT_TRUE(ini.ReadBool("X", "Minimized", true));
  EXPECT_FALSE(ini.ReadBool("X", "HomeStart", true));
  EXPECT_EQ(ini.ReadString("X", "sfname1", "1"), "") << "a present empty text reads empty";
  EXPECT_EQ(ini.ReadString("X", "sfname2", "2"), "CPU");
  EXPECT_EQ(ini.ReadInteger("Other", "Left", 5), 5);
}

TEST_F(IniFileTest, NewFileHoldsKeysInWriteOrder) {
  IniFile ini(path_);
  ini.Load();
  ini.WriteInteger("X", "Left", 0);
  ini.WriteInteger("X", "WindowState", 0);
  ini.WriteBool("X", "Minimized", true);
  ini.WriteString("X", "sfname0", "CPU");
  ini.WriteInteger("X", "WindowState", 2);  // written twice: stays in its first place
  Save(ini);
  EXPECT_EQ(ReadFile(), "[X]\nLeft=0\nWindowState=2\nMinimized=1\nsfname0=CPU\n");
}

TEST_F(IniFileTest, KeepsKeysAndSectionsItDoesNotWrite) {
  WriteFile("; user notes\n[Other]\nA=1\n\n[X]\nCustom=keep me\nLeft=5\n\n[Tail]\nB=2\n");
  IniFile ini(path_);
  ini.Load();
  ini.WriteInteger("X", "Left", 9);
  ini.WriteInteger("X", "Top", 3);
  Save(ini);
  EXPECT_EQ(ReadFile(),
            "; user notes\n[Other]\nA=1\n\n[X]\nCustom=keep me\nLeft=9\nTop=3\n\n[Tail]\nB=2\n");
}

TEST_F(IniFileTest, LineBreaksInTextCannotSplitTheFile) {
  IniFile ini(path_);
  ini.WriteString("X", "sfname0", "a\nEvil=1");
  Save(ini);
  IniFile again(path_);
  again.Load();
  EXPECT_EQ(again.ReadString("X", "sfname0", ""), "a Evil=1");
  EXPECT_FALSE(again.HasKey("X", "Evil"));
}

TEST_F(IniFileTest, ReadAndSavedAgainTheFileStaysTheSame) {
  // Found by fuzzing: a comment or blank line ending in two carriage returns lost one per save.
  WriteFile("[X]\r\n; note\r\r\n\r\r\r\nLeft=5\r\r\n");
  IniFile first(path_);
  first.Load();
  Save(first);
  const std::string once = ReadFile();
  EXPECT_EQ(once, "[X]\n; note\n\nLeft=5\n");
  IniFile second(path_);
  second.Load();
  Save(second);
  EXPECT_EQ(ReadFile(), once);
}

TEST_F(IniFileTest, AValueReadsAsItWillBeSaved) {
  // Found by fuzzing: a carriage return inside a value was read as it stood but saved as a space,
  // so a name changed between two starts without anyone editing it.
  WriteFile("[X]\r\nsfname1=Core\r\x14Top=6\r\n");
  IniFile first(path_);
  first.Load();
  EXPECT_EQ(first.ReadString("X", "sfname1", ""), "Core \x14Top=6");
  first.WriteString("X", "sfname1", first.ReadString("X", "sfname1", ""));
  Save(first);
  IniFile second(path_);
  second.Load();
  EXPECT_EQ(second.ReadString("X", "sfname1", ""), "Core \x14Top=6");
}

TEST_F(IniFileTest, ReadOnlyFileIsNotReplacedAndTheOldContentStays) {
  WriteFile("[X]\nLeft=1\n");
  fs::permissions(path_, fs::perms::owner_read, fs::perm_options::replace);
  IniFile ini(path_);
  ini.Load();
  ini.WriteInteger("X", "Left", 2);
  Save(ini);
  EXPECT_EQ(shell_.errorClasses, std::vector<std::string>{"IniWriteError"});
  EXPECT_EQ(shell_.errors, std::vector<std::string>{"Cannot write the settings file " + path_ +
                                                    ": Permission denied"});
  EXPECT_EQ(ReadFile(), "[X]\nLeft=1\n");
  EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

TEST_F(IniFileTest, MissingFolderFailsWithTheReason) {
  IniFile ini(dir_.File("gone/Trellon.ini"));
  ini.WriteInteger("X", "Left", 2);
  Save(ini);
  ASSERT_EQ(shell_.errors.size(), 1u) << "Save must fail";
  EXPECT_EQ(shell_.errorClasses[0], "IniWriteError");
  EXPECT_NE(shell_.errors[0].find("No such file or directory"), std::string::npos)
      << shell_.errors[0];
}

}  // namespace
}  // namespace trellon
