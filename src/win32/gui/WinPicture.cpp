#include "win32/gui/WinPicture.h"

#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <vector>

#include "preview/PictureSize.h"
#include "win32/common/Utf.h"

namespace ravel::win {

namespace {

// A codec's own scaling while it decodes (a JPEG decoder scales by 1/2, 1/4, 1/8), which
// the mingw-w64 headers do not declare.
struct WicSourceTransform : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                               WICPixelFormatGUID* format,
                                               WICBitmapTransformOptions transform, UINT stride,
                                               UINT size, BYTE* pixels) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                         BOOL* supported) = 0;
};
constexpr GUID kIidWicSourceTransform = {
    0x3B16811B, 0x6A43, 0x4EC9, {0xB7, 0x13, 0x3D, 0x5A, 0x0C, 0x13, 0xB9, 0x40}};

constexpr int kHimetricPerInch = 2540;
// The longest side a raster picture is kept at.
constexpr UINT kMaxKeptSide = 4096;
// How much of a file's beginning is read for its declared size (a JPEG's frame header may
// stand behind large metadata).
constexpr DWORD kHeadBytes = 256 * 1024;

ComPtr<IWICImagingFactory> Factory() {
  ComPtr<IWICImagingFactory> f;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                   f.put_void());
  return f;
}

// Also a side beyond 65535 pixels: no screen comes near it, and the reduction reads whole
// rows of it at a time.
bool TooLarge(std::uint64_t width, std::uint64_t height) {
  return width == 0 || height == 0 || width > 65535 || height > 65535 ||
         width * height > kMaxPicturePixels;
}

// The size a picture is needed at, at most: the whole desktop across every monitor.
SIZE ScreenBound(SIZE keep) {
  if (keep.cx > 0 && keep.cy > 0) return keep;
  SIZE s{GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  if (s.cx <= 0 || s.cy <= 0)
    s = SIZE{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return s;
}

// The whole factor a w x h picture is reduced by: as far as `keep` allows, and at least so
// far that no side exceeds the longest kept side.
UINT ReductionOf(UINT w, UINT h, SIZE keep) {
  UINT k = 1;
  if (keep.cx > 0 && keep.cy > 0)
    k = std::max(1u, std::min(w / static_cast<UINT>(keep.cx), h / static_cast<UINT>(keep.cy)));
  while ((w + k - 1) / k > kMaxKeptSide || (h + k - 1) / k > kMaxKeptSide) ++k;
  return k;
}

// False when the file declares more pixels than are shown (or none); true when it declares
// a sane size or its format declares none that can be read here.
bool DeclaresSaneSize(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) return true;  // the loaders report it themselves
  std::vector<std::uint8_t> head(kHeadBytes);
  DWORD got = 0;
  BOOL ok = ReadFile(f, head.data(), kHeadBytes, &got, nullptr);
  CloseHandle(f);
  if (!ok) return true;
  auto size = DeclaredPixelSize(head.data(), got);
  return !size || !TooLarge(size->width, size->height);
}

// Reads a source that stands for one decoded frame and returns it as a source of
// premultiplied 32-bit pixels, decoded by the codec itself at a size near `want` where it
// can do that (a JPEG decoder scales while it decodes). `w` and `h` become the source's size.
ComPtr<IWICBitmapSource> NearSize(IWICBitmapFrameDecode* frame, UINT& w, UINT& h, SIZE keep) {
  ComPtr<IWICBitmapSource> source(static_cast<IWICBitmapSource*>(frame));
  UINT k = ReductionOf(w, h, keep);
  ComPtr<WicSourceTransform> transform;
  if (k > 1) frame->QueryInterface(kIidWicSourceTransform, transform.put_void());
  if (transform) {
    UINT want_w = (w + k - 1) / k, want_h = (h + k - 1) / k;
    UINT cw = want_w, ch = want_h;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppPBGRA;
    bool sized = SUCCEEDED(transform->GetClosestSize(&cw, &ch)) && cw >= want_w && ch >= want_h &&
                 cw < w && ch < h;
    bool formatted = SUCCEEDED(transform->GetClosestPixelFormat(&format));
    UINT bytes = 0;
    if (formatted && (IsEqualGUID(format, GUID_WICPixelFormat32bppPBGRA) ||
                      IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) ||
                      IsEqualGUID(format, GUID_WICPixelFormat32bppBGR)))
      bytes = 4;
    else if (formatted && IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
      bytes = 3;
    else if (formatted && IsEqualGUID(format, GUID_WICPixelFormat8bppGray))
      bytes = 1;
    auto factory = Factory();
    if (sized && bytes != 0 && factory) {
      UINT stride = (cw * bytes + 3) / 4 * 4;
      std::vector<BYTE> data(static_cast<std::size_t>(stride) * ch);
      ComPtr<IWICBitmap> bitmap;
      if (SUCCEEDED(transform->CopyPixels(nullptr, cw, ch, &format, WICBitmapTransformRotate0,
                                          stride, static_cast<UINT>(data.size()), data.data())) &&
          SUCCEEDED(factory->CreateBitmapFromMemory(
              cw, ch, format, stride, static_cast<UINT>(data.size()), data.data(), bitmap.put()))) {
        source = ComPtr<IWICBitmapSource>(static_cast<IWICBitmapSource*>(bitmap.get()));
        w = cw;
        h = ch;
      }
    }
  }
  ComPtr<IWICBitmapSource> converted;
  if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, source.get(), converted.put())))
    return nullptr;
  return converted;
}

// Sizes at the classic screen resolution, as the classic loader reports them.
int HimetricOf(UINT pixels) {
  return MulDiv(static_cast<int>(pixels), kHimetricPerInch, 96);
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

bool Abandoned(const std::atomic<bool>* abandoned) {
  return abandoned != nullptr && abandoned->load();
}

// A file stream that fails every read once its picture is abandoned: the codec then stops in
// the middle of whatever step it is in (some decode the whole picture in one call), so an
// abandoned picture costs no more than the read in hand.
class AbandonableStream : public IStream {
 public:
  AbandonableStream(ComPtr<IStream> inner, const std::atomic<bool>* abandoned)
      : inner_(std::move(inner)), abandoned_(abandoned) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
        IsEqualIID(iid, IID_IStream)) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override {
    if (Abandoned(abandoned_)) {
      if (read != nullptr) *read = 0;
      return E_ABORT;
    }
    return inner_->Read(data, size, read);
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
    return STG_E_ACCESSDENIED;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* at) override {
    if (Abandoned(abandoned_)) return E_ABORT;
    return inner_->Seek(move, origin, at);
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
    return inner_->Stat(stat, flags);
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  virtual ~AbandonableStream() = default;
  ComPtr<IStream> inner_;
  const std::atomic<bool>* abandoned_;
  std::atomic<ULONG> refs_ = 1;
};

// Rows copied from a codec at a time: between them the reading looks whether it is still
// wanted.
constexpr UINT kBandRows = 256;

}  // namespace

WinPicture::~WinPicture() {
  if (metafile_ != nullptr) DeleteEnhMetaFile(metafile_);
}

SIZE WinPicture::NaturalSize() const {
  return SIZE{MulDiv(width_himetric_, 96, kHimetricPerInch),
              MulDiv(height_himetric_, 96, kHimetricPerInch)};
}

std::shared_ptr<WinPicture> WinPicture::FromDecoder(IUnknown* unknown, SIZE keep,
                                                    const std::atomic<bool>* abandoned) {
  ComPtr<IWICBitmapDecoder> decoder(static_cast<IWICBitmapDecoder*>(unknown));
  ComPtr<IWICBitmapFrameDecode> frame;
  if (Abandoned(abandoned) || FAILED(decoder->GetFrame(0, frame.put()))) return nullptr;
  UINT full_w = 0, full_h = 0;
  if (FAILED(frame->GetSize(&full_w, &full_h)) || TooLarge(full_w, full_h)) return nullptr;
  keep = ScreenBound(keep);
  UINT w = full_w, h = full_h;
  ComPtr<IWICBitmapSource> converted = NearSize(frame.get(), w, h, keep);
  if (!converted || Abandoned(abandoned)) return nullptr;
  auto pic = std::make_shared<WinPicture>();
  // A picture beyond what the screen shows is kept reduced by a whole factor, each pixel
  // the mean of its block, read a band of rows at a time: memory stays bounded.
  UINT k = ReductionOf(w, h, keep);
  int kw = static_cast<int>((w + k - 1) / k), kh = static_cast<int>((h + k - 1) / k);
  pic->pixels_.width = kw;
  pic->pixels_.height = kh;
  pic->pixels_.pixels.resize(static_cast<std::size_t>(kw) * kh);
  if (k == 1) {
    for (UINT y0 = 0; y0 < h; y0 += kBandRows) {
      UINT rows = std::min(kBandRows, h - y0);
      WICRect rect{0, static_cast<INT>(y0), static_cast<INT>(w), static_cast<INT>(rows)};
      if (Abandoned(abandoned) ||
          FAILED(converted->CopyPixels(
              &rect, w * 4, w * rows * 4,
              reinterpret_cast<BYTE*>(&pic->pixels_.pixels[static_cast<std::size_t>(y0) * w]))))
        return nullptr;
    }
  } else {
    std::vector<std::uint32_t> band(static_cast<std::size_t>(w) * k);
    std::vector<std::uint32_t> sum(static_cast<std::size_t>(kw) * 4);
    std::vector<std::uint32_t> count(static_cast<std::size_t>(kw));
    for (UINT y0 = 0; y0 < h; y0 += k) {
      UINT rows = std::min(k, h - y0);
      WICRect rect{0, static_cast<INT>(y0), static_cast<INT>(w), static_cast<INT>(rows)};
      if (Abandoned(abandoned) ||
          FAILED(converted->CopyPixels(&rect, w * 4, w * rows * 4,
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
  pic->width_himetric_ = HimetricOf(full_w);
  pic->height_himetric_ = HimetricOf(full_h);
  return pic;
}

std::shared_ptr<WinPicture> WinPicture::FromFile(const std::wstring& path, SIZE keep,
                                                 const std::atomic<bool>* abandoned) {
  // Turned away before a decoder opens it: some decode the whole picture on opening.
  if (!DeclaresSaneSize(path) || Abandoned(abandoned)) return nullptr;
  {
    ComPtr<IStream> file;
    if (FAILED(SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_NONE,
                                      FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, file.put())))
      return nullptr;
    ComPtr<IStream> stream = ComPtr<IStream>::Adopt(new AbandonableStream(file, abandoned));
    ComPtr<IWICBitmapDecoder> decoder;
    auto f = Factory();
    // A file WIC knows is its to read: what it refuses, the OLE loader is not asked for.
    if (f && SUCCEEDED(f->CreateDecoderFromStream(stream.get(), nullptr,
                                                  WICDecodeMetadataCacheOnDemand, decoder.put())))
      return FromDecoder(decoder.get(), keep, abandoned);
  }
  // The file is closed again first: the OLE loader wants it to itself.
  if (Abandoned(abandoned)) return nullptr;
  return FromOleLoader(path);
}

// Metafiles (and anything else WIC has no codec for) through the OLE picture loader. Its
// picture object is released here, on the thread that made it: what is kept is an enhanced
// metafile, which any thread may play.
std::shared_ptr<WinPicture> WinPicture::FromOleLoader(const std::wstring& path) {
  ComPtr<IPicture> ole;
  std::wstring p = path;
  if (FAILED(OleLoadPicturePath(p.data(), nullptr, 0, 0, IID_IPicture, ole.put_void())) || !ole)
    return nullptr;
  OLE_XSIZE_HIMETRIC w = 0;
  OLE_YSIZE_HIMETRIC h = 0;
  SHORT type = PICTYPE_NONE;
  OLE_HANDLE handle = 0;
  if (FAILED(ole->get_Width(&w)) || FAILED(ole->get_Height(&h)) || w <= 0 || h <= 0 ||
      FAILED(ole->get_Type(&type)) || FAILED(ole->get_Handle(&handle)) || handle == 0)
    return nullptr;
  HENHMETAFILE emf = nullptr;
  if (type == PICTYPE_ENHMETAFILE) {
    emf = CopyEnhMetaFileW(reinterpret_cast<HENHMETAFILE>(static_cast<UINT_PTR>(handle)), nullptr);
  } else if (type == PICTYPE_METAFILE) {
    auto wmf = reinterpret_cast<HMETAFILE>(static_cast<UINT_PTR>(handle));
    UINT size = GetMetaFileBitsEx(wmf, 0, nullptr);
    std::vector<BYTE> bits(size);
    if (size > 0 && GetMetaFileBitsEx(wmf, size, bits.data()) == size) {
      // Stretched over its frame, the size the file declares.
      METAFILEPICT mfp{MM_ANISOTROPIC, static_cast<LONG>(w), static_cast<LONG>(h), nullptr};
      emf = SetWinMetaFileBits(size, bits.data(), nullptr, &mfp);
    }
  }
  if (emf == nullptr) return nullptr;
  auto pic = std::make_shared<WinPicture>();
  pic->metafile_ = emf;
  pic->width_himetric_ = static_cast<int>(w);
  pic->height_himetric_ = static_cast<int>(h);
  return pic;
}

std::shared_ptr<WinPicture> WinPicture::FromMemory(const void* data, std::size_t size, SIZE keep) {
  auto head = DeclaredPixelSize(static_cast<const std::uint8_t*>(data), size);
  if (head && TooLarge(head->width, head->height)) return nullptr;
  auto f = Factory();
  if (!f) return nullptr;
  ComPtr<IStream> stream = ComPtr<IStream>::Adopt(
      SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size)));
  if (!stream) return nullptr;
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(f->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                        decoder.put())))
    return nullptr;
  return FromDecoder(decoder.get(), keep, nullptr);
}

namespace {

BITMAPINFO TopDown32(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

}  // namespace

void WinPicture::Draw(HDC dc, const RECT& r, COLORREF bg, Scaled* keep) const {
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  if (metafile_ != nullptr) {
    DrawDraft(dc, r, bg);
    return;
  }
  Scaled& s = keep != nullptr ? *keep : scaled_;
  if (s.image.width != w || s.image.height != h || s.background != bg) {
    std::lock_guard lock(prepared_mutex_);
    if (prepared_.image.width == w && prepared_.image.height == h && prepared_.background == bg)
      s = prepared_;
  }
  if (s.image.width != w || s.image.height != h || s.background != bg) {
    s.image = Resample(pixels_, w, h);
    s.background = bg;
    std::vector<std::uint32_t> flat = Composite(s.image, bg);
    s.image.pixels = std::move(flat);
  }
  if (s.image.pixels.empty()) return;
  BITMAPINFO bi = TopDown32(w, h);
  SetDIBitsToDevice(dc, r.left, r.top, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                    static_cast<UINT>(h), s.image.pixels.data(), &bi, DIB_RGB_COLORS);
}

void WinPicture::Prepare(int w, int h, COLORREF bg) const {
  if (w <= 0 || h <= 0 || pixels_.pixels.empty()) return;
  {
    std::lock_guard lock(prepared_mutex_);
    if (prepared_.image.width == w && prepared_.image.height == h && prepared_.background == bg)
      return;
  }
  Scaled s;
  s.image = Resample(pixels_, w, h);
  s.image.pixels = Composite(s.image, bg);
  s.background = bg;
  std::lock_guard lock(prepared_mutex_);
  prepared_ = std::move(s);
}

void WinPicture::DrawDraft(HDC dc, const RECT& r, COLORREF bg) const {
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  if (metafile_ != nullptr) {
    HBRUSH brush = CreateSolidBrush(bg);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    // Metafiles play at the target size: vector drawing needs no filtering.
    PlayEnhMetaFile(dc, metafile_, &r);
    return;
  }
  if (pixels_.pixels.empty()) return;
  if (flat_.empty() || flat_bg_ != bg) {
    flat_ = Composite(pixels_, bg);
    flat_bg_ = bg;
  }
  BITMAPINFO bi = TopDown32(pixels_.width, pixels_.height);
  int old = SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, r.left, r.top, w, h, 0, 0, pixels_.width, pixels_.height, flat_.data(), &bi,
                DIB_RGB_COLORS, SRCCOPY);
  SetStretchBltMode(dc, old);
}

std::shared_ptr<WinPicture> PictureCache::Load(const std::wstring& path,
                                               const std::atomic<bool>* abandoned) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &info)) return nullptr;
  ULARGE_INTEGER size{};
  size.LowPart = info.nFileSizeLow;
  size.HighPart = info.nFileSizeHigh;
  {
    std::lock_guard lock(mutex_);
    bool same = picture_ && !path_.empty() &&
                CompareStringOrdinal(path.c_str(), -1, path_.c_str(), -1, TRUE) == CSTR_EQUAL &&
                CompareFileTime(&info.ftLastWriteTime, &written_) == 0 &&
                size.QuadPart == size_.QuadPart;
    if (same) return picture_;
  }
  ++decodes_;
  // Read without the lock: the other worker's cached picture stays at hand meanwhile.
  auto picture = WinPicture::FromFile(path, {}, abandoned);
  // What is no picture (or abandoned) does not displace the last one that was.
  std::lock_guard lock(mutex_);
  if (picture) {
    path_ = path;
    written_ = info.ftLastWriteTime;
    size_ = size;
    picture_ = picture;
  }
  return picture;
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

namespace ravel::win {

namespace {
thread_local bool com_joined = false;
}

void WinPictureDecoder::WorkerStarts() {
  // The codecs' objects live in this thread's own apartment.
  com_joined =
      SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

void WinPictureDecoder::WorkerEnds() {
  if (com_joined) CoUninitialize();
  com_joined = false;
}

void WinPictureDecoder::PrepareFor(SIZE size, COLORREF background) {
  prepare_w_ = size.cx;
  prepare_h_ = size.cy;
  prepare_bg_ = background;
}

PicturePtr WinPictureDecoder::Decode(const std::string& path, const std::atomic<bool>& abandoned) {
  auto picture = cache_.Load(Widen(path), &abandoned);
  if (picture && !abandoned)
    picture->Prepare(static_cast<int>(prepare_w_), static_cast<int>(prepare_h_), prepare_bg_);
  return picture;
}

}  // namespace ravel::win
