#include "batch/Batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "batch/Csv.h"
#include "batch/Index.h"
#include "batch/Journal.h"
#include "batch/Kinds.h"
#include "batch/RuleFile.h"
#include "batch/Search.h"
#include "batch/Shard.h"
#include "batch/Sqlite.h"
#include "docfile/Repair.h"
#include "ravel/Version.h"
#include "relink/TextCompare.h"

namespace ravel::batch {

using docfile::DocumentResult;
using docfile::LinkResult;
using docfile::LinkState;

const char kUsage[] =
    "usage: ravelmend-batch list [--json] [--all] [--kinds LIST] [--jobs N] PATH...\n"
    "       ravelmend-batch fix  --root DIR [--map OLD=NEW]... [--rewrite-existing]\n"
    "                            [--relative] [--dry-run] [--backup] [--keep-times]\n"
    "                            [--json] [--all] [--kinds LIST] [--jobs N] PATH...\n"
    "                            [--map-file FILE] [--index FILE] [--csv FILE]\n"
    "                            [--journal FILE] [--shard K/N]\n"
    "       ravelmend-batch index --root DIR --output FILE\n"
    "       ravelmend-batch report --journal FILE... [--csv FILE] [--json]\n"
    "\n"
    "Lists and repairs the links to files of Office documents without Office: Word\n"
    "(.docx .docm .dotx .dotm), Excel (.xlsx .xlsm .xltx .xltm), PowerPoint (.pptx .pptm\n"
    ".potx .potm .ppsx) and OpenDocument (.odt .ods .odp .odg and their templates), each\n"
    "read by its content. PATH is a document or a folder searched recursively.\n"
    "\n"
    "  list            every link: document, format, part, kind, target, file, exists,\n"
    "                  stored\n"
    "  fix             repair the links whose file is missing (every kind of link to a\n"
    "                  file; a DDE link is listed, never rewritten)\n"
    "  --root DIR      search DIR once for the names of all missing files; a name found\n"
    "                  once is relinked, one found at several places is left as it was\n"
    "  --map OLD=NEW   replace the path prefix OLD by NEW first (may be repeated; usable\n"
    "                  without --root; a path or a file:// URI); a rule that matched no\n"
    "                  link is reported\n"
    "  --map-file FILE rules from FILE, one a line: OLD<TAB>NEW, OLD|NEW or a two-column\n"
    "                  CSV (UTF-8 or UTF-16); '#' comments; NEW may be an https:// address\n"
    "                  (written escaped as Office writes it; such links are reported\n"
    "                  mapped); a bad line is named and nothing is written\n"
    "  --rewrite-existing\n"
    "                  let --map also move links whose files are still there\n"
    "  --relative      write targets relative to the document's folder where they lie\n"
    "                  beneath it\n"
    "  --dry-run       report what fix would write; write nothing\n"
    "  --backup        keep each original as NAME.bak beside the repaired document\n"
    "  --keep-times    keep a repaired document's modification time (by default it becomes\n"
    "                  the time of the repair)\n"
    "  --csv FILE      also write every link as a row of FILE (UTF-8 for Excel), and the\n"
    "                  summary to FILE's name with .summary.csv\n"
    "  --journal FILE  record each document's outcome in FILE (SQLite); the same command\n"
    "                  with the same journal goes on where a stopped run ended\n"
    "  --shard K/N     only the K-th of N shares of the documents (to split a run over\n"
    "                  N processes or machines)\n"
    "  --index FILE    look names up in an index made by 'index' instead of walking --root\n"
    "                  (with --root too: the indexed tree as seen from here)\n"
    "  index           write the names of the files beneath --root DIR to --output FILE\n"
    "  report          merge the journals of several runs into one summary\n"
    "  --json          one JSON object per line: per link, per document error, and a\n"
    "                  final summary\n"
    "  --all           also report the documents that have no links\n"
    "  --kinds LIST    only these kinds of link, by name or group, comma-separated:\n"
    "                  pictures, objects, charts, media, templates, documents,\n"
    "                  workbooks, hyperlinks, dde, or a kind such as inline-picture,\n"
    "                  template, hyperlink, external-workbook, linked-audio\n"
    "  -j, --jobs N    read and repair N documents at once (default: one per processor)\n"
    "  -V, --version   the version of this command\n"
    "  -h, --help      this text\n"
    "\n"
    "Exit status: 0 every link resolves, 1 some links are unresolved, ambiguous or\n"
    "unreadable, or something was passed over (a legacy .doc or .xls, a pipe), 2 a usage\n"
    "error, a document that could not be processed or a folder that could not be entered.\n";

namespace {

constexpr int kOk = 0, kUnresolved = 1, kFailed = 2;

struct Options {
  std::string command;
  bool json = false, relative = false, dry_run = false, backup = false, keep_times = false,
       all = false, rewrite_existing = false;
  unsigned jobs = 0;  // 0: the host's choice
  std::optional<std::string> root;
  std::vector<std::pair<std::string, std::string>> maps;
  std::vector<std::string> paths;
  std::set<docfile::LinkKind> kinds;  // empty: every kind
  std::vector<std::string> map_files, journals;
  std::optional<std::string> csv, index, output;
  std::optional<Shard> shard;
  std::vector<std::string> rule_sources;  // where each rule of `maps` came from
};

struct UsageError {
  std::string message;
};

Options Parse(const std::vector<std::string>& args) {
  Options o;
  bool only_paths = false;
  auto value = [&](std::size_t& i, const std::string& arg, const std::string& name) {
    if (arg.size() > name.size() && arg[name.size()] == '=') return arg.substr(name.size() + 1);
    if (i + 1 >= args.size()) throw UsageError{"option " + name + " needs a value"};
    return args[++i];
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto is = [&](const std::string& name) { return arg == name || (arg.starts_with(name + "=")); };
    if (only_paths || arg == "-" || !arg.starts_with("-")) {
      if (o.command.empty() && !only_paths) {
        if (arg != "list" && arg != "fix" && arg != "index" && arg != "report")
          throw UsageError{"unknown command '" + arg + "'"};
        o.command = arg;
      } else {
        o.paths.push_back(arg);
      }
    } else if (arg == "--") {
      only_paths = true;
    } else if (arg == "-h" || arg == "--help") {
      o.command = "help";
      return o;
    } else if (arg == "--json") {
      o.json = true;
    } else if (arg == "--relative") {
      o.relative = true;
    } else if (arg == "--dry-run" || arg == "-n") {
      o.dry_run = true;
    } else if (arg == "--backup") {
      o.backup = true;
    } else if (arg == "--keep-times") {
      o.keep_times = true;
    } else if (arg == "--all") {
      o.all = true;
    } else if (arg == "--rewrite-existing") {
      o.rewrite_existing = true;
    } else if (is("--jobs") || arg == "-j") {
      std::string n = value(i, arg, arg == "-j" ? "-j" : "--jobs");
      if (n.empty() || n.size() > 3 || n.find_first_not_of("0123456789") != std::string::npos ||
          std::stoi(n) < 1)
        throw UsageError{"--jobs needs a number from 1 to 999, got '" + n + "'"};
      o.jobs = static_cast<unsigned>(std::stoi(n));
    } else if (is("--kinds")) {
      try {
        std::set<docfile::LinkKind> more = ParseKinds(value(i, arg, "--kinds"));
        o.kinds.insert(more.begin(), more.end());
      } catch (const std::invalid_argument& e) {
        throw UsageError{e.what()};
      }
    } else if (is("--root")) {
      if (o.root) throw UsageError{"--root may be given once"};
      o.root = value(i, arg, "--root");
      if (o.root->empty()) throw UsageError{"--root needs a folder"};
    } else if (is("--map")) {
      std::string rule = value(i, arg, "--map");
      std::size_t eq = rule.find('=');
      if (eq == std::string::npos || eq == 0 || eq + 1 == rule.size())
        throw UsageError{"--map needs OLD=NEW, got '" + rule + "'"};
      o.maps.emplace_back(rule.substr(0, eq), rule.substr(eq + 1));
    } else if (is("--map-file")) {
      o.map_files.push_back(value(i, arg, "--map-file"));
    } else if (is("--csv") || is("--index") || is("--output")) {
      std::string name = arg.substr(0, arg.find('='));
      auto& slot = name == "--csv" ? o.csv : name == "--index" ? o.index : o.output;
      if (slot) throw UsageError{name + " may be given once"};
      slot = value(i, arg, name);
      if (slot->empty()) throw UsageError{name + " needs a file"};
    } else if (is("--journal")) {
      o.journals.push_back(value(i, arg, "--journal"));
      // report takes several journals after one --journal, as a shell glob gives them.
      while (o.command == "report" && i + 1 < args.size() && !args[i + 1].starts_with("-"))
        o.journals.push_back(args[++i]);
    } else if (is("--shard")) {
      std::string text = value(i, arg, "--shard");
      o.shard = ParseShard(text);
      if (!o.shard) throw UsageError{"--shard needs K/N with 1 <= K <= N, got '" + text + "'"};
    } else {
      throw UsageError{"unknown option '" + arg + "'"};
    }
  }
  for (std::size_t i = 0; i < o.maps.size(); ++i) o.rule_sources.push_back("--map");
  if (o.command.empty()) throw UsageError{"a command is needed: list, fix, index or report"};
  if (o.command == "index") {
    if (!o.root || !o.output || !o.paths.empty() || o.json)
      throw UsageError{"index needs --root DIR --output FILE, and nothing else"};
    return o;
  }
  if (o.command == "report") {
    if (o.journals.empty() || !o.paths.empty())
      throw UsageError{"report needs --journal FILE..., and no documents"};
    return o;
  }
  if (o.output) throw UsageError{"--output belongs to index"};
  if (o.journals.size() > 1) throw UsageError{"--journal may be given once, but to report"};
  if (o.command == "list" && (!o.map_files.empty() || o.index || o.journals.size() == 1))
    throw UsageError{"--map-file, --index and --journal belong to fix"};
  if (o.paths.empty()) throw UsageError{"no document or folder given"};
  if (o.command == "list" && (o.root || !o.maps.empty() || o.relative || o.dry_run || o.backup ||
                              o.keep_times || o.rewrite_existing))
    throw UsageError{
        "--root, --map, --relative, --dry-run, --backup and --keep-times belong to fix"};
  if (o.command == "fix" && !o.root && !o.index && o.maps.empty() && o.map_files.empty())
    throw UsageError{"fix needs --root DIR, --index FILE or --map OLD=NEW"};
  if (o.rewrite_existing && (o.command != "fix" || (o.maps.empty() && o.map_files.empty())))
    throw UsageError{"--rewrite-existing belongs to fix with --map OLD=NEW"};
  return o;
}

std::string Extension(const std::string& name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : LowerCase(name.substr(dot));
}

// The documents a walk reads: every family's. What a document is, its content says.
bool IsDocumentName(const std::string& name) {
  if (name.starts_with("~$") || name.starts_with(".~lock.")) return false;
  static const std::set<std::string> kExtensions = {
      ".docx", ".docm", ".dotx", ".dotm", ".xlsx", ".xlsm", ".xltx", ".xltm",
      ".pptx", ".pptm", ".potx", ".potm", ".ppsx", ".ppsm", ".odt",  ".ods",
      ".odp",  ".odg",  ".ott",  ".ots",  ".otp",  ".otg"};
  return kExtensions.count(Extension(name)) != 0;
}

// Word 97-2003 documents and templates: only Word reads them.
bool IsLegacyName(const std::string& name) {
  if (name.starts_with("~$")) return false;
  std::string ext = Extension(name);
  return ext == ".doc" || ext == ".dot";
}

// Excel and PowerPoint 97-2003 files: only Office reads them.
bool IsLegacyOfficeName(const std::string& name) {
  if (name.starts_with("~$")) return false;
  std::string ext = Extension(name);
  return ext == ".xls" || ext == ".xlt" || ext == ".ppt" || ext == ".pps" || ext == ".pot";
}

// A text safe to show on a terminal: control characters (C0, DEL and C1), which a crafted
// target or file name could use to clear the screen or retitle the window, as \xHH.
std::string Printable(const std::string& s) {
  auto hex = [](unsigned char c) {
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string("\\x") + kDigits[c >> 4] + kDigits[c & 15];
  };
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      out += hex(c);
    } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
      out += hex(c) + hex(static_cast<unsigned char>(s[i + 1]));
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Asks for the folder's own entry, not its contents: the walk is the only listing.
bool IsFolder(FileSystem& fs, const std::string& path) {
  if (path.ends_with("\\") || path.ends_with(":")) return fs.List(path + "*.*") != nullptr;
  std::unique_ptr<DirListing> entry = fs.List(path);
  DirEntry e;
  return entry != nullptr && entry->Next(e) && e.IsFolder();
}

// A document to process: its Windows-form path, the name it is shown by, and its path
// beneath the folder it was found in (the same on every machine: it picks the shard).
struct Doc {
  std::string path, shown, key;
};

// The progress line: rewritten in place on a terminal, absent otherwise.
class Progress {
 public:
  Progress(std::ostream& err, bool on) : err_(err), on_(on) {}
  ~Progress() { Clear(); }
  void Show(const std::string& text) {
    if (!on_) return;
    std::string line =
        text.size() > 100 ? text.substr(0, 48) + "..." + text.substr(text.size() - 48) : text;
    err_ << "\r\x1b[K" << Printable(line) << std::flush;
    shown_ = true;
  }
  void Clear() {
    if (shown_) err_ << "\r\x1b[K" << std::flush;
    shown_ = false;
  }

 private:
  std::ostream& err_;
  bool on_, shown_ = false;
};

std::string Pad(const std::string& s, std::size_t width) {
  std::size_t chars = 0;
  for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
  return chars >= width ? s : s + std::string(width - chars, ' ');
}

std::size_t Width(const std::string& s) {
  std::size_t chars = 0;
  for (unsigned char c : s) chars += (c & 0xC0) != 0x80;
  return chars;
}

// Runs `work` for every document on `jobs` threads and hands each result to `emit` on the
// calling thread, in the documents' order. Workers stay at most a few documents ahead of
// the report, so the results waiting are few whatever the number of documents.
void InOrder(std::size_t count, unsigned jobs,
             const std::function<DocumentResult(std::size_t i, unsigned worker)>& work,
             const std::function<void(std::size_t i, DocumentResult& r)>& emit) {
  auto guarded = [&](std::size_t i, unsigned worker) {
    try {
      return work(i, worker);
    } catch (const std::exception& e) {
      // Out of memory in one large document: that document fails, the run goes on.
      DocumentResult r;
      r.error = docfile::DocError(docfile::Reason::Unreadable, e.what());
      return r;
    }
  };
  if (jobs <= 1 || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      DocumentResult r = guarded(i, 0);
      emit(i, r);
    }
    return;
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::map<std::size_t, DocumentResult> ready;
  std::size_t handed = 0, emitted = 0;
  const std::size_t window = 4 * static_cast<std::size_t>(jobs);
  auto worker = [&](unsigned w) {
    for (;;) {
      std::size_t i;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return handed >= count || handed < emitted + window; });
        if (handed >= count) return;
        i = handed++;
      }
      DocumentResult r = guarded(i, w);
      {
        std::lock_guard<std::mutex> lock(mutex);
        ready.emplace(i, std::move(r));
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < jobs; ++w) threads.emplace_back(worker, w);
  for (std::size_t i = 0; i < count; ++i) {
    DocumentResult r;
    {
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [&] { return ready.count(i) != 0; });
      r = std::move(ready.at(i));
      ready.erase(i);
    }
    emit(i, r);
    {
      std::lock_guard<std::mutex> lock(mutex);
      ++emitted;
    }
    changed.notify_all();
  }
  for (std::thread& t : threads) t.join();
}

// What was passed over without being processed as a document.
enum class Skip {
  NeedsWord,    // a legacy .doc or .dot met in a folder
  NeedsOffice,  // a legacy .xls, .xlt, .ppt, .pps or .pot met in a folder
  NotEntered,   // a folder that could not be entered
  NotRegular,   // a pipe, device or the like under a document's name
  Leftover,     // a temporary file a killed run left behind (a notice only)
};

class Report {
 public:
  Report(const Options& o, Host& host) : o_(o), host_(host) {}

  // Writes a spreadsheet too; its columns are those of a link record.
  void OpenCsv(const std::string& path) {
    LinkResult blank;
    csv_ = std::make_unique<CsvReport>(path, LinkRecord(Doc{}, DocumentResult{}, blank, false));
  }
  CsvReport* csv() { return csv_.get(); }

  // What the journal keeps of a document: its records, as reported.
  nlohmann::json Outcome(const Doc& doc, const DocumentResult& r, bool written) const {
    nlohmann::json links = nlohmann::json::array();
    for (const LinkResult& l : r.links) links.push_back(LinkRecord(doc, r, l, written));
    nlohmann::json document = DocumentRecord(doc, r);
    document["written"] = written;
    return {{"document", document}, {"links", links}};
  }

  // A document done by an earlier run (`earlier`) or recorded in a journal being reported
  // on: counted and listed from what the journal keeps.
  void AddRecorded(const JournalEntry& e, bool earlier) {
    nlohmann::json outcome = nlohmann::json::parse(e.outcome, nullptr, false);
    if (!outcome.is_object() || !outcome.contains("links")) outcome = {{"links", {}}};
    ++documents_;
    if (earlier) ++done_earlier_;
    if (!earlier && e.state == "started") ++unfinished_;
    if (!earlier && e.state == "planned") ++planned_;
    const nlohmann::json& document = outcome.value("document", nlohmann::json::object());
    bool failed =
        document.is_object() && document.contains("error") && !document["error"].is_null();
    if (failed) {
      ++errors_;
      if (o_.json)
        host_.out << document.dump() << '\n';
      else
        host_.err << "ravelmend-batch: " << Printable(e.shown) << ": "
                  << Printable(document.value("error", "")) << '\n';
      if (csv_) csv_->Row(document);
    }
    if (!earlier && document.is_object() && document.value("written", false)) ++written_;
    // As in a run: the links of a document that failed are not counted.
    for (const nlohmann::json& l : failed ? nlohmann::json::array() : outcome["links"]) {
      ++links_;
      static const std::map<std::string, LinkState> kStates = {
          {"ok", LinkState::Ok},
          {"missing", LinkState::Missing},
          {"fixed", LinkState::Fixed},
          {"mapped", LinkState::Mapped},
          {"ambiguous", LinkState::Ambiguous},
          {"not-found", LinkState::NotFound},
          {"unreadable", LinkState::Unreadable},
          {"not-a-file", LinkState::NotAFile}};
      auto st = kStates.find(l.value("state", ""));
      LinkState state = st == kStates.end() ? LinkState::Missing : st->second;
      ++states_[state];
      if (IsUnresolved(state)) ++unresolved_;
      if (csv_) csv_->Row(l);
      if (o_.json) {
        host_.out << l.dump() << '\n';
      } else if (o_.command == "fix") {
        auto text = [&](const char* key) {
          return l.contains(key) && l[key].is_string() ? l[key].get<std::string>() : "";
        };
        std::string shown = text("state");
        if (o_.dry_run && (shown == "fixed" || shown == "mapped"))
          shown = shown == "fixed" ? "would fix" : "would map";
        AddRow({{text("document"), text("part_kind"), text("kind"), shown, text("target"),
                 text("new_target")},
                {}});
      }
    }
  }

  bool DoneEarlier() const { return done_earlier_ > 0; }

  void Counted(std::size_t gone_since_index, std::size_t duplicates) {
    gone_since_index_ += gone_since_index;
    duplicates_ += duplicates;
  }

  void Add(const Doc& doc, const DocumentResult& r) {
    if (r.error && r.error->reason() == docfile::Reason::NotRegular) {
      Skipped(doc.shown, Skip::NotRegular, r.error->what());
      return;
    }
    ++documents_;
    if (r.error) {
      ++errors_;
      if (csv_) csv_->Row(DocumentRecord(doc, r));
      if (o_.json) {
        host_.out << DocumentRecord(doc, r).dump() << '\n';
      } else {
        host_.err << "ravelmend-batch: " << Printable(doc.shown) << ": "
                  << Printable(r.error->what()) << '\n';
      }
      if (r.links.empty() || o_.command == "fix") return;
    }
    if (r.written) ++written_;
    if (r.links.empty() && !r.error && o_.all) {
      if (o_.json)
        host_.out << DocumentRecord(doc, r).dump() << '\n';
      else
        AddRow(
            {{doc.shown, r.format ? docfile::FormatName(*r.format) : "-", "-", "(no links)"}, {}});
    }
    for (const LinkResult& l : r.links) AddLink(doc, r, l);
  }

  void Skipped(const std::string& shown, Skip kind, const std::string& why) {
    static const char* const kNames[] = {"needs-word", "needs-office", "not-entered", "not-regular",
                                         "leftover"};
    if (kind == Skip::NotEntered) ++not_entered_;
    if (kind == Skip::NeedsWord || kind == Skip::NeedsOffice || kind == Skip::NotRegular)
      ++passed_over_;
    if (kind == Skip::Leftover) ++leftovers_;
    if (csv_)
      csv_->Row({{"type", "skipped"},
                 {"document", shown},
                 {"reason", kNames[static_cast<int>(kind)]},
                 {"message", why}});
    if (o_.json) {
      nlohmann::json j = {{"type", "skipped"},
                          {"path", shown},
                          {"reason", kNames[static_cast<int>(kind)]},
                          {"message", why}};
      host_.out << j.dump() << '\n';
    } else {
      host_.err << "ravelmend-batch: " << Printable(shown) << ": " << Printable(why) << '\n';
    }
  }

  void UnusedRule(const std::string& rule) {
    unused_rules_.push_back(rule);
    if (!o_.json)
      host_.err << "ravelmend-batch: --map " << Printable(rule) << ": matched no link\n";
  }

  // False when the spreadsheet could not be written (said on stderr).
  bool FinishCsv(int status) {
    if (!csv_) return true;
    try {
      csv_->Finish(SummaryRecord(status));
      return true;
    } catch (const std::exception& e) {
      host_.err << "ravelmend-batch: --csv " << Printable(e.what()) << '\n';
      return false;
    }
  }

  void Finish(int status) {
    if (o_.json) {
      host_.out << SummaryRecord(status).dump() << '\n';
    } else {
      Flush();
      host_.out << Printable(Summary()) << '\n';
    }
  }

  int Status() const {
    if (errors_ > 0 || not_entered_ > 0 || duplicates_ > 0) return kFailed;
    return unresolved_ > 0 || passed_over_ > 0 ? kUnresolved : kOk;
  }

 private:
  struct Row {
    std::vector<std::string> cells;
    std::vector<std::string> notes;  // lines beneath the row
  };

  std::string Shown(const std::string& path) const {
    return path.empty() ? "" : host_.display(path);
  }
  nlohmann::json ShownOrNull(const std::string& path) const {
    return path.empty() ? nlohmann::json() : nlohmann::json(host_.display(path));
  }

  nlohmann::json DocumentRecord(const Doc& doc, const DocumentResult& r) const {
    nlohmann::json j = {
        {"type", "document"},
        {"document", doc.shown},
        {"format", r.format ? nlohmann::json(docfile::FormatName(*r.format)) : nlohmann::json()},
        {"links", r.links.size()},
        {"error", nullptr},
        {"reason", nullptr},
        {"written", r.written},
        {"backup", ShownOrNull(r.backup)}};
    if (r.error) {
      j["error"] = r.error->what();
      j["reason"] = docfile::ReasonName(r.error->reason());
    }
    return j;
  }

  static bool IsUnresolved(LinkState state) {
    return state == LinkState::Missing || state == LinkState::Ambiguous ||
           state == LinkState::NotFound || state == LinkState::Mapped ||
           state == LinkState::Unreadable;
  }

  // The one link record: the JSON output, the spreadsheet's columns and the journal.
  nlohmann::json LinkRecord(const Doc& doc, const DocumentResult& r, const LinkResult& l,
                            bool written) const {
    // Every key in every record, null where it does not apply: one shape for scripts.
    nlohmann::json candidates = nlohmann::json::array();
    for (const std::string& p : l.candidates) candidates.push_back(Shown(p));
    bool changed = !l.new_target.empty();
    nlohmann::json j = {
        {"type", "link"},
        {"document", doc.shown},
        {"format", r.format ? nlohmann::json(docfile::FormatName(*r.format)) : nlohmann::json()},
        {"part", l.link.part},
        {"part_kind", docfile::PartKindName(l.link.part_kind)},
        {"kind", docfile::LinkKindName(l.link.kind)},
        {"target", l.link.target},
        {"file", ShownOrNull(l.link.parsed.path)},
        {"exists", l.exists},
        {"stored", l.link.stored},
        {"state", docfile::LinkStateName(l.state)},
        {"new_target", changed ? nlohmann::json(l.new_target) : nullptr},
        {"new_file", changed ? ShownOrNull(l.new_path) : nullptr},
        {"via", l.via.empty() ? nlohmann::json() : nlohmann::json(l.via)},
        {"candidates", candidates},
        {"written", written && changed},
        {"dry_run", o_.dry_run},
        {"backup", ShownOrNull(r.backup)}};
    return j;
  }

  void AddLink(const Doc& doc, const DocumentResult& r, const LinkResult& l) {
    ++links_;
    ++states_[l.state];
    if (IsUnresolved(l.state)) ++unresolved_;
    std::string state = docfile::LinkStateName(l.state);
    if (o_.dry_run && l.state == LinkState::Fixed) state = "would fix";
    if (o_.dry_run && l.state == LinkState::Mapped) state = "would map";
    if (csv_ || o_.json) {
      nlohmann::json j = LinkRecord(doc, r, l, r.written);
      if (csv_) csv_->Row(j);
      if (o_.json) {
        host_.out << j.dump() << '\n';
        return;
      }
    }
    Row row;
    row.cells = {doc.shown, r.format ? docfile::FormatName(*r.format) : "-",
                 docfile::PartKindName(l.link.part_kind), docfile::LinkKindName(l.link.kind)};
    if (o_.command == "list") {
      row.cells.push_back(l.link.parsed.form == docfile::TargetForm::NotAFile ? "-"
                          : l.state == LinkState::Unreadable                  ? "unreadable"
                          : l.exists                                          ? "yes"
                                                                              : "no");
      row.cells.push_back(l.link.stored ? "yes" : "no");
      row.cells.push_back(l.link.target);
      row.cells.push_back(Shown(l.link.parsed.path));
    } else {
      row.cells.push_back(state);
      row.cells.push_back(l.link.target);
      if (!l.new_target.empty())
        row.cells.push_back(l.new_target);
      else if (!l.candidates.empty())
        row.cells.push_back(std::to_string(l.candidates.size()) + " candidates:");
      else
        row.cells.push_back("");
    }
    for (const std::string& c : l.candidates) row.notes.push_back("    candidate: " + Shown(c));
    AddRow(std::move(row));
  }

  // The table's columns are as wide as the first rows need; the rows after those are
  // written at once, so the memory a run takes does not grow with its documents.
  static constexpr std::size_t kMeasuredRows = 1000;

  void AddRow(Row row) {
    for (std::string& cell : row.cells) cell = Printable(cell);
    for (std::string& note : row.notes) note = Printable(note);
    if (head_printed_) {
      Print(row);
      return;
    }
    rows_.push_back(std::move(row));
    if (rows_.size() >= kMeasuredRows) Flush();
  }

  void Flush() {
    if (rows_.empty()) return;
    if (!head_printed_) {
      Row head;
      head.cells = {"DOCUMENT", "FORMAT", "PART", "KIND"};
      if (o_.command == "list")
        head.cells.insert(head.cells.end(), {"EXISTS", "STORED", "TARGET", "FILE"});
      else
        head.cells.insert(head.cells.end(), {"STATE", "TARGET", "NEW TARGET"});
      width_.assign(head.cells.size(), 0);
      for (std::size_t c = 0; c < head.cells.size(); ++c) width_[c] = Width(head.cells[c]);
      for (const Row& row : rows_)
        for (std::size_t c = 0; c < row.cells.size() && c < width_.size(); ++c)
          width_[c] = std::max(width_[c], Width(row.cells[c]));
      Print(head);
      head_printed_ = true;
    }
    for (const Row& row : rows_) Print(row);
    rows_.clear();
  }

  void Print(const Row& row) {
    std::string line;
    for (std::size_t c = 0; c < row.cells.size(); ++c)
      line += c + 1 == row.cells.size() ? row.cells[c] : Pad(row.cells[c], width_[c]) + "  ";
    while (!line.empty() && line.back() == ' ') line.pop_back();
    host_.out << line << '\n';
    for (const std::string& note : row.notes) host_.out << note << '\n';
  }

  std::string Summary() const {
    auto n = [](std::size_t count, const char* one, const char* many) {
      return std::to_string(count) + " " + (count == 1 ? one : many);
    };
    std::string s = n(documents_, "document", "documents") + ", " + n(links_, "link", "links");
    std::vector<std::string> parts;
    for (LinkState st :
         {LinkState::Ok, LinkState::Missing, LinkState::Fixed, LinkState::Mapped,
          LinkState::Ambiguous, LinkState::NotFound, LinkState::Unreadable, LinkState::NotAFile}) {
      auto it = states_.find(st);
      if (it == states_.end() || it->second == 0) continue;
      std::string name = docfile::LinkStateName(st);
      if (o_.dry_run && st == LinkState::Fixed) name = "to fix";
      if (o_.dry_run && st == LinkState::Mapped) name = "to map";
      parts.push_back(std::to_string(it->second) + " " + name);
    }
    if (errors_ > 0) parts.push_back(n(errors_, "document error", "document errors"));
    if (passed_over_ > 0) parts.push_back(n(passed_over_, "file passed over", "files passed over"));
    if (not_entered_ > 0)
      parts.push_back(n(not_entered_, "folder not entered", "folders not entered"));
    if (leftovers_ > 0)
      parts.push_back(n(leftovers_, "leftover temporary file", "leftover temporary files"));
    if (done_earlier_ > 0)
      parts.push_back(
          n(done_earlier_, "document done by an earlier run", "documents done by an earlier run"));
    if (gone_since_index_ > 0)
      parts.push_back(n(gone_since_index_, "indexed file gone", "indexed files gone"));
    if (planned_ > 0)
      parts.push_back(
          n(planned_, "document planned by a dry run", "documents planned by a dry run"));
    if (unfinished_ > 0)
      parts.push_back(n(unfinished_, "replacement not confirmed", "replacements not confirmed"));
    if (duplicates_ > 0)
      parts.push_back(
          n(duplicates_, "document in several journals", "documents in several journals"));
    if (o_.shard) parts.push_back("shard " + ShardText());
    if (o_.command != "list")
      parts.push_back(o_.dry_run ? "dry run: nothing written"
                                 : n(written_, "document written", "documents written"));
    for (std::size_t i = 0; i < parts.size(); ++i) s += (i == 0 ? ": " : ", ") + parts[i];
    return s;
  }

  nlohmann::json SummaryRecord(int status) const {
    nlohmann::json states = nlohmann::json::object();
    for (LinkState st :
         {LinkState::Ok, LinkState::Missing, LinkState::Fixed, LinkState::Mapped,
          LinkState::Ambiguous, LinkState::NotFound, LinkState::Unreadable, LinkState::NotAFile}) {
      auto it = states_.find(st);
      states[docfile::LinkStateName(st)] = it == states_.end() ? 0 : it->second;
    }
    return {{"type", "summary"},
            {"command", o_.command},
            {"documents", documents_},
            {"links", links_},
            {"states", states},
            {"errors", errors_},
            {"passed_over", passed_over_},
            {"not_entered", not_entered_},
            {"leftovers", leftovers_},
            {"written", written_},
            {"dry_run", o_.dry_run},
            {"unmatched_maps", unused_rules_},
            {"done_earlier", done_earlier_},
            {"gone_since_index", gone_since_index_},
            {"unfinished", unfinished_},
            {"planned", planned_},
            {"duplicates", duplicates_},
            {"shard", o_.shard ? nlohmann::json(ShardText()) : nlohmann::json()},
            {"exit_status", status}};
  }

  std::string ShardText() const {
    return std::to_string(o_.shard->k) + "/" + std::to_string(o_.shard->n);
  }

  const Options& o_;
  Host& host_;
  std::unique_ptr<CsvReport> csv_;
  std::size_t done_earlier_ = 0, gone_since_index_ = 0, unfinished_ = 0, duplicates_ = 0,
              planned_ = 0;
  std::vector<Row> rows_;
  std::vector<std::size_t> width_;
  bool head_printed_ = false;
  std::map<LinkState, std::size_t> states_;
  std::size_t documents_ = 0, links_ = 0, errors_ = 0, unresolved_ = 0, written_ = 0;
  std::size_t passed_over_ = 0, not_entered_ = 0, leftovers_ = 0;
  std::vector<std::string> unused_rules_;
};

// The path a file named on the command line has for the host's own file functions.
std::string OsPath(Host& host, const std::string& arg) {
  return host.display(docfile::NormalizePath(host.absolute(arg)));
}

int RunIndex(const Options& o, Host& host) {
  std::string root = docfile::NormalizePath(host.absolute(*o.root));
  if (!IsFolder(host.fs, root)) {
    host.err << "ravelmend-batch: --root " << Printable(*o.root) << ": no such folder\n";
    return kFailed;
  }
  Progress progress(host.err, host.progress);
  std::size_t not_entered = 0;
  WalkHooks hooks;
  hooks.on_folder = [&](const std::string& folder) {
    progress.Show("indexing: " + host.display(folder));
  };
  hooks.on_not_entered = [&](const std::string& folder, const std::string& why) {
    progress.Clear();
    ++not_entered;
    host.err << "ravelmend-batch: " << Printable(host.display(folder))
             << ": folder not entered: " << Printable(why) << '\n';
  };
  IndexStats stats;
  try {
    stats = BuildIndex(host.fs, host.walker, root, OsPath(host, *o.output), hooks);
  } catch (const std::exception& e) {
    progress.Clear();
    host.err << "ravelmend-batch: --output " << Printable(e.what()) << '\n';
    return kFailed;
  }
  progress.Clear();
  host.out << stats.files << (stats.files == 1 ? " file" : " files") << " in " << stats.folders
           << (stats.folders == 1 ? " folder" : " folders") << " indexed beneath "
           << Printable(host.display(root)) << " into " << Printable(*o.output);
  if (not_entered > 0)
    host.out << "; " << not_entered << (not_entered == 1 ? " folder" : " folders")
             << " not entered";
  host.out << '\n';
  return not_entered > 0 ? kFailed : kOk;
}

int RunReport(const Options& o, Host& host) {
  Report report(o, host);
  std::vector<std::string> files;
  for (const std::string& j : o.journals) files.push_back(OsPath(host, j));
  int status = kOk;
  try {
    if (o.csv) report.OpenCsv(OsPath(host, *o.csv));
    MergeJournals(files, [&](const JournalEntry& e, std::size_t copies) {
      report.AddRecorded(e, false);
      if (copies > 1) {
        report.Counted(0, 1);
        host.err << "ravelmend-batch: " << Printable(e.shown) << ": in " << copies
                 << " journals; the latest record is counted\n";
      }
    });
  } catch (const std::exception& e) {
    host.err << "ravelmend-batch: " << Printable(e.what()) << '\n';
    return kFailed;
  }
  status = std::max(status, report.Status());
  if (!report.FinishCsv(status)) status = kFailed;
  report.Finish(status);
  return status;
}

}  // namespace

int Run(const std::vector<std::string>& args, Host& host) {
  if (!args.empty() && (args[0] == "--version" || args[0] == "-V")) {
    host.out << "ravelmend-batch " << RAVEL_VERSION << " (build " << RAVEL_BUILD_TEXT << ")\n";
    return kOk;
  }
  Options o;
  try {
    o = Parse(args);
  } catch (const UsageError& e) {
    host.err << "ravelmend-batch: " << e.message << "\n"
             << "Try 'ravelmend-batch --help'.\n";
    return kFailed;
  }
  if (o.command == "help") {
    host.out << kUsage;
    return kOk;
  }
  if (o.command == "index") return RunIndex(o, host);
  if (o.command == "report") return RunReport(o, host);

  docfile::RepairOptions options;
  options.write.relative = o.relative;
  options.write.posix_host = host.posix_host;
  options.dry_run = o.dry_run;
  options.backup = o.backup;
  options.rewrite_existing = o.rewrite_existing;
  options.kinds = o.kinds;
  // A prefix given as a file URI (file:///srv/old, file://server/share) means its path.
  auto rule_path = [&](const std::string& text) {
    if (docfile::IsWebAddress(text)) return text;
    if (text.size() > 5 && EqualNoCase(text.substr(0, 5), "file:")) {
      docfile::Target t = docfile::ParseTarget(text, "");
      if (!t.path.empty()) return docfile::NormalizePath(t.path);
    }
    return docfile::NormalizePath(host.absolute(text));
  };
  for (const std::string& file : o.map_files) {
    std::vector<std::uint8_t> bytes;
    try {
      docfile::Stamp stamp;
      bytes = host.store.Read(docfile::NormalizePath(host.absolute(file)), stamp, 64u << 20);
      for (RuleLine& rule : ParseRuleFile(
               std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        o.maps.emplace_back(std::move(rule.from), std::move(rule.to));
        o.rule_sources.push_back(file + " line " + std::to_string(rule.line));
      }
    } catch (const docfile::DocError& e) {
      host.err << "ravelmend-batch: --map-file " << Printable(file) << ": " << Printable(e.what())
               << '\n';
      return kFailed;
    } catch (const RuleFileError& e) {
      host.err << "ravelmend-batch: --map-file " << Printable(file)
               << (e.line > 0 ? ": line " + std::to_string(e.line) : std::string()) << ": "
               << Printable(e.message) << "; nothing was written\n";
      return kFailed;
    }
  }
  for (std::size_t i = 0; i < o.maps.size(); ++i) {
    auto& [from, to] = o.maps[i];
    if (docfile::IsWebAddress(from)) {
      host.err << "ravelmend-batch: " << Printable(o.rule_sources[i])
               << ": OLD is a web address; only NEW may be one\n";
      return kFailed;
    }
    options.rules.push_back({rule_path(from), rule_path(to)});
    // One OLD with two NEWs: which one is meant cannot be told.
    for (std::size_t k = 0; k < i; ++k)
      if (EqualNoCase(options.rules[k].from, options.rules[i].from) &&
          options.rules[k].to != options.rules[i].to) {
        host.err << "ravelmend-batch: " << Printable(o.rule_sources[i]) << ": " << Printable(from)
                 << " is mapped by " << Printable(o.rule_sources[k]) << " already, to "
                 << Printable(o.maps[k].second) << "; nothing was written\n";
        return kFailed;
      }
  }
  std::string root;
  int status = kOk;
  if (o.root) {
    root = docfile::NormalizePath(host.absolute(*o.root));
    if (!IsFolder(host.fs, root)) {
      host.err << "ravelmend-batch: --root " << Printable(*o.root) << ": no such folder\n";
      return kFailed;
    }
  }

  host.store.keep_times = o.keep_times;
  Progress progress(host.err, host.progress);
  Report report(o, host);
  auto note_file = [&](const std::string& shown, const std::string& name) {
    if (IsLegacyName(name))
      report.Skipped(shown, Skip::NeedsWord,
                     "needs Word: a Word 97-2003 document; open it in Word and use Ravelmend");
    else if (IsLegacyOfficeName(name))
      report.Skipped(shown, Skip::NeedsOffice,
                     "needs Office: an Excel or PowerPoint 97-2003 file; save it in the current "
                     "format (.xlsx, .pptx) in Office, then run again");
    else if (docfile::IsRepairTempName(name))
      report.Skipped(shown, Skip::Leftover,
                     "a temporary file left by an interrupted repair; remove it once no "
                     "repair runs");
  };
  auto not_entered = [&](const std::string& folder, const std::string& why) {
    progress.Clear();
    report.Skipped(host.display(folder), Skip::NotEntered, "folder not entered: " + why);
  };
  std::vector<Doc> docs;
  // A document named twice is processed once; a POSIX host may hold names that differ
  // only in case, and those are different documents.
  std::set<std::string> seen;
  auto key = [&](const std::string& path) { return host.posix_host ? path : LowerCase(path); };
  for (const std::string& arg : o.paths) {
    std::string path = docfile::NormalizePath(host.absolute(arg));
    if (host.fs.CanOpenForReading(path)) {
      if (seen.insert(key(path)).second) docs.push_back({path, arg, docfile::NameOfPath(path)});
      // A repair of this document that was killed leaves its temporary file beside it.
      std::string folder = docfile::FolderOfPath(path);
      std::string name = docfile::NameOfPath(path);
      if (std::unique_ptr<DirListing> list = host.fs.List(folder + "\\." + name + ".ravel-*")) {
        std::string sep = host.posix_host ? "/" : "\\";
        std::size_t cut = arg.find_last_of(host.posix_host ? "/" : "\\/");
        std::string dir = cut == std::string::npos ? "" : arg.substr(0, cut) + sep;
        for (DirEntry e; list->Next(e);) note_file(dir + e.name, e.name);
      }
      continue;
    }
    if (!IsFolder(host.fs, path)) {
      host.err << "ravelmend-batch: " << Printable(arg) << ": no such file or folder\n";
      status = kFailed;
      continue;
    }
    std::vector<Doc> found;
    std::string sep = host.posix_host ? "/" : "\\";
    std::string prefix = arg;
    while (prefix.size() > 1 && (prefix.back() == '/' || prefix.back() == '\\')) prefix.pop_back();
    WalkHooks hooks;
    hooks.on_folder = [&](const std::string& folder) {
      progress.Show("finding documents: " + host.display(folder));
    };
    hooks.on_file = [&](const std::string& folder, const std::string& name) {
      bool document = IsDocumentName(name);
      if (!document && !IsLegacyName(name) && !IsLegacyOfficeName(name) &&
          !docfile::IsRepairTempName(name))
        return;
      std::string full = folder + (folder.ends_with("\\") ? "" : "\\") + name;
      std::string rest;
      docfile::StartsWithFolder(full, path, &rest);
      if (host.posix_host) std::replace(rest.begin(), rest.end(), '\\', '/');
      if (!document) {
        progress.Clear();
        note_file(prefix + sep + rest, name);
        return;
      }
      found.push_back({full, prefix + sep + rest, rest});
    };
    hooks.on_not_entered = not_entered;
    WalkFiles(host.fs, host.walker, path, hooks);
    std::sort(found.begin(), found.end(), [](const Doc& a, const Doc& b) {
      int c = CompareNoCase(a.shown, b.shown);
      return c != 0 ? c < 0 : a.shown < b.shown;
    });
    for (Doc& d : found)
      if (seen.insert(key(d.path)).second) docs.push_back(std::move(d));
  }

  if (o.shard) std::erase_if(docs, [&](const Doc& d) { return !InShard(d.key, *o.shard); });
  std::unique_ptr<Journal> journal;
  std::unique_ptr<NameIndex> index;
  try {
    if (o.csv) report.OpenCsv(OsPath(host, *o.csv));
    if (o.index) {
      index = std::make_unique<NameIndex>(OsPath(host, *o.index));
      if (!o.root && !IsFolder(host.fs, index->root()))
        throw DbError(*o.index + ": the indexed folder " + host.display(index->root()) +
                      " is not here; give --root where this machine sees it");
    }
    if (!o.journals.empty()) {
      journal = std::make_unique<Journal>(OsPath(host, o.journals[0]), true);
      std::string command;
      for (const std::string& a : args) command += (command.empty() ? "" : " ") + a;
      std::string plan = "root=" + root + (o.index ? "\nindex" : "") +
                         (o.relative ? "\nrelative" : "") +
                         (o.rewrite_existing ? "\nrewrite-existing" : "");
      for (const docfile::PrefixRule& rule : options.rules)
        plan += "\nmap=" + rule.from + "=" + rule.to;
      // A run restricted to other kinds of link decides documents otherwise.
      for (docfile::LinkKind kind : o.kinds)
        plan += "\nkind=" + std::string(docfile::LinkKindName(kind));
      journal->BeginRun(command, plan, o.dry_run);
    }
  } catch (const std::exception& e) {
    progress.Clear();
    host.err << "ravelmend-batch: " << Printable(e.what()) << '\n';
    return kFailed;
  }
  // Documents a journal says are done, and unchanged since: not read again but counted from
  // what the journal keeps.
  std::vector<char> done(docs.size(), 0);
  std::atomic<bool> journal_broken = false;
  auto done_before = [&](std::size_t i) {
    if (!journal) return false;
    std::optional<JournalEntry> e = journal->Find(docs[i].path);
    if (!e) return false;
    try {
      docfile::Stamp stamp;
      std::vector<std::uint8_t> bytes = host.store.Read(docs[i].path, stamp, options.max_file);
      done[i] = Journal::IsDone(*e, docfile::HashBytes(bytes), o.dry_run);
    } catch (const docfile::DocError&) {
      return false;  // the repair reads it again and says what is wrong
    }
    return done[i] != 0;
  };
  static thread_local const Doc* current = nullptr;
  if (journal && !o.dry_run)
    options.before_replace = [&](const DocumentResult& r, std::uint64_t after) {
      // The intent first: a run killed before the replacement finds the old bytes on resume
      // and repairs again; one killed after it finds these and counts the document done.
      journal->Started(r.path, current->shown, r.read_as ? r.read_as->hash : 0, after,
                       report.Outcome(*current, r, true).dump());
      KillPoint("replace");
    };
  unsigned jobs = !host.parallel ? 1 : o.jobs != 0 ? o.jobs : std::max(1u, host.jobs);
  jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(docs.size(), 1)));
  // One engine per thread: each keeps its own record of which files exist.
  std::vector<std::unique_ptr<docfile::Repairer>> repairers;
  for (unsigned w = 0; w < jobs; ++w)
    repairers.push_back(std::make_unique<docfile::Repairer>(host.store, host.fs, options));
  auto step = [&](const char* what, std::size_t i, const Doc& d) {
    progress.Show(std::string(what) + " " + std::to_string(i + 1) + "/" +
                  std::to_string(docs.size()) + ": " + d.shown);
  };
  if (o.command == "list") {
    InOrder(
        docs.size(), jobs,
        [&](std::size_t i, unsigned w) { return repairers[w]->List(docs[i].path); },
        [&](std::size_t i, DocumentResult& r) {
          step("reading", i, docs[i]);
          report.Add(docs[i], r);
        });
  } else {
    std::optional<docfile::FoundNames> found;
    // All that is kept of a document between the survey and its repair.
    std::vector<std::optional<docfile::Fingerprint>> prints(docs.size());
    if (o.root || index) {
      std::vector<std::set<std::string>> wanted_by(jobs);
      InOrder(
          docs.size(), jobs,
          [&](std::size_t i, unsigned w) {
            if (done_before(i)) return DocumentResult{};
            return repairers[w]->Survey(docs[i].path, wanted_by[w]);
          },
          [&](std::size_t i, DocumentResult& r) {
            step("reading", i, docs[i]);
            prints[i] = r.read_as;
          });
      std::set<std::string> wanted;
      for (std::set<std::string>& names : wanted_by) wanted.merge(names);
      if (wanted.empty()) {
        found.emplace();
      } else if (index) {
        progress.Show("looking up " + std::to_string(wanted.size()) + " names");
        try {
          found = index->Find(wanted, o.root ? root : index->root());
        } catch (const std::exception& e) {
          progress.Clear();
          host.err << "ravelmend-batch: " << Printable(e.what()) << '\n';
          return kFailed;
        }
        // The index is older than the tree: a file gone since is no candidate.
        std::size_t gone = 0;
        for (auto it = found->begin(); it != found->end();) {
          gone += std::erase_if(
              it->second, [&](const std::string& p) { return !host.fs.CanOpenForReading(p); });
          it = it->second.empty() ? found->erase(it) : std::next(it);
        }
        report.Counted(gone, 0);
      } else {
        WalkHooks hooks;
        hooks.on_folder = [&](const std::string& folder) {
          progress.Show("searching: " + host.display(folder));
        };
        hooks.on_not_entered = not_entered;
        found = FindNames(host.fs, host.walker, root, wanted, hooks);
      }
    } else {
      // Without a search there is no survey: the repair looks at the journal.
      for (std::size_t i = 0; i < docs.size() && journal; ++i) done_before(i);
    }
    InOrder(
        docs.size(), jobs,
        [&](std::size_t i, unsigned w) {
          if (done[i]) return DocumentResult{};
          if (journal_broken) {
            DocumentResult r;
            r.error = docfile::DocError(docfile::Reason::Unreadable,
                                        "not repaired: the journal cannot be written");
            return r;
          }
          current = &docs[i];
          return repairers[w]->Repair(docs[i].path, found ? &*found : nullptr,
                                      prints[i] ? &*prints[i] : nullptr);
        },
        [&](std::size_t i, DocumentResult& r) {
          step(o.dry_run ? "checking" : "repairing", i, docs[i]);
          if (!journal) {
            report.Add(docs[i], r);
            return;
          }
          try {
            if (done[i]) {
              std::optional<JournalEntry> e = journal->Find(docs[i].path);
              if (e && e->state == "started")
                journal->Finished(docs[i].path, docs[i].shown, "done", 0, true, e->outcome);
              if (e) report.AddRecorded(*e, true);
              return;
            }
            report.Add(docs[i], r);
            if (r.error && r.error->reason() == docfile::Reason::NotRegular) return;
            KillPoint("record");
            journal->Finished(docs[i].path, docs[i].shown,
                              r.error     ? "failed"
                              : o.dry_run ? "planned"
                                          : "done",
                              r.read_as ? r.read_as->hash : 0, r.written,
                              report.Outcome(docs[i], r, r.written).dump());
            KillPoint("done");
          } catch (const std::exception& e) {
            if (!journal_broken.exchange(true))
              host.err << "ravelmend-batch: " << Printable(e.what()) << '\n';
            status = kFailed;
          }
        });
  }
  progress.Clear();
  // A rule that moved nothing is most likely mistyped (unless it may have moved the links
  // of the documents an earlier run did).
  for (std::size_t i = 0; i < o.maps.size() && o.command == "fix" && !report.DoneEarlier(); ++i) {
    std::size_t uses = 0;
    for (auto& r : repairers) uses += r->RuleUses()[i];
    if (uses == 0)
      report.UnusedRule(o.maps[i].first + "=" + o.maps[i].second +
                        (o.rule_sources[i] == "--map" ? "" : " (" + o.rule_sources[i] + ")"));
  }
  status = std::max(status, report.Status());
  if (!report.FinishCsv(status)) status = kFailed;
  if (journal) {
    try {
      journal->EndRun(status);
    } catch (const std::exception& e) {
      host.err << "ravelmend-batch: " << Printable(e.what()) << '\n';
      status = kFailed;
    }
  }
  report.Finish(status);
  return status;
}

}  // namespace ravel::batch
