#pragma once

#include <cstdint>
#include <vector>

namespace trellon {

// The stretches of the buffered paths, on 32-bit pixels (0x00RRGGBB, rows top-down, no padding).
// Each keeps the tables of its last size pair, so a steady mirror computes them once. Not
// thread-safe: one scaler per mirror.

// Colour on colour: every target pixel is the source pixel under its centre.
class NearestScaler {
 public:
  void Scale(const uint32_t* source, int32_t sourceWidth, int32_t sourceHeight, uint32_t* target,
             int32_t targetWidth, int32_t targetHeight);

 private:
  void Prepare(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth,
               int32_t targetHeight);

  int32_t sizes_[4] = {0, 0, 0, 0};
  std::vector<int32_t> columns_;  // source column per target column
  std::vector<int32_t> rows_;     // source row per target row
};

// Halftone: every target pixel is the mean of the source area it covers, each source pixel
// weighted by the part of it inside that area. Rows first in fixed point (exact integer sums),
// then columns in floats over the four bytes of a pixel at once, with weights that sum to
// exactly 1 per target pixel (no division per pixel).
class AreaScaler {
 public:
  void Scale(const uint32_t* source, int32_t sourceWidth, int32_t sourceHeight, uint32_t* target,
             int32_t targetWidth, int32_t targetHeight);

  // The weights of one axis: for each target index `taps` consecutive source indexes from
  // first[i], with weights in units of 1 / 2^kWeightBits; unused taps have weight 0.
  struct AxisWeights {
    int32_t taps = 0;
    std::vector<int32_t> first;
    std::vector<uint16_t> weights;  // taps per target index
  };
  static constexpr int kWeightBits = 14;
  static AxisWeights ComputeAxis(int32_t sourceLength, int32_t targetLength);

 private:
  void Prepare(int32_t sourceWidth, int32_t sourceHeight, int32_t targetWidth,
               int32_t targetHeight);
  void ColumnPass(const float* mixed, uint32_t* out, int32_t width) const;

  int32_t sizes_[4] = {0, 0, 0, 0};
  AxisWeights columns_;
  AxisWeights rows_;
  std::vector<uint32_t> sums_;  // one target row of the row pass, per byte of a source row
  std::vector<float> mixed_;    // the same as floats (exact), for the column pass
  std::vector<float> columnWeights_;
};

// Blends a premultiplied ARGB picture over 0x00RRGGBB pixels at (x, y), clipped to the target.
void BlendOver(uint32_t* target, int32_t targetWidth, int32_t targetHeight, int32_t x, int32_t y,
               const uint32_t* picture, int32_t pictureWidth, int32_t pictureHeight);

}  // namespace trellon
