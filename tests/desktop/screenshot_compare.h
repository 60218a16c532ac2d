#pragma once

#include <QImage>
#include <QString>

namespace trellon::testing {

// How a screenshot differs from its reference, tolerant of font anti-aliasing: a pixel counts as
// different only when one of its colour channels lies more than `threshold` outside the range
// that the reference spans at and around its place (so edges drawn a little lighter, darker or a
// pixel aside do not count; a missing or moved control does).
struct ScreenshotDifference {
  bool sameSize = false;
  long differing = 0;
  long total = 0;

  double Share() const { return total > 0 ? static_cast<double>(differing) / total : 1.0; }
};

// The colour distance a pixel may have from its reference neighbourhood.
constexpr int kPixelThreshold = 64;
// The share of differing pixels a page may have: about 500 pixels of an 800 x 600 page, less
// than one missing check mark or spin arrow pair.
constexpr double kDifferingShare = 0.001;

ScreenshotDifference CompareScreenshots(const QImage& shot, const QImage& reference,
                                        int threshold = kPixelThreshold);

// A picture of where they differ: the reference dimmed, differing pixels red.
QImage DifferenceImage(const QImage& shot, const QImage& reference,
                       int threshold = kPixelThreshold);

}  // namespace trellon::testing
