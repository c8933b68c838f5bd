#include "win32/gui/InfoWindows.h"

#include <algorithm>
#include <functional>

#include "app/Form_Main.h"
#include "info/DL_Info.h"
#include "info/frmSplash.h"
#include "preview/wPictureViewer.h"
#include "win32/common/Utf.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/WinPicture.h"

namespace ravel::win {

namespace {

// Centres a window of `size` over `owner` (or the primary work area), kept on its monitor.
void Centre(HWND hwnd, HWND owner, SIZE size) {
  RECT over{};
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  HMONITOR mon = owner != nullptr && GetWindowRect(owner, &over)
                     ? MonitorFromRect(&over, MONITOR_DEFAULTTONEAREST)
                     : MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
  if (!GetMonitorInfoW(mon, &mi)) mi.rcWork = RECT{0, 0, 1024, 768};
  if (owner == nullptr || IsRectEmpty(&over) || !IsWindowVisible(owner)) over = mi.rcWork;
  int x = over.left + (over.right - over.left - size.cx) / 2;
  int y = over.top + (over.bottom - over.top - size.cy) / 2;
  x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - size.cx));
  y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - size.cy));
  SetWindowPos(hwnd, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The end of a form's window, alike for each: the close box asks the form to unload; the
// form's word that it has unloaded destroys the window; the destruction lets go of the
// form's controls (and goes on to the default handling). True when `msg` is answered here.
template <class Form>
bool EndsAsAForm(HWND hwnd, UINT msg, Form& form, const std::function<void()>& detach) {
  switch (msg) {
    case WM_CLOSE:
      form.Form_Unload();
      return true;
    case kFormClosedMessage:
      detach();
      DestroyWindow(hwnd);
      return true;
    case WM_DESTROY:
      detach();
      return false;
    default:
      return false;
  }
}

// --- the splash ---

constexpr int kSplashW = 535;  // 8025 x 4155 twips at 96 DPI
constexpr int kSplashH = 277;
constexpr DWORD kSplashStyle = WS_POPUP | WS_BORDER;
constexpr DWORD kLabelStyle = SS_LEFT | SS_NOPREFIX | SS_NOTIFY;

using S = SplashWindow;
const ChildSpec kSplashLayout[] = {
    {S::kFrame1, L"Button", BS_GROUPBOX, 0, 6, 0, 523, 271},
    {S::kPicture1, L"RavelmendImage", 0, 0, 18, 18, 155, 203},
    {S::kProductName, L"Static", kLabelStyle, 0, 192, 24, 330, 56},
    {S::kVersion, L"Static", kLabelStyle, 0, 196, 84, 326, 22},
    {S::kPlatform, L"Static", kLabelStyle, 0, 196, 110, 326, 28},
    {S::kCompanyProduct, L"Static", kLabelStyle, 0, 196, 150, 326, 32},
    {S::kCompany, L"Static", kLabelStyle, 0, 196, 196, 326, 16},
    {S::kCopyright, L"Static", kLabelStyle, 0, 18, 232, 290, 16},
    {S::kLabel5, L"Static", SS_RIGHT | SS_NOPREFIX | SS_NOTIFY, 0, 216, 250, 300, 16},
};

struct SplashText {
  int id;
  Label frmSplash::*label;
  const wchar_t* face;
  double points;
  bool bold, underline;
};
const SplashText kSplashTexts[] = {
    {S::kProductName, &frmSplash::lblProductName, L"Arial", 32.25, true, false},
    {S::kVersion, &frmSplash::lblVersion, L"Arial", 12, true, false},
    {S::kPlatform, &frmSplash::lblPlatform, L"Arial", 15.75, true, false},
    {S::kCompanyProduct, &frmSplash::lblCompanyProduct, L"Arial", 18, true, false},
    {S::kCompany, &frmSplash::lblCompany, L"Arial", 8.25, false, false},
    {S::kCopyright, &frmSplash::lblCopyright, L"Arial", 8.25, false, false},
    {S::kLabel5, &frmSplash::Label5, L"MS Sans Serif", 8.25, false, true},
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(0, 40, 110);
constexpr COLORREF kLinkColor = RGB(0, 102, 204);

// --- the information window ---

constexpr int kInfoW = 440;  // 6600 x 7200 twips at 96 DPI
constexpr int kInfoH = 480;
constexpr DWORD kInfoStyle = WS_POPUP | WS_DLGFRAME;
constexpr DWORD kInfoExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

using I = InfoWindow;
const ChildSpec kInfoLayout[] = {
    {I::kFrame1, L"Button", BS_GROUPBOX, 0, 6, 4, 428, 428},
    {I::kPicture1, L"RavelmendImage", 0, 0, 11, 24, 417, 152},
    {I::kLabel1, L"Static", SS_LEFT | SS_NOPREFIX, 0, 16, 184, 408, 46},
    {I::kLabel2, L"Static", SS_LEFT | SS_NOPREFIX, 0, 16, 232, 408, 110},
    {I::kLabel3, L"Static", SS_LEFT | SS_NOPREFIX, 0, 16, 344, 408, 34},
    {I::kLabel4, L"Static", SS_LEFT | SS_NOPREFIX, 0, 16, 380, 408, 34},
    {I::kLabel5, L"Static", SS_LEFT | SS_NOPREFIX, 0, 16, 412, 408, 17},
    {IDOK, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, 176, 444, 88, 26},
};

struct InfoText {
  int id;
  TextControl DL_Info::*text;
};
const InfoText kInfoTexts[] = {
    {I::kFrame1, &DL_Info::Frame1}, {I::kLabel1, &DL_Info::Label1}, {I::kLabel2, &DL_Info::Label2},
    {I::kLabel3, &DL_Info::Label3}, {I::kLabel4, &DL_Info::Label4}, {I::kLabel5, &DL_Info::Label5},
    {IDOK, &DL_Info::Command_Exit},
};

}  // namespace

// --- fonts ---

HFONT FontSet::Make(const wchar_t* face, double points, bool bold, bool underline, UINT dpi) {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(points * dpi / 72.0 + 0.5);
  lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  lf.lfUnderline = underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  lstrcpynW(lf.lfFaceName, face, LF_FACESIZE);
  HFONT f = CreateFontIndirectW(&lf);
  if (f != nullptr) fonts_.push_back(f);
  return f;
}

void FontSet::Clear() {
  for (HFONT f : fonts_) DeleteObject(f);
  fonts_.clear();
}

// --- the viewer ---

ViewerWindow::~ViewerWindow() {
  Destroy();
  DetachAll();
}

bool ViewerWindow::Create() {
  RegisterClassOnce(kClassName);
  if (!CreateTop(kClassName, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, nullptr, nullptr))
    return false;
  // Double-clicks on the window itself close it.
  SetClassLongPtrW(Handle(), GCL_STYLE, GetClassLongPtrW(Handle(), GCL_STYLE) | CS_DBLCLKS);
  image_ = CreateWindowExW(0, ImageViewClass(), L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, Handle(),
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kImage)),
                           GetModuleHandleW(nullptr), nullptr);
  image_peer_.Attach(form_.xImgedit, image_, true);
  me_.Attach(form_.Me, Handle(), kFormClosedMessage, true);
  return true;
}

void ViewerWindow::Show() {
  ShowWindow(Handle(), IsIconic(Handle()) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(Handle());
  UpdateWindow(Handle());
}

void ViewerWindow::DetachAll() {
  image_peer_.Detach();
  me_.Detach();
}

LRESULT ViewerWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE: {
      UINT dpi = DpiOf(Handle());
      form_.Me.TakeWindowState(TwipsOf(LOWORD(lp), dpi), TwipsOf(HIWORD(lp), dpi),
                               wp == SIZE_MINIMIZED);
      form_.Form_Resize();
      return 0;
    }
    case WM_ENTERSIZEMOVE:
      // While the user drags the frame, quick drafts keep pace with the mouse.
      SetImageDraft(image_, true);
      break;
    case WM_EXITSIZEMOVE:
      SetImageDraft(image_, false);
      break;
    case WM_LBUTTONDBLCLK:
      form_.Form_DblClick();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kImage && HIWORD(wp) == STN_DBLCLK) form_.xImgedit_DblClick();
      return 0;
    case WM_DPICHANGED:
      TakeSuggestedRect(Handle(), lp);
      return 0;
    default:
      break;
  }
  if (EndsAsAForm(Handle(), msg, form_, [this] { DetachAll(); })) return 0;
  return Default(msg, wp, lp);
}

// --- the splash ---

SplashWindow::~SplashWindow() {
  Destroy();
  DetachAll();
  if (white_ != nullptr) DeleteObject(white_);
}

bool SplashWindow::Create(HWND owner) {
  owner_ = owner;
  ImageViewClass();
  RegisterClassOnce(kClassName);
  if (!CreateTop(kClassName, L"", kSplashStyle, WS_EX_CONTROLPARENT, owner, nullptr)) return false;
  white_ = CreateSolidBrush(kWhite);
  UINT dpi = DpiOf(Handle());
  children_.Create(Handle(), kSplashLayout, std::size(kSplashLayout), dpi);
  children_.ToBottom({kFrame1});
  Place(dpi);
  std::size_t i = 0;
  for (const SplashText& t : kSplashTexts) texts_[i++].Attach(form_.*t.label, Child(t.id));
  texts_[i].Attach(form_.Frame1, Child(kFrame1));
  SetImageBackground(Child(kPicture1), kWhite);
  if (form_.Picture1.GetPicture() == nullptr)
    form_.Picture1.SetPicture(LoadPictureResource(L"SPLASH"));
  picture_.Attach(form_.Picture1, Child(kPicture1), false);
  timer_.Attach(form_.Timer1, Handle(), kTimer1);
  me_.Attach(form_.Me, Handle(), kFormClosedMessage, false);
  return true;
}

void SplashWindow::Place(UINT dpi) {
  fonts_.Clear();
  children_.Place(dpi);
  for (const SplashText& t : kSplashTexts)
    SendMessageW(Child(t.id), WM_SETFONT,
                 reinterpret_cast<WPARAM>(fonts_.Make(t.face, t.points, t.bold, t.underline, dpi)),
                 FALSE);
  SIZE size = WindowSizeFor(Scale(kSplashW, dpi), Scale(kSplashH, dpi), kSplashStyle,
                            WS_EX_CONTROLPARENT, false, dpi);
  Centre(Handle(), owner_, size);
}

void SplashWindow::DetachAll() {
  for (auto& p : texts_) p.Detach();
  picture_.Detach();
  timer_.Detach();
  me_.Detach();
}

LRESULT SplashWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(Handle(), &rc);
      FillRect(reinterpret_cast<HDC>(wp), &rc, white_);
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wp);
      int id = children_.IdOf(reinterpret_cast<HWND>(lp));
      SetBkColor(dc, kWhite);
      SetTextColor(dc, id == kLabel5                        ? kLinkColor
                       : id == kCompany || id == kCopyright ? RGB(60, 60, 60)
                                                            : kInk);
      return reinterpret_cast<LRESULT>(white_);
    }
    case WM_LBUTTONUP:
      // The free area of the frame (the frame lets its clicks through to the window).
      form_.Frame1_Click();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kLabel5 && HIWORD(wp) == STN_CLICKED)
        form_.Label5_Click();
      else if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)
        form_.Frame1_Click();  // Enter or Esc: as a click on the frame
      return 0;
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wp) == Child(kLabel5)) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (wp == kTimer1) form_.Timer1_Timer();
      return 0;
    case WM_DPICHANGED:
      Place(HIWORD(wp));
      return 0;
    default:
      break;
  }
  if (EndsAsAForm(Handle(), msg, form_, [this] { DetachAll(); })) return 0;
  return Default(msg, wp, lp);
}

// --- the information window ---

InfoWindow::~InfoWindow() {
  Destroy();
  DetachAll();
}

bool InfoWindow::Create(HWND owner) {
  owner_ = owner;
  ImageViewClass();
  RegisterClassOnce(kClassName);
  if (!CreateTop(kClassName, L"", kInfoStyle, kInfoExStyle, owner, nullptr)) return false;
  UINT dpi = DpiOf(Handle());
  children_.Create(Handle(), kInfoLayout, std::size(kInfoLayout), dpi);
  children_.ToBottom({kFrame1});
  Place(dpi);
  std::size_t i = 0;
  for (const InfoText& t : kInfoTexts) texts_[i++].Attach(form_.*t.text, Child(t.id));
  SetImageBackground(Child(kPicture1), GetSysColor(COLOR_BTNFACE));
  if (form_.Picture1.GetPicture() == nullptr)
    form_.Picture1.SetPicture(LoadPictureResource(L"INFO"));
  picture_.Attach(form_.Picture1, Child(kPicture1), false);
  me_.Attach(form_.Me, Handle(), kFormClosedMessage, false);
  return true;
}

void InfoWindow::Place(UINT dpi) {
  fonts_.Clear();
  children_.Place(dpi);
  HFONT normal = fonts_.Make(L"MS Sans Serif", 9.75, false, false, dpi);
  HFONT bold = fonts_.Make(L"MS Sans Serif", 9.75, true, false, dpi);
  for (int id : {kLabel1, kLabel2, kLabel4, kLabel5})
    SendMessageW(Child(id), WM_SETFONT, reinterpret_cast<WPARAM>(normal), FALSE);
  SendMessageW(Child(kLabel3), WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
  SIZE size =
      WindowSizeFor(Scale(kInfoW, dpi), Scale(kInfoH, dpi), kInfoStyle, kInfoExStyle, false, dpi);
  Centre(Handle(), owner_, size);
}

void InfoWindow::DetachAll() {
  for (auto& p : texts_) p.Detach();
  picture_.Detach();
  me_.Detach();
}

LRESULT InfoWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK && HIWORD(wp) == BN_CLICKED)
        form_.Command_Exit_Click();
      else if (LOWORD(wp) == IDCANCEL)
        form_.Form_Unload();
      return 0;
    case WM_DPICHANGED:
      Place(HIWORD(wp));
      return 0;
    default:
      break;
  }
  if (EndsAsAForm(Handle(), msg, form_, [this] { DetachAll(); })) return 0;
  return Default(msg, wp, lp);
}

}  // namespace ravel::win
