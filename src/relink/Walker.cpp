#include "relink/Walker.h"

#include <algorithm>
#include <charconv>

#include "app/Form_Main.h"
#include "relink/NameSearch.h"

namespace ravel {

namespace {

constexpr std::string_view kStatusPrefix = "Dissolving Paths...";

}  // namespace

int FoundCount(const FoundRow& row) {
  int n = 0;
  std::from_chars(row[0].data(), row[0].data() + row[0].size(), n);
  return std::clamp(n, 0, kMaxFound);
}

void SearchFiles(Form_Main& main, const std::string& folder) {
  Globals& g = main.G;
  const std::int32_t base_depth = g.WalkDepth;

  // Rows the dissolve did not prepare start at no location.
  int count = std::clamp(g.ItemCount, 0, kCapacity);
  if (g.FoundPaths.size() < static_cast<std::size_t>(count) + 1) {
    std::size_t old = g.FoundPaths.size();
    g.FoundPaths.resize(static_cast<std::size_t>(count) + 1);
    for (std::size_t i = std::max<std::size_t>(old, 1); i < g.FoundPaths.size(); ++i)
      g.FoundPaths[i][0].assign(1, '0');
  }
  std::vector<std::string> names;
  std::vector<int> items;
  for (int i = 1; i <= count; ++i) {
    const LinkItem& item = g.Item(i);
    if (!item.Selected || item.FileName.empty()) continue;
    names.push_back(item.FileName);
    items.push_back(i);
  }

  // Events run once per folder, and the walk ends when they have asked it to stop.
  auto pump = [&] {
    main.Hst.PumpEvents();
    if (!g.StopRequested) return true;
    main.Label_ProgressBar.SetText("Idle");
    main.ProgressBar_main.SetValue(0);
    return false;
  };

  std::string root = folder;
  while (!root.empty() && root.back() == '\\') root.pop_back();
  if (root.empty()) {  // it would name the current drive's root: nothing to search
    pump();
    return;
  }

  int root_folders = 0;
  std::string status(kStatusPrefix);  // the prefix, then the path of the current file
  NameSearchOptions options;
  options.max_per_name = kMaxFound;
  options.on_folder = [&](std::string_view, int depth) {
    g.WalkDepth = base_depth + depth;
    if (depth == 1) {
      // The bar refuses a value beyond its maximum and keeps the one it has.
      main.ProgressBar_main.SetValue(++root_folders);
    }
    if (depth > 0 && g.StopRequested) return false;
    return pump();
  };
  // The label shows every file; its window may repaint only when events run.
  options.on_file = [&](std::string_view path) {
    status.resize(kStatusPrefix.size());
    status += path;
    main.Label_ProgressBar.SetText(status);
  };
  NameSearchResult result = SearchNames(main.Fs, root, names, options);
  g.WalkDepth = base_depth;

  for (std::size_t k = 0; k < names.size(); ++k) {
    FoundRow& row = g.FoundPaths[static_cast<std::size_t>(items[k])];
    int n = FoundCount(row);
    if (result.found[k].empty() || n >= kMaxFound) continue;
    for (std::string& path : result.found[k]) {
      if (n >= kMaxFound) break;
      row[static_cast<std::size_t>(++n)] = std::move(path);
    }
    row[0] = std::to_string(n);
  }
}

}  // namespace ravel
