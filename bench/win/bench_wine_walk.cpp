// Throughput of the program's own dissolve walk under Wine, next to a bare FindFirstFileExW
// walk of the same tree, in the same prefix and the same run: about 100,000 files in 5,000
// folders (the native walk benchmark's tree, made here when missing). The dissolve is
// started by its button's handler on the real main window, shown, with its peers attached:
// a status text per file, the progress bar per root folder, events once per folder, the
// Win32 file system adapter beneath. Searched for 1 and for 300 names; beside them the name
// search alone over the adapter, and the dissolve with the status text written at every
// pump instead of once per frame interval. Each figure is the best of several runs taken
// in turns; elapsed time and the thread's CPU time are given.
#include "win32/gui/Win.h"
// (after windows.h)
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "relink/MoreLinksFound.h"
#include "relink/NameSearch.h"
#include "sim/SimWord.h"
#include "win32/common/Win32FileSystem.h"
#include "win32/gui/MainWindow.h"
#include "win32/gui/Peers.h"
#include "win32/gui/Win32Host.h"

namespace {

const wchar_t* const kTree = L"Z:\\tmp\\ravel-bench-walk";
constexpr int kTop = 50, kSub = 99, kFilesPerLeaf = 20;  // 5,000 folders, 99,000 files
constexpr int kRuns = 7;

std::wstring Num(int n, int width) {
  std::wstring s = std::to_wstring(n);
  return std::wstring(static_cast<std::size_t>(std::max(0, width - static_cast<int>(s.size()))),
                      L'0') +
         s;
}

// The same layout as the native benchmark's, so either may make it for both.
bool MakeTree() {
  std::wstring marker = std::wstring(kTree) + L"\\.complete";
  if (GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  std::printf("building the tree under %ls ...\n", kTree);
  CreateDirectoryW(L"Z:\\tmp", nullptr);
  CreateDirectoryW(kTree, nullptr);
  for (int t = 0; t < kTop; ++t) {
    std::wstring top = std::wstring(kTree) + L"\\section_" + Num(t, 2);
    CreateDirectoryW(top.c_str(), nullptr);
    for (int s = 0; s < kSub; ++s) {
      std::wstring leaf = top + L"\\folder_" + Num(s, 3);
      CreateDirectoryW(leaf.c_str(), nullptr);
      for (int f = 0; f < kFilesPerLeaf; ++f) {
        bool target = (t * kSub + s) % 997 == 0 && f == 0;
        std::wstring name = target ? L"Target_" + Num(t % 3, 1) + L".GIF"
                                   : L"img_" + Num(t, 2) + Num(s, 3) + L"_" + Num(f, 2) + L".jpg";
        HANDLE h = CreateFileW((leaf + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        WriteFile(h, "x", 1, &written, nullptr);
        CloseHandle(h);
      }
    }
  }
  HANDLE h = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  CloseHandle(h);
  return h != INVALID_HANDLE_VALUE;
}

struct Count {
  long files = 0, folders = 0;
};

// What any walk must at least do: read every folder once.
Count BareWalk() {
  Count c;
  std::vector<std::wstring> stack{kTree};
  WIN32_FIND_DATAW d;
  while (!stack.empty()) {
    std::wstring folder = std::move(stack.back());
    stack.pop_back();
    HANDLE h = FindFirstFileExW((folder + L"\\*.*").c_str(), FindExInfoBasic, &d,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) continue;
    ++c.folders;
    do {
      const wchar_t* n = d.cFileName;
      if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
      if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        stack.push_back(folder + L"\\" + n);
      else if (n[0] != L'.')
        ++c.files;
    } while (FindNextFileW(h, &d));
    FindClose(h);
  }
  return c;
}

// Answers each duplicate location chooser by cancelling it: the benchmark measures the walk.
class BenchHost : public ravel::win::Win32Host {
 public:
  void ShowModal(ravel::MoreLinksFound& dialog) override { dialog.Form_Unload(); }
};

struct Clock {
  double wall, cpu;
  static Clock Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    auto secs = [](const FILETIME& ft) {
      return static_cast<double>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) |
                                 ft.dwLowDateTime) *
             1e-7;
    };
    return {static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart),
            secs(kernel) + secs(user)};
  }
};

struct Best {
  double wall = 1e9, cpu = 1e9;
  void Take(const Clock& from, const Clock& to) {
    wall = std::min(wall, to.wall - from.wall);
    cpu = std::min(cpu, to.cpu - from.cpu);
  }
};

// One main window over the stand-in Word, listing `count` selected links.
struct Program {
  ravel::Globals g;
  std::shared_ptr<ravel::sim::SimWord> word = std::make_shared<ravel::sim::SimWord>();
  ravel::win::Win32FileSystem fs;
  BenchHost host;
  std::unique_ptr<ravel::Form_Main> form;
  std::unique_ptr<ravel::win::MainWindow> window;

  bool Open(int count) {
    word->SetActive(word->AddDocument("Bench.doc", "C:\\Bench"));
    form = std::make_unique<ravel::Form_Main>(g, *word, fs, host);
    window = std::make_unique<ravel::win::MainWindow>(*form, host);
    if (!window->Create()) return false;
    window->Show(SW_SHOWNORMAL);
    form->Text_DocumentName.SetText("Bench.doc");
    for (int i = 1; i <= count; ++i) {
      std::string name = i <= 3 ? "target_" + std::to_string(i - 1) + ".gif"
                                : "missing_" + std::to_string(i) + ".png";
      ravel::LinkItem& item = g.Item(i);
      item.FileName = name;
      item.SourcePath = "X:\\Old\\" + name;
      g.ItemCount = i;
      form->ListView_IS.Add({item.SourcePath, "Picture", "False", "False", "False", "False"});
      form->ListView_IS.SetSelected(i, true);
    }
    form->NewRootPath = "Z:\\tmp\\ravel-bench-walk";
    host.PumpEvents();
    return true;
  }
  void Dissolve() { form->Command_Set_Click(); }
  int Hits() const {
    int n = 0;
    for (int i = 1; i <= g.ItemCount; ++i)
      n += std::stoi(g.FoundPaths[static_cast<std::size_t>(i)][0]);
    return n;
  }
};

}  // namespace

int main() {
  if (!MakeTree()) {
    std::fprintf(stderr, "cannot build the tree under %ls\n", kTree);
    return 1;
  }
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                           ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  Program one, many;
  if (!one.Open(1) || !many.Open(300)) {
    std::fprintf(stderr, "cannot open the main window\n");
    return 1;
  }

  // Beneath the dissolve: the name search over the adapter alone, no window, no events.
  ravel::win::Win32FileSystem fs;
  std::vector<std::string> names;
  for (int i = 1; i <= 300; ++i) names.push_back(many.g.Item(i).FileName);
  auto search = [&] { return ravel::SearchNames(fs, "Z:\\tmp\\ravel-bench-walk", names); };

  Count c = BareWalk();
  Best bare, walk1, walk300, alone, unpaced;
  std::size_t alone_files = 0;
  // Five variants per run, each run starting with another, so that none always follows
  // the same one.
  auto unpaced_dissolve = [&] {
    ravel::win::Peer::SetFrameInterval(0);
    one.Dissolve();
    ravel::win::Peer::SetFrameInterval(16);
  };
  for (int r = 0; r < kRuns; ++r) {
    for (int k = 0; k < 5; ++k) {
      int v = (r + k) % 5;
      Clock t0 = Clock::Now();
      if (v == 0) {
        if (BareWalk().files != c.files) std::fprintf(stderr, "the tree changed during the run\n");
      } else if (v == 1) {
        one.Dissolve();
      } else if (v == 2) {
        many.Dissolve();
      } else if (v == 3) {
        alone_files = search().files;
      } else {
        unpaced_dissolve();
      }
      Clock t1 = Clock::Now();
      Best* best[] = {&bare, &walk1, &walk300, &alone, &unpaced};
      best[v]->Take(t0, t1);
    }
  }

  double files = static_cast<double>(c.files);
  std::printf("tree: %ld files in %ld folders (%ls), best of %d runs\n", c.files, c.folders, kTree,
              kRuns);
  std::printf("%-40s %10s %10s %12s %10s\n", "", "files/s", "elapsed", "files/s(cpu)", "cpu time");
  auto row = [&](const char* what, const Best& b, const std::string& note) {
    std::printf("%-40s %10.0f %8.0fms %12.0f %8.0fms", what, files / b.wall, b.wall * 1e3,
                files / b.cpu, b.cpu * 1e3);
    if (!note.empty())
      std::printf("  %5.1f%% / %5.1f%% of bare, %s", 100.0 * bare.wall / b.wall,
                  100.0 * bare.cpu / b.cpu, note.c_str());
    std::printf("\n");
  };
  auto hits = [](int n) { return std::to_string(n) + " hits"; };
  row("bare FindFirstFileExW walk", bare, "");
  row("program's dissolve, 1 name", walk1, hits(one.Hits()));
  row("program's dissolve, 300 names", walk300, hits(many.Hits()));
  row("name search alone, 300 names", alone, std::to_string(alone_files) + " files met");
  row("dissolve, 1 name, label at every pump", unpaced, hits(one.Hits()));
  std::printf("300 names against 1 name: %+.1f%% elapsed\n",
              100.0 * (walk300.wall / walk1.wall - 1.0));
  std::printf("status text after the last dissolve: \"%s\"\n",
              many.form->Label_ProgressBar.Text().c_str());
  return 0;
}
