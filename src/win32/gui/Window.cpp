#include "win32/gui/Window.h"

#include <algorithm>

#include "win32/gui/Dpi.h"

namespace ravel::win {

namespace {

// The program's icon (resource 1), where the executable has one.
HICON AppIcon(int size) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                       size, size, LR_DEFAULTCOLOR | LR_SHARED));
}

}  // namespace

Window::~Window() {
  Destroy();
}

void Window::Destroy() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void Window::RegisterClassOnce(const wchar_t* name) {
  WNDCLASSEXW wc{};
  HINSTANCE inst = GetModuleHandleW(nullptr);
  if (GetClassInfoExW(inst, name, &wc)) return;
  wc = WNDCLASSEXW{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Window::Proc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = AppIcon(GetSystemMetrics(SM_CXICON));
  wc.hIconSm = AppIcon(GetSystemMetrics(SM_CXSMICON));
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

bool Window::CreateTop(const wchar_t* cls, const std::wstring& title, DWORD style, DWORD ex_style,
                       HWND owner, HMENU menu) {
  HWND h =
      CreateWindowExW(ex_style, cls, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, owner, menu, GetModuleHandleW(nullptr), this);
  if (h == nullptr && menu != nullptr) DestroyMenu(menu);
  return h != nullptr;
}

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  return Default(msg, wp, lp);
}

LRESULT CALLBACK Window::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT result = 0;
  try {
    result = self->OnMessage(msg, wp, lp);
  } catch (...) {
    // The handlers catch their own failures; anything left ends here, unseen.
    result = DefWindowProcW(hwnd, msg, wp, lp);
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

ChildSet::~ChildSet() {
  FreeFonts();
}

void ChildSet::FreeFonts() {
  if (font_ != nullptr) DeleteObject(font_);
  if (link_font_ != nullptr) DeleteObject(link_font_);
  font_ = link_font_ = nullptr;
}

void ChildSet::Create(HWND parent, const ChildSpec* layout, std::size_t count, UINT dpi) {
  parent_ = parent;
  HINSTANCE inst = GetModuleHandleW(nullptr);
  for (std::size_t i = 0; i < count; ++i) {
    const ChildSpec& s = layout[i];
    HWND h =
        CreateWindowExW(s.ex_style, s.cls, L"", WS_CHILD | WS_VISIBLE | s.style, Scale(s.x, dpi),
                        Scale(s.y, dpi), Scale(s.w, dpi), Scale(s.h, dpi), parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(s.id)), inst, nullptr);
    children_.emplace_back(&s, h);
  }
}

HWND ChildSet::Get(int id) const {
  for (const auto& [child_spec, h] : children_)
    if (child_spec->id == id) return h;
  return nullptr;
}

int ChildSet::IdOf(HWND child) const {
  for (const auto& [child_spec, h] : children_)
    if (h == child && child != nullptr) return child_spec->id;
  return 0;
}

RECT ChildSet::RectOf(int id, UINT dpi) const {
  for (const auto& [child_spec, h] : children_)
    if (child_spec->id == id)
      return RECT{Scale(child_spec->x, dpi), Scale(child_spec->y, dpi),
                  Scale(child_spec->x + child_spec->w, dpi),
                  Scale(child_spec->y + child_spec->h, dpi)};
  return RECT{};
}

void ChildSet::Place(UINT dpi, const std::vector<int>& link_ids) {
  FreeFonts();
  font_ = CreateMessageFont(dpi);
  link_font_ = CreateMessageFont(dpi, true);
  HDWP batch = BeginDeferWindowPos(static_cast<int>(children_.size()));
  for (const auto& [child_spec, h] : children_) {
    if (h == nullptr) continue;
    bool link = std::find(link_ids.begin(), link_ids.end(), child_spec->id) != link_ids.end();
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(link ? link_font_ : font_), FALSE);
    if (batch != nullptr)
      batch = DeferWindowPos(batch, h, nullptr, Scale(child_spec->x, dpi),
                             Scale(child_spec->y, dpi), Scale(child_spec->w, dpi),
                             Scale(child_spec->h, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (batch != nullptr) EndDeferWindowPos(batch);
  RedrawWindow(parent_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void ChildSet::ToBottom(const std::vector<int>& ids) {
  for (int id : ids)
    if (HWND h = Get(id))
      SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace ravel::win
