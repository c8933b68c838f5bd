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

// Identity of a folder, to recognise one reached again through a link. Numbers where the
// file system has them: the volume's serial number and the folder's file id, 128 bits
// wide where the file system gives such ids (ReFS), else 64 in `file`. Where it gives no
// usable id, the folder's final path (links resolved) stands in, the numbers left 0. Two
// identities are the same folder only when every part is equal.
struct FolderId {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;       // the id, or the low 64 bits of a 128-bit one
  std::uint64_t file_high = 0;  // the high 64 bits of a 128-bit id
  std::string path;             // the final path, when there is no id
  bool operator==(const FolderId&) const = default;
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
  // True when Id() gives the folder's id but not its volume (left 0): the folder then lies
  // on the volume of the folder whose entry led to it, unless that entry was a link (a
  // junction, symbolic link or mount point), which may lead to another volume.
  virtual bool IdWithoutVolume() const { return false; }
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
  // The identity of a folder, its volume included, where the file system can tell it.
  virtual std::optional<FolderId> IdOf(const std::string& folder) = 0;
};

}  // namespace ravel
