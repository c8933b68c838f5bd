// The tree walk over a POSIX host: each folder opened relative to its parent's descriptor
// (openat), so no path is ever longer than one name.
#pragma once

#include "docfile/Walk.h"
#include "posix/PosixFileSystem.h"

namespace ravel::docfile {

class PosixWalker : public TreeWalker {
 public:
  explicit PosixWalker(const PosixFileSystem& fs) : fs_(fs) {}
  void Walk(const std::string& root, const WalkHooks& hooks) override;

 private:
  const PosixFileSystem& fs_;
};

}  // namespace ravel::docfile
