// The Win32 picture loader on real files of every format a document links to, the sizes it
// reports, and the filtering of a stretched picture as it reaches the screen.
#include <gtest/gtest.h>

#include "win32/gui/Win.h"
// (after windows.h)
#include <zlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "win32/common/ComPtr.h"
#include "win32/common/Utf.h"
#include "win32/gui/WinPicture.h"
#include "win_support.h"

using namespace ravel;

namespace {

std::wstring Fixture(const std::string& name) {
  return win::Widen(wintest::WindowsPath(std::string(RAVEL_FIXTURES) + "/pictures/" + name));
}

// A PNG file in the temporary folder, w x h pixels of one colour with its alpha.
std::wstring WritePng(const wchar_t* name, std::uint32_t w, std::uint32_t h, std::uint32_t rgba) {
  std::string rows;
  for (std::uint32_t y = 0; y < h; ++y) {
    rows += '\0';  // no filter
    for (std::uint32_t x = 0; x < w; ++x)
      for (int shift : {24, 16, 8, 0}) rows += static_cast<char>(rgba >> shift);
  }
  std::string packed(compressBound(static_cast<uLong>(rows.size())), '\0');
  uLongf n = static_cast<uLongf>(packed.size());
  compress(reinterpret_cast<Bytef*>(packed.data()), &n, reinterpret_cast<const Bytef*>(rows.data()),
           static_cast<uLong>(rows.size()));
  packed.resize(n);
  auto be = [](std::uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 8), static_cast<char>(v)};
  };
  auto chunk = [&](const std::string& kind, const std::string& data) {
    std::string body = kind + data;
    return be(static_cast<std::uint32_t>(data.size())) + body +
           be(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                    static_cast<uInt>(body.size())));
  };
  std::string png = "\x89PNG\r\n\x1a\n" +
                    chunk("IHDR", be(w) + be(h) + std::string("\x08\x06\0\0\0", 5)) +
                    chunk("IDAT", packed) + chunk("IEND", "");
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = temp + std::wstring(name);
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
  CloseHandle(f);
  return path;
}

// Draws the picture stretched to w x h over a background into a bitmap and returns its pixels
// (0x00RRGGBB): filtered, or as a draft.
std::vector<std::uint32_t> Render(const win::WinPicture& pic, int w, int h, bool draft = false,
                                  COLORREF bg = RGB(255, 255, 255)) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  RECT r{0, 0, w, h};
  if (draft)
    pic.DrawDraft(dc, r, bg);
  else
    pic.Draw(dc, r, bg);
  GdiFlush();
  std::vector<std::uint32_t> out(static_cast<const std::uint32_t*>(bits),
                                 static_cast<const std::uint32_t*>(bits) + w * h);
  for (auto& p : out) p &= 0xFFFFFF;
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return out;
}

bool Near(std::uint32_t p, int r, int g, int b, int tolerance = 12) {
  int pr = (p >> 16) & 0xFF, pg = (p >> 8) & 0xFF, pb = p & 0xFF;
  return std::abs(pr - r) <= tolerance && std::abs(pg - g) <= tolerance &&
         std::abs(pb - b) <= tolerance;
}

class PictureLoader : public ::testing::Test {
 protected:
  win::ComInit com;
};

// Read by the worker threads' loader, which joins an apartment of its own on its thread, and
// drawn on this one.
TEST_F(PictureLoader, ReadsEveryRasterFormatWithItsSizeInHundredthsOfAMillimetre) {
  struct Case {
    const char* file;
    int width_px, height_px;
  };
  const Case cases[] = {
      {"red.gif", 40, 30}, {"red.jpg", 40, 30}, {"red.bmp", 40, 30},
      {"red.png", 40, 30}, {"red.tif", 40, 30}, {"red.ico", 32, 32},
  };
  for (const Case& c : cases) {
    win::WinPictureDecoder decoder;
    PicturePtr pic;
    std::thread worker([&] {
      decoder.WorkerStarts();
      std::atomic<bool> abandoned{false};
      pic = decoder.Decode(win::Narrow(Fixture(c.file)), abandoned);
      decoder.WorkerEnds();
    });
    worker.join();
    ASSERT_NE(pic, nullptr) << c.file;
    EXPECT_EQ(pic->WidthHimetric(), MulDiv(c.width_px, 2540, 96)) << c.file;
    EXPECT_EQ(pic->HeightHimetric(), MulDiv(c.height_px, 2540, 96)) << c.file;
    auto pixels = Render(static_cast<const win::WinPicture&>(*pic), 80, 60);
    EXPECT_TRUE(Near(pixels[30 * 80 + 40], 0xD0, 0x20, 0x20))
        << c.file << std::hex << " " << pixels[30 * 80 + 40];
  }
}

// Both metafile kinds, one inch by half an inch, filled with one colour: an enhanced one and
// a Windows metafile with the placeable header files of the kind carry (a bounding box of
// 200 x 100 units at 200 units per inch).
TEST_F(PictureLoader, MetafilesLoadThroughTheOlePictureLoader) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring emf = std::wstring(temp) + L"ravel-test.emf";
  RECT frame{0, 0, 2540, 1270};  // hundredths of a millimetre
  HDC mf = CreateEnhMetaFileW(nullptr, emf.c_str(), &frame, nullptr);
  ASSERT_NE(mf, nullptr);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 200));
  SelectObject(mf, blue);
  SelectObject(mf, GetStockObject(NULL_PEN));
  Rectangle(mf, 0, 0,
            MulDiv(2540, GetDeviceCaps(mf, HORZRES), GetDeviceCaps(mf, HORZSIZE) * 100) + 1,
            MulDiv(1270, GetDeviceCaps(mf, VERTRES), GetDeviceCaps(mf, VERTSIZE) * 100) + 1);
  DeleteEnhMetaFile(CloseEnhMetaFile(mf));
  DeleteObject(blue);

  mf = CreateMetaFileW(nullptr);
  ASSERT_NE(mf, nullptr);
  SetWindowExtEx(mf, 200, 100, nullptr);
  HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
  SelectObject(mf, green);
  SelectObject(mf, GetStockObject(NULL_PEN));
  Rectangle(mf, 0, 0, 201, 101);
  HMETAFILE handle = CloseMetaFile(mf);
  DeleteObject(green);
  std::vector<BYTE> bits(GetMetaFileBitsEx(handle, 0, nullptr));
  GetMetaFileBitsEx(handle, static_cast<UINT>(bits.size()), bits.data());
  DeleteMetaFile(handle);
  WORD header[11] = {0xCDD7, 0x9AC6, 0, 0, 0, 200, 100, 200, 0, 0, 0};
  for (int i = 0; i < 10; ++i) header[10] ^= header[i];
  std::wstring wmf = std::wstring(temp) + L"ravel-test.wmf";
  HANDLE f = CreateFileW(wmf.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(f, header, sizeof header, &written, nullptr);
  WriteFile(f, bits.data(), static_cast<DWORD>(bits.size()), &written, nullptr);
  CloseHandle(f);

  for (auto [path, colour] : {std::pair{emf, RGB(0, 0, 200)}, std::pair{wmf, RGB(0, 160, 0)}}) {
    auto pic = win::WinPicture::FromFile(path);
    DeleteFileW(path.c_str());
    ASSERT_NE(pic, nullptr);
    EXPECT_FALSE(pic->IsRaster());
    EXPECT_NEAR(pic->WidthHimetric(), 2540, 60);
    EXPECT_NEAR(pic->HeightHimetric(), 1270, 60);
    std::uint32_t middle = Render(*pic, 100, 50)[25 * 100 + 50];
    EXPECT_TRUE(Near(middle, GetRValue(colour), GetGValue(colour), GetBValue(colour)))
        << std::hex << middle;
  }
}

TEST_F(PictureLoader, WhatIsNoPictureTooLargeOrMissingGivesNothing) {
  EXPECT_EQ(win::WinPicture::FromFile(Fixture("notes.gif")), nullptr);
  // 12248 x 12248: decoded, it would take seconds and 600 MB.
  EXPECT_EQ(win::WinPicture::FromFile(Fixture("too-many-pixels.png")), nullptr);
  EXPECT_EQ(win::WinPicture::FromFile(Fixture("missing.png")), nullptr);
  EXPECT_EQ(win::WinPicture::FromFile(L""), nullptr);
  // Few pixels, but a side no screen comes near, either way.
  for (auto [w, h] : {std::pair{70000u, 1u}, std::pair{1u, 70000u}}) {
    std::wstring path = WritePng(L"ravel-test-long.png", w, h, 0x2020D0FF);
    EXPECT_EQ(win::WinPicture::FromFile(path), nullptr) << w << " x " << h;
    DeleteFileW(path.c_str());
  }
}

TEST_F(PictureLoader, AStretchedPictureIsFilteredNotPixelDropped) {
  auto pic = win::WinPicture::FromFile(Fixture("stripes.png"));
  ASSERT_NE(pic, nullptr);
  // Half size: every pixel covers one black and one white column.
  auto half = Render(*pic, 20, 15);
  for (int x = 0; x < 20; ++x)
    EXPECT_TRUE(Near(half[7 * 20 + x], 128, 128, 128, 3))
        << x << " " << std::hex << half[7 * 20 + x];
  // Enlarged: the stripes keep their alternation, with soft edges between them.
  auto big = Render(*pic, 160, 120);
  int greys = 0;
  for (int x = 0; x < 160; ++x) {
    int v = static_cast<int>(big[60 * 160 + x] & 0xFF);
    if (v > 20 && v < 235) ++greys;
  }
  EXPECT_GT(greys, 40);
  // A draft (while a window is dragged) takes whole pixels: black and white only.
  auto draft = Render(*pic, 20, 15, true);
  for (int x = 0; x < 20; ++x) {
    std::uint32_t p = draft[7 * 20 + x];
    EXPECT_TRUE(Near(p, 0, 0, 0, 0) || Near(p, 255, 255, 255, 0)) << x << " " << std::hex << p;
  }
  // Where a picture is clear, the background of each drawing shows, in a draft too.
  std::wstring path = WritePng(L"ravel-test-clear.png", 4, 4, 0x2020D000);
  auto clear = win::WinPicture::FromFile(path);
  DeleteFileW(path.c_str());
  ASSERT_NE(clear, nullptr);
  for (bool as_draft : {false, true})
    for (COLORREF bg : {RGB(255, 255, 255), RGB(0, 0, 0)})
      EXPECT_TRUE(Near(Render(*clear, 8, 8, as_draft, bg)[36], GetRValue(bg), GetGValue(bg),
                       GetBValue(bg), 0))
          << as_draft << " " << std::hex << bg;
}

// Reduced by averaging, never by dropping pixels: to what the window needs at most, and a
// picture wider than any screen to a screen's width; the size stays as the file gives it.
TEST_F(PictureLoader, APictureIsKeptNoLargerThanNeeded) {
  // 40 x 30 stripes where 10 x 10 is the most needed: three columns to a pixel.
  auto pic = win::WinPicture::FromFile(Fixture("stripes.png"), SIZE{10, 10});
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->WidthHimetric(), MulDiv(40, 2540, 96));
  EXPECT_EQ(pic->Pixels().width, 14);
  EXPECT_EQ(pic->Pixels().height, 10);
  int low = 0, high = 0;
  for (int x = 0; x < 13; ++x) {
    int v = static_cast<int>(pic->Pixels().pixels[static_cast<std::size_t>(x)] & 0xFF);
    low += std::abs(v - 85) <= 1;
    high += std::abs(v - 170) <= 1;
  }
  EXPECT_EQ(low + high, 13) << "each the mean of its three columns";

  pic = win::WinPicture::FromFile(Fixture("wide-stripes.png"));
  ASSERT_NE(pic, nullptr);
  EXPECT_EQ(pic->WidthHimetric(), MulDiv(8192, 2540, 96));
  EXPECT_EQ(pic->Pixels().width, 4096);
  EXPECT_EQ(pic->Pixels().height, 5);
  for (std::uint32_t p : pic->Pixels().pixels)
    ASSERT_TRUE(Near(p & 0xFFFFFF, 128, 128, 128, 1)) << std::hex << p;
}

TEST_F(PictureLoader, TheLastPictureIsKeptForItsPathAndFileTime) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring copy = std::wstring(temp) + L"ravel-cache-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CopyFileW(Fixture("red.png").c_str(), (copy + L".png").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(Fixture("red.png").c_str(), (copy + L"-2.png").c_str(), FALSE));
  win::PictureCache cache;
  auto first = cache.Load(copy + L".png");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.Load(copy + L".PNG"), first) << "the same file, named in other case";
  EXPECT_EQ(cache.Load(Fixture("notes.gif")), nullptr);
  EXPECT_EQ(cache.Load(copy + L".png"), first) << "no picture does not displace it";

  // Written since: read again.
  HANDLE f = CreateFileW((copy + L".png").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                         0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FILETIME later{};
  GetSystemTimeAsFileTime(&later);
  later.dwHighDateTime += 1;
  SetFileTime(f, nullptr, nullptr, &later);
  CloseHandle(f);
  auto again = cache.Load(copy + L".png");
  EXPECT_NE(again, first);
  EXPECT_NE(cache.Load(copy + L"-2.png"), again) << "another file, of the same time and size";
  DeleteFileW((copy + L".png").c_str());
  DeleteFileW((copy + L"-2.png").c_str());
  EXPECT_EQ(cache.Load(copy + L".png"), nullptr) << "gone";
}

TEST_F(PictureLoader, AnAbandonedReadingGivesNothingAndDisplacesNothing) {
  std::atomic<bool> abandoned{true};
  for (const char* file : {"red.png", "red.jpg", "wide-stripes.png", "red.ico"})
    EXPECT_EQ(win::WinPicture::FromFile(Fixture(file), {}, &abandoned), nullptr) << file;
  win::PictureCache cache;
  auto first = cache.Load(Fixture("red.png"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(cache.Load(Fixture("stripes.png"), &abandoned), nullptr);
  EXPECT_EQ(cache.Load(Fixture("red.png"), &abandoned), first) << "the kept one needs no reading";
  std::atomic<bool> wanted{false};
  EXPECT_NE(win::WinPicture::FromFile(Fixture("red.jpg"), {}, &wanted), nullptr);
}

}  // namespace
