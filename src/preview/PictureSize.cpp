#include "preview/PictureSize.h"

#include <cstring>

namespace ravel {

namespace {

std::uint32_t Be16(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 8 | p[1];
}
std::uint32_t Be32(const std::uint8_t* p) {
  return Be16(p) << 16 | Be16(p + 2);
}
std::uint32_t Le16(const std::uint8_t* p) {
  return std::uint32_t{p[1]} << 8 | p[0];
}
std::uint32_t Le32(const std::uint8_t* p) {
  return Le16(p + 2) << 16 | Le16(p);
}

std::optional<PixelSize> Jpeg(const std::uint8_t* h, std::size_t n) {
  std::size_t at = 2;
  while (at + 4 <= n) {
    if (h[at] != 0xFF) return std::nullopt;  // lost in the markers: leave it to the decoder
    std::uint8_t marker = h[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // markers without length
      at += 2;
      continue;
    }
    std::size_t length = Be16(h + at + 2);
    // Start of frame: every SOFn but DHT (C4), JPG (C8) and DAC (CC).
    bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > n) return std::nullopt;
      return PixelSize{Be16(h + at + 7), Be16(h + at + 5)};
    }
    if (marker == 0xDA || length < 2) return std::nullopt;  // image data before any frame
    at += 2 + length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<PixelSize> DeclaredPixelSize(const std::uint8_t* h, std::size_t n) {
  static const std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (n >= 24 && std::memcmp(h, kPng, sizeof kPng) == 0 && std::memcmp(h + 12, "IHDR", 4) == 0)
    return PixelSize{Be32(h + 16), Be32(h + 20)};
  if (n >= 10 && (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0))
    return PixelSize{Le16(h + 6), Le16(h + 8)};
  if (n >= 26 && h[0] == 'B' && h[1] == 'M') {
    std::uint32_t header = Le32(h + 14);
    if (header == 12) return PixelSize{Le16(h + 18), Le16(h + 20)};  // the OS/2 core header
    if (header >= 40) {
      // A negative height marks rows stored top first.
      auto w = static_cast<std::int32_t>(Le32(h + 18));
      auto ht = static_cast<std::int32_t>(Le32(h + 22));
      auto mag = [](std::int32_t v) {
        return v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
      };
      return PixelSize{mag(w), mag(ht)};
    }
    return std::nullopt;
  }
  if (n >= 4 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) return Jpeg(h, n);
  return std::nullopt;
}

}  // namespace ravel
