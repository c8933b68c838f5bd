#include "batch/Batch.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "batch/Search.h"
#include "docfile/Repair.h"
#include "relink/TextCompare.h"

namespace ravel::batch {

using docfile::DocumentResult;
using docfile::LinkResult;
using docfile::LinkState;

const char kUsage[] =
    "usage: ravelmend-batch list [--json] PATH...\n"
    "       ravelmend-batch fix  --root DIR [--map OLD=NEW]... [--relative] [--dry-run]\n"
    "                            [--backup] [--json] PATH...\n"
    "\n"
    "Lists and repairs the linked pictures and objects of Word documents (.docx, .docm,\n"
    ".dotx, .dotm) without Word. PATH is a document or a folder searched recursively.\n"
    "\n"
    "  list            every link: document, part, kind, target, file, exists, stored\n"
    "  fix             repair the links whose file is missing\n"
    "  --root DIR      search DIR once for the names of all missing files; a name found\n"
    "                  once is relinked, one found at several places is left as it was\n"
    "  --map OLD=NEW   replace the path prefix OLD by NEW first (may be repeated; usable\n"
    "                  without --root)\n"
    "  --relative      write targets relative to the document's folder where they lie\n"
    "                  beneath it\n"
    "  --dry-run       report what fix would write; write nothing\n"
    "  --backup        keep each original as NAME.bak beside the repaired document\n"
    "  --json          one JSON object per line: per link, and per document error\n"
    "  -h, --help      this text\n"
    "\n"
    "Exit status: 0 every link resolves, 1 some links are unresolved or ambiguous,\n"
    "2 a usage error or a document that could not be processed.\n";

namespace {

constexpr int kOk = 0, kUnresolved = 1, kFailed = 2;

struct Options {
  std::string command;
  bool json = false, relative = false, dry_run = false, backup = false;
  std::optional<std::string> root;
  std::vector<std::pair<std::string, std::string>> maps;
  std::vector<std::string> paths;
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
        if (arg != "list" && arg != "fix") throw UsageError{"unknown command '" + arg + "'"};
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
    } else {
      throw UsageError{"unknown option '" + arg + "'"};
    }
  }
  if (o.command.empty()) throw UsageError{"a command is needed: list or fix"};
  if (o.paths.empty()) throw UsageError{"no document or folder given"};
  if (o.command == "list" && (o.root || !o.maps.empty() || o.relative || o.dry_run || o.backup))
    throw UsageError{"--root, --map, --relative, --dry-run and --backup belong to fix"};
  if (o.command == "fix" && !o.root && o.maps.empty())
    throw UsageError{"fix needs --root DIR or --map OLD=NEW"};
  return o;
}

bool IsDocumentName(const std::string& name) {
  if (name.starts_with("~$") || name.starts_with(".~lock.")) return false;
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = LowerCase(name.substr(dot));
  return ext == ".docx" || ext == ".docm" || ext == ".dotx" || ext == ".dotm";
}

// Asks for the folder's own entry, not its contents: the walk is the only listing.
bool IsFolder(FileSystem& fs, const std::string& path) {
  if (path.ends_with("\\") || path.ends_with(":")) return fs.List(path + "*.*") != nullptr;
  std::unique_ptr<DirListing> entry = fs.List(path);
  DirEntry e;
  return entry != nullptr && entry->Next(e) && e.IsFolder();
}

// A document to process: its Windows-form path and the name it is shown by.
struct Doc {
  std::string path, shown;
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
    err_ << "\r\x1b[K" << line << std::flush;
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

class Report {
 public:
  Report(const Options& o, Host& host) : o_(o), host_(host) {}

  void Add(const Doc& doc, const DocumentResult& r) {
    ++documents_;
    if (r.error) {
      ++errors_;
      if (o_.json) {
        nlohmann::json j = {{"document", doc.shown},
                            {"error", r.error->what()},
                            {"reason", docfile::ReasonName(r.error->reason())}};
        host_.out << j.dump() << '\n';
      } else {
        host_.err << "ravelmend-batch: " << doc.shown << ": " << r.error->what() << '\n';
      }
      if (r.links.empty() || o_.command == "fix") return;
    }
    if (r.written) ++written_;
    for (const LinkResult& l : r.links) AddLink(doc, r, l);
  }

  void Finish() {
    if (!o_.json) {
      PrintTable();
      host_.out << Summary() << '\n';
    }
  }

  int Status() const {
    if (errors_ > 0) return kFailed;
    return unresolved_ > 0 ? kUnresolved : kOk;
  }

 private:
  std::string Shown(const std::string& path) const {
    return path.empty() ? "" : host_.display(path);
  }

  void AddLink(const Doc& doc, const DocumentResult& r, const LinkResult& l) {
    ++links_;
    ++states_[l.state];
    if (l.state == LinkState::Missing || l.state == LinkState::Ambiguous ||
        l.state == LinkState::NotFound || l.state == LinkState::Mapped)
      ++unresolved_;
    std::string state = docfile::LinkStateName(l.state);
    if (o_.dry_run && l.state == LinkState::Fixed) state = "would fix";
    if (o_.dry_run && l.state == LinkState::Mapped) state = "would map";
    if (o_.json) {
      nlohmann::json j = {{"document", doc.shown},
                          {"part", l.link.part},
                          {"part_kind", docfile::PartKindName(l.link.part_kind)},
                          {"kind", docfile::LinkKindName(l.link.kind)},
                          {"target", l.link.target},
                          {"file", Shown(l.link.parsed.path)},
                          {"exists", l.exists},
                          {"stored", l.link.stored}};
      if (o_.command == "fix") {
        j["state"] = docfile::LinkStateName(l.state);
        if (!l.new_target.empty()) {
          j["new_target"] = l.new_target;
          j["new_file"] = Shown(l.new_path);
          j["via"] = l.via;
        }
        if (!l.candidates.empty()) {
          nlohmann::json c = nlohmann::json::array();
          for (const std::string& p : l.candidates) c.push_back(Shown(p));
          j["candidates"] = c;
        }
        j["written"] = r.written && !l.new_target.empty();
        j["dry_run"] = o_.dry_run;
        if (!r.backup.empty()) j["backup"] = Shown(r.backup);
      }
      host_.out << j.dump() << '\n';
      return;
    }
    std::vector<std::string> row{doc.shown, docfile::PartKindName(l.link.part_kind),
                                 docfile::LinkKindName(l.link.kind)};
    if (o_.command == "list") {
      row.push_back(l.link.parsed.form == docfile::TargetForm::NotAFile ? "-"
                    : l.exists                                          ? "yes"
                                                                        : "no");
      row.push_back(l.link.stored ? "yes" : "no");
      row.push_back(l.link.target);
      row.push_back(Shown(l.link.parsed.path));
    } else {
      row.push_back(state);
      row.push_back(l.link.target);
      if (!l.new_target.empty())
        row.push_back(l.new_target);
      else if (!l.candidates.empty())
        row.push_back(std::to_string(l.candidates.size()) + " candidates:");
      else
        row.push_back("");
    }
    rows_.push_back(std::move(row));
    for (const std::string& c : l.candidates) notes_[rows_.size() - 1].push_back(Shown(c));
  }

  void PrintTable() {
    if (rows_.empty()) return;
    std::vector<std::string> head{"DOCUMENT", "PART", "KIND"};
    if (o_.command == "list")
      head.insert(head.end(), {"EXISTS", "STORED", "TARGET", "FILE"});
    else
      head.insert(head.end(), {"STATE", "TARGET", "NEW TARGET"});
    std::vector<std::size_t> width(head.size());
    for (std::size_t c = 0; c < head.size(); ++c) width[c] = Width(head[c]);
    for (const auto& row : rows_)
      for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], Width(row[c]));
    auto print = [&](const std::vector<std::string>& row) {
      std::string line;
      for (std::size_t c = 0; c < row.size(); ++c)
        line += c + 1 == row.size() ? row[c] : Pad(row[c], width[c]) + "  ";
      while (!line.empty() && line.back() == ' ') line.pop_back();
      host_.out << line << '\n';
    };
    print(head);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      print(rows_[i]);
      auto note = notes_.find(i);
      if (note != notes_.end())
        for (const std::string& c : note->second) host_.out << "    candidate: " << c << '\n';
    }
  }

  std::string Summary() const {
    auto n = [](std::size_t count, const char* one, const char* many) {
      return std::to_string(count) + " " + (count == 1 ? one : many);
    };
    std::string s = n(documents_, "document", "documents") + ", " + n(links_, "link", "links");
    std::vector<std::string> parts;
    for (LinkState st : {LinkState::Ok, LinkState::Missing, LinkState::Fixed, LinkState::Mapped,
                         LinkState::Ambiguous, LinkState::NotFound, LinkState::NotAFile}) {
      auto it = states_.find(st);
      if (it == states_.end() || it->second == 0) continue;
      std::string name = docfile::LinkStateName(st);
      if (o_.dry_run && st == LinkState::Fixed) name = "to fix";
      if (o_.dry_run && st == LinkState::Mapped) name = "to map";
      parts.push_back(std::to_string(it->second) + " " + name);
    }
    if (errors_ > 0) parts.push_back(n(errors_, "document error", "document errors"));
    if (o_.command == "fix")
      parts.push_back(o_.dry_run ? "dry run: nothing written"
                                 : n(written_, "document written", "documents written"));
    for (std::size_t i = 0; i < parts.size(); ++i) s += (i == 0 ? ": " : ", ") + parts[i];
    return s;
  }

  const Options& o_;
  Host& host_;
  std::vector<std::vector<std::string>> rows_;
  std::map<std::size_t, std::vector<std::string>> notes_;
  std::map<LinkState, std::size_t> states_;
  std::size_t documents_ = 0, links_ = 0, errors_ = 0, unresolved_ = 0, written_ = 0;
};

}  // namespace

int Run(const std::vector<std::string>& args, Host& host) {
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

  docfile::RepairOptions options;
  options.write.relative = o.relative;
  options.write.posix_host = host.posix_host;
  options.dry_run = o.dry_run;
  options.backup = o.backup;
  for (auto& [from, to] : o.maps)
    options.rules.push_back(
        {docfile::NormalizePath(host.absolute(from)), docfile::NormalizePath(host.absolute(to))});
  std::string root;
  int status = kOk;
  if (o.root) {
    root = docfile::NormalizePath(host.absolute(*o.root));
    if (!IsFolder(host.fs, root)) {
      host.err << "ravelmend-batch: --root " << *o.root << ": no such folder\n";
      return kFailed;
    }
  }

  Progress progress(host.err, host.progress);
  std::vector<Doc> docs;
  // A document named twice is processed once; a POSIX host may hold names that differ
  // only in case, and those are different documents.
  std::set<std::string> seen;
  auto key = [&](const std::string& path) { return host.posix_host ? path : LowerCase(path); };
  for (const std::string& arg : o.paths) {
    std::string path = docfile::NormalizePath(host.absolute(arg));
    if (host.fs.CanOpenForReading(path)) {
      if (seen.insert(key(path)).second) docs.push_back({path, arg});
      continue;
    }
    if (!IsFolder(host.fs, path)) {
      host.err << "ravelmend-batch: " << arg << ": no such file or folder\n";
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
      if (!IsDocumentName(name)) return;
      std::string full = folder + (folder.ends_with("\\") ? "" : "\\") + name;
      std::string rest;
      docfile::StartsWithFolder(full, path, &rest);
      if (host.posix_host) std::replace(rest.begin(), rest.end(), '\\', '/');
      found.push_back({full, prefix + sep + rest});
    };
    WalkFiles(host.fs, path, hooks);
    std::sort(found.begin(), found.end(), [](const Doc& a, const Doc& b) {
      int c = CompareNoCase(a.shown, b.shown);
      return c != 0 ? c < 0 : a.shown < b.shown;
    });
    for (Doc& d : found)
      if (seen.insert(key(d.path)).second) docs.push_back(std::move(d));
  }

  docfile::Repairer repairer(host.store, host.fs, options);
  Report report(o, host);
  auto step = [&](const char* what, std::size_t i, const Doc& d) {
    progress.Show(std::string(what) + " " + std::to_string(i + 1) + "/" +
                  std::to_string(docs.size()) + ": " + d.shown);
  };
  if (o.command == "list") {
    for (std::size_t i = 0; i < docs.size(); ++i) {
      step("reading", i, docs[i]);
      report.Add(docs[i], repairer.List(docs[i].path));
    }
  } else {
    std::optional<docfile::FoundNames> found;
    if (o.root) {
      std::set<std::string> wanted;
      std::vector<bool> failed(docs.size());
      for (std::size_t i = 0; i < docs.size(); ++i) {
        step("reading", i, docs[i]);
        repairer.Survey(docs[i].path, wanted);
      }
      if (!wanted.empty()) {
        WalkHooks hooks;
        hooks.on_folder = [&](const std::string& folder) {
          progress.Show("searching: " + host.display(folder));
        };
        found = FindNames(host.fs, root, wanted, hooks);
      } else {
        found.emplace();
      }
    }
    for (std::size_t i = 0; i < docs.size(); ++i) {
      step(o.dry_run ? "checking" : "repairing", i, docs[i]);
      report.Add(docs[i], repairer.Repair(docs[i].path, found ? &*found : nullptr));
    }
  }
  progress.Clear();
  report.Finish();
  return std::max(status, report.Status());
}

}  // namespace ravel::batch
