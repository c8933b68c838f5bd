// The file system port over a POSIX host, for native tools and benchmarks. Windows paths
// are mapped the way Wine maps them: drive Z: is the host's root, so Z:\tmp\x is /tmp/x;
// other drives map onto folders given to the constructor. As under Wine, a name that is
// not there in the exact spelling is looked up without case; drive roots list no "." and
// "..", and a link to a folder lists as a folder with the reparse-point attribute.
#pragma once

#include <atomic>
#include <map>
#include <string>

#include "relink/FileSystem.h"

namespace ravel {

class PosixFileSystem : public FileSystem {
 public:
  // drive letter (upper case) -> host folder; Z defaults to "/".
  explicit PosixFileSystem(std::map<char, std::string> drives = {});
  bool CanOpenForReading(const std::string& path) override;
  std::unique_ptr<DirListing> List(const std::string& pattern) override;
  std::optional<FolderId> IdOf(const std::string& folder) override;
  // The host path of a Windows path; empty when its drive is not mapped.
  std::string HostPath(const std::string& windows_path) const;
  // The host path, each missing part matched without case as a lookup here does.
  std::string ResolvedHostPath(const std::string& windows_path) const {
    return Resolve(windows_path);
  }

 private:
  // The host path with each part matched without case where the exact spelling is
  // missing; the direct mapping when nothing matches.
  std::string Resolve(const std::string& windows_path) const;
  std::map<char, std::string> drives_;
  std::atomic<int> open_ = 0;  // folder listings holding a descriptor (threads may list)
};

}  // namespace ravel
