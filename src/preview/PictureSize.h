// The pixel size a picture file declares in its header, read before any decoder sees the
// file: some decoders decode the whole picture as soon as they open it, so a picture too
// large to show must be turned away before that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ravel {

struct PixelSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint64_t Count() const { return std::uint64_t{width} * height; }
};

// Pictures with more pixels than this are not shown: decoding one would take seconds and a
// large part of a common machine's memory (4 bytes a pixel, 600 MB at this limit).
constexpr std::uint64_t kMaxPicturePixels = 150'000'000;

// The size declared by the start of a PNG, GIF, BMP or JPEG file (`head`, as much of the
// file's beginning as was read); nothing for other formats or a header cut short.
std::optional<PixelSize> DeclaredPixelSize(const std::uint8_t* head, std::size_t n);

}  // namespace ravel
