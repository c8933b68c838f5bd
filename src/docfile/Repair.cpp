#include "docfile/Repair.h"

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
    : store_(store), fs_(fs), options_(std::move(options)) {}

bool Repairer::Exists(const std::string& path) {
  auto it = exists_.find(path);
  if (it != exists_.end()) return it->second;
  // Moved files usually went with their whole folder: once a folder is known to be gone,
  // the other files that were in it are not asked for one by one.
  std::string folder = FolderOfPath(path);
  auto gone = folder_gone_.find(folder);
  bool there = (gone == folder_gone_.end() || !gone->second) && fs_.CanOpenForReading(path);
  if (!there && gone == folder_gone_.end() && !folder.empty()) {
    std::unique_ptr<DirListing> entry = fs_.List(folder);
    DirEntry e;
    folder_gone_[folder] = entry == nullptr || !entry->Next(e);
  }
  exists_.emplace(path, there);
  return there;
}

std::optional<std::string> Repairer::Mapped(const std::string& path) const {
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
  std::string to = best->to;
  while (to.size() > 1 && to.back() == '\\') to.pop_back();
  return NormalizePath(best_rest.empty() ? to : to + "\\" + best_rest);
}

std::unique_ptr<Document> Repairer::Open(const std::string& path, DocumentResult& result,
                                         Stamp& stamp) {
  result.path = path;
  try {
    std::vector<std::uint8_t> bytes = store_.Read(path, stamp, options_.max_file);
    return std::make_unique<Document>(std::move(bytes), FolderOfPath(path), options_.limits);
  } catch (const DocError& e) {
    result.error = e;
  }
  return nullptr;
}

void Repairer::Describe(const Document& doc, DocumentResult& result) {
  for (const Link& link : doc.Links()) {
    LinkResult r;
    r.link = link;
    if (link.parsed.form == TargetForm::NotAFile) {
      r.state = LinkState::NotAFile;
    } else {
      r.exists = Exists(link.parsed.path);
      r.state = r.exists ? LinkState::Ok : LinkState::Missing;
    }
    result.links.push_back(std::move(r));
  }
}

DocumentResult Repairer::List(const std::string& path) {
  DocumentResult result;
  Stamp stamp;
  if (std::unique_ptr<Document> doc = Open(path, result, stamp)) Describe(*doc, result);
  return result;
}

DocumentResult Repairer::Survey(const std::string& path, std::set<std::string>& wanted) {
  DocumentResult result;
  Stamp stamp;
  std::unique_ptr<Document> doc = Open(path, result, stamp);
  if (doc == nullptr) return result;
  Describe(*doc, result);
  // Kept for the repair that follows, as far as memory allows: the store still checks
  // that the file has not changed before it is replaced.
  if (stamp.size <= options_.keep_budget - kept_bytes_) {
    kept_bytes_ += stamp.size;
    kept_[path] = {std::move(doc), stamp};
  }
  for (const LinkResult& r : result.links) {
    if (r.state != LinkState::Missing) continue;
    std::optional<std::string> mapped = Mapped(r.link.parsed.path);
    if (mapped && Exists(*mapped)) continue;
    wanted.insert(LowerCase(NameOfPath(mapped ? *mapped : r.link.parsed.path)));
  }
  return result;
}

DocumentResult Repairer::Repair(const std::string& path, const FoundNames* found) {
  DocumentResult result;
  Stamp stamp;
  std::unique_ptr<Document> doc;
  auto kept = kept_.find(path);
  if (kept != kept_.end()) {
    doc = std::move(kept->second.first);
    stamp = kept->second.second;
    kept_bytes_ -= stamp.size;
    kept_.erase(kept);
    result.path = path;
  } else {
    doc = Open(path, result, stamp);
  }
  if (doc == nullptr) return result;
  Describe(*doc, result);
  for (std::size_t i = 0; i < result.links.size(); ++i) {
    LinkResult& r = result.links[i];
    if (r.state != LinkState::Missing) continue;
    std::optional<std::string> mapped = Mapped(r.link.parsed.path);
    std::string chosen;
    if (mapped && Exists(*mapped)) {
      chosen = *mapped;
      r.state = LinkState::Fixed;
      r.via = "map";
    } else if (found != nullptr) {
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
  if (options_.dry_run || !doc->Changed()) return result;
  try {
    store_.CheckWritable(path);
    std::vector<std::uint8_t> bytes = doc->Save();
    result.backup = store_.Replace(path, bytes, stamp, options_.backup);
    result.written = true;
  } catch (const DocError& e) {
    result.error = e;
  }
  return result;
}

}  // namespace ravel::docfile
