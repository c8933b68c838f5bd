// What a user waits for in the preview and the viewer, under Wine: the time and the peak
// memory to show a picture in the preview (first time and again), and the time of the
// viewer's redraws while its frame is dragged and at the end of the drag. Each preview case
// runs in a process of its own (scripts/bench-preview.sh starts them), so that its peak is
// its own.
//   bench_wine_preview preview FILE LABEL   the picture read on the window's own thread, as
//                                           the preview did before it had workers
//   bench_wine_preview viewer FILE LABEL    the viewer of FILE dragged smaller step by step
//   bench_wine_preview window F1 L1 F2 L2 F3 L3
//                                           the main window as the program has it: each
//                                           row released and its picture waited for, then
//                                           the three rows released in quick succession;
//                                           every message the window's thread handles is
//                                           timed, the longest is printed
//   bench_wine_preview exit FILE LABEL      the close box while FILE is read, and with
//                                           nothing being read: the time until the
//                                           windows are gone and the workers joined
#include "win32/gui/Win.h"
// (after windows.h)
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../../tests/relink_support.h"
#include "app/Form_Main.h"
#include "preview/wPictureViewer.h"
#include "win32/common/ComPtr.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"
#include "win32/gui/ImageView.h"
#include "win32/gui/InfoWindows.h"
#include "win32/gui/MainWindow.h"
#include "win32/gui/Win32Host.h"
#include "win32/gui/WinPicture.h"

using namespace ravel;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double PeakMb() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
  return static_cast<double>(pmc.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// The preview's picture control at its size (3735 x 1920 twips at 96 DPI), loaded through
// the program's picture cache as a click on the row does.
int Preview(const std::wstring& file, const char* label) {
  HWND top = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND image = CreateWindowExW(WS_EX_CLIENTEDGE, win::ImageViewClass(), L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL, 8, 16, 249, 128, top, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  Pump();
  double base = PeakMb();
  win::PictureCache cache;
  for (int round = 0; round < 2; ++round) {
    auto start = Clock::now();
    auto picture = cache.Load(file);
    win::SetImagePicture(image, picture, true);
    UpdateWindow(image);
    double ms = Ms(start);
    std::printf("%-26s %-6s %9.1f ms  peak %7.1f MB (%+7.1f)  %s\n", label,
                round == 0 ? "first" : "again", ms, PeakMb(), PeakMb() - base,
                picture ? "shown" : "refused");
  }
  DestroyWindow(top);
  return 0;
}

// The viewer over the picture, dragged from 1200 x 900 to 900 x 675 in 15 steps.
int Viewer(const std::wstring& file, const char* label) {
  auto picture = win::WinPicture::FromFile(file);
  if (!picture) {
    std::printf("%s: not read\n", label);
    return 1;
  }
  wPictureViewer form;
  win::ViewerWindow window(form);
  if (!window.Create()) return 1;
  form.xImgedit.SetPicture(picture);
  form.Me.SetVisible(true);
  window.Show();
  HWND h = window.Handle();
  auto resize = [&](int step) {
    int w = 1200 - step * 20, hh = 900 - step * 15;
    auto start = Clock::now();
    SetWindowPos(h, nullptr, 0, 0, w, hh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(window.Image());
    return Ms(start);
  };
  resize(0);
  Pump();
  constexpr int kSteps = 15;
  // Each step filtered, as without drafts.
  std::vector<double> filtered;
  for (int i = 1; i <= kSteps; ++i) filtered.push_back(resize(i));
  resize(0);
  // A drag: drafts, then the filtered picture at its end.
  SendMessageW(h, WM_ENTERSIZEMOVE, 0, 0);
  std::vector<double> drafts;
  for (int i = 1; i <= kSteps; ++i) drafts.push_back(resize(i));
  auto start = Clock::now();
  SendMessageW(h, WM_EXITSIZEMOVE, 0, 0);
  UpdateWindow(window.Image());
  double end = Ms(start);
  auto mean = [](const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x;
    return s / static_cast<double>(v.size());
  };
  auto worst = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
  const auto& kept = picture->Pixels();
  std::printf("%s (kept at %dx%d), viewer about 1200x900:\n", label, kept.width, kept.height);
  std::printf("  each step filtered     %8.1f ms a step (worst %.1f)\n", mean(filtered),
              worst(filtered));
  std::printf("  while dragging (draft) %8.1f ms a step (worst %.1f)\n", mean(drafts),
              worst(drafts));
  std::printf("  at the end of the drag %8.1f ms\n", end);
  form.Form_Unload();
  return 0;
}

// The program's main window over a Word with one document whose rows link the files given.
class ProgramWindow {
 public:
  explicit ProgramWindow(const std::vector<std::wstring>& files) {
    if (!window_.Create()) {
      std::fprintf(stderr, "bench_wine_preview: the main window could not be made\n");
      std::exit(1);
    }
    window_.Show(SW_SHOWNORMAL);
    for (const auto& f : files) {
      int n = ++g_.ItemCount;
      g_.Item(n).SourcePath = win::Narrow(f);
      form.ListView_IS.Add({g_.Item(n).SourcePath, "Picture", "True", "False", "False", "False"});
    }
    Pump([] { return false; }, 300);
    worst = 0;
  }
  // Handles the window's messages until `done` holds or `ms` have passed, timing each.
  template <class Done>
  void Pump(Done done, double ms = 120000) {
    auto start = Clock::now();
    while (!done() && Ms(start) < ms) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        auto at = Clock::now();
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        worst = std::max(worst, Ms(at));
      }
    }
  }
  // A mouse release over row n, as the list's click handler runs it.
  void Release(int n) {
    auto at = Clock::now();
    for (int i = 1; i <= form.ListView_IS.Count(); ++i) form.ListView_IS.SetSelected(i, i == n);
    form.ListView_IS.SetCurrent(n);
    form.ListView_IS_MouseUp();
    worst = std::max(worst, Ms(at));
  }
  bool Loading() const { return form.LoadingPictures(); }
  const Picture* Shown() const { return form.xImgedit.GetPicture().get(); }

  double worst = 0;  // the longest the window's thread was kept from its messages (ms)

 private:
  Globals g_;
  test::OneDocumentWord word_;
  win::Win32FileSystem fs_;
  win::Win32Host host_;

 public:
  Form_Main form{g_, word_, fs_, host_};

 private:
  win::MainWindow window_{form, host_};
};

int Window(const std::vector<std::wstring>& files, const std::vector<std::string>& labels) {
  ProgramWindow w(files);
  std::printf("Each row released, its picture waited for:\n");
  for (int i = 1; i <= static_cast<int>(files.size()); ++i) {
    w.worst = 0;
    const Picture* before = w.Shown();
    auto start = Clock::now();
    w.Release(i);
    w.Pump([&] { return !w.Loading(); });
    std::printf("  %-26s %s after %7.1f ms, window kept from its messages %5.1f ms at most\n",
                labels[static_cast<std::size_t>(i - 1)].c_str(),
                w.Shown() != before ? "shown" : "refused", Ms(start), w.worst);
  }
  // Down the rows as with the arrow keys, 100 ms a row, before the pictures have come.
  ProgramWindow quick(files);
  auto start = Clock::now();
  for (int i = 1; i <= static_cast<int>(files.size()); ++i) {
    quick.Release(i);
    quick.Pump([] { return false; }, 100);
  }
  quick.Pump([&] { return !quick.Loading(); });
  std::printf(
      "The rows released 100 ms apart: all settled after %.1f ms, window kept from its "
      "messages %.1f ms at most\n",
      Ms(start), quick.worst);
  return 0;
}

// The close box with nothing being read, then 200 ms into reading `file`: the difference is
// what the reading adds to the end of the program.
int Exit(const std::wstring& file, const char* label) {
  double idle = 0;
  {
    ProgramWindow w({file});
    auto start = Clock::now();
    w.form.Form_Unload();
    idle = Ms(start);
  }
  ProgramWindow w({file});
  w.Release(1);
  w.Pump([] { return false; }, 200);
  bool reading = w.Loading();
  auto start = Clock::now();
  w.form.Form_Unload();  // the close box: options written, windows gone, readings ended
  double ended = Ms(start);
  std::printf(
      "Close box 200 ms into reading %s%s: ended after %.1f ms (%.1f ms with nothing "
      "being read)\n",
      label, reading ? "" : " (already read)", ended, idle);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_wine_preview preview|viewer FILE LABEL\n");
    return 2;
  }
  win::ComInit com;
  std::wstring mode = argv[1];
  std::wstring wl = argv[3];
  std::string label(wl.begin(), wl.end());
  if (mode == L"preview") return Preview(argv[2], label.c_str());
  if (mode == L"viewer") return Viewer(argv[2], label.c_str());
  if (mode == L"exit") return Exit(argv[2], label.c_str());
  if (mode == L"window") {
    std::vector<std::wstring> files;
    std::vector<std::string> labels;
    for (int i = 2; i + 1 < argc; i += 2) {
      files.push_back(argv[i]);
      labels.push_back(win::Narrow(argv[i + 1]));
    }
    return Window(files, labels);
  }
  return 2;
}
