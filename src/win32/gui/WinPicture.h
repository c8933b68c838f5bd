// The picture loader over Windows Imaging Component (BMP, ICO, GIF, JPEG, PNG, TIFF), with the
// OLE picture loader for what WIC does not read (WMF and EMF metafiles). Raster pictures are
// kept as premultiplied 32-bit pixels, no larger than a screen can show, and drawn through the
// filtering resampler, so a stretched picture is smooth at any size and DPI; metafiles are
// kept as enhanced metafiles and played at the target size. A loaded picture holds no COM
// object: it is read on a worker thread and drawn on the window thread.
#pragma once

#include "win32/gui/Win.h"
// (after windows.h)
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "preview/Picture.h"
#include "preview/PictureRequests.h"
#include "preview/Resample.h"
#include "win32/common/ComPtr.h"

namespace ravel::win {

class WinPicture : public Picture {
 public:
  WinPicture() = default;
  ~WinPicture() override;
  WinPicture(const WinPicture&) = delete;
  WinPicture& operator=(const WinPicture&) = delete;

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
  // Scales it for a draw over w x h pixels on `bg` ahead of time (on a worker thread): the
  // window's thread then finds it done.
  void Prepare(int w, int h, COLORREF bg) const;
  // Draws it quickly and coarsely (each target pixel one source pixel): for the moments a
  // window is being sized, when a filtered draw would lag behind the mouse.
  void DrawDraft(HDC dc, const RECT& r, COLORREF bg) const;
  bool IsRaster() const { return !pixels_.pixels.empty(); }
  const PixelImage& Pixels() const { return pixels_; }

  // `keep` bounds what is kept of a raster picture: it is reduced by a whole factor while it
  // stays at least that size (or its own size where smaller). Zero: the size of the screen.
  // Once `abandoned` turns true the reading stops at its next step (the file's next read, the
  // next band of rows) and gives nothing.
  static std::shared_ptr<WinPicture> FromFile(const std::wstring& path, SIZE keep = {},
                                              const std::atomic<bool>* abandoned = nullptr);
  static std::shared_ptr<WinPicture> FromMemory(const void* data, std::size_t size, SIZE keep = {});

 private:
  static std::shared_ptr<WinPicture> FromDecoder(IUnknown* decoder, SIZE keep,
                                                 const std::atomic<bool>* abandoned);
  static std::shared_ptr<WinPicture> FromOleLoader(const std::wstring& path);

  PixelImage pixels_;
  HENHMETAFILE metafile_ = nullptr;  // what only the OLE loader reads (WMF, EMF)
  int width_himetric_ = 0;
  int height_himetric_ = 0;
  mutable Scaled scaled_;  // for draws that bring no place of their own
  mutable std::mutex prepared_mutex_;
  mutable Scaled prepared_;  // scaled ahead of time, for the first draw at its size
  // The kept pixels over one background, the source of drafts.
  mutable std::vector<std::uint32_t> flat_;
  mutable COLORREF flat_bg_ = 0;
};

// The last picture loaded, kept for its path, file time and size: a picture clicked again,
// or shown in the viewer after the preview, is not decoded again. Safe to use from several
// threads at once (the preview's and the viewer's workers).
class PictureCache {
 public:
  std::shared_ptr<WinPicture> Load(const std::wstring& path,
                                   const std::atomic<bool>* abandoned = nullptr);
  // How many times Load decoded a file (for tests and benchmarks).
  long Decodes() const { return decodes_; }

 private:
  std::mutex mutex_;
  std::wstring path_;
  FILETIME written_{};
  ULARGE_INTEGER size_{};
  std::shared_ptr<WinPicture> picture_;
  std::atomic<long> decodes_ = 0;
};

// The picture loader of the preview and the viewer, used on their worker threads: each
// worker joins a COM apartment of its own, in which the codecs' objects are made and used.
class WinPictureDecoder : public PictureDecoder {
 public:
  // The preview's picture area (pixels) and colour: each picture read is scaled for it on
  // the worker, so that showing it costs the window's thread no filtering.
  void PrepareFor(SIZE size, COLORREF background);
  void WorkerStarts() override;
  void WorkerEnds() override;
  PicturePtr Decode(const std::string& path, const std::atomic<bool>& abandoned) override;
  const PictureCache& Cache() const { return cache_; }

 private:
  PictureCache cache_;
  std::atomic<long> prepare_w_ = 0, prepare_h_ = 0;
  std::atomic<COLORREF> prepare_bg_ = 0;
};

// A picture resource of this executable (RCDATA), or null.
std::shared_ptr<WinPicture> LoadPictureResource(const wchar_t* name);

}  // namespace ravel::win
