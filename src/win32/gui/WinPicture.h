// The picture loader over Windows Imaging Component (BMP, ICO, GIF, JPEG, PNG, TIFF), with the
// OLE picture loader for what WIC does not read (WMF and EMF metafiles). Raster pictures are
// kept as premultiplied 32-bit pixels and drawn through the filtering resampler, so a
// stretched picture is smooth at any size and DPI; metafiles are played at the target size.
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
  int WidthHimetric() const override { return width_himetric_; }
  int HeightHimetric() const override { return height_himetric_; }
  // Size in pixels at 96 DPI (as the picture's own size).
  SIZE NaturalSize() const;
  // Draws the picture stretched over `r`, over the background colour `bg`.
  void Draw(HDC dc, const RECT& r, COLORREF bg) const;
  bool IsRaster() const { return !pixels_.pixels.empty(); }
  const PixelImage& Pixels() const { return pixels_; }

  static std::shared_ptr<WinPicture> FromFile(const std::wstring& path);
  static std::shared_ptr<WinPicture> FromMemory(const void* data, std::size_t size);

 private:
  static std::shared_ptr<WinPicture> FromDecoder(IUnknown* decoder);

  PixelImage pixels_;
  ComPtr<IPicture> ole_;  // metafiles and whatever else only the OLE loader reads
  int width_himetric_ = 0;
  int height_himetric_ = 0;
  // The last scaled image and its background, kept while the size stays.
  mutable PixelImage scaled_;
  mutable COLORREF scaled_bg_ = 0;
};

// A picture resource of this executable (RCDATA), or null.
std::shared_ptr<WinPicture> LoadPictureResource(const wchar_t* name);

}  // namespace ravel::win
