// The file system port over Win32, W functions throughout so names in any script survive;
// long paths take the \\?\ form where they need it.
#pragma once

#include <string>

#include "relink/FileSystem.h"

namespace ravel::win {

class Win32FileSystem : public FileSystem {
 public:
  // CreateFileW for reading, shared, never creating; a folder cannot be opened this way.
  bool CanOpenForReading(const std::string& path) override;
  // FindFirstFileExW (basic information, large fetch): entries in the file system's order.
  std::unique_ptr<DirListing> List(const std::string& pattern) override;
  // Volume serial number and file index of the folder (GetFileInformationByHandle on a
  // handle opened with backup semantics); none where the file system gives no index.
  std::optional<FolderId> IdOf(const std::string& folder) override;
};

// The UTF-16 form of a path for the W functions: an absolute path too long for the classic
// limit gets the \\?\ prefix (\\?\UNC\ for a network path), others stay as they are.
std::wstring WidePath(const std::string& path);

}  // namespace ravel::win
