// The base of our windows: `this` is stored at WM_NCCREATE and every message goes to
// OnMessage. No exception leaves a window procedure. Child controls come from a layout
// table in 96-DPI pixels and are placed again when the DPI changes.
#pragma once

#include "win32/gui/Win.h"

#include <string>
#include <vector>

namespace ravel::win {

class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return hwnd_; }
  void Destroy();

 protected:
  // Registers the window class once per process (face-coloured, arrow cursor, our icon).
  static void RegisterClassOnce(const wchar_t* name);
  bool CreateTop(const wchar_t* cls, const std::wstring& title, DWORD style, DWORD ex_style,
                 HWND owner, HMENU menu);
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd_, msg, wp, lp); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND hwnd_ = nullptr;
};

// One child control of a layout table.
struct ChildSpec {
  int id;
  const wchar_t* cls;
  DWORD style;  // WS_CHILD and WS_VISIBLE are added
  DWORD ex_style;
  int x, y, w, h;  // client coordinates at 96 DPI
};

// The child controls of one window, created in table order (the tab order).
class ChildSet {
 public:
  ChildSet() = default;
  ChildSet(const ChildSet&) = delete;
  ChildSet& operator=(const ChildSet&) = delete;
  ~ChildSet();

  void Create(HWND parent, const ChildSpec* layout, std::size_t count, UINT dpi);
  HWND Get(int id) const;
  int IdOf(HWND child) const;
  // Places every child for `dpi` and gives each the message font at that DPI; the ids in
  // `link_ids` get its underlined form.
  void Place(UINT dpi, const std::vector<int>& link_ids = {});
  // Puts the children of the given ids (frames) at the bottom of the z-order, so that the
  // controls they hold can clip their siblings without being clipped by the frame.
  void ToBottom(const std::vector<int>& ids);
  HFONT Font() const { return font_; }
  RECT RectOf(int id, UINT dpi) const;

 private:
  void FreeFonts();
  HWND parent_ = nullptr;
  std::vector<std::pair<const ChildSpec*, HWND>> children_;
  HFONT font_ = nullptr;
  HFONT link_font_ = nullptr;
};

}  // namespace ravel::win
