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

// The whole folder is read when the listing opens and its descriptor closed at once, so a
// walk thousands of folders deep never holds more than one descriptor.
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
std::uint32_t AttributesOf(int dir_fd, const dirent& d) {
  struct stat st;
  switch (d.d_type) {
    case DT_DIR:
      return kAttrDirectory;
    case DT_LNK:
      // A link to a folder is listed as a folder, as Windows lists a junction.
      if (fstatat(dir_fd, d.d_name, &st, 0) == 0) return AttributesOf(st) | kAttrReparsePoint;
      return kAttrArchive | kAttrReparsePoint;
    case DT_UNKNOWN:
      if (fstatat(dir_fd, d.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return kAttrArchive;
      if (S_ISLNK(st.st_mode)) {
        if (fstatat(dir_fd, d.d_name, &st, 0) == 0) return AttributesOf(st) | kAttrReparsePoint;
        return kAttrArchive | kAttrReparsePoint;
      }
      return AttributesOf(st);
    default:
      return kAttrArchive;
  }
}

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
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr && errno == ENOENT) dir = opendir(Resolve(windows_folder).c_str());
  if (dir == nullptr) return nullptr;
  // Drive roots have no "." and ".." on Windows.
  bool root = IsDriveRoot(folder);
  bool all = last == "*" || last == "*.*";
  std::string lowered = all ? std::string() : LowerCase(last), name;
  auto listing = std::make_unique<SnapshotListing>();
  int fd = dirfd(dir);
  // The open folder's own identity: no second lookup of its path.
  struct stat self;
  if (fstat(fd, &self) == 0)
    listing->SetId(
        {static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino)});
  while (const dirent* d = readdir(dir)) {
    std::size_t length = std::strlen(d->d_name);
    if (root && (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0)) continue;
    if (!all) {
      LowerCaseInto(std::string_view(d->d_name, length), name);
      if (!Matches(lowered, name)) continue;
    }
    listing->Add(d->d_name, length, AttributesOf(fd, *d));
  }
  closedir(dir);
  if (listing->Empty()) return nullptr;
  return listing;
}

std::optional<FolderId> PosixFileSystem::IdOf(const std::string& folder) {
  std::string host = HostPath(folder);
  struct stat st;
  if (host.empty()) return std::nullopt;
  if (stat(host.c_str(), &st) != 0 && (errno != ENOENT || stat(Resolve(folder).c_str(), &st) != 0))
    return std::nullopt;
  if (!S_ISDIR(st.st_mode)) return std::nullopt;
  return FolderId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace ravel
