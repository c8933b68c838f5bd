#include "win32/gui/Dpi.h"

namespace ravel::win {

namespace {

template <class F>
F User32(const char* name) {
  HMODULE user = GetModuleHandleW(L"user32.dll");
  if (user == nullptr) return nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user, name)));
}

UINT ScreenDpi() {
  HDC dc = GetDC(nullptr);
  int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
  if (dc != nullptr) ReleaseDC(nullptr, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

UINT DpiOf(HWND hwnd) {
  static auto get_dpi = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (get_dpi != nullptr && hwnd != nullptr) {
    UINT dpi = get_dpi(hwnd);
    if (dpi != 0) return dpi;
  }
  return ScreenDpi();
}

SIZE WindowSizeFor(int w, int h, DWORD style, DWORD ex_style, bool menu, UINT dpi) {
  static auto adjust =
      User32<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  RECT r{0, 0, w, h};
  if (adjust == nullptr || !adjust(&r, style, menu, ex_style, dpi))
    AdjustWindowRectEx(&r, style, menu, ex_style);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

HFONT CreateMessageFont(UINT dpi, bool underline) {
  static auto spi_for_dpi =
      User32<BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT)>("SystemParametersInfoForDpi");
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  bool ok = spi_for_dpi != nullptr &&
            spi_for_dpi(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0, dpi) != FALSE;
  if (!ok) {
    ok = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0) != FALSE;
    // That answer is at the system DPI.
    if (ok) ncm.lfMessageFont.lfHeight = MulDiv(ncm.lfMessageFont.lfHeight, dpi, ScreenDpi());
  }
  if (!ok) {
    ncm.lfMessageFont = LOGFONTW{};
    ncm.lfMessageFont.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
    ncm.lfMessageFont.lfWeight = FW_NORMAL;
    lstrcpynW(ncm.lfMessageFont.lfFaceName, L"Segoe UI", LF_FACESIZE);
  }
  ncm.lfMessageFont.lfUnderline = underline ? TRUE : FALSE;
  return CreateFontIndirectW(&ncm.lfMessageFont);
}

void RequestPerMonitorDpi() {
  using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  static auto set_context = User32<SetContext>("SetProcessDpiAwarenessContext");
  if (set_context != nullptr) {
    // Refused (access denied) when the manifest has chosen already: that choice stands.
    if (set_context(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return;
    if (GetLastError() == ERROR_ACCESS_DENIED) return;
    if (set_context(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) return;
  }
  SetProcessDPIAware();
}

}  // namespace ravel::win
