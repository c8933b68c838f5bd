#include "relink/NameSearch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "relink/TextCompare.h"

namespace ravel {

namespace {

struct FolderIdHash {
  std::size_t operator()(const FolderId& id) const {
    std::uint64_t h =
        (id.file * 0x9E3779B97F4A7C15ull) ^ (id.file_high * 0xC2B2AE3D27D4EB4Full) ^ id.volume;
    if (!id.path.empty()) h ^= std::hash<std::string>()(id.path);
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

// Hashes a folded name by its length and its first and last eight bytes: enough to tell
// the names of an index apart, at a fraction of the cost of hashing every byte of every
// file name met.
struct NameHash {
  std::size_t operator()(const std::string& s) const {
    std::uint64_t head = 0, tail = 0;
    std::size_t n = s.size();
    std::memcpy(&head, s.data(), std::min<std::size_t>(n, 8));
    if (n > 8) std::memcpy(&tail, s.data() + n - 8, 8);
    std::uint64_t h = (head ^ (tail * 0x9E3779B97F4A7C15ull) ^ n) * 0xFF51AFD7ED558CCDull;
    return static_cast<std::size_t>(h ^ (h >> 32));
  }
};

class Search {
 public:
  Search(FileSystem& fs, const std::vector<std::string>& names, const NameSearchOptions& options)
      : fs_(fs), options_(options) {
    result_.found.resize(names.size());
    for (std::size_t k = 0; k < names.size(); ++k)
      if (!names[k].empty()) index_[LowerCase(names[k])].push_back(k);
  }

  NameSearchResult Run(std::string_view root) {
    folder_.assign(root);
    while (!folder_.empty() && folder_.back() == '\\') folder_.pop_back();
    if (folder_.empty()) return std::move(result_);
    try {
      if (!Enter(false)) return Stopped();
    } catch (const std::exception&) {
      return std::move(result_);
    }
    for (;;) {
      try {
        if (!Loop()) return Stopped();
        return std::move(result_);
      } catch (const std::exception&) {
        // Within the root's own entries: the search ends. Below them: the root folder being
        // searched is given up and the root's next entry follows.
        if (stack_.empty() || (stack_.size() == 1 && !descending_)) return std::move(result_);
        stack_.resize(1);
        folder_.resize(stack_[0].length);
        descending_ = false;
      }
    }
  }

 private:
  // One open listing per level; the folder paths of all levels share one text (folder_),
  // each level keeping only its length, so a deep tree costs memory in proportion to its
  // depth, not to the square of it.
  struct Frame {
    std::unique_ptr<DirListing> listing;
    std::size_t length;
    std::uint64_t volume;  // the listed folder's
  };

  NameSearchResult Stopped() {
    result_.stopped = true;
    return std::move(result_);
  }

  // Starts on the folder folder_ names; false when the hook ends the search. A folder that
  // cannot be listed, or that was entered before in this walk, is passed over, and so is a
  // link whose target cannot be told apart from the folders already entered.
  bool Enter(bool via_link) {
    if (options_.on_folder && !options_.on_folder(folder_, static_cast<int>(stack_.size())))
      return false;
    std::size_t length = folder_.size();
    folder_ += "\\*.*";
    std::unique_ptr<DirListing> listing = fs_.List(folder_);
    folder_.resize(length);
    std::uint64_t volume = 0;
    if (listing != nullptr) {
      std::optional<FolderId> id = Identify(*listing, via_link);
      if (id) {
        volume = id->volume;
        if (!visited_.insert(*id).second) listing.reset();
      } else if (via_link) {
        listing.reset();
      }
    }
    if (listing == nullptr) {
      if (!stack_.empty()) folder_.resize(stack_.back().length);
      return true;
    }
    ++result_.folders;
    stack_.push_back(Frame{std::move(listing), length, volume});
    return true;
  }

  // The identity of the folder folder_ names, listed by `listing`.
  std::optional<FolderId> Identify(const DirListing& listing, bool via_link) {
    std::optional<FolderId> id = listing.Id();
    if (!id) return fs_.IdOf(folder_);
    if (!id->path.empty() || !listing.IdWithoutVolume()) return id;
    // A folder reached by an ordinary entry lies on its parent's volume; the root and a
    // link's target are asked for theirs.
    if (!stack_.empty() && !via_link) {
      id->volume = stack_.back().volume;
      return id;
    }
    std::optional<FolderId> full = fs_.IdOf(folder_);
    if (!full) return std::nullopt;
    if (!full->path.empty()) return full;
    id->volume = full->volume;
    return id;
  }

  // False when the hook ends the search.
  bool Loop() {
    while (!stack_.empty()) {
      Frame& top = stack_.back();
      if (!top.listing->Next(entry_)) {
        stack_.pop_back();
        if (!stack_.empty()) folder_.resize(stack_.back().length);
        continue;
      }
      const std::string& name = entry_.name;
      if (name == "." || name == "..") continue;
      if (entry_.IsFolder()) {
        folder_ += '\\';
        folder_ += name;
        descending_ = true;
        if (!Enter((entry_.attributes & kAttrReparsePoint) != 0)) return false;
        descending_ = false;
        continue;
      }
      ++result_.files;
      if (options_.on_file) {
        std::size_t length = folder_.size();
        folder_ += '\\';
        folder_ += name;
        options_.on_file(folder_);
        folder_.resize(length);
      }
      LowerCaseInto(name, key_);
      auto hit = index_.find(key_);
      if (hit == index_.end()) continue;
      for (std::size_t k : hit->second) Record(k, name);
    }
    return true;
  }

  void Record(std::size_t k, const std::string& name) {
    std::vector<std::string>& found = result_.found[k];
    if (options_.max_per_name != 0 && found.size() >= options_.max_per_name) return;
    std::string& path = found.emplace_back();
    path.reserve(folder_.size() + 1 + name.size());
    path += folder_;
    path += '\\';
    path += name;
  }

  FileSystem& fs_;
  const NameSearchOptions& options_;
  NameSearchResult result_;
  std::vector<Frame> stack_;
  std::unordered_set<FolderId, FolderIdHash> visited_;
  std::unordered_map<std::string, std::vector<std::size_t>, NameHash> index_;
  DirEntry entry_;
  std::string folder_, key_;
  bool descending_ = false;  // between a folder entry and the start of its listing
};

}  // namespace

NameSearchResult SearchNames(FileSystem& fs, std::string_view root,
                             const std::vector<std::string>& names,
                             const NameSearchOptions& options) {
  Search search(fs, names, options);
  return search.Run(root);
}

}  // namespace ravel
