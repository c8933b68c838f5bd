// ravelmend-batch. On a POSIX host, host paths become Windows-form paths on drive Z:, as
// under Wine, and are shown in host form again. On Windows, paths are native: made absolute
// and shown as typed.
#include <algorithm>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "batch/Batch.h"
#include "batch/HostPaths.h"
#include "ravel/Version.h"

#ifdef _WIN32
#include <windows.h>

#include "docfile/Win32Store.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"
#else
#include <unistd.h>

#include <climits>

#include "docfile/PosixStore.h"
#include "docfile/PosixWalk.h"
#include "posix/PosixFileSystem.h"
#endif

namespace {

bool AskedForVersion(const std::vector<std::string>& args) {
  return !args.empty() && (args[0] == "--version" || args[0] == "-V");
}

#ifdef _WIN32
// GetFullPathNameW: relative to the current folder (of the drive, for "C:x"), "." and ".."
// resolved; the long-path prefixes are taken off first, and put back by the file system
// adapter where a path needs them.
std::string Absolute(const std::string& arg) {
  std::wstring plain = ravel::win::Widen(ravel::batch::PlainWindowsPath(arg));
  DWORD n = GetFullPathNameW(plain.c_str(), 0, nullptr, nullptr);
  if (n == 0) return ravel::batch::PlainWindowsPath(arg);
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(plain.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return ravel::win::Narrow(full);
}

bool IsConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

// Reports are UTF-8: a console shows them as such while the command runs, and gets its own
// code page back afterwards (it belongs to the console, not to this process).
class Utf8Console {
 public:
  Utf8Console() : old_(GetConsoleOutputCP()) {
    if (old_ != 0) SetConsoleOutputCP(CP_UTF8);
  }
  ~Utf8Console() {
    if (old_ != 0) SetConsoleOutputCP(old_);
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT old_;
};
#endif

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ravel::win::Narrow(argv[i]));
  Utf8Console console;
#else
int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
#endif
  std::ios::sync_with_stdio(false);
  if (AskedForVersion(args)) {
    std::cout << "ravelmend-batch " << RAVEL_VERSION << " (build " << RAVEL_BUILD_TEXT << ")\n";
    std::cout.flush();
    return 0;
  }
#ifdef _WIN32
  ravel::win::Win32FileSystem fs;
  ravel::docfile::Win32Store store;
  ravel::batch::Host host{fs,
                          store,
                          std::cout,
                          std::cerr,
                          IsConsole(STD_ERROR_HANDLE),
                          false,
                          Absolute,
                          [](const std::string& path) { return path; }};
#else
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
#endif
  int status = ravel::batch::Run(args, host);
  std::cout.flush();
  return status;
}
