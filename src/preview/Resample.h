// Scaling of 32-bit pixels (four 8-bit channels, premultiplied alpha) with filtering: each
// target pixel is the area-weighted mean of the source pixels it covers when shrinking, and
// linearly interpolated between its neighbours when enlarging. Nothing is dropped, so fine
// lines and text stay visible at any size.
#pragma once

#include <cstdint>
#include <vector>

namespace ravel {

struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // row by row, top first
};

// `src` scaled to width x height (an empty image when either is below 1 or src is empty).
PixelImage Resample(const PixelImage& src, int width, int height);

}  // namespace ravel
