#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTabBar>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/page_control_ex.h"
#include "app/spin_edit_ex.h"
#include "desktop/desktop_test_support.h"
#include "desktop/screenshot_compare.h"
#include "support/temporary_directory.h"

namespace trellon::testing {
namespace {

using test_support::WriteText;

// Every page of the window as the X server shows it, against the reference pictures in
// tests/desktop/references. TRELLON_UPDATE_SCREENSHOTS=1 writes the pictures instead
// (scripts/update-screenshots.sh); a page that differs leaves its shot and a picture of the
// differences in the build folder.
class ScreenshotTest : public DesktopWindowTest {
 protected:
  struct Page {
    const char* name;
    int page;       // of pc
    int innerPage;  // of the page's own page control, -1 for none
    // The control that holds the focus, so that the focus mark shows; null: pc's tabs.
    const char* focus;
  };

  // The window with sample readings, standing still: no timers, so nothing changes between shots.
  std::unique_ptr<TVX710MainWindow> SampleWindow() {
    WriteText("Trellon.ini",
              "[X]\nLeft=0\nTop=0\nWidth=800\nHeight=600\nsfname0=CPU\n"
              "sfname1=System\nsfname2=HDD\nsfname3=AUX\nDisplayTimer=40\n");
    auto window = Create();
    window->Timer1->stop();
    window->linkStepTimer->stop();
    window->Timer2->stop();
    window->fans.tempIncoming[0] = 40;
    window->fans.tempIncoming[1] = 35;
    speedFan.slotValues = {4700, 3800, 3300, 4100};
    for (int tick = 0; tick < 5; ++tick) window->Timer2Timer();
    return window;
  }

  // The client area as the X server holds it, once it has stayed the same for a fifth of a
  // second (a repaint can wait for the next frame).
  static QImage Grab(TVX710MainWindow& window) {
    window.repaint();
    QImage last;
    test_support::SteadyTime since = std::chrono::steady_clock::now();
    WaitUntil([&] {
      const QImage shot = window.screen()
                              ->grabWindow(window.winId())
                              .toImage()
                              .convertToFormat(QImage::Format_RGB32);
      const auto now = std::chrono::steady_clock::now();
      if (shot != last) {
        last = shot;
        since = now;
        return false;
      }
      return test_support::SecondsBetween(since, now) >= 0.2;
    });
    return last;
  }

  static void Select(TVX710MainWindow& window, const Page& page) {
    window.pc->setCurrentIndex(page.page);
    if (page.innerPage >= 0) {
      auto* inner = window.pc->widget(page.page)->findChild<TPageControlEx*>();
      ASSERT_NE(inner, nullptr);
      inner->setCurrentIndex(page.innerPage);
    }
    QWidget* focus = window.pc->tabBar();
    if (page.focus) focus = window.findChild<QWidget*>(QString::fromLatin1(page.focus));
    ASSERT_NE(focus, nullptr) << page.focus;
    if (auto* spin = qobject_cast<TSpinEditEx*>(focus)) focus = spin->Edit();
    focus->setFocus(Qt::TabFocusReason);
  }

  // Compares the shot with its reference (or writes it); returns a note for a failure.
  static std::string Check(const char* name, const QImage& shot) {
    const QString reference =
        QStringLiteral(TRELLON_SCREENSHOT_REFERENCES "/%1.png").arg(QString::fromLatin1(name));
    if (std::getenv("TRELLON_UPDATE_SCREENSHOTS")) {
      QDir().mkpath(QStringLiteral(TRELLON_SCREENSHOT_REFERENCES));
      return shot.save(reference) ? std::string() : "cannot write " + reference.toStdString();
    }
    const QImage expected(reference);
    if (expected.isNull()) return "no reference " + reference.toStdString();
    const ScreenshotDifference difference = CompareScreenshots(shot, expected);
    if (difference.sameSize && difference.Share() <= kDifferingShare) return {};
    const QString out = QStringLiteral(TRELLON_SCREENSHOT_FAILURES);
    QDir().mkpath(out);
    shot.save(out + "/" + name + ".png");
    DifferenceImage(shot, expected).save(out + "/" + name + ".difference.png");
    return std::string(name) + ": " +
           (difference.sameSize ? std::to_string(difference.differing) + " pixels differ"
                                : std::string("size differs")) +
           " (see " + out.toStdString() + ")";
  }
};

TEST_F(ScreenshotTest, EveryPageLooksLikeItsReference) {
  auto window = SampleWindow();
  Show(*window);
  window->activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return window->isActiveWindow(); }));
  const Page pages[] = {{"status", 0, -1, nullptr},
                        {"fan-control-rear", 1, 0, "minrr"},
                        {"fan-control-front", 1, 1, "minfr"},
                        {"fan-control-speedfan-link", 1, 2, "sf0"},
                        {"log", 2, -1, "log"},
                        {"settings-window", 3, 0, "cbWindowBorder"},
                        {"settings-display", 3, 1, "edDisplayNr"},
                        {"settings-rc-home", 3, 2, "cbHomeStart"},
                        {"settings-rc-power-off", 3, 3, "cbPowerOffStopHome"},
                        {"settings-rc-key-repeat", 3, 4, "edRepeatDead"},
                        {"settings-volume-control", 3, 5, "edVolumeControlStretch"},
                        {"display", 4, -1, nullptr}};
  for (const Page& page : pages) {
    Select(*window, page);
    const std::string problem = Check(page.name, Grab(*window));
    EXPECT_TRUE(problem.empty()) << problem;
  }
}

TEST(ScreenshotCompareTest, ToleratesEdgesAPixelAsideButNotAMissingMark) {
  QImage reference(200, 100, QImage::Format_RGB32);
  reference.fill(Qt::black);
  for (int y = 20; y < 60; ++y) {
    for (int x = 20; x < 60; ++x) reference.setPixel(x, y, qRgb(255, 255, 255));
  }
  // Every edge a pixel to the right, and its new edge half lit, as another rasteriser might.
  QImage shifted(200, 100, QImage::Format_RGB32);
  shifted.fill(Qt::black);
  for (int y = 20; y < 60; ++y) {
    for (int x = 21; x < 61; ++x)
      shifted.setPixel(x, y, x == 60 ? qRgb(128, 128, 128) : 0xffffffff);
  }
  EXPECT_EQ(CompareScreenshots(shifted, reference).differing, 0);

  QImage missing = reference.copy();
  for (int y = 30; y < 50; ++y) {
    for (int x = 30; x < 50; ++x) missing.setPixel(x, y, qRgb(0, 0, 0));
  }
  EXPECT_GT(CompareScreenshots(missing, reference).differing, 300);
  EXPECT_FALSE(CompareScreenshots(reference.copy(0, 0, 199, 100), reference).sameSize);
}

}  // namespace
}  // namespace trellon::testing
