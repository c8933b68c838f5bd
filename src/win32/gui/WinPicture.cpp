#include "win32/gui/WinPicture.h"

#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <vector>

namespace ravel::win {

namespace {

constexpr int kHimetricPerInch = 2540;
// The longest side a raster picture is kept at.
constexpr UINT kMaxKeptSide = 4096;

// Sizes at the classic screen resolution, as the classic loader reports them.
int HimetricOf(UINT pixels) {
  return MulDiv(static_cast<int>(pixels), kHimetricPerInch, 96);
}

ComPtr<IWICImagingFactory> Factory() {
  ComPtr<IWICImagingFactory> f;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                   f.put_void());
  return f;
}

// Over `bg`: premultiplied colour plus the background's share where the picture is clear.
std::vector<std::uint32_t> Composite(const PixelImage& img, COLORREF bg) {
  std::vector<std::uint32_t> out(img.pixels.size());
  const unsigned br = GetRValue(bg), bgc = GetGValue(bg), bb = GetBValue(bg);
  for (std::size_t i = 0; i < img.pixels.size(); ++i) {
    std::uint32_t p = img.pixels[i];
    unsigned a = p >> 24, keep = 255 - a;
    unsigned b = std::min(255u, (p & 0xFF) + (bb * keep + 127) / 255);
    unsigned g = std::min(255u, ((p >> 8) & 0xFF) + (bgc * keep + 127) / 255);
    unsigned r = std::min(255u, ((p >> 16) & 0xFF) + (br * keep + 127) / 255);
    out[i] = 0xFF000000u | r << 16 | g << 8 | b;
  }
  return out;
}

}  // namespace

SIZE WinPicture::NaturalSize() const {
  return SIZE{MulDiv(width_himetric_, 96, kHimetricPerInch),
              MulDiv(height_himetric_, 96, kHimetricPerInch)};
}

std::shared_ptr<WinPicture> WinPicture::FromDecoder(IUnknown* unknown) {
  ComPtr<IWICBitmapDecoder> decoder(static_cast<IWICBitmapDecoder*>(unknown));
  ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.put()))) return nullptr;
  ComPtr<IWICBitmapSource> converted;
  if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.get(), converted.put())))
    return nullptr;
  UINT w = 0, h = 0;
  if (FAILED(converted->GetSize(&w, &h)) || w == 0 || h == 0 || w > 65535 || h > 65535)
    return nullptr;
  auto pic = std::make_shared<WinPicture>();
  // A picture beyond what any screen shows is kept reduced by a whole factor, each pixel
  // the mean of its block, read a band of rows at a time: memory stays bounded.
  UINT k = 1;
  while ((w + k - 1) / k > kMaxKeptSide || (h + k - 1) / k > kMaxKeptSide) ++k;
  int kw = static_cast<int>((w + k - 1) / k), kh = static_cast<int>((h + k - 1) / k);
  pic->pixels_.width = kw;
  pic->pixels_.height = kh;
  pic->pixels_.pixels.resize(static_cast<std::size_t>(kw) * kh);
  if (k == 1) {
    if (FAILED(converted->CopyPixels(nullptr, w * 4, w * h * 4,
                                     reinterpret_cast<BYTE*>(pic->pixels_.pixels.data()))))
      return nullptr;
  } else {
    std::vector<std::uint32_t> band(static_cast<std::size_t>(w) * k);
    std::vector<std::uint32_t> sum(static_cast<std::size_t>(kw) * 4);
    std::vector<std::uint32_t> count(static_cast<std::size_t>(kw));
    for (UINT y0 = 0; y0 < h; y0 += k) {
      UINT rows = std::min(k, h - y0);
      WICRect rect{0, static_cast<INT>(y0), static_cast<INT>(w), static_cast<INT>(rows)};
      if (FAILED(converted->CopyPixels(&rect, w * 4, w * rows * 4,
                                       reinterpret_cast<BYTE*>(band.data()))))
        return nullptr;
      std::fill(sum.begin(), sum.end(), 0u);
      std::fill(count.begin(), count.end(), 0u);
      for (UINT r = 0; r < rows; ++r)
        for (UINT x = 0; x < w; ++x) {
          std::uint32_t p = band[static_cast<std::size_t>(r) * w + x];
          std::size_t cell = x / k;
          for (int c = 0; c < 4; ++c) sum[cell * 4 + c] += (p >> (8 * c)) & 0xFF;
          ++count[cell];
        }
      std::uint32_t* out = &pic->pixels_.pixels[static_cast<std::size_t>(y0 / k) * kw];
      for (int x = 0; x < kw; ++x) {
        std::uint32_t v = 0, n = count[static_cast<std::size_t>(x)];
        for (int c = 0; c < 4; ++c)
          v |= ((sum[static_cast<std::size_t>(x) * 4 + c] + n / 2) / n) << (8 * c);
        out[x] = v;
      }
    }
  }
  pic->width_himetric_ = HimetricOf(w);
  pic->height_himetric_ = HimetricOf(h);
  return pic;
}

std::shared_ptr<WinPicture> WinPicture::FromFile(const std::wstring& path) {
  if (auto f = Factory()) {
    ComPtr<IWICBitmapDecoder> decoder;
    if (SUCCEEDED(f->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                               WICDecodeMetadataCacheOnDemand, decoder.put())))
      if (auto pic = FromDecoder(decoder.get())) return pic;
  }
  // Metafiles (and anything else) through the OLE picture loader.
  ComPtr<IPicture> ole;
  std::wstring p = path;
  if (FAILED(OleLoadPicturePath(p.data(), nullptr, 0, 0, IID_IPicture, ole.put_void())) || !ole)
    return nullptr;
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  if (FAILED(ole->get_Width(&w)) || FAILED(ole->get_Height(&h)) || w <= 0 || h <= 0) return nullptr;
  auto pic = std::make_shared<WinPicture>();
  pic->ole_ = ole;
  pic->width_himetric_ = static_cast<int>(w);
  pic->height_himetric_ = static_cast<int>(h);
  return pic;
}

std::shared_ptr<WinPicture> WinPicture::FromMemory(const void* data, std::size_t size) {
  auto f = Factory();
  if (!f) return nullptr;
  ComPtr<IStream> stream = ComPtr<IStream>::Adopt(
      SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size)));
  if (!stream) return nullptr;
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(f->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                        decoder.put())))
    return nullptr;
  return FromDecoder(decoder.get());
}

void WinPicture::Draw(HDC dc, const RECT& r, COLORREF bg) const {
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  if (ole_) {
    HBRUSH brush = CreateSolidBrush(bg);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    // Metafiles play at the target size: vector drawing needs no filtering.
    ole_->Render(dc, r.left, r.top, w, h, 0, height_himetric_, width_himetric_, -height_himetric_,
                 nullptr);
    return;
  }
  if (scaled_.width != w || scaled_.height != h || scaled_bg_ != bg) {
    scaled_ = Resample(pixels_, w, h);
    scaled_bg_ = bg;
    std::vector<std::uint32_t> flat = Composite(scaled_, bg);
    scaled_.pixels = std::move(flat);
  }
  if (scaled_.pixels.empty()) return;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, r.left, r.top, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                    static_cast<UINT>(h), scaled_.pixels.data(), &bi, DIB_RGB_COLORS);
}

std::shared_ptr<WinPicture> LoadPictureResource(const wchar_t* name) {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC res = FindResourceW(self, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (res == nullptr) return nullptr;
  HGLOBAL mem = LoadResource(self, res);
  const void* data = mem != nullptr ? LockResource(mem) : nullptr;
  if (data == nullptr) return nullptr;
  return WinPicture::FromMemory(data, SizeofResource(self, res));
}

}  // namespace ravel::win
