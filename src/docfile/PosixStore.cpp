#include "docfile/PosixStore.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

std::vector<std::uint8_t> PosixStore::Read(const std::string& path, Stamp& stamp,
                                           std::uint64_t max_size) {
  std::string host = fs_.HostPath(path);
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) throw DocError(Reason::Vanished, "the file is gone (it vanished)");
    Fail(Reason::Unreadable, "cannot open the file", errno);
  }
  TempFile guard(fd, "");
  struct stat st;
  if (fstat(fd, &st) != 0) Fail(Reason::Unreadable, "cannot read the file", errno);
  if (!S_ISREG(st.st_mode)) throw DocError(Reason::Unreadable, "not a regular file");
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
  std::string host = fs_.HostPath(path);
  struct stat st;
  if (stat(host.c_str(), &st) != 0) {
    if (errno == ENOENT) throw DocError(Reason::Vanished, "the file is gone (it vanished)");
    Fail(Reason::Unreadable, "cannot reach the file", errno);
  }
  // Permission bits first: root may write anything, but a read-only document is meant to
  // stay as it is.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(host.c_str(), W_OK) != 0)
    throw DocError(Reason::ReadOnly, "the file is read-only");
  std::string folder = Folder(host);
  if (access(folder.c_str(), W_OK) != 0)
    throw DocError(Reason::ReadOnly, "its folder is read-only");
  // The owner files Word and LibreOffice keep beside a document they have open.
  std::string name = NameOf(host);
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

std::string PosixStore::Replace(const std::string& path, const std::vector<std::uint8_t>& bytes,
                                const Stamp& stamp, bool backup) {
  std::string host = fs_.HostPath(path);
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
  std::string tmpl = folder + "/." + name + ".ravel-XXXXXX";
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
  if (fchmod(fd, original.st_mode & 07777) != 0)
    Fail(Reason::WriteFailed, "cannot keep the permissions", errno);
  if (fchown(fd, original.st_uid, original.st_gid) != 0) {
    // Only the owner's group may be out of reach; the permissions above still hold.
  }
  struct timespec times[2] = {original.st_atim, original.st_mtim};
  if (futimens(fd, times) != 0) Fail(Reason::WriteFailed, "cannot keep the file times", errno);
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
        backup_path = path + suffix;
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
