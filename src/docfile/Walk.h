// Walking a folder tree for documents, where the host can walk by folder handles: every
// folder that cannot be entered is named, and depth is not bounded by a path's length.
// Hosts without such a walker leave it out, and the command walks through its FileSystem.
#pragma once

#include <functional>
#include <string>

namespace ravel::docfile {

struct WalkHooks {
  std::function<void(const std::string& folder)> on_folder;
  // Every entry that is not a folder: its folder (no trailing backslash) and its name.
  std::function<void(const std::string& folder, const std::string& name)> on_file;
  // A folder passed over, and why ("permission denied", "a link back to a folder above").
  std::function<void(const std::string& folder, const std::string& why)> on_not_entered;
};

class TreeWalker {
 public:
  virtual ~TreeWalker() = default;
  // Every entry beneath `root` (Windows form). A folder reached again through a link is
  // not entered twice.
  virtual void Walk(const std::string& root, const WalkHooks& hooks) = 0;
};

}  // namespace ravel::docfile
