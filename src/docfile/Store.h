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

class DocStore {
 public:
  virtual ~DocStore() = default;
  // The whole file. Throws DocError (Vanished, Unreadable, TooLarge).
  virtual std::vector<std::uint8_t> Read(const std::string& path, Stamp& stamp,
                                         std::uint64_t max_size) = 0;
  // Throws DocError when the document cannot be replaced: read-only, locked (open in a word
  // processor), vanished.
  virtual void CheckWritable(const std::string& path) = 0;
  // Writes `bytes` into a new file beside `path` with the document's times and permissions
  // and renames it over the document, only once it is complete and only while the
  // document is still as `stamp` says. With `backup`, the original stays beside it; its
  // path is returned. On failure the document is as it was, and DocError is thrown.
  virtual std::string Replace(const std::string& path, const std::vector<std::uint8_t>& bytes,
                              const Stamp& stamp, bool backup) = 0;
};

}  // namespace ravel::docfile
