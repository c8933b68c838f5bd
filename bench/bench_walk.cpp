// Throughput of the file search walker through the POSIX adapter, next to a bare readdir
// loop over the same tree: about 100,000 files in 5,000 folders under /tmp, a handful of
// matches, searched for 1 and for 300 selected names, and the bare name search beneath the
// walker (no list bookkeeping, no status texts, no events) for the same 300 names. Each figure is
// the best of several warm runs, taken in turns so that no variant gets a warmer cache than the
// others. Both elapsed time and the thread's CPU time are given: on a busy machine the second is
// the steadier measure of the work done.
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "posix/PosixFileSystem.h"
#include "relink/NameSearch.h"
#include "relink/Walker.h"
#include "sim/ScriptedHost.h"

namespace {

const char* const kTree = "/tmp/ravel-bench-walk";
constexpr int kTop = 50, kSub = 99, kFilesPerLeaf = 20;  // 5,000 folders, 99,000 files
constexpr int kRuns = 7;

class NoWord : public ravel::WordApp {
 public:
  ravel::WObjectPtr Global() override { return nullptr; }
};

std::string Num(int n, int width) {
  std::string s = std::to_string(n);
  return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(s.size()))),
                     '0') +
         s;
}

bool MakeTree() {
  std::string marker = std::string(kTree) + "/.complete";
  if (access(marker.c_str(), F_OK) == 0) return true;
  std::printf("building the tree under %s ...\n", kTree);
  std::system((std::string("rm -rf ") + kTree).c_str());
  if (mkdir(kTree, 0755) != 0) return false;
  for (int t = 0; t < kTop; ++t) {
    std::string top = std::string(kTree) + "/section_" + Num(t, 2);
    if (mkdir(top.c_str(), 0755) != 0) return false;
    for (int s = 0; s < kSub; ++s) {
      std::string leaf = top + "/folder_" + Num(s, 3);
      if (mkdir(leaf.c_str(), 0755) != 0) return false;
      for (int f = 0; f < kFilesPerLeaf; ++f) {
        // A handful of the files carry the names searched for.
        bool target = (t * kSub + s) % 997 == 0 && f == 0;
        std::string name = target ? "Target_" + Num(t % 3, 1) + ".GIF"
                                  : "img_" + Num(t, 2) + Num(s, 3) + "_" + Num(f, 2) + ".jpg";
        std::ofstream(leaf + "/" + name).put('x');
      }
    }
  }
  std::ofstream(marker).put('x');
  return true;
}

struct Count {
  long files = 0, folders = 0;
};

// What any walk must at least do: read every folder once, in the same pre-order.
Count BareLoop() {
  Count c;
  std::vector<std::string> stack{kTree};
  while (!stack.empty()) {
    std::string folder = std::move(stack.back());
    stack.pop_back();
    DIR* d = opendir(folder.c_str());
    if (d == nullptr) continue;
    ++c.folders;
    while (const dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      if (e->d_type == DT_DIR)
        stack.push_back(folder + "/" + e->d_name);
      else
        ++c.files;
    }
    closedir(d);
  }
  return c;
}

struct Clock {
  double wall, cpu;
  static Clock Now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return {
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
        static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9};
  }
};

struct Best {
  double wall = 1e9, cpu = 1e9;
  void Take(const Clock& from, const Clock& to) {
    wall = std::min(wall, to.wall - from.wall);
    cpu = std::min(cpu, to.cpu - from.cpu);
  }
};

}  // namespace

int main() {
  if (!MakeTree()) {
    std::fprintf(stderr, "cannot build the tree under %s\n", kTree);
    return 1;
  }
  ravel::Globals one_name, many_names;
  NoWord word;
  ravel::PosixFileSystem fs;
  ravel::sim::ScriptedHost host;
  ravel::Form_Main main1(one_name, word, fs, host), main300(many_names, word, fs, host);
  auto select = [](ravel::Globals& g, int count) {
    g.ItemCount = count;
    for (int i = 1; i <= count; ++i) {
      ravel::LinkItem& item = g.Item(i);
      item.Selected = true;
      item.FileName = i <= 3 ? "target_" + std::to_string(i - 1) + ".gif"
                             : "missing_" + std::to_string(i) + ".png";
    }
  };
  select(one_name, 1);
  select(many_names, 300);
  const std::string root = std::string("Z:") + kTree;  // Z:/tmp/... with backslashes
  std::string windows_root = root;
  std::replace(windows_root.begin(), windows_root.end(), '/', '\\');

  auto walk = [&](ravel::Form_Main& m) {
    ravel::Globals& g = m.G;
    g.FoundPaths.assign(static_cast<std::size_t>(g.ItemCount) + 1, ravel::FoundRow{});
    for (int i = 1; i <= g.ItemCount; ++i)
      g.FoundPaths[static_cast<std::size_t>(i)][0].assign(1, '0');
    g.WalkDepth = 0;
    ravel::SearchFiles(m, windows_root);
  };

  // The name search alone, as the batch tool uses it: no list, no label, no events.
  std::vector<std::string> names;
  for (int i = 1; i <= 300; ++i) names.push_back(many_names.Item(i).FileName);
  std::size_t search_hits = 0;
  auto search = [&] {
    search_hits = 0;
    for (const auto& found : ravel::SearchNames(fs, windows_root, names).found)
      search_hits += found.size();
  };

  Count c = BareLoop();
  Best bare, one, many, alone;
  for (int r = 0; r < kRuns; ++r) {
    Clock t0 = Clock::Now();
    Count again = BareLoop();
    Clock t1 = Clock::Now();
    walk(main1);
    Clock t2 = Clock::Now();
    walk(main300);
    Clock t3 = Clock::Now();
    search();
    Clock t4 = Clock::Now();
    if (again.files != c.files) std::fprintf(stderr, "the tree changed during the run\n");
    bare.Take(t0, t1);
    one.Take(t1, t2);
    many.Take(t2, t3);
    alone.Take(t3, t4);
  }

  int hits1 = std::stoi(one_name.FoundPaths[1][0]);
  int hits300 = 0;
  for (int i = 1; i <= 300; ++i) hits300 += std::stoi(many_names.FoundPaths[i][0]);
  double files = static_cast<double>(c.files);
  std::printf("tree: %ld files in %ld folders (%s), best of %d runs\n", c.files, c.folders, kTree,
              kRuns);
  std::printf("%-26s %14s %10s %14s %10s\n", "", "files/s", "elapsed", "files/s (cpu)", "cpu time");
  auto row = [&](const char* what, const Best& b, int hits) {
    std::printf("%-26s %14.0f %8.1fms %14.0f %8.1fms", what, files / b.wall, b.wall * 1e3,
                files / b.cpu, b.cpu * 1e3);
    if (hits >= 0)
      std::printf("  %5.1f%% / %5.1f%% of bare, %d hits", 100.0 * bare.wall / b.wall,
                  100.0 * bare.cpu / b.cpu, hits);
    std::printf("\n");
  };
  row("bare readdir loop", bare, -1);
  row("walk, 1 selected name", one, hits1);
  row("walk, 300 selected names", many, hits300);
  row("name search alone, 300", alone, static_cast<int>(search_hits));
  std::printf("300 names against 1 name: %+.1f%% elapsed, %+.1f%% cpu time\n",
              100.0 * (many.wall / one.wall - 1.0), 100.0 * (many.cpu / one.cpu - 1.0));
  std::printf("events pumped per walk: %d (once per folder)\n", host.pumps / (2 * kRuns));
  return 0;
}
