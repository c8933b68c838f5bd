// Paths as a POSIX host writes them, and their Windows form on drive Z: (as under Wine).
#pragma once

#include <string>

namespace ravel::batch {

// A path as typed (relative to `cwd` unless absolute; Windows forms kept) -> Windows form.
std::string HostToWindows(const std::string& arg, const std::string& cwd);
// A Windows-form path on drive Z: -> the host path; other paths unchanged.
std::string WindowsToHost(const std::string& path);

}  // namespace ravel::batch
