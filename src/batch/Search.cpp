#include "batch/Search.h"

#include <algorithm>
#include <vector>

#include "relink/NameSearch.h"
#include "relink/TextCompare.h"

namespace ravel::batch {

namespace {

NameSearchOptions Hooks(const WalkHooks& hooks) {
  NameSearchOptions options;
  if (hooks.on_folder)
    options.on_folder = [&hooks](std::string_view folder, int) {
      hooks.on_folder(std::string(folder));
      return true;
    };
  if (hooks.on_file)
    options.on_file = [&hooks](std::string_view path) {
      std::size_t slash = path.rfind('\\');
      hooks.on_file(std::string(path.substr(0, slash)), std::string(path.substr(slash + 1)));
    };
  return options;
}

}  // namespace

void WalkFiles(FileSystem& fs, docfile::TreeWalker* walker, const std::string& root,
               const WalkHooks& hooks) {
  if (walker != nullptr)
    walker->Walk(root, hooks);
  else
    SearchNames(fs, root, {}, Hooks(hooks));
}

docfile::FoundNames FindNames(FileSystem& fs, docfile::TreeWalker* walker, const std::string& root,
                              const std::set<std::string>& names, const WalkHooks& hooks) {
  if (walker != nullptr) {
    docfile::FoundNames found;
    WalkHooks search = hooks;
    search.on_file = [&](const std::string& folder, const std::string& name) {
      std::string key = LowerCase(name);
      if (names.count(key)) found[key].push_back(folder + "\\" + name);
    };
    walker->Walk(root, search);
    // In name order, whatever order the folders were listed in.
    for (auto& [name, paths] : found) std::sort(paths.begin(), paths.end());
    return found;
  }
  std::vector<std::string> wanted(names.begin(), names.end());
  NameSearchResult result = SearchNames(fs, root, wanted, Hooks(hooks));
  docfile::FoundNames found;
  for (std::size_t i = 0; i < wanted.size(); ++i)
    if (!result.found[i].empty()) found[wanted[i]] = std::move(result.found[i]);
  return found;
}

}  // namespace ravel::batch
