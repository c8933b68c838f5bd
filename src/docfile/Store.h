// The file-system seam of the document engine: whole documents read and replaced safely.
// Paths are Windows form; an adapter maps them onto its host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "docfile/Errors.h"

namespace ravel::docfile {

// What a document looked like when it was read, to notice a change before replacing it.
struct Stamp {
  std::uint64_t size = 0;
  std::int64_t mtime_ns = 0;
  bool operator==(const Stamp&) const = default;
};

// How a link's file can be reached, where the store can tell more than "opens or not".
enum class FileAccess { Unknown, Readable, Absent, Denied };

class DocStore {
 public:
  virtual ~DocStore() = default;
  // Replace gives the repaired file the original's modification time instead of the time
  // of the repair.
  bool keep_times = false;
  // Whether the file at `path` is there and readable, absent, or there but out of reach
  // (no access to it or its folder). Unknown: the caller asks its file system instead.
  virtual FileAccess Probe(const std::string& path) {
    (void)path;
    return FileAccess::Unknown;
  }
  // The whole file. Throws DocError (Vanished, Unreadable, TooLarge, NotRegular: a folder,
  // pipe or device is never opened as a document).
  virtual std::vector<std::uint8_t> Read(const std::string& path, Stamp& stamp,
                                         std::uint64_t max_size) = 0;
  // Throws DocError when the document cannot be replaced: read-only, locked (open in a word
  // processor), vanished.
  virtual void CheckWritable(const std::string& path) = 0;
  // Writes `bytes` into a new file beside `path` with the document's permissions, owner
  // and extended attributes (and times with keep_times) and renames it over the document,
  // only once it is complete and only while the document is still as `stamp` says. With
  // `backup`, the original stays beside it; its path is returned. On failure the document
  // is as it was, and DocError is thrown.
  virtual std::string Replace(const std::string& path, const std::vector<std::uint8_t>& bytes,
                              const Stamp& stamp, bool backup) = 0;
};

// Replace writes the new document under a hidden name beside it, `.NAME.ravel-XXXXXX` (NAME
// cut short where the whole would be too long for the file system). True for such a name,
// as a run that was killed may leave one behind. (Defined with the portable engine.)
bool IsRepairTempName(const std::string& name);

}  // namespace ravel::docfile
