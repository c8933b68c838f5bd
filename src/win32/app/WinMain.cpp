// Ravelmend.exe: joins COM, registers the common controls, builds the core over the real
// Word, file system, registry and windows, starts with the splash window (which has the
// main window read the document first) and runs the message loop until the program ends.
//
// `Ravelmend.exe /trace FILE` (or RAVELMEND_TRACE=FILE) writes every Word call to FILE.
// RAVELMEND_BUSY_PATIENCE_MS shortens the wait for a busy Word before "Server Busy" asks.
// `Ravelmend.exe DOCUMENT` (Explorer's "Open with", a shortcut) opens that document file
// instead of Word's active document.
#include "win32/gui/Win.h"
// (after windows.h)
#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>

#include "app/Form_Main.h"
#include "app/Globals.h"
#include "filedoc/FileDocument.h"
#include "info/frmSplash.h"
#include "win32/batch/Win32Store.h"
#include "win32/common/AdvapiRegistry.h"
#include "win32/common/ComMessageFilter.h"
#include "win32/common/ComPtr.h"
#include "win32/common/ComTrace.h"
#include "win32/common/ComWord.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/MainWindow.h"
#include "win32/gui/Peers.h"
#include "win32/gui/Win32Host.h"

namespace {

const char kWordBusy[] = "Microsoft Word is busy - waiting for it...";

// The trace file from "/trace FILE" on the command line, else from RAVELMEND_TRACE.
std::string TracePath() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring path;
  for (int i = 1; argv && i + 1 < argc; ++i)
    if (lstrcmpiW(argv[i], L"/trace") == 0 || lstrcmpiW(argv[i], L"-trace") == 0)
      path = argv[i + 1];
  LocalFree(argv);
  if (path.empty()) {
    wchar_t value[MAX_PATH * 4] = {};
    DWORD n = GetEnvironmentVariableW(L"RAVELMEND_TRACE", value, MAX_PATH * 4);
    if (n > 0 && n < MAX_PATH * 4) path.assign(value, n);
  }
  return ravel::win::Narrow(path);
}

// How long a call waits for a busy Word before the user is asked: Office's 30 s, or for the
// tests the milliseconds RAVELMEND_BUSY_PATIENCE_MS gives.
std::chrono::milliseconds BusyPatience() {
  wchar_t value[16] = {};
  DWORD n = GetEnvironmentVariableW(L"RAVELMEND_BUSY_PATIENCE_MS", value, 16);
  wchar_t* end = value;
  long ms = n > 0 && n < 16 ? std::wcstol(value, &end, 10) : -1;
  if (end == value || *end != L'\0' || ms < 0) return std::chrono::milliseconds(30000);
  return std::chrono::milliseconds(ms);
}

// The document file named on the command line (the first argument that is no option), as a
// full path; empty when there is none.
std::string StartFile() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring file;
  for (int i = 1; argv && i < argc && file.empty(); ++i) {
    if (lstrcmpiW(argv[i], L"/trace") == 0 || lstrcmpiW(argv[i], L"-trace") == 0) {
      ++i;
      continue;
    }
    file = argv[i];
  }
  LocalFree(argv);
  if (file.empty()) return {};
  DWORD n = GetFullPathNameW(file.c_str(), 0, nullptr, nullptr);
  if (n == 0) return ravel::win::Narrow(file);
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(file.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return ravel::win::Narrow(full);
}

// Under Wine, the POSIX host's path of a Windows path, in Windows form on drive Z:, through
// Wine's own kernel32 export; null elsewhere.
ravel::FileDocument::HostPathOf WineHostPath() {
  using UnixName = char*(CDECL*)(const wchar_t*);
  auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unix_name == nullptr) return nullptr;
  return [unix_name](const std::string& path) -> std::optional<std::string> {
    char* name = unix_name(ravel::win::Widen(path).c_str());
    if (name == nullptr) return std::nullopt;
    std::string out = "Z:";
    out += name;
    HeapFree(GetProcessHeap(), 0, name);
    for (char& c : out)
      if (c == '/') c = '\\';
    return out;
  };
}

// The status line says Word is busy while calls wait for it, and shows again what it said
// before once Word answers.
const char* const kBusyTitle = "Server Busy";
const char* const kBusyAsk =
    "This action cannot be completed because Microsoft Word is busy.\r\n\r\n"
    "A dialog box may be open in Word: close it, then choose Retry. Choose Cancel to stop.";

class BusyStatus {
 public:
  explicit BusyStatus(ravel::Form_Main& form) : form_(form) {}
  void operator()(bool busy) {
    if (busy == shown_) return;
    shown_ = busy;
    if (busy) {
      before_ = form_.Label_ProgressBar.Text();
      form_.Label_ProgressBar.SetText(kWordBusy);
    } else if (form_.Label_ProgressBar.Text() == kWordBusy) {
      form_.Label_ProgressBar.SetText(before_);
    }
    ravel::win::Peer::ShowDeferred();
  }

 private:
  ravel::Form_Main& form_;
  bool shown_ = false;
  std::string before_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  // The manifest asks for per-monitor awareness; this covers a start without it.
  ravel::win::RequestPerMonitorDpi();
  ravel::win::ComInit com;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                           ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);

  int code = 1;
  try {
    auto globals = std::make_unique<ravel::Globals>();
    // Word's global object is released with `word`, before COM is left: Word and its
    // document stay open.
    ravel::win::ComWord word;
    std::string trace_path = TracePath();
    if (!trace_path.empty()) word.SetTrace(ravel::win::ComTrace::Open(trace_path));
    ravel::win::Win32FileSystem files;
    ravel::win::Win32Host host;
    ravel::win::AdvapiRegistry registry;
    ravel::Form_Main form(*globals, word, files, host);
    form.SetRegistry(&registry);
    // Document files are read and written as ravelmend-batch.exe does.
    ravel::docfile::Win32Store store;
    form.OpenFile = [&store](const std::string& path) {
      return std::make_unique<ravel::FileDocument>(path, store, WineHostPath());
    };
    form.StartFile = StartFile();
    BusyStatus busy(form);
    word.SetBusyNotice([&busy](bool on) { busy(on); });
    const std::chrono::milliseconds patience = BusyPatience();
    word.SetBusyPatience(patience);
    // A call that waited its patience out asks, as Office's own busy dialog does; the main
    // window goes on painting behind the box.
    word.SetBusyAsk([&host] {
      return host.MessageBox(kBusyAsk, kBusyTitle, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
    });
    // Word's last calls (quitting a Word we started) come after the form is gone.
    struct NoticeOff {
      ravel::win::ComWord& word;
      ~NoticeOff() {
        word.SetBusyNotice(nullptr);
        word.SetBusyAsk(nullptr);
      }
    } notice_off{word};
    // Registered after the form it reports to, gone before it.
    ravel::win::BusyRetryFilter filter(static_cast<DWORD>(patience.count()),
                                       [&busy](bool on) { busy(on); });
    filter.Register();
    ravel::win::MainWindow window(form, host);
    if (!window.Create()) return 1;
    host.SetShowMain([&window, show] { window.Show(show); });
    ravel::frmSplash splash(form);
    // The main window loads (options, document) inside the splash's load, hidden.
    splash.Form_Load();
    if (host.Ending()) return 0;
    host.ShowSplash(splash);
    code = host.Run();
    // The viewer and splash windows go before the forms they show.
    host.DestroyWindows();
  } catch (...) {
    // Nothing is left to show it in.
    code = 1;
  }
  return code;
}
