#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <thread>

#include "app/overlay_message.h"
#include "app/overlay_painter.h"
#include "base/clock.h"

namespace trellon {
namespace {

constexpr uint32_t kSecond = 1000;

TEST(OverlayMessageTest, ExpiresOnTheFirstTickPastItsTime) {
  ManualClock clock;
  OverlayMessage overlay(clock);
  int repaints = 0;
  overlay.SetRepaint([&] { ++repaints; });
  EXPECT_FALSE(overlay.ExpireOverlayMessage()) << "no message, nothing to expire";

  overlay.ShowOverlayMessage("Power Off", 2);
  EXPECT_EQ(overlay.OverlayMessageText(), "Power Off");
  EXPECT_EQ(repaints, 1) << "the strip shows it at once";
  clock.Advance(2 * kSecond);
  EXPECT_FALSE(overlay.ExpireOverlayMessage()) << "exactly at the expiry it stays";
  clock.Advance(1);
  EXPECT_TRUE(overlay.ExpireOverlayMessage());
  EXPECT_EQ(overlay.OverlayMessageText(), "");
  EXPECT_EQ(overlay.OverlayExpiry(), 0);
  EXPECT_EQ(repaints, 2);
  EXPECT_FALSE(overlay.ExpireOverlayMessage());
  EXPECT_EQ(repaints, 2);
}

TEST(OverlayMessageTest, ANewMessageReplacesTheTextAndRestartsTheTime) {
  ManualClock clock;
  OverlayMessage overlay(clock);
  overlay.ShowOverlayMessage("Starting MediaPortal", 2);
  clock.Advance(1500);
  overlay.ShowOverlayMessage("Closing MediaPortal", 2);
  clock.Advance(1500);
  EXPECT_FALSE(overlay.ExpireOverlayMessage()) << "the first message's time no longer counts";
  EXPECT_EQ(overlay.OverlayMessageText(), "Closing MediaPortal");
  clock.Advance(600);
  EXPECT_TRUE(overlay.ExpireOverlayMessage());
}

class OverlayDrawingTest : public ::testing::Test {
 protected:
  OverlayDrawingTest() : image(400, 100, QImage::Format_RGB32) { image.fill(QColor(0, 0, 255)); }

  // Columns that hold white or black pixels.
  std::pair<int, int> InkedColumns(QRgb colour) const {
    int first = image.width(), last = -1;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (image.pixel(x, y) == colour) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
      }
    }
    return {first, last};
  }
  int Count(QRgb colour) const {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == colour;
    }
    return count;
  }

  ManualClock clock;
  OverlayMessage overlay{clock};
  QImage image;
};

TEST_F(OverlayDrawingTest, WhiteTextWithABlackOutlineCentredInTheSpan) {
  overlay.ShowOverlayMessage("Power Off", 2);
  {
    QPainter painter(&image);
    painter.setFont(QFont(QStringLiteral("Courier"), 5));
    DrawOverlayMessage(painter, overlay, 100, 300, 20);
    EXPECT_EQ(painter.font().family(), QStringLiteral("Courier")) << "the font is given back";
  }
  const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
  ASSERT_GT(Count(white), 50);
  ASSERT_GT(Count(black), 50);
  const auto [whiteLeft, whiteRight] = InkedColumns(white);
  const auto [blackLeft, blackRight] = InkedColumns(black);
  EXPECT_LT(blackLeft, whiteLeft) << "the outline reaches one pixel further";
  EXPECT_GT(blackRight, whiteRight);
  // Centred in 100 .. 400: the ink sits about as far from either edge.
  EXPECT_NEAR((whiteLeft - 100) - (399 - whiteRight), 0, 8);
  for (int x = 0; x < image.width(); ++x) {
    EXPECT_EQ(image.pixel(x, 19 - 2), qRgb(0, 0, 255)) << "nothing above the top, x " << x;
  }
}

TEST_F(OverlayDrawingTest, AnEmptyMessageDrawsNothing) {
  QPainter painter(&image);
  DrawOverlayMessage(painter, overlay, 0, 400, 20);
  painter.end();
  EXPECT_EQ(Count(qRgb(0, 0, 255)), 400 * 100);
}

TEST_F(OverlayDrawingTest, ATextWiderThanTheSpanStartsLeftOfIt) {
  EXPECT_EQ(OverlayTextLeft(100, 300, 100), 200);
  EXPECT_EQ(OverlayTextLeft(100, 300, 101), 199) << "truncating toward zero";
  EXPECT_EQ(OverlayTextLeft(100, 50, 101), 75) << "(50 - 101) div 2 is -25";
  overlay.ShowOverlayMessage("A very long message that does not fit", 2);
  QPainter painter(&image);
  DrawOverlayMessage(painter, overlay, 150, 100, 20);
  painter.end();
  const auto [left, right] = InkedColumns(qRgb(255, 255, 255));
  EXPECT_LT(left, 150);
  EXPECT_GT(right, 250);
}

TEST_F(OverlayDrawingTest, DrawsFromAnotherThreadWhileTheMainThreadReplacesTheText) {
  std::atomic<bool> stop{false};
  std::thread mirror([&] {
    QImage frame(200, 60, QImage::Format_RGB32);
    while (!stop) {
      QPainter painter(&frame);
      DrawOverlayMessage(painter, overlay, 0, 200, 5);
    }
  });
  for (int i = 0; i < 2000; ++i) overlay.ShowOverlayMessage(i % 2 ? "Power Off" : "", 2);
  stop = true;
  mirror.join();
  EXPECT_EQ(overlay.OverlayMessageText(), "Power Off");
}

}  // namespace
}  // namespace trellon
