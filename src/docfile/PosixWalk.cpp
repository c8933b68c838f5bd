#include "docfile/PosixWalk.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace ravel::docfile {

namespace {

using Identity = std::pair<dev_t, ino_t>;

struct Level {
  int fd;
  std::string path;  // Windows form
  Identity id;
  std::vector<std::string> folders;  // still to enter, last first
};

std::string Why(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
      return "permission denied";
    case EMFILE:
    case ENFILE:
      return "too deep: too many folders open at once";
    case ELOOP:
      return "too many levels of links";
    default:
      return std::strerror(err);
  }
}

// The entries of the folder open at `fd`: folders (links to folders followed) apart from
// everything else. The descriptor stays open.
bool ReadFolder(int fd, std::vector<std::string>& folders, std::vector<std::string>& files) {
  int dup_fd = dup(fd);
  if (dup_fd < 0) return false;
  DIR* dir = fdopendir(dup_fd);
  if (dir == nullptr) {
    close(dup_fd);
    return false;
  }
  while (const dirent* d = readdir(dir)) {
    const char* n = d->d_name;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    bool folder = d->d_type == DT_DIR;
    if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
      struct stat st;
      folder = fstatat(fd, n, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    (folder ? folders : files).emplace_back(n);
  }
  closedir(dir);
  return true;
}

}  // namespace

void PosixWalker::Walk(const std::string& root, const WalkHooks& hooks) {
  std::string trimmed = root;
  while (trimmed.size() > 3 && trimmed.back() == '\\') trimmed.pop_back();
  std::vector<Level> stack;
  std::set<Identity> seen;
  auto enter = [&](int parent, const std::string& name, const std::string& path) {
    if (hooks.on_folder) hooks.on_folder(path);
    int fd = parent < 0
                 ? open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY)
                 : openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      if (hooks.on_not_entered) hooks.on_not_entered(path, Why(errno));
      return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
      if (hooks.on_not_entered) hooks.on_not_entered(path, Why(errno));
      close(fd);
      return;
    }
    Identity id{st.st_dev, st.st_ino};
    if (!seen.insert(id).second) {
      // Met before: through another link (walked already), or above on this very path (a
      // loop, which is named).
      for (const Level& up : stack)
        if (up.id == id && hooks.on_not_entered)
          hooks.on_not_entered(path, "a link back to " + up.path + " (a loop)");
      close(fd);
      return;
    }
    std::vector<std::string> folders, files;
    if (!ReadFolder(fd, folders, files)) {
      if (hooks.on_not_entered) hooks.on_not_entered(path, Why(errno));
      close(fd);
      return;
    }
    std::string prefix = path.ends_with("\\") ? path : path + "\\";
    if (hooks.on_file)
      for (const std::string& f : files) hooks.on_file(prefix.substr(0, prefix.size() - 1), f);
    std::reverse(folders.begin(), folders.end());
    stack.push_back({fd, prefix, id, std::move(folders)});
  };
  std::string host = fs_.ResolvedHostPath(trimmed);
  if (host.empty()) {
    if (hooks.on_not_entered) hooks.on_not_entered(trimmed, "no such drive");
    return;
  }
  enter(-1, host, trimmed);
  while (!stack.empty()) {
    Level& top = stack.back();
    if (top.folders.empty()) {
      close(top.fd);
      stack.pop_back();
      continue;
    }
    std::string name = std::move(top.folders.back());
    top.folders.pop_back();
    std::string path = top.path + name;
    enter(top.fd, name, path);
  }
}

}  // namespace ravel::docfile
