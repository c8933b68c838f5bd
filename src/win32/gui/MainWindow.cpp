#include "win32/gui/MainWindow.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "app/Form_Main.h"
#include "win32/common/Utf.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/Win32Host.h"

namespace ravel::win {

namespace {

using M = MainWindow;

// Client area at 96 DPI; the window is not resizable, the controls keep their places.
constexpr int kClientW = 584;
constexpr int kClientH = 578;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

constexpr DWORD kTab = WS_TABSTOP | WS_GROUP;
constexpr DWORD kFrame = BS_GROUPBOX;
constexpr DWORD kButton = BS_PUSHBUTTON | kTab;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | kTab;
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kReadOnly = ES_READONLY | ES_AUTOHSCROLL | kTab;

// Positions in 96-DPI pixels; table order is the tab order. Frames go to the bottom of the
// z-order afterwards; Text_PBP stands above the list, which clips it out.
const ChildSpec kLayout[] = {
    {M::kFrameDocName, L"Button", kFrame, 0, 8, 4, 476, 77},
    {M::kTextDocumentName, L"Edit", kReadOnly, WS_EX_CLIENTEDGE, 18, 34, 456, 23},
    {M::kCommandInit, L"Button", kButton, 0, 492, 8, 84, 23},
    {M::kCommandSave, L"Button", kButton, 0, 492, 32, 84, 23},
    {M::kCommandExit, L"Button", kButton, 0, 492, 56, 84, 23},

    {M::kFrameIS, L"Button", kFrame, 0, 8, 84, 568, 364},
    {M::kLabel4, L"Static", kLabel, 0, 18, 101, 548, 30},
    {M::kTextPBP, L"Edit", ES_READONLY | ES_CENTER | WS_BORDER, 0, 192, 177, 200, 23},
    {M::kListViewIS, WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS | WS_CLIPSIBLINGS | kTab,
     WS_EX_CLIENTEDGE, 18, 133, 548, 110},
    {M::kTextPath, L"Edit", kReadOnly, WS_EX_CLIENTEDGE, 18, 247, 548, 23},
    {M::kCheckSID, L"Button", kCheck, 0, 18, 275, 170, 19},
    {M::kCheckLinkLocked, L"Button", kCheck, 0, 196, 275, 90, 19},

    {M::kFrame1, L"Button", kFrame, 0, 18, 296, 277, 144},
    {M::kCheckShowHiddenObjects, L"Button", kCheck, 0, 28, 314, 210, 19},
    {M::kLabel2, L"Static", kLabel | SS_NOTIFY, 0, 251, 316, 34, 16},
    {M::kLabel1, L"Static", kLabel, 0, 28, 336, 259, 100},

    // The frame is 3975 x 2520 twips and the picture 3735 x 1920 twips at 120, 240 in it
    // (exact pixels at 96 DPI). The picture's scroll bar is its own, inside its border.
    {M::kFrameImage, L"Button", kFrame, 0, 301, 272, 265, 168},
    {M::kImageView, L"RavelmendImage", WS_VSCROLL, WS_EX_CLIENTEDGE, 309, 288, 249, 128},
    {M::kCheckPreview, L"Button", kCheck, 0, 309, 417, 100, 20},
    {M::kCommand1, L"Button", kButton, 0, 484, 417, 74, 20},

    {M::kFrameNewDestPath, L"Button", kFrame, 0, 8, 452, 568, 66},
    {M::kTextNewDestPath, L"Edit", kReadOnly, WS_EX_CLIENTEDGE, 18, 469, 366, 23},
    {M::kCheckRelpath, L"Button", kCheck, 0, 18, 495, 366, 19},
    {M::kCommandChoose, L"Button", kButton, 0, 392, 469, 84, 23},
    {M::kCommandSet, L"Button", kButton, 0, 482, 469, 84, 23},

    // One line: a long path loses its middle, its file name stays in view.
    {M::kLabelProgressBar, L"Static", kLabel | SS_PATHELLIPSIS, 0, 8, 522, 360, 16},
    {M::kProgressBarMain, PROGRESS_CLASSW, 0, 0, 8, 539, 568, 16},
    {M::kLabel5, L"Static", SS_RIGHT | SS_NOPREFIX | SS_NOTIFY, 0, 276, 558, 300, 16},
};

const std::vector<int> kFrames = {M::kFrameDocName, M::kFrameIS, M::kFrame1, M::kFrameImage,
                                  M::kFrameNewDestPath};
// Labels that act as links: blue, underlined, hand pointer.
const std::vector<int> kLinks = {M::kLabel2, M::kLabel5};

struct TextBinding {
  int id;
  TextControl Form_Main::*control;
};
const TextBinding kTexts[] = {
    {M::kFrameDocName, &Form_Main::Frame_DocName},
    {M::kTextDocumentName, &Form_Main::Text_DocumentName},
    {M::kCommandInit, &Form_Main::Command_Init},
    {M::kCommandSave, &Form_Main::Command_Save},
    {M::kCommandExit, &Form_Main::Command_Exit},
    {M::kFrameIS, &Form_Main::Frame_IS},
    {M::kLabel4, &Form_Main::Label4},
    {M::kTextPBP, &Form_Main::Text_PBP},
    {M::kTextPath, &Form_Main::Text_Path},
    {M::kFrame1, &Form_Main::Frame1},
    {M::kLabel2, &Form_Main::Label2},
    {M::kLabel1, &Form_Main::Label1},
    {M::kFrameImage, &Form_Main::Frame_Image},
    {M::kCommand1, &Form_Main::Command1},
    {M::kFrameNewDestPath, &Form_Main::Frame_NewDestPath},
    {M::kTextNewDestPath, &Form_Main::Text_NewDestPath},
    {M::kCommandChoose, &Form_Main::Command_Choose},
    {M::kCommandSet, &Form_Main::Command_Set},
    {M::kLabelProgressBar, &Form_Main::Label_ProgressBar},
    {M::kLabel5, &Form_Main::Label5},
};

struct CheckBinding {
  int id;
  CheckBox Form_Main::*control;
  void (Form_Main::*click)();  // null: the value alone matters
};
const CheckBinding kChecks[] = {
    {M::kCheckSID, &Form_Main::Check_SID, &Form_Main::Check_SID_Click},
    {M::kCheckLinkLocked, &Form_Main::Check_LinkLocked, &Form_Main::Check_LinkLocked_Click},
    {M::kCheckShowHiddenObjects, &Form_Main::Check_ShowHiddenObjects,
     &Form_Main::Check_ShowHiddenObjects_Click},
    {M::kCheckPreview, &Form_Main::Check_preview, nullptr},
    {M::kCheckRelpath, &Form_Main::Check_relpath, nullptr},
};

struct ButtonBinding {
  int id;
  void (Form_Main::*click)();
};
const ButtonBinding kButtons[] = {
    {M::kCommandInit, &Form_Main::Command_Init_Click},
    {M::kCommand1, &Form_Main::Command1_Click},
    {M::kCommandSave, &Form_Main::Command_Save_Click},
    {M::kCommandExit, &Form_Main::Command_Exit_Click},
    {M::kCommandChoose, &Form_Main::Command_Choose_Click},
    {M::kCommandSet, &Form_Main::Command_Set_Click},
};

static_assert(std::size(kTexts) == M::kTextCount);

// The blue of links on Windows (COLOR_HOTLIGHT there; not every system sets that colour).
constexpr COLORREF kLinkColor = RGB(0, 102, 204);

// Whether the pointer is over the text of a label (a link acts only where its text is).
bool OverText(HWND label) {
  POINT at;
  RECT rc;
  if (!GetCursorPos(&at) || !ScreenToClient(label, &at) || !GetClientRect(label, &rc)) return false;
  int n = GetWindowTextLengthW(label);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(label, text.data(), n + 1);
  HDC dc = GetDC(label);
  if (dc == nullptr) return false;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), n, &size);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  bool right = (GetWindowLongW(label, GWL_STYLE) & SS_TYPEMASK) == SS_RIGHT;
  int left = right ? rc.right - size.cx : 0;
  return at.x >= left && at.x < left + size.cx && at.y < size.cy;
}

bool MouseButtonDown() {
  return (GetKeyState(VK_LBUTTON) & 0x8000) != 0 || (GetKeyState(VK_RBUTTON) & 0x8000) != 0;
}

}  // namespace

// Destroyed here, while WM_DESTROY still reaches this class.
MainWindow::~MainWindow() {
  Destroy();
  DetachAll();
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
}

bool MainWindow::Create() {
  RegisterClassOnce(kClassName);
  HMENU bar = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendMenuW(file, MF_STRING, kMenuOpen, Widen(form_.mnuOpen.Text()).c_str());
  AppendMenuW(file, MF_STRING, kMenuBackup, Widen(form_.mnuBackup.Text()).c_str());
  AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(file, MF_STRING, kMenuHelp, Widen(form_.mnuHelp.Text()).c_str());
  AppendMenuW(file, MF_STRING, kMenuAbout, Widen(form_.mnuAbout.Text()).c_str());
  AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(file, MF_STRING, kMenuExit, Widen(form_.mnuExit.Text()).c_str());
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), Widen(form_.mnuFile.Text()).c_str());
  ImageViewClass();
  if (!CreateTop(kClassName, Widen(kAppTitle), kStyle, kExStyle, nullptr, bar)) return false;
  host_.SetMainWindow(Handle());
  ACCEL open{FVIRTKEY | FCONTROL, 'O', static_cast<WORD>(kMenuOpen)};
  accelerators_ = CreateAcceleratorTableW(&open, 1);
  host_.SetAccelerators(accelerators_);
  // A document file dropped on the window is opened as from the menu.
  DragAcceptFiles(Handle(), TRUE);

  UINT dpi = DpiOf(Handle());
  children_.Create(Handle(), kLayout, std::size(kLayout), dpi);
  children_.ToBottom(kFrames);
  // VScroll1 does nothing: the picture's own bar, shown and disabled.
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_DISABLENOSCROLL;
  SetScrollInfo(Child(kImageView), SB_VERT, &si, FALSE);
  EnableScrollBar(Child(kImageView), SB_VERT, ESB_DISABLE_BOTH);

  for (std::size_t i = 0; i < std::size(kTexts); ++i)
    texts_[i].Attach(form_.*kTexts[i].control, Child(kTexts[i].id));
  for (std::size_t i = 0; i < std::size(kChecks); ++i)
    checks_[i].Attach(form_.*kChecks[i].control, Child(kChecks[i].id));
  progress_.Attach(form_.ProgressBar_main, Child(kProgressBarMain));
  // Set per file and per folder during a walk: shown at each event pump.
  for (std::size_t i = 0; i < std::size(kTexts); ++i)
    if (kTexts[i].control == &Form_Main::Label_ProgressBar) texts_[i].SetDeferred(true);
  progress_.SetDeferred(true);
  list_.Attach(form_.ListView_IS, Child(kListViewIS));
  timer1_.Attach(form_.Timer1, Handle(), kTimer1);
  timer_dblclick_.Attach(form_.Timer_dblclickFAKE, Handle(), kTimerDblClick);
  caption_.Attach(form_.Caption, Handle());
  image_.Attach(form_.xImgedit, Child(kImageView), false);
  AddToolTip();

  Place(dpi);
  // Centred on the work area of the window's monitor.
  RECT r{};
  GetWindowRect(Handle(), &r);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (GetMonitorInfoW(MonitorFromWindow(Handle(), MONITOR_DEFAULTTOPRIMARY), &mi)) {
    int w = r.right - r.left, h = r.bottom - r.top;
    int x = mi.rcWork.left + std::max<int>(0, (mi.rcWork.right - mi.rcWork.left - w) / 2);
    int y = mi.rcWork.top + std::max<int>(0, (mi.rcWork.bottom - mi.rcWork.top - h) / 2);
    SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return true;
}

void MainWindow::Place(UINT dpi) {
  SIZE size =
      WindowSizeFor(Scale(kClientW, dpi), Scale(kClientH, dpi), kStyle, kExStyle, true, dpi);
  SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  children_.Place(dpi, kLinks);
  list_.FitColumns(dpi);
  // Pictures for the preview are scaled to its size as they are read.
  RECT image{};
  GetClientRect(Child(kImageView), &image);
  host_.PictureLoader().PrepareFor(SIZE{image.right, image.bottom}, GetSysColor(COLOR_WINDOW));
}

void MainWindow::AddToolTip() {
  HWND list = Child(kListViewIS);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (tooltip_ == nullptr || list == nullptr) return;
  std::wstring text = Widen(form_.ListView_IS.ToolTip());
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = Handle();
  ti.uId = reinterpret_cast<UINT_PTR>(list);
  ti.lpszText = text.data();
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void MainWindow::Show(int show_command) {
  ShowWindow(Handle(), show_command);
  UpdateWindow(Handle());
  SetFocus(Child(kListViewIS));
}

void MainWindow::DetachAll() {
  for (auto& p : texts_) p.Detach();
  for (auto& p : checks_) p.Detach();
  progress_.Detach();
  list_.Detach();
  timer1_.Detach();
  timer_dblclick_.Detach();
  caption_.Detach();
  image_.Detach();
}

void MainWindow::OnCommand(int id, int code) {
  // Labels that act as links and the preview image notify as static controls do.
  if ((id == kLabel2 || id == kLabel5) && code == STN_CLICKED) {
    if (!OverText(Child(id))) return;
    if (id == kLabel2)
      form_.Label2_Click();
    else
      form_.Label5_Click();
    return;
  }
  if (id == kImageView) {
    if (code == STN_DBLCLK) form_.xImgedit_DblClick();
    return;
  }
  if (code == 1 && id == kMenuOpen) {  // from the accelerator table (Ctrl+O)
    form_.mnuOpen_Click();
    return;
  }
  if (code != BN_CLICKED) return;  // also menu entries (0)
  for (std::size_t i = 0; i < std::size(kChecks); ++i) {
    if (kChecks[i].id != id) continue;
    CheckBox& box = form_.*kChecks[i].control;
    int value = checks_[i].WindowValue();
    checks_[i].FromWindow([&] { box.SetValue(value); });
    if (kChecks[i].click != nullptr) (form_.*kChecks[i].click)();
    return;
  }
  for (const auto& b : kButtons) {
    if (b.id != id) continue;
    (form_.*b.click)();
    return;
  }
  switch (id) {
    case kMenuOpen:
      form_.mnuOpen_Click();
      break;
    case kMenuBackup:
      form_.mnuBackup.SetValue(form_.mnuBackup.Value() == 1 ? 0 : 1);
      form_.mnuBackup_Click();
      break;
    case kMenuExit:
      form_.mnuExit_Click();
      break;
    case kMenuHelp:
      form_.mnuHelp_Click();
      break;
    case kMenuAbout:
      form_.mnuAbout_Click();
      break;
    default:
      // Enter and Esc (IDOK, IDCANCEL) have no meaning in this window.
      break;
  }
}

LRESULT MainWindow::OnNotify(const NMHDR& nm) {
  if (nm.hwndFrom != Child(kListViewIS)) return 0;
  switch (nm.code) {
    case LVN_ITEMCHANGED: {
      // A move of the focused row by keyboard counts as an item click; a mouse click
      // reports itself through NM_CLICK.
      bool moved = list_.TakeItemChanged(reinterpret_cast<const NMLISTVIEW&>(nm));
      if (moved && !MouseButtonDown()) form_.ListView_IS_ItemClick();
      break;
    }
    case NM_CLICK: {
      const auto& item = reinterpret_cast<const NMITEMACTIVATE&>(nm);
      form_.ListView_IS_Click();
      if (item.iItem >= 0) form_.ListView_IS_ItemClick();
      form_.ListView_IS_MouseUp();
      break;
    }
    case NM_RCLICK:
      form_.ListView_IS_MouseUp();
      break;
    case NM_DBLCLK:
      form_.ListView_IS_DblClick();
      break;
    case LVN_COLUMNCLICK:
      form_.ListView_IS_ColumnClick(reinterpret_cast<const NMLISTVIEW&>(nm).iSubItem);
      list_.ShowSortMark();
      break;
    case LVN_KEYDOWN: {
      const auto& key = reinterpret_cast<const NMLVKEYDOWN&>(nm);
      if (key.wVKey == 'A' && (GetKeyState(VK_CONTROL) & 0x8000) != 0) {
        LVITEMW all{};
        all.stateMask = LVIS_SELECTED;
        all.state = LVIS_SELECTED;
        SendMessageW(nm.hwndFrom, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&all));
      }
      break;
    }
    default:
      break;
  }
  return 0;
}

bool MainWindow::OnSetCursor(HWND over, int hit) {
  if (hit != HTCLIENT) return false;
  if (form_.Busy() || host_.ScreenHourglass()) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
  }
  // Working in the background: everything still answers.
  if (form_.LoadingPictures()) {
    SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
    return true;
  }
  int id = children_.IdOf(over);
  if ((id == kLabel2 || id == kLabel5) && OverText(over)) {
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return true;
  }
  return false;
}

LRESULT MainWindow::OnColor(HDC dc, HWND control) {
  int id = children_.IdOf(control);
  if (id == kLabel2 || id == kLabel5) {
    SetTextColor(dc, kLinkColor);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
  if (id == kTextPBP || id == kImageView) {
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  return Default(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
}

LRESULT MainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    case WM_TIMER:
      if (wp == kTimer1)
        form_.Timer1_Timer();
      else if (wp == kTimerDblClick)
        form_.Timer_dblclickFAKE_Timer();
      return 0;
    case WM_SETCURSOR:
      if (OnSetCursor(reinterpret_cast<HWND>(wp), LOWORD(lp))) return TRUE;
      break;
    case WM_CTLCOLORSTATIC:
      return OnColor(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_ACTIVATE:
      // Keyboard focus comes back to the control that had it.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f != nullptr && IsChild(Handle(), f)) focus_ = f;
      } else if (HIWORD(wp) == 0) {
        HWND to = focus_ != nullptr && IsWindow(focus_) && IsWindowEnabled(focus_)
                      ? focus_
                      : Child(kListViewIS);
        SetFocus(to);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      const RECT* r = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(Handle(), nullptr, r->left, r->top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      Place(HIWORD(wp));
      return 0;
    }
    case WM_INITMENUPOPUP:
      // The option's check mark as the form holds it (the stored options load late).
      CheckMenuItem(reinterpret_cast<HMENU>(wp), kMenuBackup,
                    MF_BYCOMMAND | (form_.mnuBackup.Value() == 1 ? MF_CHECKED : MF_UNCHECKED));
      EnableMenuItem(reinterpret_cast<HMENU>(wp), kMenuOpen,
                     MF_BYCOMMAND | (form_.Busy() ? MF_GRAYED : MF_ENABLED));
      return 0;
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wp);
      UINT n = DragQueryFileW(drop, 0, nullptr, 0);
      std::wstring path(n + 1, L'\0');
      DragQueryFileW(drop, 0, path.data(), n + 1);
      DragFinish(drop);
      path.resize(n);
      if (!form_.Busy() && n > 0) {
        SetForegroundWindow(Handle());
        form_.OpenDocumentFile(Narrow(path));
      }
      return 0;
    }
    case kPicturesArrivedMessage: {
      form_.PicturesArrived();
      // The pointer leaves its background-work shape without waiting for a mouse move.
      POINT at;
      if (!form_.LoadingPictures() && GetCursorPos(&at) &&
          GetAncestor(WindowFromPoint(at), GA_ROOT) == Handle())
        SendMessageW(Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(WindowFromPoint(at)),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      return 0;
    }
    case WM_CLOSE:
      form_.Form_Unload();
      return 0;
    case WM_ENDSESSION:
      // Log off or shut down: no WM_CLOSE comes, and the process may end as soon as this
      // returns. The window closes as at its close box, the options stored.
      if (wp != FALSE) form_.Form_Unload();
      return 0;
    case WM_DESTROY:
      DetachAll();
      host_.SetMainWindow(nullptr);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return Default(msg, wp, lp);
}

}  // namespace ravel::win
