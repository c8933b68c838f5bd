// The document store over Win32: W functions throughout (names in any script), \\?\ for long
// paths, UNC paths as they are. A repaired document replaces the original through
// ReplaceFileW, so it keeps the original's identity: ACLs, attributes, alternate streams,
// creation time, short name.
#pragma once

#include <functional>
#include <string>

#include "docfile/Store.h"

namespace ravel::docfile {

class Win32Store : public DocStore {
 public:
  std::vector<std::uint8_t> Read(const std::string& path, Stamp& stamp,
                                 std::uint64_t max_size) override;
  void CheckWritable(const std::string& path) override;
  std::string Replace(const std::string& path, const std::vector<std::uint8_t>& bytes,
                      const Stamp& stamp, bool backup) override;

  // Called before each step of Replace ("write", "attributes", "backup", "replace"); a test
  // throws from it to fail that step.
  std::function<void(const char* step)> fault;
};

// The name of the owner file Word keeps beside a document it has open: "~$" and the name,
// its first two characters dropped when the part before the extension has 8 characters or
// more, the first one with 7 ("~$cument1.docx" for "Document1.docx", "~$Memo.docx" for
// "Memo.docx"). Characters, not bytes: the name is UTF-8.
std::string WordOwnerFileName(const std::string& name);

}  // namespace ravel::docfile
