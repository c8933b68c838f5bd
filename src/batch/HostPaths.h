// Paths as a host writes them. On a POSIX host: their Windows form on drive Z: (as under
// Wine) and back. On Windows: native paths, only made absolute.
#pragma once

#include <string>

namespace ravel::batch {

// A path as typed (relative to `cwd` unless absolute; Windows forms kept) -> Windows form.
std::string HostToWindows(const std::string& arg, const std::string& cwd);
// A Windows-form path on drive Z: -> the host path; other paths unchanged.
std::string WindowsToHost(const std::string& path);

// A path typed on Windows in the plain form the engine works with: the long-path prefixes
// taken off (\\?\C:\x -> C:\x, \\?\UNC\server\share -> \\server\share; the file system
// adapter adds them again where a path needs them), forward slashes turned into
// backslashes. Device paths (\\.\) stay as they are.
std::string PlainWindowsPath(const std::string& arg);

}  // namespace ravel::batch
