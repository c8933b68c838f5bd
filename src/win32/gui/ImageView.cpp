#include "win32/gui/ImageView.h"

#include "win32/common/Utf.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/WinPicture.h"

namespace ravel::win {

const wchar_t* const kLoadingNotice = L"Loading picture...";

namespace {

// How long a picture may take before the notice replaces the picture shown before.
constexpr UINT kNoticeDelayMs = 150;
constexpr UINT_PTR kNoticeTimer = 1;

struct ImageState {
  std::shared_ptr<const WinPicture> picture;
  bool stretch = true;
  bool draft = false;
  bool loading = false;
  bool notice = false;  // the loading notice is shown
  HFONT font = nullptr;
  COLORREF background = GetSysColor(COLOR_WINDOW);
  WinPicture::Scaled scaled;  // this window's size of its picture
};

ImageState* StateOf(HWND h) {
  return reinterpret_cast<ImageState*>(GetWindowLongPtrW(h, GWLP_USERDATA));
}

void Notify(HWND h, WORD code) {
  HWND parent = GetParent(h);
  if (parent == nullptr) return;
  auto id = static_cast<WORD>(GetDlgCtrlID(h));
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(h));
}

void Paint(HWND h, ImageState& st) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(h, &ps);
  RECT rc;
  GetClientRect(h, &rc);
  // Drawn off screen first, so that resizing does not flicker.
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
  HGDIOBJ old = SelectObject(mem, bmp);
  HBRUSH brush = CreateSolidBrush(st.background);
  FillRect(mem, &rc, brush);
  DeleteObject(brush);
  if (st.notice) {
    HFONT font = st.font;
    if (font == nullptr && GetParent(h) != nullptr)
      font = reinterpret_cast<HFONT>(SendMessageW(GetParent(h), WM_GETFONT, 0, 0));
    if (font == nullptr) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HGDIOBJ old_font = SelectObject(mem, font);
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, GetSysColor(COLOR_GRAYTEXT));
    RECT text = rc;
    DrawTextW(mem, kLoadingNotice, -1, &text,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(mem, old_font);
  } else if (st.picture) {
    RECT to = rc;
    if (!st.stretch) {
      SIZE n = st.picture->NaturalSize();
      UINT dpi = DpiOf(h);
      to.right = Scale(n.cx, dpi);
      to.bottom = Scale(n.cy, dpi);
    }
    // A picture that cannot be scaled (no memory for it) leaves the background alone; the
    // device contexts are given back all the same.
    try {
      if (st.draft)
        st.picture->DrawDraft(mem, to, st.background);
      else
        st.picture->Draw(mem, to, st.background, &st.scaled);
    } catch (...) {
      st.scaled = WinPicture::Scaled{};
    }
  }
  BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  EndPaint(h, &ps);
}

LRESULT OnImageMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  ImageState* st = StateOf(h);
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new ImageState));
      break;
    case WM_NCDESTROY:
      delete st;
      SetWindowLongPtrW(h, GWLP_USERDATA, 0);
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (st != nullptr) {
        Paint(h, *st);
        return 0;
      }
      break;
    case WM_SIZE:
      InvalidateRect(h, nullptr, FALSE);
      return 0;
    case WM_TIMER:
      if (wp == kNoticeTimer && st != nullptr) {
        KillTimer(h, kNoticeTimer);
        if (st->loading && !st->notice) {
          st->notice = true;
          InvalidateRect(h, nullptr, FALSE);
        }
        return 0;
      }
      break;
    case WM_SETFONT:
      if (st != nullptr) st->font = reinterpret_cast<HFONT>(wp);
      if (LOWORD(lp) != 0) InvalidateRect(h, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return st != nullptr ? reinterpret_cast<LRESULT>(st->font) : 0;
    case WM_LBUTTONUP:
      Notify(h, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
      Notify(h, STN_DBLCLK);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_STATIC;
    default:
      break;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

// No exception leaves the window procedure (out of memory while scaling a picture, say):
// the window then shows what it showed before.
LRESULT CALLBACK ImageProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  try {
    return OnImageMessage(h, msg, wp, lp);
  } catch (...) {
    if (msg == WM_PAINT) ValidateRect(h, nullptr);  // else it is asked to paint forever
    if (msg == WM_NCCREATE) return FALSE;
    return DefWindowProcW(h, msg, wp, lp);
  }
}

}  // namespace

const wchar_t* ImageViewClass() {
  static const wchar_t* const kName = L"RavelmendImage";
  WNDCLASSEXW wc{};
  HINSTANCE inst = GetModuleHandleW(nullptr);
  if (!GetClassInfoExW(inst, kName, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &ImageProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kName;
    RegisterClassExW(&wc);
  }
  return kName;
}

void SetImagePicture(HWND image, std::shared_ptr<const WinPicture> picture, bool stretch) {
  ImageState* st = image != nullptr ? StateOf(image) : nullptr;
  if (st == nullptr) return;
  if (picture != st->picture) st->scaled = WinPicture::Scaled{};
  st->picture = std::move(picture);
  st->stretch = stretch;
  InvalidateRect(image, nullptr, FALSE);
}

void SetImageDraft(HWND image, bool draft) {
  ImageState* st = image != nullptr ? StateOf(image) : nullptr;
  if (st == nullptr || st->draft == draft) return;
  st->draft = draft;
  // The drag's end shows the filtered picture; drafts come with the size changes.
  if (!draft) InvalidateRect(image, nullptr, FALSE);
}

void SetImageLoading(HWND image, bool loading) {
  ImageState* st = image != nullptr ? StateOf(image) : nullptr;
  if (st == nullptr || st->loading == loading) return;
  st->loading = loading;
  if (loading) {
    SetTimer(image, kNoticeTimer, kNoticeDelayMs, nullptr);
    return;
  }
  KillTimer(image, kNoticeTimer);
  if (st->notice) {
    st->notice = false;
    InvalidateRect(image, nullptr, FALSE);
  }
}

bool ImageShowsLoading(HWND image) {
  ImageState* st = image != nullptr ? StateOf(image) : nullptr;
  return st != nullptr && st->notice;
}

std::shared_ptr<const WinPicture> ImagePictureOf(HWND image) {
  ImageState* st = image != nullptr ? StateOf(image) : nullptr;
  return st != nullptr ? st->picture : nullptr;
}

void SetImageBackground(HWND image, COLORREF color) {
  if (ImageState* st = image != nullptr ? StateOf(image) : nullptr) {
    st->background = color;
    InvalidateRect(image, nullptr, FALSE);
  }
}

int PixelsOf(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), 1440);
}

int TwipsOf(int pixels, UINT dpi) {
  return MulDiv(pixels, 1440, static_cast<int>(dpi));
}

void ImagePeer::Mirror(Aspect what) {
  auto& image = static_cast<Image&>(*control_);
  switch (what) {
    case Aspect::Picture:
      SetImagePicture(hwnd_, std::dynamic_pointer_cast<const WinPicture>(image.GetPicture()),
                      image.Stretch());
      SetImageLoading(hwnd_, image.Loading());
      UpdateWindow(hwnd_);
      break;
    case Aspect::Bounds:
      if (follow_bounds_) {
        UINT dpi = DpiOf(hwnd_);
        SetWindowPos(hwnd_, nullptr, PixelsOf(image.Left(), dpi), PixelsOf(image.Top(), dpi),
                     PixelsOf(image.Width(), dpi), PixelsOf(image.Height(), dpi),
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    default:
      Peer::Mirror(what);
      break;
  }
}

void ImagePeer::MirrorAll() {
  Peer::MirrorAll();
  Mirror(Aspect::Bounds);
  Mirror(Aspect::Picture);
}

void CaptionPeer::Mirror(Aspect what) {
  if (what == Aspect::Text)
    SetWindowTextW(hwnd_, Widen(static_cast<TextControl&>(*control_).Text()).c_str());
}

void FormPeer::Mirror(Aspect what) {
  auto& form = static_cast<FormWindow&>(*control_);
  switch (what) {
    case Aspect::Text:
      SetWindowTextW(hwnd_, Widen(form.Text()).c_str());
      break;
    case Aspect::Visible:
      if (form.Visible())
        ShowWindow(hwnd_, SW_SHOW);
      else
        PostMessageW(hwnd_, close_message_, 0, 0);
      break;
    case Aspect::Bounds:
      if (follow_bounds_) {
        UINT dpi = DpiOf(hwnd_);
        SetWindowPos(hwnd_, nullptr, 0, 0, PixelsOf(form.Width(), dpi),
                     PixelsOf(form.Height(), dpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      break;
    default:
      Peer::Mirror(what);
      break;
  }
}

void FormPeer::MirrorAll() {
  Mirror(Aspect::Text);
  Mirror(Aspect::Bounds);
  if (control_->Visible()) Mirror(Aspect::Visible);
}

}  // namespace ravel::win
