// ravelmend-batch on a POSIX host: host paths become Windows-form paths on drive Z:, as
// under Wine, and are shown in host form again. The Windows program is in src/win32/batch.
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "batch/Batch.h"
#include "batch/HostPaths.h"
#include "docfile/PosixStore.h"
#include "docfile/PosixWalk.h"
#include "posix/PosixFileSystem.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::ios::sync_with_stdio(false);
  char buffer[PATH_MAX];
  std::string cwd = getcwd(buffer, sizeof buffer) != nullptr ? buffer : "/";
  ravel::PosixFileSystem fs;
  ravel::docfile::PosixStore store(fs);
  ravel::docfile::PosixWalker walker(fs);
  ravel::batch::Host host{
      fs,
      store,
      std::cout,
      std::cerr,
      isatty(STDERR_FILENO) != 0,
      true,
      [&](const std::string& arg) { return ravel::batch::HostToWindows(arg, cwd); },
      ravel::batch::WindowsToHost,
      &walker,
      true,
      std::max(1u, std::thread::hardware_concurrency())};
  int status = ravel::batch::Run(args, host);
  std::cout.flush();
  return status;
}
