#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fakes/recording_shell.h"
#include "helpers/stand_in_support.h"
#include "remote/media_portal_launcher.h"
#include "remote/window_list.h"
#include "support/child_process.h"
#include "support/scoped_environment.h"
#include "support/temporary_directory.h"

// Xlib's macros (None, Bool, Status) would break the test framework's headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace trellon {
namespace {

using test_support::ChildProcess;
using test_support::ExitStatus;

// The number in line `index` of the stand-in's output when it reads "<label> <number>".
WindowHandle ParseWindowLine(const std::vector<std::string>& lines, size_t index,
                             const std::string& label) {
  if (index >= lines.size() || !lines[index].starts_with(label + " ")) return 0;
  return std::stoul(lines[index].substr(label.size() + 1));
}

// Sets the window manager's stacking list on the root window for the life of the object.
class StackingList {
 public:
  StackingList(Display* display, const std::vector<unsigned long>& bottomToTop)
      : display_(display), atom_(XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False)) {
    XChangeProperty(display, DefaultRootWindow(display), atom_, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(bottomToTop.data()),
                    static_cast<int>(bottomToTop.size()));
    XSync(display, False);
  }
  ~StackingList() {
    XDeleteProperty(display_, DefaultRootWindow(display_), atom_);
    XSync(display_, False);
  }
  StackingList(const StackingList&) = delete;
  StackingList& operator=(const StackingList&) = delete;

 private:
  Display* display_;
  Atom atom_;
};

// One test for everything that needs the display: the stacking list lives on the shared root
// window, so no other test of this suite may look at the windows meanwhile.
TEST(WindowListX11Test, FindsTheMainWindowOfARealClientAndAsksItToClose) {
  const char* displayName = std::getenv("DISPLAY");
  if (!displayName || !*displayName) GTEST_SKIP() << "no DISPLAY: run under xvfb-run -a";
  Display* display = XOpenDisplay(nullptr);
  if (!display) GTEST_SKIP() << "cannot open DISPLAY " << displayName;

  test_support::TemporaryDirectory dir;
  const std::string name = test_support::UniqueName("MpWindowStandIn");
  const auto program = test_support::CopyStandIn(dir.Path(), name);
  ChildProcess::Options options{{program.string(), "--timeout", "30", "--transient", "--report"}};
  options.captureOutput = true;
  ChildProcess client(options);
  ASSERT_GT(client.Pid(), 0);
  client.WaitForOutput([](const auto& lines) { return lines.size() >= 2; }, 10000);
  const WindowHandle main = ParseWindowLine(client.Lines(), 0, "window");
  const WindowHandle dialog = ParseWindowLine(client.Lines(), 1, "transient");
  ASSERT_NE(main, 0u);
  ASSERT_NE(dialog, 0u);

  auto processes = CreateProcessControl();
  auto windows = CreateWindowList();
  CheckBoxModel cbHomeStart{"cbHomeStart", "", true};
  CheckBoxModel cbHomeClose{"cbHomeClose", "", true};
  SpinEditModel edHomeClose{"edHomeClose", 1, 999999999, 200, 1000};
  CheckBoxModel cbHomeKill{"cbHomeKill", "", false};
  SpinEditModel edHomeKill{"edHomeKill", 1, 999999999, 200, 5000};
  TextEditModel edHomeMediaPortal{"edHomeMediaPortal", "/another/folder/" + name};
  fakes::RecordingShell shell;
  MediaPortalLauncher launcher(
      {cbHomeStart, cbHomeClose, edHomeClose, cbHomeKill, edHomeKill, edHomeMediaPortal},
      *processes, *windows, shell);

  // No window manager: the root's children. The dialog lies above the main window and is owned.
  const auto topLevel = windows->TopLevelWindows();
  const auto position = [&](WindowHandle handle) {
    return std::find_if(topLevel.begin(), topLevel.end(),
                        [handle](const TopLevelWindow& w) { return w.handle == handle; });
  };
  ASSERT_NE(position(main), topLevel.end());
  ASSERT_NE(position(dialog), topLevel.end());
  EXPECT_LT(position(dialog), position(main));
  EXPECT_EQ(position(dialog)->owner, main);
  EXPECT_EQ(position(main)->owner, 0u);
  EXPECT_EQ(windows->WindowProcessId(main), static_cast<ProcessId>(client.Pid()));
  EXPECT_EQ(launcher.ProcessExeName(main), name);
  EXPECT_EQ(launcher.FindMediaPortalWindow(), main);

  {
    // With a window manager's list, only that list counts, topmost first; a window that is
    // already gone costs nothing.
    const Window gone =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(display, gone);
    StackingList stacking(display, {main, gone, dialog});
    const auto listed = windows->TopLevelWindows();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].handle, dialog);
    EXPECT_EQ(listed[0].owner, main);
    EXPECT_EQ(listed[1].handle, gone);
    EXPECT_EQ(listed[1].owner, 0u);
    EXPECT_EQ(listed[2].handle, main);
    EXPECT_EQ(windows->WindowProcessId(gone), 0u);
    EXPECT_EQ(launcher.FindMediaPortalWindow(), main);
    windows->PostClose(gone);
  }

  bool closeDone = false;
  bool killDone = false;
  launcher.RunHomeActions(1000, closeDone, killDone);
  EXPECT_TRUE(closeDone);
  ASSERT_EQ(shell.overlays.size(), 1u);
  EXPECT_EQ(shell.overlays[0].text, "Closing MediaPortal");
  // The stand-in ends with 0 only when its main window was asked to close (4: the dialog).
  EXPECT_EQ(client.WaitExit(), ExitStatus::Exited(0)) << "the stand-in did not close as asked";
  XCloseDisplay(display);
}

TEST(WindowListX11Test, WithoutADisplayThereAreNoWindows) {
  const test_support::ScopedEnvironment noDisplay("DISPLAY", std::nullopt);
  auto windows = CreateWindowList();
  EXPECT_TRUE(windows->TopLevelWindows().empty());
  EXPECT_EQ(windows->WindowProcessId(1), 0u);
  windows->PostClose(1);
}

}  // namespace
}  // namespace trellon
