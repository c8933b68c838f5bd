#include "batch/Search.h"

#include <vector>

#include "relink/NameSearch.h"

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

void WalkFiles(FileSystem& fs, const std::string& root, const WalkHooks& hooks) {
  SearchNames(fs, root, {}, Hooks(hooks));
}

docfile::FoundNames FindNames(FileSystem& fs, const std::string& root,
                              const std::set<std::string>& names, const WalkHooks& hooks) {
  std::vector<std::string> wanted(names.begin(), names.end());
  NameSearchResult result = SearchNames(fs, root, wanted, Hooks(hooks));
  docfile::FoundNames found;
  for (std::size_t i = 0; i < wanted.size(); ++i)
    if (!result.found[i].empty()) found[wanted[i]] = std::move(result.found[i]);
  return found;
}

}  // namespace ravel::batch
