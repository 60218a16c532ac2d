#include <QCheckBox>

#include "desktop/desktop_test_support.h"
#include "support/temporary_directory.h"

namespace trellon::testing {

TestDesktop* DesktopWindowTest::desktop = nullptr;

namespace {

using test_support::WriteText;

// Left and Top are the outer corner of the window (its frame's, when it has one); Width and
// Height the client area's size.
class WindowManagerTest : public DesktopWindowTest {
 protected:
  static ScreenRect Placed(QWidget& window) {
    const ScreenRect frame = desktop->FrameRect(Id(window));
    const ScreenRect client = desktop->ClientRect(Id(window));
    return {frame.left, frame.top, client.width, client.height};
  }
};

TEST_F(WindowManagerTest, MovesAndResizesAreSavedAndARestartReopensWhereTheWindowWas) {
  WriteText("Trellon.ini", "[X]\nLeft=100\nTop=80\nWidth=640\nHeight=480\n");
  {
    auto window = Create();
    Show(*window);
    EXPECT_EQ(Placed(*window), (ScreenRect{100, 80, 640, 480}));
    EXPECT_EQ(SavedBounds(*window), (ScreenRect{100, 80, 640, 480}))
        << "mapping the window under its frame moved nothing";

    desktop->MoveResize(Id(*window), {150, 120, 700, 500});
    EXPECT_TRUE(WaitUntil([&] {
      return SavedBounds(*window) == ScreenRect{150, 120, 700, 500};
    })) << SavedBounds(*window);
    EXPECT_TRUE(WaitSettled(*window));
    EXPECT_EQ(Placed(*window), (ScreenRect{150, 120, 700, 500}));
  }
  // What was saved is what the next start shows, and it saves the same again.
  auto window = Create();
  Show(*window);
  EXPECT_EQ(Placed(*window), (ScreenRect{150, 120, 700, 500}));
  EXPECT_EQ(SavedBounds(*window), (ScreenRect{150, 120, 700, 500}));
}

TEST_F(WindowManagerTest, MinimiseAndRestoreThroughTheWindowManagerAreSaved) {
  WriteText("Trellon.ini", "[X]\nLeft=60\nTop=40\nWidth=800\nHeight=600\n");
  auto window = Create();
  Show(*window);

  desktop->Iconify(Id(*window));
  EXPECT_TRUE(WaitUntil([&] { return window->isMinimized() && Saved(*window, "Minimized") == 1; }));
  EXPECT_EQ(desktop->WmState(Id(*window)), 3) << "iconic";
  EXPECT_EQ(SavedBounds(*window), (ScreenRect{60, 40, 800, 600}))
      << "the place is not written while minimised";

  desktop->Activate(Id(*window));
  EXPECT_TRUE(
      WaitUntil([&] { return !window->isMinimized() && Saved(*window, "Minimized") == 0; }));
  EXPECT_TRUE(WaitSettled(*window));
  EXPECT_EQ(Placed(*window), (ScreenRect{60, 40, 800, 600}));
  EXPECT_EQ(SavedBounds(*window), (ScreenRect{60, 40, 800, 600}));
}

TEST_F(WindowManagerTest, ASavedMinimisedWindowStartsMinimisedAndRestoresInItsPlace) {
  WriteText("Trellon.ini", "[X]\nLeft=60\nTop=40\nWidth=700\nHeight=500\nMinimized=1\n");
  auto window = Create();
  window->show();
  EXPECT_TRUE(WaitSettled(*window, 3)) << "iconic under the window manager";
  // The window manager's word reaches the program with its next events.
  EXPECT_TRUE(WaitUntil([&] { return window->isMinimized() && Saved(*window, "Minimized") == 1; }))
      << "minimised " << window->isMinimized() << ", saved " << Saved(*window, "Minimized");
  EXPECT_EQ(SavedBounds(*window), (ScreenRect{60, 40, 700, 500}));

  desktop->Activate(Id(*window));
  EXPECT_TRUE(WaitSettled(*window));
  EXPECT_EQ(Placed(*window), (ScreenRect{60, 40, 700, 500}));
  EXPECT_TRUE(WaitUntil([&] { return Saved(*window, "Minimized") == 0; }));
  EXPECT_EQ(SavedBounds(*window), (ScreenRect{60, 40, 700, 500}));
}

TEST_F(WindowManagerTest, TheBorderSwitchKeepsTheWindowInPlace) {
  WriteText("Trellon.ini", "[X]\nLeft=100\nTop=80\nWidth=640\nHeight=480\n");
  {
    auto window = Create();
    Show(*window);
    auto* border = window->findChild<QCheckBox*>(QStringLiteral("cbWindowBorder"));
    ASSERT_NE(border, nullptr);
    const ScreenRect framed = desktop->FrameRect(Id(*window));
    ASSERT_GT(framed.height, 480) << "openbox puts a title bar on it";

    border->click();
    EXPECT_TRUE(WaitUntil([&] {
      return desktop->Viewable(Id(*window)) &&
             desktop->FrameRect(Id(*window)) == desktop->ClientRect(Id(*window));
    })) << "no frame";
    EXPECT_TRUE(WaitSettled(*window));
    EXPECT_EQ(desktop->ClientRect(Id(*window)), (ScreenRect{100, 80, 640, 480}));
    EXPECT_EQ(Saved(*window, "BorderStyle"), 0);
    EXPECT_EQ(SavedBounds(*window), (ScreenRect{100, 80, 640, 480}));

    border->click();
    EXPECT_TRUE(WaitUntil([&] {
      return desktop->Viewable(Id(*window)) && desktop->FrameRect(Id(*window)).height > 480;
    })) << "framed again";
    EXPECT_TRUE(WaitSettled(*window));
    EXPECT_EQ(desktop->FrameRect(Id(*window)), framed);
    EXPECT_EQ(Saved(*window, "BorderStyle"), 2);
    EXPECT_EQ(SavedBounds(*window), (ScreenRect{100, 80, 640, 480}));
    border->click();
    EXPECT_TRUE(WaitUntil([&] { return Saved(*window, "BorderStyle") == 0; }));
  }
  // A start without border puts the client area at the saved corner.
  auto window = Create();
  Show(*window);
  EXPECT_EQ(desktop->ClientRect(Id(*window)), (ScreenRect{100, 80, 640, 480}));
  EXPECT_EQ(desktop->FrameRect(Id(*window)), desktop->ClientRect(Id(*window)));
}

}  // namespace
}  // namespace trellon::testing
