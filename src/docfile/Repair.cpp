#include "docfile/Repair.h"

#include <cctype>

#include "relink/TextCompare.h"

namespace ravel::docfile {

const char* LinkStateName(LinkState state) {
  switch (state) {
    case LinkState::Ok:
      return "ok";
    case LinkState::Missing:
      return "missing";
    case LinkState::NotAFile:
      return "not-a-file";
    case LinkState::Fixed:
      return "fixed";
    case LinkState::Mapped:
      return "mapped";
    case LinkState::Ambiguous:
      return "ambiguous";
    case LinkState::NotFound:
      return "not-found";
    case LinkState::Unreadable:
      return "unreadable";
  }
  return "unknown";
}

std::string FolderOfPath(const std::string& path) {
  std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOfPath(const std::string& path) {
  std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

Repairer::Repairer(DocStore& store, FileSystem& fs, RepairOptions options)
    : store_(store), fs_(fs), options_(std::move(options)), rule_uses_(options_.rules.size()) {}

bool IsRepairTempName(const std::string& name) {
  static const char kMark[] = ".ravel-";
  constexpr std::size_t kMarkSize = sizeof kMark - 1;
  if (name.size() < 1 + kMarkSize + 6 || name[0] != '.') return false;
  std::size_t at = name.size() - 6 - kMarkSize;
  if (name.compare(at, kMarkSize, kMark) != 0) return false;
  for (std::size_t i = name.size() - 6; i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

std::uint64_t HashBytes(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

LinkState Repairer::StateOf(const std::string& path) {
  // A web address a rule maps to is not looked at from here.
  if (IsWebAddress(path)) return LinkState::Missing;
  auto it = exists_.find(path);
  if (it != exists_.end()) return it->second;
  // Moved files usually went with their whole folder: once a folder is known to be gone,
  // the other files that were in it are not asked for one by one.
  std::string folder = FolderOfPath(path);
  auto gone = folder_gone_.find(folder);
  bool there = (gone == folder_gone_.end() || !gone->second) && fs_.CanOpenForReading(path);
  LinkState state = there ? LinkState::Ok : LinkState::Missing;
  // A file that does not open may still be there, out of reach: relinking it elsewhere
  // would be a guess.
  if (!there && (gone == folder_gone_.end() || !gone->second) &&
      store_.Probe(path) == FileAccess::Denied)
    state = LinkState::Unreadable;
  if (state == LinkState::Missing && gone == folder_gone_.end() && !folder.empty()) {
    std::unique_ptr<DirListing> entry = fs_.List(folder);
    DirEntry e;
    folder_gone_[folder] = entry == nullptr || !entry->Next(e);
  }
  // A record of what was asked, not a store of every target met: bounded, so memory does
  // not grow with the number of documents.
  constexpr std::size_t kRemembered = 8192;
  if (exists_.size() >= kRemembered) exists_.clear();
  if (folder_gone_.size() >= kRemembered) folder_gone_.clear();
  exists_.emplace(path, state);
  return state;
}

std::optional<std::string> Repairer::Mapped(const std::string& path, std::size_t* rule) const {
  // The longest matching prefix wins, so a rule for a sub-folder overrides its parent's.
  const PrefixRule* best = nullptr;
  std::string best_rest, rest;
  for (const PrefixRule& rule : options_.rules)
    if (StartsWithFolder(path, rule.from, &rest) &&
        (best == nullptr || rule.from.size() > best->from.size())) {
      best = &rule;
      best_rest = rest;
    }
  if (best == nullptr) return std::nullopt;
  if (rule != nullptr) *rule = static_cast<std::size_t>(best - options_.rules.data());
  if (IsWebAddress(best->to)) return WebAddress(best->to, best_rest);
  std::string to = best->to;
  while (to.size() > 1 && to.back() == '\\') to.pop_back();
  return NormalizePath(best_rest.empty() ? to : to + "\\" + best_rest);
}

std::unique_ptr<Document> Repairer::Open(const std::string& path, DocumentResult& result,
                                         Stamp& stamp) {
  result.path = path;
  try {
    std::vector<std::uint8_t> bytes = store_.Read(path, stamp, options_.max_file);
    result.read_as = Fingerprint{stamp, HashBytes(bytes)};
    return std::make_unique<Document>(std::move(bytes), FolderOfPath(path), options_.limits);
  } catch (const DocError& e) {
    result.error = e;
  }
  return nullptr;
}

bool Repairer::Wanted(const Link& link) const {
  return options_.kinds.empty() || options_.kinds.count(link.kind) != 0;
}

void Repairer::Narrow(DocumentResult& result) const {
  if (options_.kinds.empty()) return;
  std::erase_if(result.links, [&](const LinkResult& r) { return !Wanted(r.link); });
}

void Repairer::Describe(const Document& doc, DocumentResult& result) {
  result.format = doc.format();
  for (const Link& link : doc.Links()) {
    LinkResult r;
    r.link = link;
    if (link.parsed.form == TargetForm::NotAFile) {
      r.state = LinkState::NotAFile;
    } else {
      r.state = StateOf(link.parsed.path);
      r.exists = r.state != LinkState::Missing;
    }
    result.links.push_back(std::move(r));
  }
}

DocumentResult Repairer::List(const std::string& path) {
  DocumentResult result;
  Stamp stamp;
  if (std::unique_ptr<Document> doc = Open(path, result, stamp)) Describe(*doc, result);
  Narrow(result);
  return result;
}

DocumentResult Repairer::Survey(const std::string& path, std::set<std::string>& wanted) {
  DocumentResult result;
  Stamp stamp;
  std::unique_ptr<Document> doc = Open(path, result, stamp);
  if (doc == nullptr) return result;
  Describe(*doc, result);
  Narrow(result);
  for (const LinkResult& r : result.links) {
    if (r.state != LinkState::Missing || !r.link.rewritable) continue;
    std::optional<std::string> mapped = Mapped(r.link.parsed.path);
    if (mapped && (IsWebAddress(*mapped) || Exists(*mapped))) continue;
    wanted.insert(LowerCase(NameOfPath(mapped ? *mapped : r.link.parsed.path)));
  }
  return result;
}

DocumentResult Repairer::Repair(const std::string& path, const FoundNames* found,
                                const Fingerprint* surveyed) {
  DocumentResult result;
  Stamp stamp;
  std::unique_ptr<Document> doc = Open(path, result, stamp);
  if (doc == nullptr) return result;
  // The search looked for what the document missed when it was surveyed; a document saved
  // since may miss other files, and is left for the next run.
  if (surveyed != nullptr && !(*result.read_as == *surveyed)) {
    result.error =
        DocError(Reason::Changed, "the file changed during the run; left as it is, run again");
    return result;
  }
  Describe(*doc, result);
  for (std::size_t i = 0; i < result.links.size(); ++i) {
    LinkResult& r = result.links[i];
    // A DDE link is listed, never rewritten; kinds the run leaves out are not touched.
    if (!r.link.rewritable || !Wanted(r.link)) continue;
    std::size_t rule = 0;
    if (r.state == LinkState::Ok && options_.rewrite_existing) {
      std::optional<std::string> mapped = Mapped(r.link.parsed.path, &rule);
      if (!mapped || EqualNoCase(*mapped, r.link.parsed.path)) continue;
      ++rule_uses_[rule];
      r.state = Exists(*mapped) ? LinkState::Fixed : LinkState::Mapped;
      r.via = "map";
      doc->Retarget(i, *mapped, options_.write);
      r.new_path = *mapped;
      r.new_target = doc->Links()[i].target;
      continue;
    }
    if (r.state != LinkState::Missing) continue;
    std::optional<std::string> mapped = Mapped(r.link.parsed.path, &rule);
    if (mapped) ++rule_uses_[rule];
    std::string chosen;
    if (mapped && Exists(*mapped)) {
      chosen = *mapped;
      r.state = LinkState::Fixed;
      r.via = "map";
    } else if (found != nullptr && !(mapped && IsWebAddress(*mapped))) {
      auto hit = found->find(LowerCase(NameOfPath(mapped ? *mapped : r.link.parsed.path)));
      std::size_t count = hit == found->end() ? 0 : hit->second.size();
      if (count == 1) {
        chosen = hit->second.front();
        r.state = LinkState::Fixed;
        r.via = "search";
      } else if (count > 1) {
        r.state = LinkState::Ambiguous;
        r.candidates = hit->second;
        continue;
      }
    }
    if (chosen.empty() && mapped) {
      // The rule is the user's word even where its files cannot be seen from here.
      chosen = *mapped;
      r.state = LinkState::Mapped;
      r.via = "map";
    }
    if (chosen.empty()) {
      r.state = LinkState::NotFound;
      continue;
    }
    doc->Retarget(i, chosen, options_.write);
    r.new_path = chosen;
    r.new_target = doc->Links()[i].target;
  }
  Narrow(result);
  if (options_.dry_run || !doc->Changed()) return result;
  try {
    store_.CheckWritable(path);
    std::vector<std::uint8_t> bytes = doc->Save();
    if (options_.before_replace) options_.before_replace(result, HashBytes(bytes));
    result.backup = store_.Replace(path, bytes, stamp, options_.backup);
    result.written = true;
  } catch (const DocError& e) {
    result.error = e;
  }
  return result;
}

}  // namespace ravel::docfile
