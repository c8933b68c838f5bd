// The file system as the relinking code needs it. Paths are in Windows form (drive letters,
// UNC, backslashes) in every host; adapters translate at their edge.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace ravel {

constexpr std::uint32_t kAttrDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kAttrReparsePoint = 0x400;

struct DirEntry {
  std::string name;  // the entry's name alone, "." and ".." included where listed
  std::uint32_t attributes = 0;
  bool IsFolder() const { return (attributes & kAttrDirectory) != 0; }
};

// Identity of a folder, to recognise one reached again through a link.
struct FolderId {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  bool operator==(const FolderId& o) const { return volume == o.volume && file == o.file; }
};

// An open listing; closed when destroyed, whether exhausted or abandoned.
class DirListing {
 public:
  virtual ~DirListing() = default;
  // The next entry in the order the file system gives them; false at the end.
  virtual bool Next(DirEntry& out) = 0;
  // The identity of the listed folder when the listing has it at no extra cost (it saves
  // the walk a FileSystem::IdOf per folder); none otherwise.
  virtual std::optional<FolderId> Id() const { return std::nullopt; }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens the path as an existing file for reading (shared, never creating) and closes it
  // again; false on any failure.
  virtual bool CanOpenForReading(const std::string& path) = 0;
  // Lists the entries matching a pattern: a folder path followed by "\*.*" lists the folder;
  // a path without wildcards finds that one entry. Null when nothing can be listed (no
  // such folder, no access, no match).
  virtual std::unique_ptr<DirListing> List(const std::string& pattern) = 0;
  // The identity of a folder, where the file system can tell it.
  virtual std::optional<FolderId> IdOf(const std::string& folder) = 0;
};

}  // namespace ravel
