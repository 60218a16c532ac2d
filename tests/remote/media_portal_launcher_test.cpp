#include "remote/media_portal_launcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/fake_process_control.h"
#include "fakes/fake_window_list.h"
#include "fakes/recording_shell.h"

namespace trellon {
namespace {

constexpr char kDefaultPath[] = "c:\\programme\\team mediaportal\\mediaportal\\mediaportal.exe";

TEST(MediaPortalTargetNameTest, TakesTheFileNamePartAndUpperCasesOnlyAToZ) {
  EXPECT_EQ(MediaPortalTargetName(kDefaultPath), "MEDIAPORTAL.EXE");
  EXPECT_EQ(MediaPortalTargetName("/opt/Kodi/kodi.bin"), "KODI.BIN");
  EXPECT_EQ(MediaPortalTargetName("c:MediaPortal.exe"), "MEDIAPORTAL.EXE");
  EXPECT_EQ(MediaPortalTargetName("mixed/path\\last:Name"), "NAME");
  EXPECT_EQ(MediaPortalTargetName("plain-name_2"), "PLAIN-NAME_2");
  EXPECT_EQ(MediaPortalTargetName("c:\\folder\\"), "");
  // Bytes outside a to z, UTF-8 included, stay as they are.
  EXPECT_EQ(UpperCaseAscii("stra\xc3\x9f"
                           "e{}"),
            "STRA\xc3\x9f"
            "E{}");
}

class MediaPortalLauncherTest : public ::testing::Test {
 protected:
  void Hold(double heldTimeMs) { launcher_.RunHomeActions(heldTimeMs, closeDone_, killDone_); }

  std::vector<std::string> OverlayTexts() const {
    std::vector<std::string> texts;
    for (const auto& overlay : shell_.overlays) {
      EXPECT_EQ(overlay.seconds, 2) << overlay.text;
      texts.push_back(overlay.text);
    }
    return texts;
  }

  CheckBoxModel cbHomeStart_{"cbHomeStart", "Start MediaPortal if not running", true};
  CheckBoxModel cbHomeClose_{"cbHomeClose", "Close MediaPortal after (ms)", true};
  SpinEditModel edHomeClose_{"edHomeClose", 1, 999999999, 200, 1000};
  CheckBoxModel cbHomeKill_{"cbHomeKill", "Kill MediaPortal after (ms)", true};
  SpinEditModel edHomeKill_{"edHomeKill", 1, 999999999, 200, 5000};
  TextEditModel edHomeMediaPortal_{"edHomeMediaPortal", kDefaultPath};
  fakes::FakeProcessControl processes_;
  fakes::FakeWindowList windows_;
  fakes::RecordingShell shell_;
  MediaPortalLauncher launcher_{
      {cbHomeStart_, cbHomeClose_, edHomeClose_, cbHomeKill_, edHomeKill_, edHomeMediaPortal_},
      processes_,
      windows_,
      shell_};
  bool closeDone_ = false;
  bool killDone_ = false;
};

TEST_F(MediaPortalLauncherTest, APressStartsTheProgramOnlyWhenItIsNotRunning) {
  processes_.processes = {{4, "init"}, {77, "explorer.exe"}};
  Hold(0);
  EXPECT_EQ(OverlayTexts(), std::vector<std::string>{"Starting MediaPortal"});
  EXPECT_EQ(processes_.executed, std::vector<std::string>{kDefaultPath});
  EXPECT_FALSE(closeDone_);
  EXPECT_FALSE(killDone_);

  // Running now, in other letter case (the snapshot may name it with a folder as well).
  processes_.processes.push_back({90, "x:\\elsewhere\\MEDIAPORTAL.EXE"});
  Hold(0);
  EXPECT_EQ(shell_.overlays.size(), 1u);
  EXPECT_EQ(processes_.executed.size(), 1u);
}

TEST_F(MediaPortalLauncherTest, AFailedSnapshotCountsAsNotRunning) {
  processes_.snapshotFails = true;
  Hold(0);
  EXPECT_EQ(processes_.executed.size(), 1u);
}

TEST_F(MediaPortalLauncherTest, RepeatsNeverStartAndTheSwitchTurnsStartingOff) {
  Hold(500);
  EXPECT_EQ(processes_.CountCalls("Snapshot"), 0);
  EXPECT_TRUE(processes_.executed.empty());

  cbHomeStart_.SetChecked(false);
  Hold(0);
  EXPECT_TRUE(processes_.calls.empty());
  EXPECT_TRUE(shell_.overlays.empty());
}

TEST_F(MediaPortalLauncherTest, CloseFiresOnceAtTheFirstRepeatReachingItsTime) {
  processes_.processes = {{10, "other.exe"}, {20, "MediaPortal.exe"}};
  windows_.AddWindow(/*handle=*/1, /*pid=*/20, /*owner=*/2);  // a dialog of MediaPortal, on top
  windows_.AddWindow(3, 10);
  windows_.AddWindow(4, 0);
  windows_.AddWindow(2, 20);
  windows_.AddWindow(5, 20);
  Hold(0);
  Hold(999);
  EXPECT_TRUE(windows_.closed.empty());
  EXPECT_FALSE(closeDone_);

  Hold(1000);
  EXPECT_TRUE(closeDone_);
  EXPECT_EQ(windows_.closed, std::vector<WindowHandle>{2});
  EXPECT_EQ(OverlayTexts(), std::vector<std::string>{"Closing MediaPortal"});
  // The owned dialog is never asked for its process.
  EXPECT_EQ(std::count(windows_.calls.begin(), windows_.calls.end(), "WindowProcessId 1"), 0);

  Hold(1200);
  Hold(3000);
  EXPECT_EQ(windows_.closed.size(), 1u);
  EXPECT_EQ(shell_.overlays.size(), 1u);
  EXPECT_FALSE(killDone_);
  EXPECT_TRUE(processes_.terminated.empty());
}

TEST_F(MediaPortalLauncherTest, AWindowMatchesOnlyByTheProcessNameAsReported) {
  // Unlike the process search, the window search does not cut a folder off the reported name.
  processes_.processes = {{20, "c:\\mp\\MediaPortal.exe"}};
  windows_.AddWindow(7, 20);
  Hold(1000);
  EXPECT_TRUE(closeDone_);
  EXPECT_TRUE(windows_.closed.empty());
}

TEST_F(MediaPortalLauncherTest, OverlayAndFlagComeFirstEvenWhenNothingIsFound) {
  std::vector<std::string> seenAtSearch;
  windows_.onCall = [&](const std::string& call) {
    if (call == "TopLevelWindows") {
      seenAtSearch.push_back("close flag " + std::to_string(closeDone_) + ", overlays " +
                             std::to_string(shell_.overlays.size()));
    }
  };
  processes_.onCall = [&](const std::string& call) {
    if (call == "Snapshot") {
      seenAtSearch.push_back("kill flag " + std::to_string(killDone_) + ", overlays " +
                             std::to_string(shell_.overlays.size()));
    }
  };
  Hold(1000);
  Hold(5000);
  EXPECT_EQ(seenAtSearch,
            (std::vector<std::string>{"close flag 1, overlays 1", "kill flag 1, overlays 2"}));
  EXPECT_EQ(OverlayTexts(),
            (std::vector<std::string>{"Closing MediaPortal", "Killing MediaPortal"}));
  EXPECT_TRUE(windows_.closed.empty());
  EXPECT_TRUE(processes_.terminated.empty());
  EXPECT_EQ(processes_.CountCalls("Terminate"), 0);
}

TEST_F(MediaPortalLauncherTest, KillFiresOnceAtItsTimeAndEndsTheFirstMatchingProcess) {
  processes_.processes = {{30, "mediaportal.exe"}, {31, "MediaPortal.exe"}};
  Hold(4999);
  closeDone_ = true;  // the close of this press is behind us
  EXPECT_TRUE(processes_.terminated.empty());
  Hold(5000);
  EXPECT_TRUE(killDone_);
  EXPECT_EQ(processes_.terminated, std::vector<ProcessId>{30});
  Hold(5200);
  Hold(9000);
  EXPECT_EQ(processes_.terminated.size(), 1u);
  EXPECT_EQ(processes_.CountCalls("Terminate"), 1);
}

TEST_F(MediaPortalLauncherTest, OneRepeatReachingBothTimesClosesThenKills) {
  processes_.processes = {{40, "MediaPortal.exe"}};
  windows_.AddWindow(9, 40);
  std::vector<std::string> order;
  windows_.onCall = [&](const std::string& call) { order.push_back(call); };
  processes_.onCall = [&](const std::string& call) { order.push_back(call); };

  Hold(6000);

  EXPECT_TRUE(closeDone_);
  EXPECT_TRUE(killDone_);
  EXPECT_EQ(OverlayTexts(),
            (std::vector<std::string>{"Closing MediaPortal", "Killing MediaPortal"}));
  EXPECT_EQ(order, (std::vector<std::string>{"TopLevelWindows", "WindowProcessId 9", "ExeName 40",
                                             "PostClose 9", "Snapshot", "Terminate 40"}));
}

TEST_F(MediaPortalLauncherTest, AKillTimeBelowTheCloseTimeKillsFirst) {
  processes_.processes = {{40, "MediaPortal.exe"}};
  windows_.AddWindow(9, 40);
  edHomeKill_.SetValue(400);
  Hold(600);
  EXPECT_FALSE(closeDone_);
  EXPECT_EQ(processes_.terminated, std::vector<ProcessId>{40});
  Hold(1000);
  EXPECT_TRUE(closeDone_);
  EXPECT_EQ(OverlayTexts(),
            (std::vector<std::string>{"Killing MediaPortal", "Closing MediaPortal"}));
}

TEST_F(MediaPortalLauncherTest, SwitchedOffCloseAndKillDoNothing) {
  processes_.processes = {{40, "MediaPortal.exe"}};
  windows_.AddWindow(9, 40);
  cbHomeClose_.SetChecked(false);
  cbHomeKill_.SetChecked(false);
  Hold(100000);
  EXPECT_FALSE(closeDone_);
  EXPECT_FALSE(killDone_);
  EXPECT_TRUE(shell_.overlays.empty());
  EXPECT_TRUE(windows_.calls.empty());
  EXPECT_TRUE(processes_.calls.empty());
}

TEST_F(MediaPortalLauncherTest, AProgramPathWithoutFileNameMatchesNoWindowAndNoProcess) {
  edHomeMediaPortal_.SetText("c:\\programme\\");
  processes_.processes = {{40, "MediaPortal.exe"}};
  windows_.AddWindow(9, 0);  // a window whose process is unknown has an empty name
  Hold(6000);
  EXPECT_TRUE(windows_.closed.empty());
  EXPECT_TRUE(processes_.terminated.empty());
  EXPECT_EQ(launcher_.FindMediaPortalProcess(), 0u);
}

}  // namespace
}  // namespace trellon
