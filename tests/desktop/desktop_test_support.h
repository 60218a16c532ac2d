#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <functional>
#include <string>

#include "app/main_window.h"
#include "app/window_test_support.h"
#include "base/ini_file.h"
#include "desktop/test_desktop.h"
#include "support/qt_events.h"
#include "support/wait.h"

namespace trellon::testing {

// A main window (as in the shell's tests: fresh folder, manual clock, fakes) shown on the
// private desktop under openbox.
class DesktopWindowTest : public WindowTest {
 public:
  // Set by main() for the whole run.
  static TestDesktop* desktop;

 protected:
  static Window Id(QWidget& window) { return static_cast<Window>(window.winId()); }

  // Waits for the condition while the window's event loop runs.
  static bool WaitUntil(const std::function<bool()>& condition) {
    return test_support::WaitFor(condition, test_support::kPatienceMs,
                                 test_support::ProcessQtEvents);
  }

  // Waits until the X window stands still: viewable (or iconic), managed, and its frame
  // unchanged for a tenth of a second.
  static bool WaitSettled(QWidget& window, long wmState = 1) {
    ScreenRect last{-1, -1, -1, -1};
    test_support::SteadyTime since = std::chrono::steady_clock::now();
    return WaitUntil([&] {
      const Window id = Id(window);
      const auto now = std::chrono::steady_clock::now();
      const ScreenRect frame = desktop->FrameRect(id);
      const bool ready = desktop->WmState(id) == wmState && (wmState != 1 || desktop->Viewable(id));
      if (!ready || frame != last) {
        last = frame;
        since = now;
        return false;
      }
      return test_support::SecondsBetween(since, now) >= 0.1;
    });
  }

  // Shows the window as the program does and waits until the manager has placed it.
  static void Show(QWidget& window) {
    window.show();
    ASSERT_TRUE(WaitSettled(window)) << "the window manager did not map the window";
  }

  // The key as the window's file holds it once the writer has caught up.
  static int32_t Saved(TVX710MainWindow& window, const std::string& key) {
    window.FlushFiles();
    IniFile ini("Trellon.ini");
    ini.Load();
    return ini.ReadInteger("X", key, -12345);
  }

  static ScreenRect SavedBounds(TVX710MainWindow& window) {
    return {Saved(window, "Left"), Saved(window, "Top"), Saved(window, "Width"),
            Saved(window, "Height")};
  }
};

}  // namespace trellon::testing
