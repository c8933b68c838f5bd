// ravelmend-batch.exe: paths are native, made absolute and shown as typed; documents are
// swapped in by the Win32 store and folders walked by the program's Win32 file system.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "batch/Batch.h"
#include "batch/HostPaths.h"
#include "win32/batch/Win32Store.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"

namespace {

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
}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ravel::win::Narrow(argv[i]));
  Utf8Console console;
  std::ios::sync_with_stdio(false);
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
  int status = ravel::batch::Run(args, host);
  std::cout.flush();
  return status;
}
