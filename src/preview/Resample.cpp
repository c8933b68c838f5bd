#include "preview/Resample.h"

#include <algorithm>
#include <cmath>

namespace ravel {

namespace {

struct Tap {
  int index;
  float weight;
};

// For every target position along one axis, the source positions and their weights (summing
// to 1).
std::vector<std::vector<Tap>> Taps(int from, int to) {
  std::vector<std::vector<Tap>> out(static_cast<std::size_t>(to));
  double scale = static_cast<double>(from) / to;
  for (int d = 0; d < to; ++d) {
    auto& taps = out[static_cast<std::size_t>(d)];
    if (scale > 1.0) {
      // Shrinking: the share of each source pixel in [d*scale, (d+1)*scale).
      double a = d * scale, b = (d + 1) * scale;
      int first = static_cast<int>(std::floor(a));
      int last = std::min(from - 1, static_cast<int>(std::ceil(b)) - 1);
      for (int s = first; s <= last; ++s) {
        double cover = std::min<double>(b, s + 1) - std::max<double>(a, s);
        if (cover > 0) taps.push_back({s, static_cast<float>(cover / scale)});
      }
    } else {
      // Enlarging (or the same size): between the two nearest pixel centres.
      double centre = (d + 0.5) * scale - 0.5;
      int left = static_cast<int>(std::floor(centre));
      double t = centre - left;
      int l = std::clamp(left, 0, from - 1), r = std::clamp(left + 1, 0, from - 1);
      if (l == r || t <= 0.0) {
        taps.push_back({l, 1.0f});
      } else {
        taps.push_back({l, static_cast<float>(1.0 - t)});
        taps.push_back({r, static_cast<float>(t)});
      }
    }
  }
  return out;
}

}  // namespace

PixelImage Resample(const PixelImage& src, int width, int height) {
  PixelImage out;
  if (width < 1 || height < 1 || src.width < 1 || src.height < 1 ||
      src.pixels.size() < static_cast<std::size_t>(src.width) * src.height)
    return out;
  out.width = width;
  out.height = height;
  out.pixels.resize(static_cast<std::size_t>(width) * height);
  auto xs = Taps(src.width, width);
  auto ys = Taps(src.height, height);

  // Rows first: every source row scaled to the target width, channels as floats.
  std::vector<float> rows(static_cast<std::size_t>(src.height) * width * 4);
  for (int y = 0; y < src.height; ++y) {
    const std::uint32_t* in = &src.pixels[static_cast<std::size_t>(y) * src.width];
    float* row = &rows[static_cast<std::size_t>(y) * width * 4];
    for (int x = 0; x < width; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (const Tap& t : xs[static_cast<std::size_t>(x)]) {
        std::uint32_t p = in[t.index];
        for (int c = 0; c < 4; ++c) acc[c] += t.weight * static_cast<float>((p >> (8 * c)) & 0xFF);
      }
      for (int c = 0; c < 4; ++c) row[x * 4 + c] = acc[c];
    }
  }
  // Then the columns.
  for (int y = 0; y < height; ++y) {
    std::uint32_t* dst = &out.pixels[static_cast<std::size_t>(y) * width];
    for (int x = 0; x < width; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (const Tap& t : ys[static_cast<std::size_t>(y)]) {
        const float* p = &rows[(static_cast<std::size_t>(t.index) * width + x) * 4];
        for (int c = 0; c < 4; ++c) acc[c] += t.weight * p[c];
      }
      std::uint32_t v = 0;
      for (int c = 0; c < 4; ++c) {
        auto b = static_cast<std::uint32_t>(std::clamp(std::lround(acc[c]), 0L, 255L));
        v |= b << (8 * c);
      }
      dst[x] = v;
    }
  }
  return out;
}

}  // namespace ravel
