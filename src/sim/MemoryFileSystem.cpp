#include "sim/MemoryFileSystem.h"

#include <algorithm>
#include <stdexcept>

#include "relink/TextCompare.h"

namespace ravel::sim {

struct MemoryFileSystem::Node {
  std::string name;
  bool folder = false;
  std::uint64_t id = 0;
  std::uint64_t id_high = 0;
  std::uint64_t volume = 0;
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;  // in listing order
  std::string link;                             // target path of a folder link
  bool deny_listing = false;
  bool deny_open = false;
  bool throw_listing = false;

  bool IsLink() const { return !link.empty(); }
  Node* Child(const std::string& n) const {
    for (auto& c : children)
      if (EqualNoCase(c->name, n)) return c.get();
    return nullptr;
  }
};

namespace {

// Links followed while resolving one path before giving up, as a system's loop limit.
constexpr int kMaxHops = 40;

// "C:\a\b" -> {"C:", "a", "b"}; "\\srv\share\a" -> {"\\srv\share", "a"}. Empty parts (a
// doubled or trailing backslash) are dropped.
std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  if (path.rfind("\\\\", 0) == 0) {
    std::size_t a = path.find('\\', 2);
    std::size_t b = a == std::string::npos ? a : path.find('\\', a + 1);
    parts.push_back(path.substr(0, b));
    if (b == std::string::npos) return parts;
    i = b + 1;
  }
  while (i <= path.size()) {
    std::size_t j = path.find('\\', i);
    if (j == std::string::npos) j = path.size();
    if (j > i) parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

std::uint32_t AttributesOf(const MemoryFileSystem::Node& n) {
  if (n.IsLink()) return kAttrDirectory | kAttrReparsePoint;
  return n.folder ? kAttrDirectory : 0x20u;  // FILE_ATTRIBUTE_ARCHIVE for files
}

// Parts of a path below a folder: "a\\b" -> {"a", "b"}.
std::vector<std::string> SplitRelative(std::string_view rest) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= rest.size()) {
    std::size_t j = rest.find('\\', i);
    if (j == std::string_view::npos) j = rest.size();
    if (j > i) parts.emplace_back(rest.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

class VectorListing : public DirListing {
 public:
  VectorListing(std::vector<DirEntry> e, int& open, bool throws, std::optional<FolderId> id,
                bool without_volume)
      : entries_(std::move(e)),
        open_(open),
        throws_(throws),
        id_(std::move(id)),
        without_volume_(without_volume) {
    ++open_;
  }
  std::optional<FolderId> Id() const override { return id_; }
  bool IdWithoutVolume() const override { return without_volume_; }
  ~VectorListing() override { --open_; }
  bool Next(DirEntry& out) override {
    if (throws_) throw std::runtime_error("The device is not ready.");
    if (pos_ >= entries_.size()) return false;
    out = entries_[pos_++];
    return true;
  }

 private:
  std::vector<DirEntry> entries_;
  std::size_t pos_ = 0;
  int& open_;
  bool throws_;
  std::optional<FolderId> id_;
  bool without_volume_;
};

// The path of a node as its final path: every link on the way resolved.
std::string PathOf(const MemoryFileSystem::Node* n, const MemoryFileSystem::Node* top) {
  std::vector<const std::string*> names;
  for (; n != nullptr && n != top; n = n->parent) names.push_back(&n->name);
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += **it;
  }
  return path;
}

}  // namespace

MemoryFileSystem::MemoryFileSystem() : top_(std::make_unique<Node>()) {
  top_->folder = true;
}
MemoryFileSystem::~MemoryFileSystem() = default;

MemoryFileSystem::Node* MemoryFileSystem::Resolve(Node* n, int hops) const {
  while (n != nullptr && n->IsLink()) {
    if (++hops > kMaxHops) return nullptr;
    auto parts = Split(n->link);
    Node* t = top_.get();
    for (auto& p : parts) {
      t = Resolve(t, hops);
      if (t == nullptr || !t->folder) return nullptr;
      t = t->Child(p);
      if (t == nullptr) return nullptr;
    }
    n = parts.empty() ? nullptr : t;
  }
  return n;
}

MemoryFileSystem::Node* MemoryFileSystem::Find(const std::string& path, bool follow_last) const {
  // A walk asks for each folder's children right after the folder itself: continuing from
  // the folder found last keeps lookups in a tree thousands of levels deep from costing
  // the whole path each time.
  Node* n = top_.get();
  std::vector<std::string> parts;
  std::size_t cursor = cursor_path_.size();
  if (cursor_node_ != nullptr && follow_last && path == cursor_path_) return cursor_node_;
  if (cursor_node_ != nullptr && path.size() > cursor + 1 &&
      path.compare(0, cursor, cursor_path_) == 0 && path[cursor] == '\\' &&
      path[cursor + 1] != '\\') {
    n = cursor_node_;
    parts = SplitRelative(std::string_view(path).substr(cursor + 1));
  } else {
    parts = Split(path);
  }
  if (parts.empty()) return nullptr;
  for (auto& p : parts) {
    n = Resolve(n, 0);
    if (n == nullptr || !n->folder) return nullptr;
    n = n->Child(p);
    if (n == nullptr) return nullptr;
  }
  if (!follow_last) return n;
  n = Resolve(n, 0);
  if (n != nullptr && n->folder) {
    cursor_path_ = path;
    while (!cursor_path_.empty() && cursor_path_.back() == '\\') cursor_path_.pop_back();
    cursor_node_ = n;
  }
  return n;
}

MemoryFileSystem::Node* MemoryFileSystem::MustFind(const std::string& path) const {
  Node* n = Find(path, false);
  if (n == nullptr) throw std::invalid_argument("MemoryFileSystem: no entry " + path);
  return n;
}

MemoryFileSystem::Node* MemoryFileSystem::Make(const std::string& path, bool folder) {
  auto parts = Split(path);
  if (parts.empty()) throw std::invalid_argument("MemoryFileSystem: empty path");
  Node* n = top_.get();
  for (std::size_t k = 0; k < parts.size(); ++k) {
    bool last = k + 1 == parts.size();
    Node* c = n->Child(parts[k]);
    if (c == nullptr) {
      auto made = std::make_unique<Node>();
      made->name = parts[k];
      made->folder = folder || !last;
      made->id = next_id_++;
      made->volume = n == top_.get() ? next_volume_++ : n->volume;
      made->parent = n;
      c = made.get();
      n->children.push_back(std::move(made));
    } else if (!last || c->IsLink()) {
      // Creating beneath a link creates in its target, as the real systems do.
      c = Resolve(c, 0);
      if (c == nullptr) throw std::invalid_argument("MemoryFileSystem: dangling link in " + path);
    }
    if (!last && !c->folder)
      throw std::invalid_argument("MemoryFileSystem: a file stands in the way of " + path);
    n = c;
  }
  return n;
}

void MemoryFileSystem::AddFile(const std::string& path) {
  Make(path, false);
}
void MemoryFileSystem::AddFolder(const std::string& path) {
  Make(path, true);
}

void MemoryFileSystem::AddLink(const std::string& path, const std::string& target) {
  auto parts = Split(path);
  if (parts.size() < 2) throw std::invalid_argument("MemoryFileSystem: a link needs a parent");
  std::string parent = path.substr(0, path.rfind('\\'));
  Node* p = Make(parent, true);
  if (p->Child(parts.back()) != nullptr)
    throw std::invalid_argument("MemoryFileSystem: entry exists: " + path);
  auto made = std::make_unique<Node>();
  made->name = parts.back();
  made->folder = true;
  made->id = next_id_++;
  made->volume = p->volume;
  made->parent = p;
  made->link = target;
  p->children.push_back(std::move(made));
}

bool MemoryFileSystem::Exists(const std::string& path) const {
  return Find(path, false) != nullptr;
}

void MemoryFileSystem::SetOrder(const std::string& folder, const std::vector<std::string>& names) {
  Node* n = Resolve(MustFind(folder), 0);
  if (n == nullptr || !n->folder) throw std::invalid_argument("MemoryFileSystem: not a folder");
  std::vector<std::unique_ptr<Node>> ordered;
  for (const std::string& name : names) {
    auto it = std::find_if(n->children.begin(), n->children.end(),
                           [&](const auto& c) { return c && EqualNoCase(c->name, name); });
    if (it == n->children.end())
      throw std::invalid_argument("MemoryFileSystem: no entry " + name + " in " + folder);
    ordered.push_back(std::move(*it));
  }
  for (auto& c : n->children)
    if (c) ordered.push_back(std::move(c));
  n->children = std::move(ordered);
}

void MemoryFileSystem::DenyListing(const std::string& folder) {
  Node* n = Resolve(MustFind(folder), 0);
  if (n == nullptr) throw std::invalid_argument("MemoryFileSystem: dangling link " + folder);
  n->deny_listing = true;
}
void MemoryFileSystem::DenyOpen(const std::string& file) {
  MustFind(file)->deny_open = true;
}
void MemoryFileSystem::ThrowWhileListing(const std::string& folder) {
  Node* n = Resolve(MustFind(folder), 0);
  if (n == nullptr) throw std::invalid_argument("MemoryFileSystem: dangling link " + folder);
  n->throw_listing = true;
}

bool MemoryFileSystem::CanOpenForReading(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return false;
  Node* n = Find(path);
  return n != nullptr && !n->folder && !n->deny_open;
}

std::unique_ptr<DirListing> MemoryFileSystem::List(const std::string& pattern) {
  ++list_calls;
  std::string folder;
  bool whole = false;
  for (const char* star : {"\\*.*", "\\*"}) {
    std::string s(star);
    if (pattern.size() >= s.size() &&
        pattern.compare(pattern.size() - s.size(), s.size(), s) == 0) {
      folder = pattern.substr(0, pattern.size() - s.size());
      whole = true;
      break;
    }
  }
  std::vector<DirEntry> out;
  bool throws = false;
  std::optional<FolderId> id;
  if (whole) {
    Node* n = Find(folder);
    if (n == nullptr || !n->folder || n->deny_listing) return nullptr;
    throws = n->throw_listing;
    if (ids_in_listings) id = IdFor(*n, true);
    bool root = n->parent == top_.get();  // drive roots list no "." and ".."
    if (!root) {
      out.push_back({".", kAttrDirectory});
      out.push_back({"..", kAttrDirectory});
    }
    for (auto& c : n->children) out.push_back({c->name, AttributesOf(*c)});
    if (out.empty()) return nullptr;
  } else {
    if (!pattern.empty() && pattern.back() == '\\') return nullptr;
    Node* n = Find(pattern, false);
    if (n == nullptr || n->parent == top_.get()) return nullptr;
    out.push_back({n->name, AttributesOf(*n)});
  }
  bool without_volume = id && ids == Ids::ListedNumbers;
  return std::make_unique<VectorListing>(std::move(out), open_listings, throws, std::move(id),
                                         without_volume);
}

std::optional<FolderId> MemoryFileSystem::IdOf(const std::string& folder) {
  Node* n = Find(folder);
  if (n == nullptr || !n->folder) return std::nullopt;
  return IdFor(*n, false);
}

std::optional<FolderId> MemoryFileSystem::IdFor(const Node& n, bool in_listing) const {
  switch (ids) {
    case Ids::None:
      return std::nullopt;
    case Ids::FinalPaths:
      return FolderId{0, 0, 0, PathOf(&n, top_.get())};
    case Ids::ListedNumbers:
      if (in_listing) return FolderId{0, n.id, n.id_high, {}};
      break;
    case Ids::Numbers:
      break;
  }
  return FolderId{n.volume, n.id, n.id_high, {}};
}

void MemoryFileSystem::SetFileId(const std::string& folder, std::uint64_t low, std::uint64_t high) {
  Node* n = Resolve(MustFind(folder), 0);
  if (n == nullptr || !n->folder)
    throw std::invalid_argument("MemoryFileSystem: no folder " + folder);
  n->id = low;
  n->id_high = high;
}

}  // namespace ravel::sim
