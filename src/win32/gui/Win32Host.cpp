#include "win32/gui/Win32Host.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "app/Form_Main.h"
#include "info/DL_Info.h"
#include "info/frmSplash.h"
#include "preview/wPictureViewer.h"
#include "relink/MoreLinksFound.h"
#include "win32/common/Utf.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/InfoWindows.h"
#include "win32/gui/MoreLinksFoundWindow.h"
#include "win32/gui/Peers.h"
#include "win32/gui/WinPicture.h"

namespace ravel::win {

namespace {

// Room for paths beyond the classic limit.
constexpr std::size_t kPathBuffer = 32768;

// Opens the browser with the start folder selected (wParam TRUE: the selection is a path).
int CALLBACK BrowseCallback(HWND hwnd, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED && data != 0) SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
  return 0;
}

HWND Usable(HWND hwnd) {
  return hwnd != nullptr && IsWindow(hwnd) ? hwnd : nullptr;
}

}  // namespace

Win32Host::Win32Host() = default;

Win32Host::~Win32Host() {
  DestroyWindows();
}

void Win32Host::DestroyWindows() {
  viewer_.reset();
  splash_.reset();
}

HWND Win32Host::ViewerHandle() const {
  return viewer_ ? viewer_->Handle() : nullptr;
}

HWND Win32Host::SplashHandle() const {
  return splash_ ? splash_->Handle() : nullptr;
}

void Win32Host::Dispatch(MSG& msg) {
  if (modal_ != nullptr && IsDialogMessageW(modal_, &msg)) return;
  if (main_ != nullptr && accelerators_ != nullptr && modal_ == nullptr &&
      (msg.hwnd == main_ || IsChild(main_, msg.hwnd)) &&
      TranslateAcceleratorW(main_, accelerators_, &msg))
    return;
  if (main_ != nullptr && IsDialogMessageW(main_, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void Win32Host::PumpEvents() {
  // Texts and values held back since the last pump go into their windows before these
  // paint, at the pace a screen can show them.
  Peer::ShowDeferred(Peer::Pace::Frame);
  // Asking whether anything waits costs half of asking for it, and mostly nothing does.
  if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return;
  MSG msg;
  // Bounded, so that a flood of messages cannot keep the operation from going on.
  for (int n = 0; n < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    if (msg.message == WM_QUIT) {
      // Left for the message loop, which ends the program.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    Dispatch(msg);
  }
}

int Win32Host::Run() {
  MSG msg{};
  BOOL got;
  // Whatever a handler left deferred shows before the loop waits.
  while ((Peer::ShowDeferred(), got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
    if (got == -1) return 1;
    Dispatch(msg);
  }
  return static_cast<int>(msg.wParam);
}

int Win32Host::MessageBox(const std::string& text, const std::string& title, int style) {
  if (ending_) return IDOK;
  Peer::ShowDeferred();  // the user reads the window as it is while the box waits
  std::wstring caption = Widen(title.empty() ? std::string(kAppTitle) : title);
  return ::MessageBoxW(Usable(main_), Widen(text).c_str(), caption.c_str(),
                       static_cast<UINT>(style));
}

void Win32Host::SetBusyCursor(bool busy) {
  if (!busy) Peer::ShowDeferred();  // an operation ends: its final texts show now
  // The main window keeps the pointer while busy (WM_SETCURSOR); this only changes it now
  // when it is over the window already.
  POINT at;
  if (main_ == nullptr || !GetCursorPos(&at)) return;
  HWND under = WindowFromPoint(at);
  if (under == nullptr || GetAncestor(under, GA_ROOT) != main_) return;
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void Win32Host::EndProgram() {
  ending_ = true;
  arrivals_to_ = nullptr;
  // The viewer has no owner: it goes by itself. Destroying the main window takes every
  // window it owns along, without close handlers.
  DestroyWindows();
  if (HWND m = Usable(modal_)) DestroyWindow(m);
  if (HWND m = Usable(main_)) DestroyWindow(m);
  PostQuitMessage(0);
}

std::optional<std::string> Win32Host::BrowseForFolder(const std::string& prompt,
                                                      const std::string& select, int flags) {
  if (ending_) return std::nullopt;
  Peer::ShowDeferred();
  std::wstring title = Widen(prompt);
  std::wstring start = Widen(select);
  wchar_t display[MAX_PATH] = {};
  BROWSEINFOW bi{};
  bi.hwndOwner = Usable(main_);
  bi.pidlRoot = nullptr;  // the desktop
  bi.pszDisplayName = display;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = static_cast<UINT>(flags);
  bi.lpfn = &BrowseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(start.c_str());
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&bi);
  if (chosen == nullptr) return std::nullopt;
  wchar_t path[MAX_PATH + 1] = {};
  bool ok = SHGetPathFromIDListW(chosen, path) != FALSE;
  CoTaskMemFree(chosen);
  if (!ok) return std::nullopt;
  return Narrow(std::wstring(path, wcsnlen(path, MAX_PATH)));
}

std::optional<std::string> Win32Host::OpenFileDialog(const std::string& initial_folder,
                                                     const std::string& file_name) {
  if (ending_) return std::nullopt;
  Peer::ShowDeferred();
  std::vector<wchar_t> file(kPathBuffer, L'\0');
  std::wstring preset = Widen(file_name);
  preset.copy(file.data(), std::min(preset.size(), kPathBuffer - 1));
  std::wstring folder = Widen(initial_folder);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Usable(main_);
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  // The current folder stays: the dialog would otherwise hold the chosen folder open.
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return std::nullopt;  // cancelled, or the dialog failed
  return Narrow(std::wstring(file.data(), wcsnlen(file.data(), file.size())));
}

std::optional<std::string> Win32Host::OpenDocumentDialog(const std::string& initial_folder) {
  if (ending_) return std::nullopt;
  Peer::ShowDeferred();
  std::vector<wchar_t> file(kPathBuffer, L'\0');
  std::wstring folder = Widen(initial_folder);
  // Every type the document engine may read; it decides by content, not by extension.
  static const wchar_t kFilter[] =
      L"Office and OpenDocument files\0"
      L"*.docx;*.docm;*.dotx;*.dotm;*.xlsx;*.xlsm;*.xltx;*.xltm;*.pptx;*.pptm;*.potx;*.potm;"
      L"*.ppsx;*.ppsm;*.odt;*.ott;*.ods;*.ots;*.odp;*.otp;*.odg;*.otg;*.odm\0"
      L"Word documents (*.docx;*.docm;*.dotx;*.dotm)\0*.docx;*.docm;*.dotx;*.dotm\0"
      L"Excel workbooks (*.xlsx;*.xlsm;*.xltx;*.xltm)\0*.xlsx;*.xlsm;*.xltx;*.xltm\0"
      L"PowerPoint presentations (*.pptx;*.pptm;*.potx;*.potm;*.ppsx;*.ppsm)\0"
      L"*.pptx;*.pptm;*.potx;*.potm;*.ppsx;*.ppsm\0"
      L"OpenDocument files (*.odt;*.ott;*.ods;*.ots;*.odp;*.otp;*.odg;*.otg;*.odm)\0"
      L"*.odt;*.ott;*.ods;*.ots;*.odp;*.otp;*.odg;*.otg;*.odm\0"
      L"All files (*.*)\0*.*\0";
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Usable(main_);
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = L"Open Document File";
  ofn.Flags =
      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&ofn)) return std::nullopt;
  return Narrow(std::wstring(file.data(), wcsnlen(file.data(), file.size())));
}

void Win32Host::ShowModal(MoreLinksFound& dialog) {
  if (ending_) {
    dialog.Form_Unload();
    return;
  }
  Peer::ShowDeferred();
  HWND owner = Usable(main_);
  MoreLinksFoundWindow window(dialog);
  if (!window.Create(owner)) {
    // Without its window the question cannot be asked: the item stays as it is.
    dialog.Form_Unload();
    return;
  }
  ModalLoop(
      window.Handle(), owner, [&] { window.Show(); },
      [&] { return dialog.Closed() || window.Handle() == nullptr; });
  window.Close();
  if (!dialog.Closed()) dialog.Form_Unload();
}

void Win32Host::PostPicturesArrived() {
  if (HWND to = arrivals_to_.load()) PostMessageW(to, kPicturesArrivedMessage, 0, 0);
}

ScreenSize Win32Host::ScreenTwips() {
  UINT dpi = DpiOf(Usable(main_));
  return ScreenSize{MulDiv(GetSystemMetrics(SM_CXSCREEN), 1440, static_cast<int>(dpi)),
                    MulDiv(GetSystemMetrics(SM_CYSCREEN), 1440, static_cast<int>(dpi))};
}

void Win32Host::SetScreenHourglass(bool on) {
  screen_hourglass_ = on;
  SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

void Win32Host::ShellOpen(const std::string& target) {
  if (ending_) return;
  std::wstring file = Widen(target);
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = sizeof sei;
  // No error box of the shell's own: a failure shows nothing.
  sei.fMask = SEE_MASK_FLAG_NO_UI;
  sei.hwnd = Usable(main_);
  sei.lpFile = file.c_str();
  sei.nShow = SW_SHOWNORMAL;
  ShellExecuteExW(&sei);
}

void Win32Host::ModalLoop(HWND window, HWND owner, const std::function<void()>& show,
                          const std::function<bool()>& closed) {
  Peer::ShowDeferred();  // the owner shows its newest state while the user is asked
  HWND previous_modal = modal_;
  modal_ = window;
  if (owner != nullptr) EnableWindow(owner, FALSE);
  show();
  MSG msg;
  while (!closed() && IsWindow(window)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got == -1) break;
    Dispatch(msg);
  }
  if (owner != nullptr && IsWindow(owner)) EnableWindow(owner, TRUE);
  modal_ = previous_modal;
}

void Win32Host::ShowSplash(frmSplash& splash) {
  if (ending_) return;
  splash_ = std::make_unique<SplashWindow>(splash);
  if (!splash_->Create(nullptr)) {
    // Without its window the splash hands over at once.
    splash_.reset();
    splash.Timer1_Timer();
    return;
  }
  splash.Me.SetVisible(true);
  SetForegroundWindow(splash_->Handle());
  UpdateWindow(splash_->Handle());
}

void Win32Host::ShowModal(frmSplash& about) {
  if (ending_) return;
  HWND owner = Usable(main_);
  SplashWindow window(about);
  if (!window.Create(owner)) return;
  ModalLoop(
      window.Handle(), owner,
      [&] {
        about.Me.SetVisible(true);
        UpdateWindow(window.Handle());
      },
      [&] { return about.Closed(); });
}

void Win32Host::ShowModal(DL_Info& info) {
  if (ending_) return;
  HWND owner = Usable(main_);
  InfoWindow window(info);
  if (!window.Create(owner)) return;
  ModalLoop(
      window.Handle(), owner,
      [&] {
        info.Me.SetVisible(true);
        SetFocus(GetDlgItem(window.Handle(), IDOK));
      },
      [&] { return info.Closed(); });
}

void Win32Host::ShowMainWindow() {
  HWND m = Usable(main_);
  if (m == nullptr || ending_) return;
  if (!IsWindowVisible(m)) {
    if (show_main_)
      show_main_();
    else
      ShowWindow(m, SW_SHOW);
  }
  SetForegroundWindow(m);
}

void Win32Host::ShowViewer(wPictureViewer& viewer) {
  if (ending_) return;
  if (!viewer_ || &viewer_->Form() != &viewer || viewer_->Handle() == nullptr) {
    viewer_.reset();
    auto window = std::make_unique<ViewerWindow>(viewer);
    if (!window->Create()) return;
    viewer_ = std::move(window);
  }
  viewer.Me.SetVisible(true);
  viewer_->Show();
}

}  // namespace ravel::win
