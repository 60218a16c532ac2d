#include "mirror/scaling.h"

#include <algorithm>
#include <cstring>

namespace trellon {
namespace {

bool SameSizes(const int32_t (&sizes)[4], int32_t a, int32_t b, int32_t c, int32_t d) {
  return sizes[0] == a && sizes[1] == b && sizes[2] == c && sizes[3] == d;
}

// The source index whose pixel holds the centre of target index i.
int32_t CentreSource(int32_t i, int32_t sourceLength, int32_t targetLength) {
  const int64_t centre = (2 * static_cast<int64_t>(i) + 1) * sourceLength / (2 * targetLength);
  return static_cast<int32_t>(std::min<int64_t>(centre, sourceLength - 1));
}

}  // namespace

void NearestScaler::Prepare(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth,
                            int32_t targetHeight) {
  if (SameSizes(sizes_, sourceWidth, sourceHeight, targetWidth, targetHeight)) return;
  columns_.resize(static_cast<size_t>(targetWidth));
  rows_.resize(static_cast<size_t>(targetHeight));
  for (int32_t x = 0; x < targetWidth; ++x) columns_[x] = CentreSource(x, sourceWidth, targetWidth);
  for (int32_t y = 0; y < targetHeight; ++y) rows_[y] = CentreSource(y, sourceHeight, targetHeight);
  sizes_[0] = sourceWidth;
  sizes_[1] = sourceHeight;
  sizes_[2] = targetWidth;
  sizes_[3] = targetHeight;
}

void NearestScaler::Scale(const uint32_t* source, int32_t sourceWidth, int32_t sourceHeight,
                          uint32_t* target, int32_t targetWidth, int32_t targetHeight) {
  if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return;
  Prepare(sourceWidth, sourceHeight, targetWidth, targetHeight);
  const int32_t* columns = columns_.data();
  int32_t previousRow = -1;
  for (int32_t y = 0; y < targetHeight; ++y) {
    uint32_t* out = target + static_cast<size_t>(y) * targetWidth;
    // Upscaled rows repeat: copy the row made before.
    if (rows_[y] == previousRow) {
      std::memcpy(out, out - targetWidth, sizeof(uint32_t) * static_cast<size_t>(targetWidth));
      continue;
    }
    previousRow = rows_[y];
    const uint32_t* in = source + static_cast<size_t>(previousRow) * sourceWidth;
    for (int32_t x = 0; x < targetWidth; ++x) out[x] = in[columns[x]];
  }
}

AreaScaler::AxisWeights AreaScaler::ComputeAxis(int32_t sourceLength, int32_t targetLength) {
  // Positions in units of 1 / targetLength source pixels: target index d covers
  // [d * sourceLength, (d + 1) * sourceLength), source index s covers [s * targetLength, ...).
  // Each weight is a difference of rounded cumulative sums, so a pixel's weights add up to
  // exactly 2^kWeightBits.
  const int64_t n = sourceLength;
  const int64_t m = targetLength;
  const int64_t one = int64_t{1} << kWeightBits;
  AxisWeights axis;
  // A target pixel overlaps at most ceil(n / m) + 1 source pixels (and never more than exist).
  axis.taps = static_cast<int32_t>(std::min((n + m - 1) / m + 1, n));
  axis.first.resize(static_cast<size_t>(m));
  axis.weights.assign(static_cast<size_t>(m * axis.taps), 0);
  for (int64_t d = 0; d < m; ++d) {
    const int64_t begin = d * n;
    const int64_t end = begin + n;
    const auto cumulative = [&](int64_t p) { return ((p - begin) * one * 2 + n) / (2 * n); };
    int64_t first = begin / m;
    // Keep every tap inside the source, also for the last target index.
    first = std::min<int64_t>(first, std::max<int64_t>(0, n - axis.taps));
    axis.first[static_cast<size_t>(d)] = static_cast<int32_t>(first);
    for (int32_t k = 0; k < axis.taps; ++k) {
      const int64_t s = first + k;
      const int64_t from = std::max(begin, s * m);
      const int64_t to = std::min(end, (s + 1) * m);
      if (to <= from) continue;
      axis.weights[static_cast<size_t>(d * axis.taps + k)] =
          static_cast<uint16_t>(cumulative(to) - cumulative(from));
    }
  }
  return axis;
}

void AreaScaler::Prepare(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth,
                         int32_t targetHeight) {
  if (SameSizes(sizes_, sourceWidth, sourceHeight, targetWidth, targetHeight)) return;
  columns_ = ComputeAxis(sourceWidth, targetWidth);
  rows_ = ComputeAxis(sourceHeight, targetHeight);
  sums_.resize(static_cast<size_t>(sourceWidth) * 4);
  mixed_.resize(static_cast<size_t>(sourceWidth) * 4);
  // Both passes' weights in one: the column weight over 2^14 and the row pass's 2^14.
  columnWeights_.resize(columns_.weights.size());
  constexpr float kScale = 1.0f / static_cast<float>(1u << (2 * kWeightBits));
  for (size_t i = 0; i < columns_.weights.size(); ++i) {
    columnWeights_[i] = static_cast<float>(columns_.weights[i]) * kScale;
  }
  sizes_[0] = sourceWidth;
  sizes_[1] = sourceHeight;
  sizes_[2] = targetWidth;
  sizes_[3] = targetHeight;
}

namespace {

constexpr int kMaxFixedTaps = 6;

// The row pass with a constant number of rows: one sweep, no accumulator array.
template <int Taps>
void RowPassOf(const uint8_t* const* rows, const uint16_t* weights, float* mixed, size_t bytes) {
  uint16_t w[Taps];
  for (int k = 0; k < Taps; ++k) w[k] = weights[k];
  for (size_t i = 0; i < bytes; ++i) {
    uint32_t sum = 0;
    // 16 × 16 → 32-bit products: the multiply that vector units have without SSE4.
    for (int k = 0; k < Taps; ++k) {
      sum += static_cast<uint32_t>(static_cast<uint16_t>(rows[k][i]) * w[k]);
    }
    // Exact in a float: at most 255 × 2^14.
    mixed[i] = static_cast<float>(static_cast<int32_t>(sum));
  }
}

// Any number of rows (a source many times taller than the target), through an accumulator.
void RowPassAny(const uint8_t* firstRow, size_t bytes, const uint16_t* weights, int32_t taps,
                uint32_t* sums, float* mixed) {
  std::memset(sums, 0, bytes * sizeof(uint32_t));
  for (int32_t k = 0; k < taps; ++k) {
    const uint8_t* in = firstRow + static_cast<size_t>(k) * bytes;
    const uint16_t weight = weights[k];
    for (size_t i = 0; i < bytes; ++i) {
      sums[i] += static_cast<uint32_t>(static_cast<uint16_t>(in[i]) * weight);
    }
  }
  for (size_t i = 0; i < bytes; ++i) mixed[i] = static_cast<float>(static_cast<int32_t>(sums[i]));
}

// A channel of the column pass, from 0 .. 255 × 2^28 down to 0 .. 255, rounded.
inline uint32_t Level(float sum) {
  return static_cast<uint32_t>(static_cast<int32_t>(sum + 0.5f));
}

// One target row from the row pass's sums: each pixel the weighted sum of Taps source pixels,
// all four bytes at once in one vector of floats. Taps is a constant here so that the compiler
// unrolls the taps.
template <int Taps>
void ColumnPassOf(const float* mixed, const int32_t* first, const float* weights, uint32_t* out,
                  int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    const float* in = mixed + static_cast<size_t>(first[x]) * 4;
    const float* w = weights + static_cast<size_t>(x) * Taps;
    float sum[4] = {0, 0, 0, 0};
    for (int k = 0; k < Taps; ++k) {
      for (int c = 0; c < 4; ++c) sum[c] += in[4 * k + c] * w[k];
    }
    out[x] = (Level(sum[2]) << 16) | (Level(sum[1]) << 8) | Level(sum[0]);
  }
}

void ColumnPassAny(const float* mixed, const int32_t* first, const float* weights, int32_t taps,
                   uint32_t* out, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    const float* in = mixed + static_cast<size_t>(first[x]) * 4;
    const float* w = weights + static_cast<size_t>(x) * taps;
    float sum[4] = {0, 0, 0, 0};
    for (int32_t k = 0; k < taps; ++k) {
      for (int c = 0; c < 4; ++c) sum[c] += in[4 * k + c] * w[k];
    }
    out[x] = (Level(sum[2]) << 16) | (Level(sum[1]) << 8) | Level(sum[0]);
  }
}

}  // namespace

void AreaScaler::ColumnPass(const float* mixed, uint32_t* out, int32_t width) const {
  const int32_t* first = columns_.first.data();
  const float* weights = columnWeights_.data();
  switch (columns_.taps) {
    case 1:
      return ColumnPassOf<1>(mixed, first, weights, out, width);
    case 2:
      return ColumnPassOf<2>(mixed, first, weights, out, width);
    case 3:
      return ColumnPassOf<3>(mixed, first, weights, out, width);
    case 4:
      return ColumnPassOf<4>(mixed, first, weights, out, width);
    case 5:
      return ColumnPassOf<5>(mixed, first, weights, out, width);
    case 6:
      return ColumnPassOf<6>(mixed, first, weights, out, width);
    default:
      return ColumnPassAny(mixed, first, weights, columns_.taps, out, width);
  }
}

void AreaScaler::Scale(const uint32_t* source, int32_t sourceWidth, int32_t sourceHeight,
                       uint32_t* target, int32_t targetWidth, int32_t targetHeight) {
  if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return;
  Prepare(sourceWidth, sourceHeight, targetWidth, targetHeight);
  const size_t rowBytes = static_cast<size_t>(sourceWidth) * 4;
  const auto* bytes = reinterpret_cast<const uint8_t*>(source);
  uint32_t* sums = sums_.data();
  float* mixed = mixed_.data();
  for (int32_t y = 0; y < targetHeight; ++y) {
    // Row pass: the weighted sum of the source rows under this target row, per byte.
    const uint8_t* rows[kMaxFixedTaps] = {};
    const int32_t firstRow = rows_.first[static_cast<size_t>(y)];
    for (int32_t k = 0; k < rows_.taps && k < kMaxFixedTaps; ++k) {
      rows[k] = bytes + static_cast<size_t>(firstRow + k) * rowBytes;
    }
    const uint16_t* rowWeights = &rows_.weights[static_cast<size_t>(y) * rows_.taps];
    switch (rows_.taps) {
      case 1:
        RowPassOf<1>(rows, rowWeights, mixed, rowBytes);
        break;
      case 2:
        RowPassOf<2>(rows, rowWeights, mixed, rowBytes);
        break;
      case 3:
        RowPassOf<3>(rows, rowWeights, mixed, rowBytes);
        break;
      case 4:
        RowPassOf<4>(rows, rowWeights, mixed, rowBytes);
        break;
      case 5:
        RowPassOf<5>(rows, rowWeights, mixed, rowBytes);
        break;
      case 6:
        RowPassOf<6>(rows, rowWeights, mixed, rowBytes);
        break;
      default:
        RowPassAny(bytes + static_cast<size_t>(firstRow) * rowBytes, rowBytes, rowWeights,
                   rows_.taps, sums, mixed);
    }
    ColumnPass(mixed, target + static_cast<size_t>(y) * targetWidth, targetWidth);
  }
}

void BlendOver(uint32_t* target, int32_t targetWidth, int32_t targetHeight, int32_t x, int32_t y,
               const uint32_t* picture, int32_t pictureWidth, int32_t pictureHeight) {
  const int32_t fromX = std::max(0, -x);
  const int32_t fromY = std::max(0, -y);
  const int32_t toX = std::min(pictureWidth, targetWidth - x);
  const int32_t toY = std::min(pictureHeight, targetHeight - y);
  for (int32_t py = fromY; py < toY; ++py) {
    const uint32_t* in = picture + static_cast<size_t>(py) * pictureWidth;
    uint32_t* out = target + static_cast<size_t>(y + py) * targetWidth + x;
    for (int32_t px = fromX; px < toX; ++px) {
      const uint32_t s = in[px];
      const uint32_t keep = 255 - (s >> 24);
      uint32_t result = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        // d * keep / 255, rounded, without a division.
        const uint32_t t = ((out[px] >> shift) & 0xFF) * keep + 128;
        const uint32_t scaled = (t + (t >> 8)) >> 8;
        result |= std::min<uint32_t>(255, scaled + ((s >> shift) & 0xFF)) << shift;
      }
      out[px] = result;
    }
  }
}

}  // namespace trellon
