// Finding files by name beneath a root folder in one walk: each file met costs one lookup
// in an index of the names asked for, so the tree is read once however many names there
// are. Knows nothing of link items or lists; the program's walker and the batch tool build
// their bookkeeping on it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "relink/FileSystem.h"

namespace ravel {

struct NameSearchOptions {
  // Locations kept per name: the first ones met. 0 keeps every one.
  std::size_t max_per_name = 0;

  // Runs once for every folder the walk is about to list, before it is listed: the root
  // first (depth 0), then each folder entry met (depth 1 for the root's own folders), also
  // one that then proves unlistable or already visited. `folder` is the folder's full path.
  // Returning false ends the search at once, with the locations found so far. The place for
  // an event pump and a stop check: it runs once per folder, not per file.
  std::function<bool(std::string_view folder, int depth)> on_folder;

  // Runs for every file entry met, with its full path (folder + "\" + name), valid during
  // the call only. Left empty, the walk does not even build the path of a file that matches
  // no name.
  std::function<void(std::string_view path)> on_file;
};

struct NameSearchResult {
  // found[k]: the full paths of the files whose name equals names[k] without regard to
  // case, in the order the walk met them. Equal names each get every location.
  std::vector<std::vector<std::string>> found;
  bool stopped = false;     // on_folder ended the search
  std::size_t folders = 0;  // folders listed (the root included)
  std::size_t files = 0;    // file entries met
};

// Walks the tree beneath `root` (Windows form; trailing backslashes are ignored, "D:" and
// "D:\" both mean the drive's root) depth-first, pre-order, descending into a folder as
// soon as its entry is listed, entries in the order the file system lists them; "." and
// ".." are passed over. Names are compared the way Windows compares file names (see
// TextCompare.h); an empty name matches nothing.
//
// Sound on any tree: the walk keeps its own stack (no recursion, however deep the tree),
// and enters no folder twice, recognising a folder reached again through a junction or
// symbolic link by its identity (FileSystem's folder ids), so link cycles end and no
// location is reported twice.
//
// Failures: a folder that cannot be listed counts as empty. An exception thrown while
// reading beneath one of the root's folders (by the file system or a hook) abandons the
// rest of that folder, closing its listings, and the walk goes on with the root's next
// entry; one thrown while the root's own entries are read ends the search. Either way the
// locations found so far are returned; SearchNames itself never throws for them.
//
// An empty root (nothing left once the backslashes are trimmed) is searched as nothing:
// it would otherwise name the current drive's root.
NameSearchResult SearchNames(FileSystem& fs, std::string_view root,
                             const std::vector<std::string>& names,
                             const NameSearchOptions& options = {});

}  // namespace ravel
