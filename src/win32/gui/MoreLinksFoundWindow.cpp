#include "win32/gui/MoreLinksFoundWindow.h"

#include <algorithm>

#include "app/Form_Main.h"
#include "relink/MoreLinksFound.h"
#include "win32/common/Utf.h"
#include "win32/gui/Dpi.h"

namespace ravel::win {

namespace {

constexpr int kClientW = 680;
constexpr int kClientH = 282;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr DWORD kTab = WS_TABSTOP | WS_GROUP;

using W = MoreLinksFoundWindow;

// Positions in 96-DPI pixels; table order is the tab order. Label1 has room for its whole
// text on one line (its run of blanks breaks differently in every font) and for a second.
// Text_Path is about 97 characters wide, as its line break assumes, with room for more lines.
const ChildSpec kLayout[] = {
    {W::kFrame1, L"Button", BS_GROUPBOX, 0, 8, 4, 664, 236},
    {W::kLabel1, L"Static", SS_LEFT | SS_NOPREFIX, 0, 18, 18, 644, 34},
    {W::kList, L"ListBox", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | kTab,
     WS_EX_CLIENTEDGE, 18, 56, 644, 110},
    {W::kTextPath, L"Edit", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | kTab,
     WS_EX_CLIENTEDGE, 18, 172, 644, 60},
    {W::kCommandOK, L"Button", BS_DEFPUSHBUTTON | kTab, 0, 488, 250, 88, 24},
    {W::kCommandCancel, L"Button", BS_PUSHBUTTON | kTab, 0, 584, 250, 88, 24},
};

}  // namespace

// Destroyed here, while WM_DESTROY still reaches this class.
MoreLinksFoundWindow::~MoreLinksFoundWindow() {
  Destroy();
  DetachAll();
}

bool MoreLinksFoundWindow::Create(HWND owner) {
  owner_ = owner;
  RegisterClassOnce(kClassName);
  if (!CreateTop(kClassName, Widen(kAppTitle), kStyle, kExStyle, owner, nullptr)) return false;
  UINT dpi = DpiOf(Handle());
  children_.Create(Handle(), kLayout, std::size(kLayout), dpi);
  children_.ToBottom({kFrame1});
  Place(dpi, true);
  texts_[0].Attach(dialog_.Frame1, Child(kFrame1));
  texts_[1].Attach(dialog_.Label1, Child(kLabel1));
  texts_[2].Attach(dialog_.Text_Path, Child(kTextPath));
  texts_[3].Attach(dialog_.Command_OK, Child(kCommandOK));
  texts_[4].Attach(dialog_.Command_Cancel, Child(kCommandCancel));
  list_.Attach(dialog_.List_moreLinksFound, Child(kList));
  return true;
}

void MoreLinksFoundWindow::Place(UINT dpi, bool resize) {
  children_.Place(dpi);
  list_.FitExtent();
  if (!resize) return;
  SIZE size =
      WindowSizeFor(Scale(kClientW, dpi), Scale(kClientH, dpi), kStyle, kExStyle, false, dpi);
  // Centred over the owner, kept on its monitor's work area.
  RECT over{};
  if (owner_ == nullptr || !GetWindowRect(owner_, &over)) {
    over = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  int x = over.left + (over.right - over.left - size.cx) / 2;
  int y = over.top + (over.bottom - over.top - size.cy) / 2;
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(MonitorFromRect(&over, MONITOR_DEFAULTTONEAREST), &mi)) {
    x = std::max<int>(mi.rcWork.left, std::min<int>(x, mi.rcWork.right - size.cx));
    y = std::max<int>(mi.rcWork.top, std::min<int>(y, mi.rcWork.bottom - size.cy));
  }
  SetWindowPos(Handle(), nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MoreLinksFoundWindow::Show() {
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
  SetFocus(Child(kList));
}

void MoreLinksFoundWindow::DetachAll() {
  for (auto& p : texts_) p.Detach();
  list_.Detach();
}

void MoreLinksFoundWindow::Close() {
  DetachAll();
  Destroy();
}

void MoreLinksFoundWindow::OnCommand(int id, int code) {
  switch (id) {
    case kList:
      if (code == LBN_SELCHANGE || code == LBN_DBLCLK) {
        int index = list_.WindowIndex();
        list_.FromWindow([&] { dialog_.List_moreLinksFound.SetListIndex(index); });
        if (code == LBN_SELCHANGE)
          dialog_.List_moreLinksFound_Click();
        else
          dialog_.List_moreLinksFound_DblClick();
      }
      break;
    case kCommandOK:  // also Enter
      if (code == BN_CLICKED) dialog_.Command_OK_Click();
      break;
    case kCommandCancel:  // also Esc
      if (code == BN_CLICKED) dialog_.Command_Cancel_Click();
      break;
    default:
      break;
  }
}

LRESULT MoreLinksFoundWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_CLOSE:
      // The frame's close box: as Cancel.
      dialog_.Form_Unload();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f != nullptr && IsChild(Handle(), f)) focus_ = f;
      } else if (focus_ != nullptr && IsWindow(focus_)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      TakeSuggestedRect(Handle(), lp);
      Place(HIWORD(wp), false);
      return 0;
    }
    case WM_DESTROY:
      DetachAll();
      break;
    default:
      break;
  }
  return Default(msg, wp, lp);
}

}  // namespace ravel::win
