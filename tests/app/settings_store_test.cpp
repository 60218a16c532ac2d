#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "base/file_writer.h"
#include "base/ini_file.h"
#include "fakes/app/fake_settings_window.h"
#include "fakes/recording_shell.h"
#include "support/temporary_directory.h"

namespace trellon {
namespace {

using test_support::ReadText;
using test_support::TemporaryWorkingDirectory;
using test_support::WriteText;

// Every key of a new file, in the order start-up reads them and SaveSettings writes them.
std::string DefaultFile() {
  std::string text = "[X]\nLeft=0\nTop=0\nWidth=800\nHeight=600\nWindowState=0\nMinimized=0\n";
  for (int i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i);
    text += "Minr" + n + "=35\nMaxr" + n + "=65\nResr" + n + "=20\n";
    text += "Minf" + n + "=35\nMaxf" + n + "=65\nResf" + n + "=20\n";
  }
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    text += "sfname" + n + "=" + n + "\nsf" + n + "=" + n + "\n";
  }
  text +=
      "DisplayHighQuality=0\nDisplayBufferedCopy=1\nDisplayTargetDirectAccess=1\n"
      "DisplayTimer=50\nDisplayNr=0\nBorderStyle=2\nActivePageIndex=0\nDisplayMode=0\n"
      "HomeStart=1\nHomeClose=1\nHomeCloseTime=1000\nHomeKill=1\nHomeKillTime=5000\n"
      "HomeMediaPortal=c:\\programme\\team mediaportal\\mediaportal\\mediaportal.exe\n"
      "PowerOffStopHome=1\nPowerOffDo=0\nRepeatDead=250\nRepeatFirst=500\nRepeatNext=0\n"
      "VolumeControlStretch=200\n";
  return text;
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStoreTest() {
    // As in the window: every shared change handler saves.
    for (ControlModel* control : controls.SharedChangeControls()) {
      control->SetOnChange([this] {
        ++changes;
        store.SaveSettings();
      });
    }
  }

  int32_t Read(const std::string& content) {
    WriteText("Trellon.ini", content);
    return store.ReadSettings();
  }

  TemporaryWorkingDirectory folder;
  MainThread mainThread;
  fakes::RecordingShell shell;
  FileWriter writer{mainThread, shell};
  ShellControls controls;
  DisplaySettings display;
  fakes::FakeSettingsWindow window;
  SettingsStore store{"Trellon.ini", writer, controls, display, window, shell};
  int changes = 0;
};

TEST_F(SettingsStoreTest, FirstStartTakesEveryDefaultAndWritesEveryKeyInOrder) {
  // Controls the window description left elsewhere get the table's defaults.
  controls.minRear[3]->SetValue(10);
  controls.sfNameEdits[2]->SetText("HDD");
  EXPECT_EQ(store.ReadSettings(), 0);
  EXPECT_EQ(window.calls,
            (std::vector<std::string>{"bounds 0 0 800 600", "state 0", "border 2", "state 0"}));
  EXPECT_EQ(controls.minRear[3]->Value(), 35);
  EXPECT_EQ(controls.sfNameEdits[2]->Text(), "2");
  EXPECT_EQ(controls.sfIndexEdits[3]->Value(), 3);
  EXPECT_TRUE(controls.cbWindowBorder.Checked());
  EXPECT_EQ(controls.rbPowerOffDo.ItemIndex(), 0);
  EXPECT_GT(changes, 0) << "the changed controls fired their handlers";
  writer.Flush();
  EXPECT_FALSE(QFile::exists("Trellon.ini")) << "but nothing was written while loading";

  store.FinishLoading();
  store.SaveSettings();
  writer.Flush();
  EXPECT_EQ(ReadText("Trellon.ini"), DefaultFile());
  EXPECT_EQ(window.speedFanNames, (std::array<std::string, 4>{"0", "1", "2", "3"}));
}

TEST_F(SettingsStoreTest, NewControlsShowTheDefaultsThatStartUpReads) {
  // Saved without reading a file first: what the controls were made with.
  store.FinishLoading();
  store.SaveSettings();
  writer.Flush();
  EXPECT_EQ(ReadText("Trellon.ini"), DefaultFile());
}

TEST_F(SettingsStoreTest, HexadecimalAndJunkValues) {
  Read(
      "[X]\nMinr0=$28\nMaxr0=0x50\nMaxf0=0X3c\nResr0=junk\nHomeStart=true\nHomeClose=0\n"
      "sfname1=\nsf2=\nPowerOffDo=$3\nLeft= 12 \nTop=1e3\nDisplayHighQuality=$1\n");
  EXPECT_EQ(controls.minRear[0]->Value(), 40);
  EXPECT_EQ(controls.maxRear[0]->Value(), 80);
  EXPECT_EQ(controls.maxFront[0]->Value(), 60);
  EXPECT_EQ(controls.respRear[0]->Value(), 20) << "junk reads as the default";
  EXPECT_TRUE(controls.cbHomeStart.Checked()) << "a word reads as the default";
  EXPECT_FALSE(controls.cbHomeClose.Checked());
  EXPECT_EQ(controls.sfNameEdits[1]->Text(), "") << "a present empty text stays empty";
  EXPECT_EQ(controls.sfIndexEdits[2]->Value(), 2);
  EXPECT_EQ(controls.rbPowerOffDo.ItemIndex(), 3);
  EXPECT_TRUE(display.DisplayHighQuality);
  EXPECT_TRUE(controls.cbDisplayHighQuality.Checked());
  EXPECT_EQ(window.calls.front(), "bounds 12 0 800 600");
}

TEST_F(SettingsStoreTest, OutOfRangeValuesAreClampedAndSavedClamped) {
  Read(
      "[X]\nMinr0=-40\nMaxr0=150\nResr0=0\nResf5=31\nsf0=40\nsf1=-1\nRepeatDead=0\n"
      "RepeatNext=-5\nVolumeControlStretch=5\nHomeKillTime=2000000000\nDisplayTimer=0\n"
      "DisplayNr=3\nPowerOffDo=9\n");
  store.FinishLoading();
  EXPECT_EQ(controls.minRear[0]->Value(), -40) << "minimum cells are unbounded";
  EXPECT_EQ(controls.maxRear[0]->Value(), 100);
  EXPECT_EQ(controls.respRear[0]->Value(), 1);
  EXPECT_EQ(controls.respFront[5]->Value(), 30);
  EXPECT_EQ(controls.sfIndexEdits[0]->Value(), 31);
  EXPECT_EQ(controls.sfIndexEdits[1]->Value(), 0);
  EXPECT_EQ(controls.edRepeatDead.Value(), 1);
  EXPECT_EQ(controls.edRepeatNext.Value(), 0);
  EXPECT_EQ(controls.edVolumeControlStretch.Value(), 10);
  EXPECT_EQ(controls.edHomeKill.Value(), 999999999);
  EXPECT_EQ(display.DisplayTimer, 1) << "the field follows its control";
  EXPECT_EQ(display.DisplayNr, 0) << "one monitor: the source display stays 0";
  EXPECT_EQ(controls.rbPowerOffDo.ItemIndex(), -1) << "no item selected";

  store.SaveSettings();
  writer.Flush();
  IniFile saved("Trellon.ini");
  saved.Load();
  for (const auto& [key, value] :
       std::vector<std::pair<std::string, int32_t>>{{"Minr0", -40},
                                                    {"Maxr0", 100},
                                                    {"Resr0", 1},
                                                    {"Resf5", 30},
                                                    {"sf0", 31},
                                                    {"RepeatDead", 1},
                                                    {"VolumeControlStretch", 10},
                                                    {"HomeKillTime", 999999999},
                                                    {"DisplayTimer", 1},
                                                    {"DisplayNr", 0},
                                                    {"PowerOffDo", -1}}) {
    EXPECT_EQ(saved.ReadInteger("X", key, 12345), value) << key;
  }
}

TEST_F(SettingsStoreTest, SourceDisplayIsBoundedByTheMonitorCount) {
  controls.edDisplayNr.SetMaxValue(1);  // two monitors
  Read("[X]\nDisplayNr=3\n");
  EXPECT_EQ(display.DisplayNr, 1);
  EXPECT_EQ(controls.edDisplayNr.Value(), 1);
  EXPECT_EQ(store.DisplayNrInRange(-2), 0);
}

TEST_F(SettingsStoreTest, UnknownKeysAndSectionsAreKept) {
  Read("; written by hand\n[Other]\nKeep=me\n\n[X]\nFutureKey=7\nRepeatDead=300\n");
  store.FinishLoading();
  controls.edRepeatFirst.SetValue(600);
  writer.Flush();
  const std::string saved = ReadText("Trellon.ini");
  EXPECT_EQ(
      saved.rfind("; written by hand\n[Other]\nKeep=me\n\n[X]\nFutureKey=7\nRepeatDead=300\n", 0),
      0u)
      << saved;
  EXPECT_NE(saved.find("RepeatFirst=600\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, WindowKeysAreAppliedInStartUpOrder) {
  EXPECT_EQ(Read("[X]\nLeft=-5\nTop=$10\nWidth=1024\nHeight=700\nWindowState=2\nMinimized=1\n"
                 "BorderStyle=0\nActivePageIndex=4\nDisplayMode=1\n"),
            4);
  EXPECT_EQ(window.calls,
            (std::vector<std::string>{"bounds -5 16 1024 700", "state 2", "post start minimized",
                                      "border 0", "state 2"}));
  EXPECT_FALSE(controls.cbWindowBorder.Checked());
  EXPECT_TRUE(display.DisplayMode);

  window.calls.clear();
  EXPECT_EQ(Read("[X]\nBorderStyle=7\nActivePageIndex=9\n"), 0) << "no such page";
  EXPECT_EQ(window.calls[2], "border 2") << "the window knows only none and sizeable";
  EXPECT_TRUE(controls.cbWindowBorder.Checked());
}

TEST_F(SettingsStoreTest, GeometryIsKeptWhileMinimisedOrHidden) {
  Read("[X]\nLeft=10\nTop=20\nWidth=700\nHeight=500\n");
  store.FinishLoading();
  window.placement = {30, 40, 640, 480, 0, true, true, 2, 1};
  store.SaveSettings();
  writer.Flush();
  IniFile saved("Trellon.ini");
  saved.Load();
  EXPECT_EQ(saved.ReadInteger("X", "Left", 0), 10);
  EXPECT_EQ(saved.ReadInteger("X", "Height", 0), 500);
  EXPECT_TRUE(saved.ReadBool("X", "Minimized", false));
  EXPECT_EQ(saved.ReadInteger("X", "ActivePageIndex", 0), 1);

  window.placement.iconic = false;
  store.SaveSettings();
  writer.Flush();
  saved.Load();
  EXPECT_EQ(saved.ReadInteger("X", "Left", 0), 30);
  EXPECT_EQ(saved.ReadInteger("X", "Height", 0), 480);
  EXPECT_FALSE(saved.ReadBool("X", "Minimized", true));
}

TEST_F(SettingsStoreTest, AFileThatCannotBeWrittenRaisesAnErrorAndTheNextChangeTriesAgain) {
  store.ReadSettings();
  store.FinishLoading();
  store.SaveSettings();
  writer.Flush();
  const std::string before = ReadText("Trellon.ini");
  ASSERT_EQ(chmod("Trellon.ini", 0444), 0);
  controls.edRepeatNext.SetValue(70);
  writer.Flush();
  EXPECT_EQ(shell.errorClasses, std::vector<std::string>{"IniWriteError"});
  EXPECT_EQ(controls.edRepeatNext.Value(), 70) << "the control keeps its value";
  EXPECT_EQ(ReadText("Trellon.ini"), before);

  ASSERT_EQ(chmod("Trellon.ini", 0644), 0);
  controls.sfNameEdits[0]->SetText("CPU");
  writer.Flush();
  EXPECT_EQ(shell.errors.size(), 1u);
  IniFile saved("Trellon.ini");
  saved.Load();
  EXPECT_EQ(saved.ReadInteger("X", "RepeatNext", 0), 70);
  EXPECT_EQ(saved.ReadString("X", "sfname0", ""), "CPU");
  EXPECT_EQ(window.speedFanNames[0], "CPU");
}

}  // namespace
}  // namespace trellon
