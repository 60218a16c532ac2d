// The home key's launcher with Kodi as the media centre: the setting names only "kodi", found on
// PATH; a long hold closes it through its window and kills it when it hangs. A stand-in program
// named kodi plays Kodi.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/control_models.h"
#include "fakes/recording_shell.h"
#include "helpers/stand_in_support.h"
#include "remote/media_portal_launcher.h"
#include "remote/process_control.h"
#include "remote/window_list.h"
#include "support/scoped_environment.h"
#include "support/temporary_directory.h"
#include "support/wait.h"

namespace trellon {
namespace {

using test_support::ScopedEnvironment;
using test_support::WaitFor;

class KodiLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test_support::CopyStandIn(dir_.Path(), "kodi");
    if (launcher_.FindMediaPortalProcess() != 0) {
      GTEST_SKIP() << "a program named kodi runs already on this machine";
    }
  }
  void TearDown() override {
    // Whatever a failed test left running.
    while (const ProcessId pid = launcher_.FindMediaPortalProcess()) {
      processes_->Terminate(pid);
      WaitFor([&] { return launcher_.FindMediaPortalProcess() != pid; }, 2000);
    }
  }

  // One press of "home" and, when given, the repeats of holding it that long.
  void Home(double heldMs = 0) {
    if (heldMs == 0) closeDone_ = killDone_ = false;
    launcher_.RunHomeActions(heldMs, closeDone_, killDone_);
  }
  bool Running() { return launcher_.FindMediaPortalProcess() != 0; }
  static bool HasDisplay() {
    const char* name = std::getenv("DISPLAY");
    return name && *name;
  }

  test_support::TemporaryDirectory dir_;
  ScopedEnvironment path_{"PATH", dir_.Path() + ":" + std::getenv("PATH")};
  CheckBoxModel cbHomeStart_{"cbHomeStart", "", true};
  CheckBoxModel cbHomeClose_{"cbHomeClose", "", true};
  SpinEditModel edHomeClose_{"edHomeClose", 1, 999999999, 200, 1000};
  CheckBoxModel cbHomeKill_{"cbHomeKill", "", true};
  SpinEditModel edHomeKill_{"edHomeKill", 1, 999999999, 200, 5000};
  TextEditModel edHomeMediaPortal_{"edHomeMediaPortal", "kodi"};
  std::unique_ptr<ProcessControl> processes_ = CreateProcessControl();
  std::unique_ptr<WindowList> windows_ = CreateWindowList();
  fakes::RecordingShell shell_;
  MediaPortalLauncher launcher_{
      {cbHomeStart_, cbHomeClose_, edHomeClose_, cbHomeKill_, edHomeKill_, edHomeMediaPortal_},
      *processes_,
      *windows_,
      shell_};
  bool closeDone_ = false;
  bool killDone_ = false;
};

TEST_F(KodiLauncherTest, HomeStartsKodiFromThePathAndAHoldClosesItThroughItsWindow) {
  Home();
  ASSERT_EQ(shell_.overlays.size(), 1u);
  EXPECT_EQ(shell_.overlays[0].text, "Starting MediaPortal");
  ASSERT_TRUE(WaitFor([&] { return Running(); })) << "kodi was not started from PATH";
  Home();
  EXPECT_EQ(shell_.overlays.size(), 1u) << "a second press must not start it again";

  if (!HasDisplay()) {
    GTEST_SKIP() << "no display for Kodi's window: run under xvfb-run -a for the close";
  }
  ASSERT_TRUE(WaitFor([&] { return launcher_.FindMediaPortalWindow() != 0; }));
  Home(1000);
  EXPECT_EQ(shell_.overlays.back().text, "Closing MediaPortal");
  EXPECT_TRUE(WaitFor([&] { return !Running(); })) << "kodi did not close through its window";
}

TEST_F(KodiLauncherTest, AKodiThatIgnoresTheCloseIsKilledWhenHomeIsHeldLonger) {
  const ScopedEnvironment hangs("TRELLON_STAND_IN_HANGS", std::string("1"));
  Home();
  ASSERT_TRUE(WaitFor([&] { return Running(); }));
  if (HasDisplay()) {
    ASSERT_TRUE(WaitFor([&] { return launcher_.FindMediaPortalWindow() != 0; }));
  }
  Home(1000);
  EXPECT_TRUE(Running()) << "the hung stand-in ended on the close";
  Home(5000);
  EXPECT_EQ(shell_.overlays.back().text, "Killing MediaPortal");
  EXPECT_TRUE(WaitFor([&] { return !Running(); })) << "kodi was not killed";
}

}  // namespace
}  // namespace trellon
