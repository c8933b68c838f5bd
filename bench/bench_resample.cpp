// The resampler that draws stretched pictures: milliseconds to bring a 12-megapixel photo
// to the preview (249 x 128 at 96 DPI, 374 x 192 at 144), to a full-screen viewer
// (1920 x 1080) from the whole photo and from what is kept of it for that screen (reduced
// by a whole factor to 2000 x 1500), and a small picture up to the screen, best of five
// rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "preview/Resample.h"

namespace {

using Clock = std::chrono::steady_clock;

double BestMs(const ravel::PixelImage& src, int w, int h) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    auto start = Clock::now();
    ravel::PixelImage out = ravel::Resample(src, w, h);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (out.pixels.empty()) std::printf("no result\n");
    best = std::min(best, ms);
  }
  return best;
}

ravel::PixelImage Noise(int w, int h) {
  ravel::PixelImage img{w, h, {}};
  img.pixels.resize(static_cast<std::size_t>(w) * h);
  std::uint32_t x = 2463534242u;
  for (auto& p : img.pixels) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    p = x | 0xFF000000u;
  }
  return img;
}

}  // namespace

int main() {
  ravel::PixelImage photo = Noise(4000, 3000);
  ravel::PixelImage kept = Noise(2000, 1500);
  ravel::PixelImage small = Noise(320, 240);
  std::printf("4000x3000 -> 249x128 (preview, 96 DPI):  %8.1f ms\n", BestMs(photo, 249, 128));
  std::printf("4000x3000 -> 374x192 (preview, 144 DPI): %8.1f ms\n", BestMs(photo, 374, 192));
  std::printf("4000x3000 -> 1920x1080 (viewer):         %8.1f ms\n", BestMs(photo, 1920, 1080));
  std::printf("2000x1500 -> 1920x1080 (viewer, kept):   %8.1f ms\n", BestMs(kept, 1920, 1080));
  std::printf("320x240   -> 1920x1080 (enlarged):       %8.1f ms\n", BestMs(small, 1920, 1080));
  return 0;
}
