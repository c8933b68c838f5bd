#include "posix/PosixFileSystem.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "relink/TextCompare.h"

namespace ravel {

namespace {

constexpr std::uint32_t kAttrArchive = 0x20;

constexpr int kMaxOpenListings = 64;

// A listing held in memory: the one entry a path names, or a folder read whole.
class SnapshotListing : public DirListing {
 public:
  struct Item {
    std::size_t offset, length;
    std::uint32_t attributes;
  };
  void Add(const char* name, std::size_t length, std::uint32_t attributes) {
    items_.push_back({names_.size(), length, attributes});
    names_.append(name, length);
  }
  bool Empty() const { return items_.empty(); }
  void SetId(const FolderId& id) { id_ = id; }
  std::optional<FolderId> Id() const override { return id_; }
  bool Next(DirEntry& out) override {
    if (pos_ >= items_.size()) return false;
    const Item& it = items_[pos_++];
    out.name.assign(names_, it.offset, it.length);
    out.attributes = it.attributes;
    return true;
  }

 private:
  std::string names_;
  std::vector<Item> items_;
  std::size_t pos_ = 0;
  std::optional<FolderId> id_;
};

std::uint32_t AttributesOf(const struct stat& st) {
  return S_ISDIR(st.st_mode) ? kAttrDirectory : kAttrArchive;
}

// Entry attributes from the directory entry itself, asking the file system only where the
// entry does not say (links, and file systems without entry types).
std::uint32_t AttributesOf(int dir_fd, const char* name, unsigned char type) {
  struct stat st;
  switch (type) {
    case DT_DIR:
      return kAttrDirectory;
    case DT_LNK:
      // A link to a folder is listed as a folder, as Windows lists a junction.
      if (fstatat(dir_fd, name, &st, 0) == 0) return AttributesOf(st) | kAttrReparsePoint;
      return kAttrArchive | kAttrReparsePoint;
    case DT_UNKNOWN:
      if (fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return kAttrArchive;
      if (S_ISLNK(st.st_mode)) {
        if (fstatat(dir_fd, name, &st, 0) == 0) return AttributesOf(st) | kAttrReparsePoint;
        return kAttrArchive | kAttrReparsePoint;
      }
      return AttributesOf(st);
    default:
      return kAttrArchive;
  }
}

// Windows' wildcard match of one name: "*" any run, "?" one character, no case.
bool Matches(std::string_view pattern, std::string_view name);

// The raw entries of an open folder. On Linux straight from getdents64, so a listing costs
// the same calls as readdir (open, fstat, getdents64, close), the fstat that readdir's
// opendir makes anyway giving the folder's identity; elsewhere through readdir.
class FolderReader {
 public:
  struct Raw {
    const char* name;
    unsigned char type;
  };
#ifdef __linux__
  explicit FolderReader(int fd) : fd_(fd), buffer_(new char[kBuffer]) {}
  ~FolderReader() {
    close(fd_);
  }
  int Fd() const {
    return fd_;
  }
  bool Next(Raw& out) {
    if (pos_ >= length_) {
      ssize_t n = getdents64(fd_, buffer_.get(), kBuffer);
      if (n <= 0) return false;
      length_ = static_cast<std::size_t>(n);
      pos_ = 0;
    }
    const auto* d = reinterpret_cast<const struct dirent64*>(buffer_.get() + pos_);
    pos_ += d->d_reclen;
    out = {d->d_name, d->d_type};
    return true;
  }

 private:
  static constexpr std::size_t kBuffer = 32768;
  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t length_ = 0, pos_ = 0;
#else
  explicit FolderReader(int fd) : dir_(fdopendir(fd)), fd_(fd) {
    if (dir_ == nullptr) close(fd);
  }
  ~FolderReader() {
    if (dir_ != nullptr) closedir(dir_);
  }
  int Fd() const {
    return fd_;
  }
  bool Next(Raw& out) {
    const dirent* d = dir_ == nullptr ? nullptr : readdir(dir_);
    if (d == nullptr) return false;
    out = {d->d_name, d->d_type};
    return true;
  }

 private:
  DIR* dir_;
  int fd_;
#endif
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;
};

// A folder's entries, read as they are asked for, as FindNextFileW does. One entry is read
// ahead, so a listing with nothing to give is never handed out.
class StreamListing : public DirListing {
 public:
  StreamListing(int fd, bool drive_root, std::string pattern, std::atomic<int>& open)
      : reader_(fd), drive_root_(drive_root), pattern_(std::move(pattern)), open_(open) {
    ++open_;
    struct stat self;
    if (fstat(fd, &self) == 0)
      id_ = FolderId{
          static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino), 0, {}};
    ahead_ = Read(pending_);
  }
  ~StreamListing() override { --open_; }

  bool Empty() const { return !ahead_; }
  std::optional<FolderId> Id() const override { return id_; }
  bool Next(DirEntry& out) override {
    if (!ahead_) return false;
    out.name.swap(pending_.name);
    out.attributes = pending_.attributes;
    ahead_ = Read(pending_);
    return true;
  }

 private:
  bool Read(DirEntry& out) {
    FolderReader::Raw d;
    while (reader_.Next(d)) {
      const char* n = d.name;
      if (drive_root_ && n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
      std::size_t length = std::strlen(n);
      if (!pattern_.empty()) {
        LowerCaseInto(std::string_view(n, length), folded_);
        if (!Matches(pattern_, folded_)) continue;
      }
      out.name.assign(n, length);
      out.attributes = AttributesOf(reader_.Fd(), n, d.type);
      return true;
    }
    return false;
  }

  FolderReader reader_;
  bool drive_root_;
  std::string pattern_;  // folded; empty for all entries
  std::atomic<int>& open_;
  std::optional<FolderId> id_;
  DirEntry pending_;
  bool ahead_ = false;
  std::string folded_;
};

// Windows' wildcard match of one name: "*" any run, "?" one character, no case.
bool Matches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsDriveRoot(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return false;
  for (std::size_t i = 2; i < path.size(); ++i)
    if (path[i] != '\\') return false;
  return true;
}

}  // namespace

PosixFileSystem::PosixFileSystem(std::map<char, std::string> drives) {
  for (auto& [letter, folder] : drives)
    drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = folder;
  drives_.emplace('Z', "/");
}

std::string PosixFileSystem::HostPath(const std::string& windows_path) const {
  if (windows_path.size() < 2 || windows_path[1] != ':') return {};
  auto drive =
      drives_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(windows_path[0]))));
  if (drive == drives_.end()) return {};
  std::string out = drive->second;
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  std::string rest = windows_path.substr(2);
  for (char& c : rest)
    if (c == '\\') c = '/';
  if (rest.empty()) return out;
  if (rest.front() != '/') rest.insert(rest.begin(), '/');
  return out == "/" ? rest : out + rest;
}

// Names are looked up without case where the exact spelling is not there, as Wine does for
// a Windows program: each part of the path is then matched against its folder's entries.
std::string PosixFileSystem::Resolve(const std::string& windows_path) const {
  std::string host = HostPath(windows_path);
  if (host.empty()) return host;
  std::string cur = HostPath(windows_path.substr(0, 2));
  std::string rest = host.substr(cur == "/" ? 0 : cur.size());
  std::size_t i = 0;
  while (i < rest.size()) {
    std::size_t j = rest.find('/', i);
    if (j == std::string::npos) j = rest.size();
    std::string part = rest.substr(i, j - i);
    i = j + 1;
    if (part.empty()) continue;
    std::string next = (cur == "/" ? "" : cur) + "/" + part;
    struct stat st;
    if (lstat(next.c_str(), &st) != 0) {
      DIR* dir = opendir(cur.c_str());
      if (dir == nullptr) return host;
      bool found = false;
      while (const dirent* d = readdir(dir)) {
        if (EqualNoCase(d->d_name, part)) {
          next = (cur == "/" ? "" : cur) + "/" + d->d_name;
          found = true;
          break;
        }
      }
      closedir(dir);
      if (!found) return host;
    }
    cur = next;
  }
  if (!rest.empty() && rest.back() == '/') cur += '/';
  return cur;
}

bool PosixFileSystem::CanOpenForReading(const std::string& path) {
  std::string host = HostPath(path);
  if (host.empty()) return false;
  int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0 && errno == ENOENT)
    fd = open(Resolve(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  bool file = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  close(fd);
  return file;
}

std::unique_ptr<DirListing> PosixFileSystem::List(const std::string& pattern) {
  std::size_t slash = pattern.rfind('\\');
  std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  bool wild = last.find_first_of("*?") != std::string::npos;
  if (!wild) {
    // One entry: the one the path names (a drive root names none, as on Windows).
    if (pattern.empty() || pattern.back() == '\\' || IsDriveRoot(pattern)) return nullptr;
    std::string host = HostPath(pattern);
    struct stat st;
    if (host.empty()) return nullptr;
    if (stat(host.c_str(), &st) != 0) {
      host = Resolve(pattern);
      if (stat(host.c_str(), &st) != 0) return nullptr;
    }
    std::string stored = host.substr(host.rfind('/') + 1);  // the name as it is stored
    auto one = std::make_unique<SnapshotListing>();
    one->Add(stored.data(), stored.size(), AttributesOf(st));
    return one;
  }
  std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash);
  std::string windows_folder = folder.empty() ? pattern.substr(0, 2) : folder;
  std::string host = HostPath(windows_folder);
  if (host.empty()) return nullptr;
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  int fd = open(host.c_str(), kFlags);
  if (fd < 0 && errno == ENOENT) fd = open(Resolve(windows_folder).c_str(), kFlags);
  if (fd < 0) return nullptr;
  // Drive roots have no "." and ".." on Windows.
  bool all = last == "*" || last == "*.*";
  auto stream =
      std::make_unique<StreamListing>(fd, IsDriveRoot(folder), all ? "" : LowerCase(last), open_);
  if (stream->Empty()) return nullptr;
  if (open_ <= kMaxOpenListings) return stream;
  // Deep below, listings are read whole at once and their descriptors closed, so a walk
  // thousands of levels deep holds no more than kMaxOpenListings descriptors.
  auto whole = std::make_unique<SnapshotListing>();
  if (auto id = stream->Id()) whole->SetId(*id);
  DirEntry e;
  while (stream->Next(e)) whole->Add(e.name.data(), e.name.size(), e.attributes);
  return whole;
}

std::optional<FolderId> PosixFileSystem::IdOf(const std::string& folder) {
  std::string host = HostPath(folder);
  struct stat st;
  if (host.empty()) return std::nullopt;
  if (stat(host.c_str(), &st) != 0 && (errno != ENOENT || stat(Resolve(folder).c_str(), &st) != 0))
    return std::nullopt;
  if (!S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderId{
      static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), 0, {}};
}

}  // namespace ravel
