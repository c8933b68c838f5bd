#include "win32/common/Win32FileSystem.h"

#include <windows.h>

#include "win32/common/Utf.h"

namespace ravel::win {

namespace {

// Leaves room for "\*.*" and an 8.3 name below MAX_PATH, the limit without the prefix.
constexpr std::size_t kShortLimit = 240;

// Keeps "drive not ready" and similar system dialogs from popping up during a query; the
// call fails instead.
class QuietErrors {
 public:
  QuietErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
  ~QuietErrors() { SetThreadErrorMode(old_, nullptr); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  DWORD old_ = 0;
};

class FindListing : public DirListing {
 public:
  FindListing(HANDLE h, const WIN32_FIND_DATAW& first) : h_(h), data_(first) {}
  ~FindListing() override { FindClose(h_); }
  FindListing(const FindListing&) = delete;
  FindListing& operator=(const FindListing&) = delete;

  bool Next(DirEntry& out) override {
    if (pending_) {
      pending_ = false;
    } else if (!FindNextFileW(h_, &data_)) {
      return false;
    }
    out.name = Narrow(data_.cFileName);
    out.attributes = data_.dwFileAttributes;
    return true;
  }

 private:
  HANDLE h_;
  WIN32_FIND_DATAW data_;
  bool pending_ = true;
};

bool IsBareDrive(const std::string& path) {
  return path.size() == 2 && path[1] == ':';
}

}  // namespace

std::wstring WidePath(const std::string& path) {
  std::wstring w = Widen(path);
  if (w.size() < kShortLimit || w.rfind(L"\\\\?\\", 0) == 0) return w;
  bool drive = w.size() >= 3 && w[1] == L':' && (w[2] == L'\\' || w[2] == L'/');
  bool network = w.rfind(L"\\\\", 0) == 0;
  if (!drive && !network) return w;
  // The prefixed form is taken literally: only backslashes separate.
  for (wchar_t& c : w)
    if (c == L'/') c = L'\\';
  return network ? L"\\\\?\\UNC\\" + w.substr(2) : L"\\\\?\\" + w;
}

bool Win32FileSystem::CanOpenForReading(const std::string& path) {
  QuietErrors quiet;
  HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_SUCCESS);  // no error left pending for the caller
    return false;
  }
  CloseHandle(h);
  return true;
}

std::unique_ptr<DirListing> Win32FileSystem::List(const std::string& pattern) {
  QuietErrors quiet;
  std::wstring wide = WidePath(pattern);
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                              FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
    h = FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                         0);  // systems that do not know the large fetch
  if (h == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_SUCCESS);
    return nullptr;
  }
  return std::make_unique<FindListing>(h, data);
}

std::optional<FolderId> Win32FileSystem::IdOf(const std::string& folder) {
  QuietErrors quiet;
  // "C:" alone names the drive's current folder; the walk means its root.
  std::string path = IsBareDrive(folder) ? folder + "\\" : folder;
  HANDLE h = CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_SUCCESS);
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return std::nullopt;
  std::uint64_t index =
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if (index == 0) return std::nullopt;  // the file system gives no identity
  return FolderId{info.dwVolumeSerialNumber, index};
}

}  // namespace ravel::win
