#include "mirror/scaling.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace trellon {
namespace {

std::vector<uint32_t> RandomImage(int32_t width, int32_t height, std::mt19937& random) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (uint32_t& pixel : pixels) pixel = random() & 0x00FFFFFF;
  return pixels;
}

int Channel(uint32_t pixel, int shift) {
  return static_cast<int>((pixel >> shift) & 0xFF);
}

// The exact mean of the source area under target pixel (x, y), one channel.
double ReferenceArea(const std::vector<uint32_t>& source, int32_t sw, int32_t sh, int32_t tw,
                     int32_t th, int32_t x, int32_t y, int shift) {
  const double x0 = double(x) * sw / tw, x1 = double(x + 1) * sw / tw;
  const double y0 = double(y) * sh / th, y1 = double(y + 1) * sh / th;
  double sum = 0;
  for (int32_t sy = int32_t(y0); sy < sh && sy < y1; ++sy) {
    const double h = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
    for (int32_t sx = int32_t(x0); sx < sw && sx < x1; ++sx) {
      const double w = std::min<double>(sx + 1, x1) - std::max<double>(sx, x0);
      sum += w * h * Channel(source[size_t(sy) * sw + sx], shift);
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

struct Sizes {
  int32_t sw, sh, tw, th;
};
const Sizes kSizes[] = {{1920, 1080, 800, 600}, {37, 23, 11, 7}, {13, 9, 40, 31},
                        {1, 1, 5, 3},           {7, 5, 1, 1},    {1, 1, 1, 1},
                        {64, 48, 64, 48},       {3, 101, 97, 2}, {800, 600, 1280, 1024}};

TEST(ScalingTest, NearestTakesThePixelUnderEachTargetCentreExactly) {
  std::mt19937 random(7);
  NearestScaler scaler;
  for (const Sizes& s : kSizes) {
    const std::vector<uint32_t> source = RandomImage(s.sw, s.sh, random);
    std::vector<uint32_t> target(size_t(s.tw) * s.th, 0xDEADBEEF);
    scaler.Scale(source.data(), s.sw, s.sh, target.data(), s.tw, s.th);
    for (int32_t y = 0; y < s.th; ++y) {
      for (int32_t x = 0; x < s.tw; ++x) {
        const int32_t sx = int32_t(std::floor((x + 0.5) * s.sw / s.tw));
        const int32_t sy = int32_t(std::floor((y + 0.5) * s.sh / s.th));
        ASSERT_EQ(target[size_t(y) * s.tw + x], source[size_t(sy) * s.sw + sx])
            << s.sw << "x" << s.sh << " -> " << s.tw << "x" << s.th << " at " << x << "," << y;
      }
    }
  }
}

TEST(ScalingTest, AreaAveragingIsTheWeightedMeanWithinOnePerChannel) {
  std::mt19937 random(11);
  AreaScaler scaler;
  for (const Sizes& s : kSizes) {
    const std::vector<uint32_t> source = RandomImage(s.sw, s.sh, random);
    std::vector<uint32_t> target(size_t(s.tw) * s.th, 0xDEADBEEF);
    scaler.Scale(source.data(), s.sw, s.sh, target.data(), s.tw, s.th);
    // The big case is checked on a sample of its pixels.
    const int32_t step = s.tw * s.th > 10000 ? 7 : 1;
    for (int32_t y = 0; y < s.th; y += step) {
      for (int32_t x = 0; x < s.tw; x += step) {
        const uint32_t got = target[size_t(y) * s.tw + x];
        ASSERT_EQ(got >> 24, 0u);
        for (int shift : {0, 8, 16}) {
          const double want = ReferenceArea(source, s.sw, s.sh, s.tw, s.th, x, y, shift);
          ASSERT_LE(std::abs(Channel(got, shift) - want), 1.0)
              << s.sw << "x" << s.sh << " -> " << s.tw << "x" << s.th << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST(ScalingTest, AreaWeightsOfEveryTargetPixelAddUpToOne) {
  for (const auto& [n, m] : {std::pair{1920, 800}, {1080, 600}, {3, 97}, {1, 9}, {5, 1}}) {
    const AreaScaler::AxisWeights axis = AreaScaler::ComputeAxis(n, m);
    for (int32_t d = 0; d < m; ++d) {
      uint32_t sum = 0;
      for (int32_t k = 0; k < axis.taps; ++k) sum += axis.weights[size_t(d) * axis.taps + k];
      ASSERT_EQ(sum, 1u << AreaScaler::kWeightBits) << n << "->" << m << " at " << d;
      ASSERT_LE(axis.first[size_t(d)] + axis.taps, n);
    }
  }
}

TEST(ScalingTest, BlendOverMixesByAlphaAndClipsAtTheEdges) {
  std::vector<uint32_t> target(4 * 2, 0x00808080);
  // Opaque red, half-transparent white (premultiplied), fully transparent.
  const uint32_t picture[] = {0xFFFF0000, 0x80808080, 0x00000000};
  BlendOver(target.data(), 4, 2, 2, 1, picture, 3, 1);
  EXPECT_EQ(target[1 * 4 + 2], 0x00FF0000u);
  EXPECT_EQ(target[1 * 4 + 3], 0x00C0C0C0u);  // 0x80 * 127/255 + 0x80, rounded
  EXPECT_EQ(target[0], 0x00808080u);
  BlendOver(target.data(), 4, 2, -2, -5, picture, 3, 1);  // wholly outside
  EXPECT_EQ(target[0], 0x00808080u);
}

}  // namespace
}  // namespace trellon
