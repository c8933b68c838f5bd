// The walks of the command, both over the relinking code's name search: over the folders
// it is given, for documents, and beneath the root, for the file names the documents miss
// (all of them in one walk).
#pragma once

#include <functional>
#include <set>
#include <string>

#include "docfile/Repair.h"
#include "relink/FileSystem.h"

namespace ravel::batch {

struct WalkHooks {
  std::function<void(const std::string& folder)> on_folder;
  // Every file met: its folder (no trailing backslash) and its name.
  std::function<void(const std::string& folder, const std::string& name)> on_file;
};

// Every file beneath `root`; a folder reached again through a link is not entered twice.
void WalkFiles(FileSystem& fs, const std::string& root, const WalkHooks& hooks);

// The full paths of every file beneath `root` whose lower-case name is in `names`.
docfile::FoundNames FindNames(FileSystem& fs, const std::string& root,
                              const std::set<std::string>& names, const WalkHooks& hooks);

}  // namespace ravel::batch
