// Per-monitor DPI for our windows. The functions that came with Windows 10 are looked up at
// run time, so the program still starts (at the system DPI) where they are missing.
#pragma once

#include "win32/gui/Win.h"

namespace ravel::win {

// The DPI of the monitor the window is on (the system DPI where that cannot be told).
UINT DpiOf(HWND hwnd);
// A length given in 96-DPI pixels, at `dpi`.
inline int Scale(int px96, UINT dpi) {
  return MulDiv(px96, static_cast<int>(dpi), 96);
}
// The outer size of a window whose client area is w x h (already scaled to `dpi`).
SIZE WindowSizeFor(int w, int h, DWORD style, DWORD ex_style, bool menu, UINT dpi);
// The system's message font at `dpi`; underlined when asked (for labels that act as links).
HFONT CreateMessageFont(UINT dpi, bool underline = false);
// Moves and sizes the window to the rectangle WM_DPICHANGED suggests (its lParam).
inline void TakeSuggestedRect(HWND hwnd, LPARAM lp) {
  const RECT* r = reinterpret_cast<const RECT*>(lp);
  SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}
// Asks for per-monitor awareness (v2, else v1) when no manifest has set it already.
void RequestPerMonitorDpi();

}  // namespace ravel::win
