// The picture loader over Windows Imaging Component (BMP, ICO, GIF, JPEG, PNG, TIFF), with the
// OLE picture loader for what WIC does not read (WMF and EMF metafiles). Raster pictures are
// kept as premultiplied 32-bit pixels, no larger than a screen can show, and drawn through the
// filtering resampler, so a stretched picture is smooth at any size and DPI; metafiles are
// played at the target size.
#pragma once

#include "win32/gui/Win.h"
// (after windows.h)
#include <ocidl.h>
#include <olectl.h>

#include <memory>
#include <string>

#include "preview/Picture.h"
#include "preview/Resample.h"
#include "win32/common/ComPtr.h"

namespace ravel::win {

class WinPicture : public Picture {
 public:
  // One drawn size of a picture with its background, kept by the window that shows it.
  struct Scaled {
    PixelImage image;
    COLORREF background = 0;
  };

  int WidthHimetric() const override { return width_himetric_; }
  int HeightHimetric() const override { return height_himetric_; }
  // Size in pixels at 96 DPI (as the picture's own size).
  SIZE NaturalSize() const;
  // Draws the picture stretched over `r`, over the background colour `bg`, filtered. The
  // scaled pixels are kept in `keep` (or in the picture) and reused while the size stays.
  void Draw(HDC dc, const RECT& r, COLORREF bg, Scaled* keep = nullptr) const;
  // Draws it quickly and coarsely (each target pixel one source pixel): for the moments a
  // window is being sized, when a filtered draw would lag behind the mouse.
  void DrawDraft(HDC dc, const RECT& r, COLORREF bg) const;
  bool IsRaster() const { return !pixels_.pixels.empty(); }
  const PixelImage& Pixels() const { return pixels_; }

  // `keep` bounds what is kept of a raster picture: it is reduced by a whole factor while it
  // stays at least that size (or its own size where smaller). Zero: the size of the screen.
  static std::shared_ptr<WinPicture> FromFile(const std::wstring& path, SIZE keep = {});
  static std::shared_ptr<WinPicture> FromMemory(const void* data, std::size_t size, SIZE keep = {});

 private:
  static std::shared_ptr<WinPicture> FromDecoder(IUnknown* decoder, SIZE keep);

  PixelImage pixels_;
  ComPtr<IPicture> ole_;  // metafiles and whatever else only the OLE loader reads
  int width_himetric_ = 0;
  int height_himetric_ = 0;
  mutable Scaled scaled_;  // for draws that bring no place of their own
  // The kept pixels over one background, the source of drafts.
  mutable std::vector<std::uint32_t> flat_;
  mutable COLORREF flat_bg_ = 0;
};

// The last picture loaded, kept for its path, file time and size: a picture clicked again,
// or shown in the viewer after the preview, is not decoded again.
class PictureCache {
 public:
  std::shared_ptr<WinPicture> Load(const std::wstring& path);
  // How many times Load decoded a file (for tests and benchmarks).
  long Decodes() const { return decodes_; }

 private:
  std::wstring path_;
  FILETIME written_{};
  ULARGE_INTEGER size_{};
  std::shared_ptr<WinPicture> picture_;
  long decodes_ = 0;
};

// A picture resource of this executable (RCDATA), or null.
std::shared_ptr<WinPicture> LoadPictureResource(const wchar_t* name);

}  // namespace ravel::win
