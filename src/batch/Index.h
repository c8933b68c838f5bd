// The names beneath a new tree, written once to an SQLite index, so several machines and
// resumed runs look names up instead of walking millions of files again. The index holds
// the root it was made for and each file as folder (relative to the root) and name.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "docfile/Repair.h"
#include "docfile/Walk.h"
#include "relink/FileSystem.h"

namespace ravel::batch {

class Db;

struct IndexStats {
  std::size_t files = 0, folders = 0;
};

// Walks `root` (Windows form) and writes `file` anew: into a temporary file beside it,
// renamed over `file` once complete, so a stopped build leaves no half index. Throws DbError.
IndexStats BuildIndex(FileSystem& fs, docfile::TreeWalker* walker, const std::string& root,
                      const std::string& file, const docfile::WalkHooks& hooks);

class NameIndex {
 public:
  // Throws DbError when `file` is no index.
  explicit NameIndex(const std::string& file);
  ~NameIndex();
  // The root the index was made for (Windows form).
  const std::string& root() const { return root_; }
  // Every indexed path (beneath `root`, which may be where this machine sees the indexed
  // tree) of each lower-case name in `names`.
  docfile::FoundNames Find(const std::set<std::string>& names, const std::string& root);

 private:
  std::unique_ptr<Db> db_;
  std::string root_;
};

}  // namespace ravel::batch
