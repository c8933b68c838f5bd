#include "batch/Search.h"

#include <memory>
#include <vector>

#include "relink/TextCompare.h"

namespace ravel::batch {

void WalkFiles(FileSystem& fs, const std::string& root, const WalkHooks& hooks) {
  std::string base = root;
  while (base.size() > 3 && base.back() == '\\') base.pop_back();
  struct Frame {
    std::unique_ptr<DirListing> listing;
    std::string folder;
  };
  std::vector<Frame> stack;
  std::set<std::pair<std::uint64_t, std::uint64_t>> visited;
  auto enter = [&](const std::string& folder) {
    std::string pattern = folder + (folder.ends_with("\\") ? "*.*" : "\\*.*");
    std::unique_ptr<DirListing> listing = fs.List(pattern);
    if (listing == nullptr) return;
    std::optional<FolderId> id = listing->Id();
    if (!id) id = fs.IdOf(folder);
    if (id && !visited.insert({id->volume, id->file}).second) return;
    if (hooks.on_folder) hooks.on_folder(folder);
    stack.push_back({std::move(listing), folder});
  };
  enter(base);
  DirEntry entry;
  while (!stack.empty()) {
    if (!stack.back().listing->Next(entry)) {
      stack.pop_back();
      continue;
    }
    if (entry.name == "." || entry.name == "..") continue;
    std::string folder = stack.back().folder;
    if (entry.IsFolder()) {
      enter(folder + (folder.ends_with("\\") ? "" : "\\") + entry.name);
    } else if (hooks.on_file) {
      hooks.on_file(folder, entry.name);
    }
  }
}

docfile::FoundNames FindNames(FileSystem& fs, const std::string& root,
                              const std::set<std::string>& names, const WalkHooks& hooks) {
  docfile::FoundNames found;
  std::string key;
  WalkHooks walk;
  walk.on_folder = hooks.on_folder;
  walk.on_file = [&](const std::string& folder, const std::string& name) {
    if (hooks.on_file) hooks.on_file(folder, name);
    LowerCaseInto(name, key);
    if (names.count(key) == 0) return;
    found[key].push_back(folder + (folder.ends_with("\\") ? "" : "\\") + name);
  };
  WalkFiles(fs, root, walk);
  return found;
}

}  // namespace ravel::batch
