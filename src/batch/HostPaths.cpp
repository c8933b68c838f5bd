#include "batch/HostPaths.h"

namespace ravel::batch {

std::string HostToWindows(const std::string& arg, const std::string& cwd) {
  if ((arg.size() >= 2 && arg[1] == ':') || arg.starts_with("\\\\")) return arg;
  std::string host = arg.starts_with("/") ? arg : cwd + "/" + arg;
  std::string out = "Z:";
  for (char c : host) out += c == '/' ? '\\' : c;
  return out;
}

std::string WindowsToHost(const std::string& path) {
  if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') {
    std::string out;
    for (char c : path.substr(2)) out += c == '\\' ? '/' : c;
    return out.empty() ? "/" : out;
  }
  return path;
}

}  // namespace ravel::batch

namespace ravel::batch {

std::string PlainWindowsPath(const std::string& arg) {
  std::string p = arg;
  for (char& c : p)
    if (c == '/') c = '\\';
  if (p.starts_with("\\\\?\\UNC\\")) return "\\\\" + p.substr(8);
  if (p.starts_with("\\\\?\\")) return p.substr(4);
  return p;
}

}  // namespace ravel::batch
