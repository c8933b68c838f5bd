// ravelmend-batch on a POSIX host: host paths become Windows-form paths on drive Z:, as
// under Wine, and are shown in host form again.
#include <unistd.h>

#include <climits>
#include <iostream>

#include "batch/Batch.h"
#include "docfile/PosixStore.h"
#include "posix/PosixFileSystem.h"

namespace {

std::string Absolute(const std::string& arg) {
  // Windows forms (a drive, a network path) are taken as they are.
  if ((arg.size() >= 2 && arg[1] == ':') || arg.starts_with("\\\\")) return arg;
  std::string host = arg;
  if (!host.starts_with("/")) {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) != nullptr) host = std::string(cwd) + "/" + host;
  }
  std::string out = "Z:";
  for (char c : host) out += c == '/' ? '\\' : c;
  return out;
}

std::string Display(const std::string& path) {
  if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') {
    std::string out;
    for (char c : path.substr(2)) out += c == '\\' ? '/' : c;
    return out.empty() ? "/" : out;
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  ravel::PosixFileSystem fs;
  ravel::docfile::PosixStore store(fs);
  ravel::batch::Host host{fs,   store,    std::cout, std::cerr, isatty(STDERR_FILENO) != 0,
                          true, Absolute, Display};
  std::vector<std::string> args(argv + 1, argv + argc);
  int status = ravel::batch::Run(args, host);
  std::cout.flush();
  return status;
}
