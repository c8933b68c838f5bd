// The walks of the command, both over the relinking code's name search: over the folders
// it is given, for documents, and beneath the root, for the file names the documents miss
// (all of them in one walk).
#pragma once

#include <functional>
#include <set>
#include <string>

#include "docfile/Repair.h"
#include "docfile/Walk.h"
#include "relink/FileSystem.h"

namespace ravel::batch {

using docfile::WalkHooks;

// Every file beneath `root`; a folder reached again through a link is not entered twice.
// With a walker, it walks (and names the folders it cannot enter); else the file system.
void WalkFiles(FileSystem& fs, docfile::TreeWalker* walker, const std::string& root,
               const WalkHooks& hooks);

// The full paths of every file beneath `root` whose lower-case name is in `names`.
docfile::FoundNames FindNames(FileSystem& fs, docfile::TreeWalker* walker, const std::string& root,
                              const std::set<std::string>& names, const WalkHooks& hooks);

}  // namespace ravel::batch
