// ravelmend-batch on 1,000 documents of 10 links each, against a tree of about 100,000
// files: documents per second for list and for fix, the number of walks of the tree, and
// the time of fix next to a plain copy of the same documents taken in the same run.
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/docfile_support.h"
#include "batch/Batch.h"
#include "batch/HostPaths.h"
#include "docfile/PosixStore.h"
#include "posix/PosixFileSystem.h"

namespace {

constexpr int kDocs = 1000, kLinks = 10;
constexpr int kTop = 50, kSub = 100, kFiles = 20;  // 5,000 folders, 100,000 files

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// The process's CPU time: steadier than elapsed time on a shared machine, though blind to
// the waits for the disk that both the copy and the fix make.
double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Counts the walks: each walk lists the root's entries once.
class CountingFs : public ravel::FileSystem {
 public:
  CountingFs(ravel::PosixFileSystem& fs, std::string root) : fs_(fs), root_(std::move(root)) {}
  bool CanOpenForReading(const std::string& p) override { return fs_.CanOpenForReading(p); }
  std::unique_ptr<ravel::DirListing> List(const std::string& pattern) override {
    if (pattern == root_ + "\\*.*") ++walks;
    return fs_.List(pattern);
  }
  std::optional<ravel::FolderId> IdOf(const std::string& f) override { return fs_.IdOf(f); }
  int walks = 0;

 private:
  ravel::PosixFileSystem& fs_;
  std::string root_;
};

std::string Name(int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "pic%06d.png", n);
  return buf;
}

void MakeDocuments(const std::string& dir) {
  using namespace ravel::docfile::test;
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  // Some stored media, so a document weighs what a real one does.
  std::string media(40000, '\0');
  for (std::size_t i = 0; i < media.size(); ++i) media[i] = static_cast<char>((i * 7919) >> 5);
  for (int d = 0; d < kDocs; ++d) {
    std::string markup;
    std::vector<Rel> rels;
    for (int l = 0; l < kLinks; ++l) {
      std::string id = "rId" + std::to_string(l + 1);
      markup += "<w:r><w:t>Figure</w:t></w:r>" + Inline(id);
      // Every tenth document's pictures sit under one old server folder, the rest spread.
      rels.push_back({id, kImageType, "file:///old/share/" + Name(d * kLinks + l)});
    }
    auto bytes = Zip(Standard(Body(markup), Rels(rels), {{"word/media/image1.png", media}}),
                     {"word/media/image1.png"});
    std::ofstream(dir + "/doc" + std::to_string(d) + ".docx", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
}

void MakeTree(const std::string& tree) {
  std::string marker = tree + "/.complete";
  if (access(marker.c_str(), F_OK) == 0) return;
  std::system(("rm -rf '" + tree + "' && mkdir -p '" + tree + "'").c_str());
  int n = 0;
  for (int t = 0; t < kTop; ++t) {
    std::string top = tree + "/t" + std::to_string(t);
    mkdir(top.c_str(), 0755);
    for (int s = 0; s < kSub; ++s) {
      std::string sub = top + "/s" + std::to_string(s);
      mkdir(sub.c_str(), 0755);
      for (int f = 0; f < kFiles; ++f) {
        // The linked names are spread over the whole tree.
        int id = (n * 7 + 3) % (kTop * kSub * kFiles);
        ++n;
        close(open((sub + "/" + Name(id)).c_str(), O_CREAT | O_WRONLY, 0644));
      }
    }
  }
  close(open(marker.c_str(), O_CREAT | O_WRONLY, 0644));
}

double Copy(const std::string& from, const std::string& to, double& cpu) {
  std::system(("rm -rf '" + to + "' && mkdir -p '" + to + "' && sync").c_str());
  double cpu_start = CpuSeconds();
  auto start = Clock::now();
  std::vector<char> buf(1 << 20);
  for (int d = 0; d < kDocs; ++d) {
    std::string name = "/doc" + std::to_string(d) + ".docx";
    int in = open((from + name).c_str(), O_RDONLY);
    int out = open((to + name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    for (ssize_t n; (n = read(in, buf.data(), buf.size())) > 0;)
      if (write(out, buf.data(), static_cast<std::size_t>(n)) != n) break;
    fsync(out);  // the fix makes each document durable before it renames it
    close(in);
    close(out);
  }
  cpu = std::min(cpu, CpuSeconds() - cpu_start);
  return Seconds(start);
}

}  // namespace

int main() {
  const std::string base = "/tmp/ravel-bench-batch";
  const std::string tree = base + "/tree", docs = base + "/docs", copy = base + "/copy";
  std::printf("building %d documents and a tree of %d files under %s ...\n", kDocs,
              kTop * kSub * kFiles, base.c_str());
  MakeTree(tree);
  MakeDocuments(docs);

  ravel::PosixFileSystem posix;
  CountingFs fs(posix, ravel::batch::HostToWindows(tree, "/"));
  ravel::docfile::PosixStore store(posix);
  std::ostringstream out, err;
  ravel::batch::Host host{fs,
                          store,
                          out,
                          err,
                          false,
                          true,
                          [](const std::string& a) { return ravel::batch::HostToWindows(a, "/"); },
                          ravel::batch::WindowsToHost};

  // Rounds on fresh documents, each variant's best kept: the machine is shared, and a
  // copy and a fix that both make their files durable wait on the same disk.
  constexpr int kRounds = 5;
  double copy_time = 1e9, list_time = 1e9, dry_time = 1e9, fix_time = 1e9;
  double copy_cpu = 1e9, fix_cpu = 1e9;
  int list_status = 0, fix_status = 0, walks = 0;
  std::string summary;
  for (int round = 0; round < kRounds; ++round) {
    if (round > 0) MakeDocuments(docs);
    copy_time = std::min(copy_time, Copy(docs, copy, copy_cpu));
    auto start = Clock::now();
    list_status = ravel::batch::Run({"list", docs}, host);
    list_time = std::min(list_time, Seconds(start));
    start = Clock::now();
    ravel::batch::Run({"fix", "--dry-run", "--root", tree, docs}, host);
    dry_time = std::min(dry_time, Seconds(start));
    fs.walks = 0;
    out.str("");
    double cpu_start = CpuSeconds();
    start = Clock::now();
    fix_status = ravel::batch::Run({"fix", "--root", tree, docs}, host);
    fix_time = std::min(fix_time, Seconds(start));
    fix_cpu = std::min(fix_cpu, CpuSeconds() - cpu_start);
    walks = fs.walks;
    summary = out.str();
    summary = summary.substr(summary.rfind('\n', summary.size() - 2) + 1);
  }

  std::printf("documents: %d x %d links, tree: %d files in %d folders; best of %d rounds\n", kDocs,
              kLinks, kTop * kSub * kFiles, kTop * kSub, kRounds);
  std::printf("list:          %.3f s, %5.0f documents/s (exit %d)\n", list_time, kDocs / list_time,
              list_status);
  std::printf("fix --dry-run: %.3f s, %5.0f documents/s\n", dry_time, kDocs / dry_time);
  std::printf("fix:           %.3f s, %5.0f documents/s (exit %d), walks of the tree: %d\n",
              fix_time, kDocs / fix_time, fix_status, walks);
  std::printf("               %s", summary.c_str());
  std::printf("plain copy of the same documents (fsync each, as fix does): %.3f s\n", copy_time);
  std::printf("fix takes %.2f times the copy (CPU time: fix %.3f s, copy %.3f s)\n",
              fix_time / copy_time, fix_cpu, copy_cpu);
  return 0;
}
