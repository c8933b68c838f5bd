// ravelmend-batch run as its own process on 1,000 and on 10,000 documents of 10 links each
// (and on 100 documents with a body of 4 MB of XML, and on 10,000 documents of the four
// families mixed: .docx, .pptx, .xlsx and .odt), against a tree of 100,000 files: the time and
// the peak memory of list, fix --dry-run and fix, next to a plain copy of the same documents
// that syncs each file, as fix does.
// With --migration DOCS FILES: a migration's runs on DOCS small documents against a tree of
// FILES files (default 100,000 and 1,000,000): list, fix with a journal, fix killed half-way
// and resumed, the index's build time and size, fix --index against fix --root, and two
// shards at once against one process.
// usage: bench_batch [--migration [DOCS FILES]] [RAVELMEND_BATCH [mixed]]
//        (default: the ravelmend-batch built beside this program; "mixed": the mixed set only)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../tests/docfile_support.h"

namespace {

constexpr int kLinks = 10;
constexpr int kTop = 50, kSub = 100, kFiles = 20;  // 5,000 folders, 100,000 files

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string Name(int n, int modulo = kTop * kSub * kFiles) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "pic%07d.png", n % modulo);
  return buf;
}

const char kPresentationNs[] =
    R"( xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main")"
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main")"
    R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
const char kOfficeDocument[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";

std::string Types(const std::string& main, const std::string& type, const std::string& more = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
         "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" "
         "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Default Extension=\"png\" ContentType=\"image/png\"/>"
         "<Override PartName=\"/" +
         main + "\" ContentType=\"" + type + "\"/>" + more + "</Types>";
}

// A presentation whose one slide holds the linked pictures.
std::vector<std::uint8_t> Presentation(const std::vector<std::string>& targets,
                                       const std::string& media) {
  using namespace ravel::docfile::test;
  std::string pics;
  std::vector<Rel> rels;
  for (std::size_t l = 0; l < targets.size(); ++l) {
    std::string id = "rId" + std::to_string(l + 1);
    pics += "<p:pic><p:nvPicPr><p:cNvPr id=\"" + std::to_string(l + 2) +
            "\" name=\"Picture\"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr><p:blipFill><a:blip r:link=\"" +
            id + "\"/></p:blipFill><p:spPr/></p:pic>";
    rels.push_back({id, kImageType, targets[l]});
  }
  const std::string pml = "application/vnd.openxmlformats-officedocument.presentationml.";
  return Zip(
      {{"[Content_Types].xml",
        Types("ppt/presentation.xml", pml + "presentation.main+xml",
              "<Override PartName=\"/ppt/slides/slide1.xml\" ContentType=\"" + pml +
                  "slide+xml\"/>")},
       {"_rels/.rels", Rels({{"rId1", kOfficeDocument, "ppt/presentation.xml", false}})},
       {"ppt/presentation.xml", std::string("<?xml version=\"1.0\"?><p:presentation") +
                                    kPresentationNs +
                                    "><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/>"
                                    "</p:sldIdLst></p:presentation>"},
       {"ppt/_rels/presentation.xml.rels",
        Rels({{"rId2", "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide",
               "slides/slide1.xml", false}})},
       {"ppt/slides/slide1.xml", std::string("<?xml version=\"1.0\"?><p:sld") + kPresentationNs +
                                     "><p:cSld><p:spTree><p:nvGrpSpPr/><p:grpSpPr/>" + pics +
                                     "</p:spTree></p:cSld></p:sld>"},
       {"ppt/slides/_rels/slide1.xml.rels", Rels(rels)},
       {"ppt/media/image1.png", media}},
      {"ppt/media/image1.png"});
}

// A workbook whose sheet's drawing holds the linked pictures.
std::vector<std::uint8_t> Workbook(const std::vector<std::string>& targets,
                                   const std::string& media) {
  using namespace ravel::docfile::test;
  std::string pics;
  std::vector<Rel> rels;
  for (std::size_t l = 0; l < targets.size(); ++l) {
    std::string id = "rId" + std::to_string(l + 1);
    pics +=
        "<xdr:oneCellAnchor><xdr:from><xdr:col>0</xdr:col><xdr:colOff>0</xdr:colOff>"
        "<xdr:row>" +
        std::to_string(l * 5) +
        "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:ext cx=\"9525\" cy=\"9525\"/>"
        "<xdr:pic><xdr:nvPicPr><xdr:cNvPr id=\"" +
        std::to_string(l + 2) +
        "\" name=\"Picture\"/><xdr:cNvPicPr/></xdr:nvPicPr><xdr:blipFill><a:blip r:link=\"" + id +
        "\"/></xdr:blipFill><xdr:spPr/></xdr:pic><xdr:clientData/></xdr:oneCellAnchor>";
    rels.push_back({id, kImageType, targets[l]});
  }
  const std::string sml = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  const std::string ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  return Zip(
      {{"[Content_Types].xml",
        Types("xl/workbook.xml", sml + "sheet.main+xml",
              "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + sml +
                  "worksheet+xml\"/><Override PartName=\"/xl/drawings/drawing1.xml\" "
                  "ContentType=\"application/vnd.openxmlformats-officedocument.drawing+xml\"/>")},
       {"_rels/.rels", Rels({{"rId1", kOfficeDocument, "xl/workbook.xml", false}})},
       {"xl/workbook.xml", "<?xml version=\"1.0\"?><workbook xmlns=\"" + ns + "\" xmlns:r=\"" +
                               rel.substr(0, rel.size() - 1) +
                               "\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>"
                               "</sheets></workbook>"},
       {"xl/_rels/workbook.xml.rels",
        Rels({{"rId1", rel + "worksheet", "worksheets/sheet1.xml", false}})},
       {"xl/worksheets/sheet1.xml", "<?xml version=\"1.0\"?><worksheet xmlns=\"" + ns +
                                        "\" xmlns:r=\"" + rel.substr(0, rel.size() - 1) +
                                        "\"><sheetData/><drawing r:id=\"rId1\"/></worksheet>"},
       {"xl/worksheets/_rels/sheet1.xml.rels",
        Rels({{"rId1", rel + "drawing", "../drawings/drawing1.xml", false}})},
       {"xl/drawings/drawing1.xml",
        "<?xml version=\"1.0\"?><xdr:wsDr "
        "xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:r=\"" +
            rel.substr(0, rel.size() - 1) + "\">" + pics + "</xdr:wsDr>"},
       {"xl/drawings/_rels/drawing1.xml.rels", Rels(rels)},
       {"xl/media/image1.png", media}},
      {"xl/media/image1.png"});
}

// A text document of LibreOffice's layout: the mimetype first and stored.
std::vector<std::uint8_t> Text(const std::vector<std::string>& targets, const std::string& media) {
  using namespace ravel::docfile::test;
  std::string frames;
  for (const std::string& t : targets)
    frames +=
        "<text:p>Figure <draw:frame svg:width=\"3cm\" svg:height=\"2cm\"><draw:image "
        "xlink:href=\"" +
        t + "\" xlink:type=\"simple\" xlink:show=\"embed\"/></draw:frame></text:p>";
  const std::string office = "urn:oasis:names:tc:opendocument:xmlns:";
  const std::string ns = " xmlns:office=\"" + office + "office:1.0\" xmlns:text=\"" + office +
                         "text:1.0\" xmlns:draw=\"" + office + "drawing:1.0\" xmlns:svg=\"" +
                         office +
                         "svg-compatible:1.0\" xmlns:xlink=\"http://www.w3.org/1999/xlink\"";
  return Zip({{"mimetype", "application/vnd.oasis.opendocument.text"},
              {"content.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content" +
                                  ns + "><office:body><office:text>" + frames +
                                  "</office:text></office:body></office:document-content>"},
              {"styles.xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-styles" + ns + "/>"},
              {"Pictures/1.png", media},
              {"META-INF/manifest.xml",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest "
               "xmlns:manifest=\"" +
                   office +
                   "manifest:1.0\"><manifest:file-entry manifest:full-path=\"/\" "
                   "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>"
                   "</manifest:manifest>"}},
             {"mimetype", "Pictures/1.png"});
}

// `count` documents; with `body_bytes`, each body also holds that much text; `mixed` makes
// them of the four families in turn. Returns their names.
std::vector<std::string> MakeDocuments(const std::string& dir, int count, std::size_t body_bytes,
                                       bool mixed = false) {
  using namespace ravel::docfile::test;
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  // Some stored media, so a document weighs what a real one does.
  std::string media(40000, '\0');
  for (std::size_t i = 0; i < media.size(); ++i) media[i] = static_cast<char>((i * 7919) >> 5);
  std::string filler;
  while (filler.size() < body_bytes)
    filler += "<w:r><w:t>Quarterly figures, " + std::to_string(filler.size()) + "</w:t></w:r>";
  std::vector<std::string> names;
  for (int d = 0; d < count; ++d) {
    std::vector<std::string> targets;
    for (int l = 0; l < kLinks; ++l) targets.push_back("file:///old/share/" + Name(d * kLinks + l));
    std::vector<std::uint8_t> bytes;
    std::string name = "doc" + std::to_string(d);
    switch (mixed ? d % 4 : 0) {
      case 0: {
        std::string markup = filler;
        std::vector<Rel> rels;
        for (int l = 0; l < kLinks; ++l) {
          std::string id = "rId" + std::to_string(l + 1);
          markup += "<w:r><w:t>Figure</w:t></w:r>" + Inline(id);
          rels.push_back({id, kImageType, targets[l]});
        }
        bytes = Zip(Standard(Body(markup), Rels(rels), {{"word/media/image1.png", media}}),
                    {"word/media/image1.png"});
        name += ".docx";
        break;
      }
      case 1:
        bytes = Presentation(targets, media);
        name += ".pptx";
        break;
      case 2:
        bytes = Workbook(targets, media);
        name += ".xlsx";
        break;
      default:
        bytes = Text(targets, media);
        name += ".odt";
        break;
    }
    std::ofstream(dir + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    names.push_back(name);
  }
  return names;
}

void MakeTree(const std::string& tree, int tops = kTop, int subs = kSub, int files = kFiles) {
  std::string marker = tree + "/.complete";
  if (access(marker.c_str(), F_OK) == 0) return;
  std::system(("rm -rf '" + tree + "' && mkdir -p '" + tree + "'").c_str());
  int n = 0;
  for (int t = 0; t < tops; ++t) {
    std::string top = tree + "/t" + std::to_string(t);
    mkdir(top.c_str(), 0755);
    for (int s = 0; s < subs; ++s) {
      std::string sub = top + "/s" + std::to_string(s);
      mkdir(sub.c_str(), 0755);
      for (int f = 0; f < files; ++f) {
        // The linked names are spread over the whole tree, each once (7 is prime to the
        // number of files).
        int id = static_cast<int>((n * 7LL + 3) % (static_cast<long long>(tops) * subs * files));
        ++n;
        close(open((sub + "/" + Name(id, tops * subs * files)).c_str(), O_CREAT | O_WRONLY, 0644));
      }
    }
  }
  close(open(marker.c_str(), O_CREAT | O_WRONLY, 0644));
}

double Copy(const std::string& from, const std::string& to, const std::vector<std::string>& names) {
  std::system(("rm -rf '" + to + "' && mkdir -p '" + to + "' && sync").c_str());
  auto start = Clock::now();
  std::vector<char> buf(1 << 20);
  for (const std::string& file : names) {
    std::string name = "/" + file;
    int in = open((from + name).c_str(), O_RDONLY);
    int out = open((to + name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    for (ssize_t n; (n = read(in, buf.data(), buf.size())) > 0;)
      if (write(out, buf.data(), static_cast<std::size_t>(n)) != n) break;
    fsync(out);  // the fix makes each document durable before it renames it
    close(in);
    close(out);
  }
  return Seconds(start);
}

struct Run {
  double seconds = 0;
  long peak_kb = 0;
  int status = -1;
  std::string last_line;
};

// The command as a process of its own, so its peak memory is its own.
Run Measure(const std::string& tool, const std::vector<std::string>& args,
            const std::string& out_file) {
  Run r;
  auto start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(out_file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    int null = open("/dev/null", O_WRONLY);
    dup2(out, 1);
    dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  r.seconds = Seconds(start);
  r.peak_kb = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(out_file);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) r.last_line = line;
  return r;
}

void Print(const char* what, const Run& r, int count) {
  std::printf("  %-14s %8.3f s %7.0f documents/s  peak %7.1f MB  exit %d\n", what, r.seconds,
              count / r.seconds, r.peak_kb / 1024.0, r.status);
}

// `count` documents of 10 links each and no media, in folders of 1,000, linking to names
// drawn from a pool of `pool` (documents share their pictures, as real ones do).
void MakeSmallDocuments(const std::string& dir, int count, int pool) {
  using namespace ravel::docfile::test;
  std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
  for (int d = 0; d < count; ++d) {
    std::string folder = dir + "/f" + std::to_string(d / 1000);
    if (d % 1000 == 0) mkdir(folder.c_str(), 0755);
    std::string markup;
    std::vector<Rel> rels;
    for (int l = 0; l < kLinks; ++l) {
      std::string id = "rId" + std::to_string(l + 1);
      markup += "<w:r><w:t>Figure</w:t></w:r>" + Inline(id);
      rels.push_back({id, kImageType, "file:///old/share/" + Name(d * kLinks + l, pool)});
    }
    auto bytes = Zip(Standard(Body(markup), Rels(rels)));
    std::ofstream(folder + "/doc" + std::to_string(d) + ".docx", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
}

long FileKb(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size / 1024) : -1;
}

int Migration(const std::string& tool, int count, int files) {
  const std::string base = "/tmp/ravel-bench-migration";
  const std::string tree = base + "/tree", pristine = base + "/pristine", docs = base + "/docs";
  const std::string out = base + "/out.txt";
  int tops = 100, subs = 100, per = files / (tops * subs);
  if (per < 1) {
    per = 1;
    subs = std::max(1, files / tops);
  }
  files = tops * subs * per;
  int pool = std::min(20000, files);
  std::system(("mkdir -p '" + base + "'").c_str());
  std::printf(
      "program: %s\n%d documents x %d links (names from a pool of %d), tree of %d "
      "files in %d folders\n",
      tool.c_str(), count, kLinks, pool, files, tops * subs);
  auto started = Clock::now();
  std::string tree_dir = tree + "-" + std::to_string(files);
  MakeTree(tree_dir, tops, subs, per);
  std::printf("  tree made in %.1f s\n", Seconds(started));
  started = Clock::now();
  MakeSmallDocuments(pristine, count, pool);
  std::printf("  documents made in %.1f s\n", Seconds(started));
  auto fresh = [&] {
    std::system(
        ("rm -rf '" + docs + "' " + base + "/run*.db* && cp -r '" + pristine + "' '" + docs + "'")
            .c_str());
  };
  fresh();
  Print("list", Measure(tool, {"list", docs}, out), count);
  Run fix_root =
      Measure(tool, {"fix", "--root", tree_dir, "--journal", base + "/run.db", docs}, out);
  Print("fix --root", fix_root, count);
  std::printf("    %s; journal %ld kB\n", fix_root.last_line.c_str(), FileKb(base + "/run.db"));
  fresh();
  setenv("RAVELMEND_BATCH_KILL", ("done:" + std::to_string(count / 2)).c_str(), 1);
  Run killed = Measure(tool, {"fix", "--root", tree_dir, "--journal", base + "/run.db", docs}, out);
  unsetenv("RAVELMEND_BATCH_KILL");
  Print("killed at half", killed, count / 2);
  Run resumed =
      Measure(tool, {"fix", "--root", tree_dir, "--journal", base + "/run.db", docs}, out);
  Print("resumed", resumed, count);
  std::printf("    %s\n", resumed.last_line.c_str());
  Run index = Measure(tool, {"index", "--root", tree_dir, "--output", base + "/names.db"}, out);
  std::printf("  %-14s %8.3f s %7.0f files/s      peak %7.1f MB  exit %d; index %.1f MB\n", "index",
              index.seconds, files / index.seconds, index.peak_kb / 1024.0, index.status,
              FileKb(base + "/names.db") / 1024.0);
  fresh();
  Run fix_index = Measure(
      tool, {"fix", "--index", base + "/names.db", "--journal", base + "/run.db", docs}, out);
  Print("fix --index", fix_index, count);
  std::printf("    %s\n", fix_index.last_line.c_str());
  // Two shards at once, each a process of its own, on the same index.
  fresh();
  auto shards_started = Clock::now();
  std::vector<pid_t> pids;
  for (int k = 0; k < 2; ++k) {
    pid_t pid = fork();
    if (pid == 0) {
      Run r = Measure(
          tool,
          {"fix", "--shard", std::to_string(k + 1) + "/2", "--jobs", "1", "--index",
           base + "/names.db", "--journal", base + "/run" + std::to_string(k) + ".db", docs},
          out + std::to_string(k));
      std::printf("  %-14s %8.3f s %7.0f documents/s  peak %7.1f MB  exit %d\n",
                  (k == 0 ? "shard 1/2" : "shard 2/2"), r.seconds, count / 2 / r.seconds,
                  r.peak_kb / 1024.0, r.status);
      _exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  double both = Seconds(shards_started);
  fresh();
  Run one = Measure(tool, {"fix", "--jobs", "1", "--index", base + "/names.db", docs}, out);
  std::printf(
      "  2 shards of one thread each at once: %.3f s; one process of one thread: %.3f s "
      "(%.2f times)\n",
      both, one.seconds, one.seconds / both);
  Print("fix --jobs 1", one, count);
  std::system(("rm -rf '" + docs + "' " + base + "/*.db*").c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // figures show as they come
  std::string self = argv[0];
  bool migration = argc > 1 && std::string(argv[1]) == "--migration";
  int count = 100000, files = 1000000;
  if (migration) {
    --argc;
    ++argv;
    if (argc > 2 && std::isdigit(static_cast<unsigned char>(argv[1][0]))) {
      count = std::atoi(argv[1]);
      files = std::atoi(argv[2]);
      argc -= 2;
      argv += 2;
    }
  }
  std::string tool = argc > 1 ? argv[1] : "";
  const bool mixed_only = argc > 2 && std::string(argv[2]) == "mixed";
  if (tool.empty()) {
    std::size_t slash = self.rfind('/');
    tool = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) +
           "/ravelmend-batch";
  }
  if (access(tool.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "bench_batch: %s: no such program (build ravelmend-batch)\n",
                 tool.c_str());
    return 2;
  }
  if (migration) return Migration(tool, count, files);
  const std::string base = "/tmp/ravel-bench-batch";
  const std::string tree = base + "/tree", docs = base + "/docs", copy = base + "/copy";
  std::printf("program: %s\ntree: %d files in %d folders under %s\n", tool.c_str(),
              kTop * kSub * kFiles, kTop * kSub, tree.c_str());
  MakeTree(tree);
  struct Corpus {
    int count;
    std::size_t body;
    bool mixed = false;
  };
  for (Corpus c :
       {Corpus{1000, 0}, Corpus{10000, 0}, Corpus{100, 4u << 20}, Corpus{10000, 0, true}}) {
    if (mixed_only && !c.mixed) continue;
    std::vector<std::string> names = MakeDocuments(docs, c.count, c.body, c.mixed);
    std::printf("%d documents x %d links%s\n", c.count, kLinks,
                c.body    ? ", each with 4 MB of body XML"
                : c.mixed ? ", a quarter each .docx, .pptx, .xlsx and .odt"
                          : "");
    double copy_time = Copy(docs, copy, names);
    std::system(("rm -rf '" + copy + "'").c_str());
    std::string out = base + "/out.txt";
    Run list = Measure(tool, {"list", docs}, out);
    Run dry = Measure(tool, {"fix", "--dry-run", "--root", tree, docs}, out);
    Run fix = Measure(tool, {"fix", "--root", tree, docs}, out);
    Print("list", list, c.count);
    Print("fix --dry-run", dry, c.count);
    Print("fix", fix, c.count);
    if (c.count == 1000) {
      // The same on one thread: what the threads bring.
      MakeDocuments(docs, c.count, c.body);
      Print("fix --jobs 1", Measure(tool, {"fix", "--jobs", "1", "--root", tree, docs}, out),
            c.count);
    }
    std::printf("  %-14s %8.3f s %7.0f documents/s\n", "copy + fsync", copy_time,
                c.count / copy_time);
    std::printf("  fix takes %.2f times the copy; %s\n", fix.seconds / copy_time,
                fix.last_line.c_str());
  }
  std::system(("rm -rf '" + docs + "'").c_str());
  return 0;
}
