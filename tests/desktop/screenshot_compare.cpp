#include "desktop/screenshot_compare.h"

#include <algorithm>

namespace trellon::testing {
namespace {

// True when each colour channel of the pixel lies within the range that the reference spans at
// and next to (x, y), widened by the threshold: a blend of neighbouring colours, as anti-aliasing
// makes, passes.
bool MatchedNearby(const QImage& reference, int x, int y, QRgb pixel, int threshold) {
  int low[3] = {255, 255, 255};
  int high[3] = {0, 0, 0};
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      const int rx = x + dx;
      const int ry = y + dy;
      if (rx < 0 || ry < 0 || rx >= reference.width() || ry >= reference.height()) continue;
      const QRgb near = reference.pixel(rx, ry);
      const int channels[3] = {qRed(near), qGreen(near), qBlue(near)};
      for (int c = 0; c < 3; ++c) {
        low[c] = std::min(low[c], channels[c]);
        high[c] = std::max(high[c], channels[c]);
      }
    }
  }
  const int own[3] = {qRed(pixel), qGreen(pixel), qBlue(pixel)};
  for (int c = 0; c < 3; ++c) {
    if (own[c] < low[c] - threshold || own[c] > high[c] + threshold) return false;
  }
  return true;
}

}  // namespace

ScreenshotDifference CompareScreenshots(const QImage& shot, const QImage& reference,
                                        int threshold) {
  ScreenshotDifference difference;
  difference.sameSize = shot.size() == reference.size();
  if (!difference.sameSize) return difference;
  const QImage a = shot.convertToFormat(QImage::Format_RGB32);
  const QImage b = reference.convertToFormat(QImage::Format_RGB32);
  difference.total = static_cast<long>(a.width()) * a.height();
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      if (!MatchedNearby(b, x, y, a.pixel(x, y), threshold)) ++difference.differing;
    }
  }
  return difference;
}

QImage DifferenceImage(const QImage& shot, const QImage& reference, int threshold) {
  const QImage a = shot.convertToFormat(QImage::Format_RGB32);
  QImage picture = reference.convertToFormat(QImage::Format_RGB32);
  if (a.size() != picture.size()) return a;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb dimmed = picture.pixel(x, y);
      const bool differs = !MatchedNearby(reference, x, y, a.pixel(x, y), threshold);
      picture.setPixel(x, y,
                       differs ? qRgb(255, 0, 0)
                               : qRgb(qRed(dimmed) / 3, qGreen(dimmed) / 3, qBlue(dimmed) / 3));
    }
  }
  return picture;
}

}  // namespace trellon::testing
