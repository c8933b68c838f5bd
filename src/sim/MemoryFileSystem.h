// A file system in memory that understands Windows paths directly: drives (C:\...) and
// network shares (\\server\share\...), names compared without case. Tests script what a
// real file system does to a walk: the listing order, folders that cannot be listed, files
// that cannot be opened, and folder links (junctions, symbolic links) that may form cycles.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "relink/FileSystem.h"

namespace ravel::sim {

class MemoryFileSystem : public FileSystem {
 public:
  MemoryFileSystem();
  ~MemoryFileSystem() override;

  // Creates the file and every missing folder above it.
  void AddFile(const std::string& path);
  void AddFolder(const std::string& path);
  // A folder entry at `path` that leads to the folder `target`, as a junction or a symbolic
  // link does. The target is looked up at each use, so it may be an ancestor (a cycle) or
  // missing (the link then lists nothing). Listed with the directory and reparse-point
  // attributes; its identity is the target's.
  void AddLink(const std::string& path, const std::string& target);
  bool Exists(const std::string& path) const;

  // Listing order of a folder: the named entries first, in the order given, then the others
  // in their order of creation (the default order).
  void SetOrder(const std::string& folder, const std::vector<std::string>& names);
  // The folder exists, but listing its entries fails (as for a folder without access).
  void DenyListing(const std::string& folder);
  // The file exists, but opening it fails (locked, no access).
  void DenyOpen(const std::string& file);
  // Listing the folder starts, but reading its first entry throws std::runtime_error (a
  // fault of the file system itself).
  void ThrowWhileListing(const std::string& folder);

  bool CanOpenForReading(const std::string& path) override;
  std::unique_ptr<DirListing> List(const std::string& pattern) override;
  // {volume of the drive or share, the folder's own number}; a link answers its target's.
  std::optional<FolderId> IdOf(const std::string& folder) override;

  // What the walk did: List calls so far, and listings still open.
  int list_calls = 0;
  int open_listings = 0;
  // Whether a folder's listing carries the folder's identity or leaves the walk to ask IdOf.
  bool ids_in_listings = true;
  // What the file system tells of a folder's identity.
  enum class Ids {
    Numbers,        // volume and file number, as the POSIX adapter gives them
    ListedNumbers,  // listings give the file number alone, IdOf the volume too (as Win32)
    FinalPaths,     // no numbers: the final path stands in, links resolved
    None,           // nothing at all
  };
  Ids ids = Ids::Numbers;
  // Gives the folder the file id `low` (and `high`, the upper half of a 128-bit id) in
  // place of its own number: ids of different volumes, or the lower halves of different
  // 128-bit ids, may coincide.
  void SetFileId(const std::string& folder, std::uint64_t low, std::uint64_t high = 0);

  struct Node;

 protected:
  // Follows links on the way, and for the last part too when `follow_last` is set.
  Node* Find(const std::string& path, bool follow_last = true) const;
  Node* Resolve(Node* n, int hops) const;
  Node* Make(const std::string& path, bool folder);
  Node* MustFind(const std::string& path) const;
  std::optional<FolderId> IdFor(const Node& n, bool in_listing) const;

  std::unique_ptr<Node> top_;  // holds drives and shares as its children
  std::uint64_t next_id_ = 1;
  std::uint64_t next_volume_ = 1;
  // The folder found last and the path that led to it (nodes are never removed).
  mutable std::string cursor_path_;
  mutable Node* cursor_node_ = nullptr;
};

}  // namespace ravel::sim
