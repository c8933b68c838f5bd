// The document store over a POSIX host; Windows-form paths are mapped as the POSIX file
// system adapter maps them (drive Z: is the host's root).
#pragma once

#include <functional>
#include <string>

#include "docfile/Store.h"
#include "posix/PosixFileSystem.h"

namespace ravel::docfile {

class PosixStore : public DocStore {
 public:
  explicit PosixStore(const PosixFileSystem& fs) : fs_(fs) {}
  FileAccess Probe(const std::string& path) override;
  std::vector<std::uint8_t> Read(const std::string& path, Stamp& stamp,
                                 std::uint64_t max_size) override;
  void CheckWritable(const std::string& path) override;
  std::string Replace(const std::string& path, const std::vector<std::uint8_t>& bytes,
                      const Stamp& stamp, bool backup) override;

  // Called before each step of Replace ("write", "attributes", "backup", "rename"); a test
  // throws from it to fail that step.
  std::function<void(const char* step)> fault;

 private:
  const PosixFileSystem& fs_;
};

}  // namespace ravel::docfile
