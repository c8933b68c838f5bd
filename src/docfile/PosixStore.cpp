#include "docfile/PosixStore.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace ravel::docfile {

namespace {

// Closes a descriptor and removes a half-written file unless released.
class TempFile {
 public:
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }
  void Release() { path_.clear(); }

 private:
  int fd_;
  std::string path_;
};

std::string Folder(const std::string& host) {
  std::size_t slash = host.rfind('/');
  return slash == std::string::npos ? "." : host.substr(0, slash == 0 ? 1 : slash);
}

std::string NameOf(const std::string& host) {
  std::size_t slash = host.rfind('/');
  return slash == std::string::npos ? host : host.substr(slash + 1);
}

Stamp StampOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

[[noreturn]] void Fail(Reason reason, const std::string& what, int err) {
  throw DocError(reason, what + ": " + std::strerror(err));
}

// The file a document's path really names: a symbolic link is followed to it, so the
// document is repaired where it lies and the link stays a link.
std::string RealPath(const std::string& host) {
  struct stat st;
  if (lstat(host.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return host;
  char* real = realpath(host.c_str(), nullptr);
  if (real == nullptr) {
    if (errno == ENOENT) throw DocError(Reason::Vanished, "the file is gone (a dangling link)");
    Fail(Reason::Unreadable, "cannot follow the link", errno);
  }
  std::string out(real);
  free(real);
  return out;
}

// Opens a path of any length: one longer than the system takes is opened folder by folder,
// each relative to the one before, as the walk that found it went.
int OpenAnyLength(const std::string& host, int flags) {
  if (host.size() < PATH_MAX || host.empty() || host[0] != '/') return open(host.c_str(), flags);
  int dir = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  std::size_t at = 1;
  while (dir >= 0) {
    std::size_t slash = host.find('/', at);
    std::string part = host.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    if (slash == std::string::npos) {
      int fd = openat(dir, part.c_str(), flags);
      int err = errno;
      close(dir);
      errno = err;
      return fd;
    }
    at = slash + 1;
    if (part.empty()) continue;
    int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int err = errno;
    close(dir);
    errno = err;
    dir = next;
  }
  return -1;
}

const char* TypeName(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// The temporary name beside `name`, its length within what the folder allows: a document
// whose name is near the limit is still repaired.
std::string TempTemplate(const std::string& folder, const std::string& name) {
  static const char kSuffix[] = ".ravel-XXXXXX";
  long max = pathconf(folder.c_str(), _PC_NAME_MAX);
  std::size_t limit = max > 0 && max < NAME_MAX ? static_cast<std::size_t>(max) : NAME_MAX;
  std::size_t room = limit - 1 - (sizeof kSuffix - 1);
  std::size_t keep = std::min(name.size(), room);
  // Not within a UTF-8 sequence.
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
    --keep;
  return folder + "/." + name.substr(0, keep) + kSuffix;
}

// Every extended attribute of `from` onto the open file: POSIX ACLs, and the Windows ACLs
// and DOS attributes a Samba server keeps there.
void CopyAttributes(const std::string& from, int to) {
  ssize_t size = listxattr(from.c_str(), nullptr, 0);
  if (size < 0) {
    if (errno == ENOTSUP) return;
    Fail(Reason::WriteFailed, "cannot read the extended attributes", errno);
  }
  std::vector<char> names(static_cast<std::size_t>(size) + 1);
  size = listxattr(from.c_str(), names.data(), names.size());
  if (size < 0) Fail(Reason::WriteFailed, "cannot read the extended attributes", errno);
  std::vector<char> value;
  for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
    const char* name = &names[at];
    ssize_t length = getxattr(from.c_str(), name, nullptr, 0);
    if (length >= 0) {
      value.resize(static_cast<std::size_t>(length) + 1);
      length = getxattr(from.c_str(), name, value.data(), value.size());
    }
    if (length < 0)
      Fail(Reason::WriteFailed, std::string("cannot read the extended attribute ") + name, errno);
    if (fsetxattr(to, name, value.data(), static_cast<std::size_t>(length), 0) != 0)
      Fail(Reason::WriteFailed, std::string("cannot keep the extended attribute ") + name, errno);
  }
}

// The owner files Word and LibreOffice keep beside a document they have open.
void CheckOwnerFiles(const std::string& host) {
  std::string folder = Folder(host), name = NameOf(host);
  std::string base = name.substr(0, name.rfind('.'));
  std::string word = name;
  if (base.size() >= 8)
    word = name.substr(2);
  else if (base.size() == 7)
    word = name.substr(1);
  if (access((folder + "/~$" + word).c_str(), F_OK) == 0)
    throw DocError(Reason::Locked, "locked: the document is open in Word (~$" + word + ")");
  if (access((folder + "/.~lock." + name + "#").c_str(), F_OK) == 0)
    throw DocError(Reason::Locked, "locked: the document is open in LibreOffice");
}

// A host path in Windows form on drive Z:, as the host maps its root.
std::string WindowsFormOf(const std::string& host) {
  std::string out = "Z:" + host;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

}  // namespace

FileAccess PosixStore::Probe(const std::string& path) {
  std::string host = fs_.HostPath(path);
  if (host.empty()) return FileAccess::Unknown;
  struct stat st;
  if (stat(host.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? FileAccess::Absent : FileAccess::Denied;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? FileAccess::Absent : FileAccess::Denied;
  close(fd);
  return FileAccess::Readable;
}

std::vector<std::uint8_t> PosixStore::Read(const std::string& path, Stamp& stamp,
                                           std::uint64_t max_size) {
  std::string host = RealPath(fs_.HostPath(path));
  // Neither following a link swapped in since nor waiting on a pipe's writer: the type is
  // checked on what was opened.
  int fd = OpenAnyLength(host, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == ENOENT) throw DocError(Reason::Vanished, "the file is gone (it vanished)");
    if (errno == ELOOP) throw DocError(Reason::Changed, "the file became a link while read");
    Fail(Reason::Unreadable, "cannot open the file", errno);
  }
  TempFile guard(fd, "");
  struct stat st;
  if (fstat(fd, &st) != 0) Fail(Reason::Unreadable, "cannot read the file", errno);
  if (!S_ISREG(st.st_mode))
    throw DocError(Reason::NotRegular,
                   std::string("passed over: ") + TypeName(st.st_mode) + ", not a document file");
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (static_cast<std::uint64_t>(st.st_size) > max_size)
    throw DocError(Reason::TooLarge,
                   "the file is larger than " + std::to_string(max_size >> 20) + " MB");
  stamp = StampOf(st);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(Reason::Unreadable, "cannot read the file", errno);
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

void PosixStore::CheckWritable(const std::string& path) {
  std::string link = fs_.HostPath(path);
  std::string host = RealPath(link);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    if (errno == ENOENT) throw DocError(Reason::Vanished, "the file is gone (it vanished)");
    Fail(Reason::Unreadable, "cannot reach the file", errno);
  }
  // Permission bits first: root may write anything, but a read-only document is meant to
  // stay as it is.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(host.c_str(), W_OK) != 0)
    throw DocError(Reason::ReadOnly, "the file is read-only");
  if (access(Folder(host).c_str(), W_OK) != 0)
    throw DocError(Reason::ReadOnly, "its folder is read-only");
  CheckOwnerFiles(host);
  // Opened through a link, a word processor keeps its owner file beside the link.
  if (link != host) CheckOwnerFiles(link);
}

std::string PosixStore::Replace(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                const Stamp& stamp, bool backup) {
  std::string host = RealPath(fs_.HostPath(path));
  bool linked = host != fs_.HostPath(path);
  std::string folder = Folder(host), name = NameOf(host);
  auto step = [&](const char* what) {
    if (fault) fault(what);
  };
  struct stat original;
  if (stat(host.c_str(), &original) != 0) {
    if (errno == ENOENT) throw DocError(Reason::Vanished, "the file is gone (it vanished)");
    Fail(Reason::WriteFailed, "cannot reach the file", errno);
  }
  // A hidden name outside the document patterns, so a walk over the folder passes it by.
  std::string tmpl = TempTemplate(folder, name);
  std::vector<char> buffer(tmpl.begin(), tmpl.end());
  buffer.push_back(0);
  int fd = mkstemp(buffer.data());
  if (fd < 0) Fail(Reason::WriteFailed, "cannot create a file beside the document", errno);
  std::string temp(buffer.data());
  TempFile file(fd, temp);

  step("write");
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(Reason::WriteFailed, "cannot write the repaired document", errno);
    done += static_cast<std::size_t>(n);
  }
  step("attributes");
  if (fchown(fd, original.st_uid, original.st_gid) != 0) {
    // Only the owner's group may be out of reach; the permissions below still hold.
  }
  if (fchmod(fd, original.st_mode & 07777) != 0)
    Fail(Reason::WriteFailed, "cannot keep the permissions", errno);
  CopyAttributes(host, fd);
  // The content changed, so by default the time is the repair's: backup tools go by it.
  struct timespec times[2] = {original.st_atim, original.st_mtim};
  if (keep_times && futimens(fd, times) != 0)
    Fail(Reason::WriteFailed, "cannot keep the file times", errno);
  if (fsync(fd) != 0) Fail(Reason::WriteFailed, "cannot write the repaired document", errno);
  if (!file.Close()) Fail(Reason::WriteFailed, "cannot write the repaired document", errno);

  struct stat now;
  if (stat(host.c_str(), &now) != 0) throw DocError(Reason::Vanished, "the file vanished");
  if (!(StampOf(now) == stamp))
    throw DocError(Reason::Changed, "the file changed while it was being repaired");

  std::string backup_path;
  if (backup) {
    step("backup");
    for (int i = 1; i < 1000 && backup_path.empty(); ++i) {
      std::string suffix = i == 1 ? ".bak" : ".bak" + std::to_string(i);
      if (link(host.c_str(), (host + suffix).c_str()) == 0)
        backup_path = linked ? WindowsFormOf(host + suffix) : path + suffix;
      else if (errno != EEXIST)
        Fail(Reason::WriteFailed, "cannot keep a backup", errno);
    }
    if (backup_path.empty()) throw DocError(Reason::WriteFailed, "cannot keep a backup");
  }
  try {
    step("rename");
    if (rename(temp.c_str(), host.c_str()) != 0)
      Fail(Reason::WriteFailed, "cannot replace the document", errno);
  } catch (...) {
    if (!backup_path.empty()) unlink(fs_.HostPath(backup_path).c_str());
    throw;
  }
  file.Release();
  return backup_path;
}

}  // namespace ravel::docfile
