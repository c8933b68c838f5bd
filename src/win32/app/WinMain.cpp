// Ravelmend.exe: joins COM, registers the common controls, builds the core over the real
// Word, file system, registry and windows, starts with the splash window (which has the
// main window read the document first) and runs the message loop until the program ends.
#include "win32/gui/Win.h"
// (after windows.h)
#include <commctrl.h>

#include <memory>

#include "app/Form_Main.h"
#include "app/Globals.h"
#include "info/frmSplash.h"
#include "win32/common/AdvapiRegistry.h"
#include "win32/common/ComPtr.h"
#include "win32/common/ComWord.h"
#include "win32/common/Win32FileSystem.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/MainWindow.h"
#include "win32/gui/Win32Host.h"

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
    ravel::win::Win32FileSystem files;
    ravel::win::Win32Host host;
    ravel::win::AdvapiRegistry registry;
    ravel::Form_Main form(*globals, word, files, host);
    form.SetRegistry(&registry);
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
