#include "win32/batch/Win32Store.h"

#include <windows.h>

#include <atomic>

#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"

namespace ravel::docfile {

namespace {

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (ok()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  bool Close() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

// Removes a file left behind by a failed step, unless released.
class Leftover {
 public:
  Leftover() = default;
  ~Leftover() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  Leftover(const Leftover&) = delete;
  Leftover& operator=(const Leftover&) = delete;
  void Arm(std::wstring path) { path_ = std::move(path); }
  void Release() { path_.clear(); }

 private:
  std::wstring path_;
};

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
      reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring w = n > 0 && text != nullptr ? std::wstring(text, n) : std::wstring();
  if (text != nullptr) LocalFree(text);
  while (!w.empty() &&
         (w.back() == L'\r' || w.back() == L'\n' || w.back() == L'.' || w.back() == L' '))
    w.pop_back();
  if (w.empty()) return "error " + std::to_string(code);
  std::string s = win::Narrow(w);
  if (!s.empty() && s[0] >= 'A' && s[0] <= 'Z') s[0] = static_cast<char>(s[0] - 'A' + 'a');
  return s;
}

bool IsGone(DWORD code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
         code == ERROR_BAD_NETPATH || code == ERROR_BAD_NET_NAME;
}

bool IsLock(DWORD code) {
  return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ||
         code == ERROR_USER_MAPPED_FILE;
}

[[noreturn]] void Fail(Reason reason, const std::string& what, DWORD code) {
  throw DocError(reason, what + ": " + SystemMessage(code));
}

[[noreturn]] void Vanished() {
  throw DocError(Reason::Vanished, "the file is gone (it vanished)");
}

[[noreturn]] void Locked() {
  throw DocError(Reason::Locked, "locked: the document is open in another program");
}

std::int64_t Nanoseconds(const FILETIME& t) {
  ULARGE_INTEGER v;
  v.LowPart = t.dwLowDateTime;
  v.HighPart = t.dwHighDateTime;
  return static_cast<std::int64_t>(v.QuadPart) * 100;
}

Stamp StampOf(const WIN32_FILE_ATTRIBUTE_DATA& a) {
  return {(static_cast<std::uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow,
          Nanoseconds(a.ftLastWriteTime)};
}

// The folder part and the name of a Windows-form path.
std::string FolderOf(const std::string& path) {
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? "." : path.substr(0, cut);
}
std::string NameOf(const std::string& path) {
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(win::WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A name no other run picks: the process, a counter and the tick count.
std::string UniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "-" +
         std::to_string(GetTickCount64() % 100000);
}

}  // namespace

std::string WordOwnerFileName(const std::string& name) {
  std::wstring w = win::Widen(name);
  std::size_t dot = w.rfind(L'.');
  std::size_t base = dot == std::wstring::npos ? w.size() : dot;
  std::size_t drop = base >= 8 ? 2 : base == 7 ? 1 : 0;
  return "~$" + win::Narrow(w.substr(drop));
}

std::vector<std::uint8_t> Win32Store::Read(const std::string& path, Stamp& stamp,
                                           std::uint64_t max_size) {
  // Others may go on reading and writing; a program that denies reading shows as a lock.
  Handle file(CreateFileW(win::WidePath(path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.ok()) {
    DWORD code = GetLastError();
    if (IsGone(code)) Vanished();
    if (IsLock(code)) Locked();
    Fail(Reason::Unreadable, "cannot open the file", code);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info))
    Fail(Reason::Unreadable, "cannot read the file", GetLastError());
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      GetFileType(file.get()) != FILE_TYPE_DISK)
    throw DocError(Reason::Unreadable, "not a regular file");
  std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > max_size)
    throw DocError(Reason::TooLarge,
                   "the file is larger than " + std::to_string(max_size >> 20) + " MB");
  stamp = {size, Nanoseconds(info.ftLastWriteTime)};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &got, nullptr)) {
      DWORD code = GetLastError();
      if (IsLock(code)) Locked();
      Fail(Reason::Unreadable, "cannot read the file", code);
    }
    if (got == 0) break;
    done += got;
  }
  bytes.resize(done);
  return bytes;
}

void Win32Store::CheckWritable(const std::string& path) {
  std::wstring wide = win::WidePath(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD code = GetLastError();
    if (IsGone(code)) Vanished();
    Fail(Reason::Unreadable, "cannot reach the file", code);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    throw DocError(Reason::Unreadable, "not a regular file");
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    throw DocError(Reason::ReadOnly, "the file is read-only");
  // Word keeps its owner file beside a document it has open, also where it shares the file.
  std::string owner = WordOwnerFileName(NameOf(path));
  if (Exists(FolderOf(path) + "\\" + owner))
    throw DocError(Reason::Locked, "locked: the document is open in Word (" + owner + ")");
  // The access the replacement needs, asked while allowing others everything: only a
  // program that holds the file without sharing it makes this fail.
  Handle file(CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) {
    DWORD code = GetLastError();
    if (IsGone(code)) Vanished();
    if (IsLock(code)) Locked();
    if (code == ERROR_ACCESS_DENIED)
      throw DocError(Reason::ReadOnly, "no permission to change the file");
    Fail(Reason::Unreadable, "cannot open the file for writing", code);
  }
}

std::string Win32Store::Replace(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                const Stamp& stamp, bool backup) {
  auto step = [&](const char* what) {
    if (fault) fault(what);
  };
  std::wstring target = win::WidePath(path);
  WIN32_FILE_ATTRIBUTE_DATA original;
  if (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &original)) {
    DWORD code = GetLastError();
    if (IsGone(code)) Vanished();
    Fail(Reason::WriteFailed, "cannot reach the file", code);
  }

  // Beside the document, so the swap stays on its volume; a name outside the document
  // patterns, hidden, so a walk or a user's view passes it by.
  std::string temp = path + ".ravel-" + UniqueSuffix() + ".tmp";
  std::wstring wide_temp = win::WidePath(temp);
  // Declared before the handle, so the file is closed before it is removed.
  Leftover temp_guard;
  Handle file(CreateFileW(wide_temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_HIDDEN, nullptr));
  if (!file.ok())
    Fail(Reason::WriteFailed, "cannot create a file beside the document", GetLastError());
  temp_guard.Arm(wide_temp);

  step("write");
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &put, nullptr) || put == 0)
      Fail(Reason::WriteFailed, "cannot write the repaired document", GetLastError());
    done += put;
  }
  step("attributes");
  // The swap keeps the original's creation time and attributes. The write time is the
  // repair's (the content changed, and backup tools look at it) unless asked to keep it.
  if (keep_times &&
      !SetFileTime(file.get(), nullptr, &original.ftLastAccessTime, &original.ftLastWriteTime))
    Fail(Reason::WriteFailed, "cannot keep the file times", GetLastError());
  if (!FlushFileBuffers(file.get()))
    Fail(Reason::WriteFailed, "cannot write the repaired document", GetLastError());
  if (!file.Close())
    Fail(Reason::WriteFailed, "cannot write the repaired document", GetLastError());

  WIN32_FILE_ATTRIBUTE_DATA now;
  if (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &now)) Vanished();
  if (!(StampOf(now) == stamp))
    throw DocError(Reason::Changed, "the file changed while it was being repaired");

  // ReplaceFileW always gets a backup name: without one, a failed final rename may leave
  // the document under no name at all. The user's backup keeps it; otherwise it is a hidden
  // name, removed once the new document is in place.
  std::string backup_path;
  if (backup) {
    step("backup");
    for (int i = 1; i < 1000 && backup_path.empty(); ++i) {
      std::string candidate = path + (i == 1 ? ".bak" : ".bak" + std::to_string(i));
      if (!Exists(candidate)) backup_path = candidate;
    }
    if (backup_path.empty()) throw DocError(Reason::WriteFailed, "cannot keep a backup");
  }
  std::string aside = backup ? backup_path : path + ".ravel-" + UniqueSuffix() + ".old";
  std::wstring wide_aside = win::WidePath(aside);

  step("replace");
  if (!ReplaceFileW(target.c_str(), wide_temp.c_str(), wide_aside.c_str(),
                    REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    DWORD code = GetLastError();
    if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      // The original was moved aside but the new one could not take its name: back it goes.
      if (!MoveFileExW(wide_aside.c_str(), target.c_str(), 0))
        throw DocError(Reason::WriteFailed,
                       "cannot replace the document; the original is kept as " + aside);
    }
    if (IsLock(code)) Locked();
    if (IsGone(code)) Vanished();
    if (code == ERROR_ACCESS_DENIED &&
        (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY))
      throw DocError(Reason::ReadOnly, "the file is read-only");
    Fail(Reason::WriteFailed, "cannot replace the document", code);
  }
  temp_guard.Release();
  // Windows carries the original's attributes over; where a system does not (Wine), the
  // replacement would stay hidden like the temporary file it was.
  constexpr DWORD kKept = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD attributes_now = GetFileAttributesW(target.c_str());
  if (attributes_now != INVALID_FILE_ATTRIBUTES &&
      (attributes_now & kKept) != (original.dwFileAttributes & kKept))
    SetFileAttributesW(target.c_str(),
                       (attributes_now & ~kKept) | (original.dwFileAttributes & kKept));
  if (!backup && !DeleteFileW(wide_aside.c_str())) {
    // Held open by someone else for a moment: it goes when the system next restarts.
    MoveFileExW(wide_aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return backup_path;
}

}  // namespace ravel::docfile
