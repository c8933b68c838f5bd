// A file system in memory that understands Windows paths directly: drives (C:\...) and
// network shares (\\server\share\...), names compared without case.
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
  bool Exists(const std::string& path) const;

  bool CanOpenForReading(const std::string& path) override;
  std::unique_ptr<DirListing> List(const std::string& pattern) override;
  std::optional<FolderId> IdOf(const std::string& folder) override;

  struct Node;

 protected:
  Node* Find(const std::string& path) const;
  Node* Make(const std::string& path, bool folder);

  std::unique_ptr<Node> top_;  // holds drives and shares as its children
  std::uint64_t next_id_ = 1;
};

}  // namespace ravel::sim
