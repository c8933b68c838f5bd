#include "posix/PosixFileSystem.h"

namespace ravel {

PosixFileSystem::PosixFileSystem(std::map<char, std::string> drives) : drives_(std::move(drives)) {
  drives_.emplace('Z', "/");
}

bool PosixFileSystem::CanOpenForReading(const std::string&) {
  return false;
}
std::unique_ptr<DirListing> PosixFileSystem::List(const std::string&) {
  return nullptr;
}
std::optional<FolderId> PosixFileSystem::IdOf(const std::string&) {
  return std::nullopt;
}
std::string PosixFileSystem::HostPath(const std::string&) const {
  return {};
}

}  // namespace ravel
