#include "sim/MemoryFileSystem.h"

#include "relink/TextCompare.h"

namespace ravel::sim {

struct MemoryFileSystem::Node {
  std::string name;
  bool folder = false;
  std::uint64_t id = 0;
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;  // in listing order

  Node* Child(const std::string& n) const {
    for (auto& c : children)
      if (EqualNoCase(c->name, n)) return c.get();
    return nullptr;
  }
};

namespace {

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

class VectorListing : public DirListing {
 public:
  explicit VectorListing(std::vector<DirEntry> e) : entries_(std::move(e)) {}
  bool Next(DirEntry& out) override {
    if (pos_ >= entries_.size()) return false;
    out = entries_[pos_++];
    return true;
  }

 private:
  std::vector<DirEntry> entries_;
  std::size_t pos_ = 0;
};

}  // namespace

MemoryFileSystem::MemoryFileSystem() : top_(std::make_unique<Node>()) {
  top_->folder = true;
}
MemoryFileSystem::~MemoryFileSystem() = default;

MemoryFileSystem::Node* MemoryFileSystem::Find(const std::string& path) const {
  auto parts = Split(path);
  if (parts.empty()) return nullptr;
  Node* n = top_.get();
  for (auto& p : parts) {
    if (!n->folder) return nullptr;
    n = n->Child(p);
    if (n == nullptr) return nullptr;
  }
  return n;
}

MemoryFileSystem::Node* MemoryFileSystem::Make(const std::string& path, bool folder) {
  auto parts = Split(path);
  Node* n = top_.get();
  for (std::size_t k = 0; k < parts.size(); ++k) {
    Node* c = n->Child(parts[k]);
    if (c == nullptr) {
      auto made = std::make_unique<Node>();
      made->name = parts[k];
      made->folder = folder || k + 1 < parts.size();
      made->id = next_id_++;
      made->parent = n;
      c = made.get();
      n->children.push_back(std::move(made));
    }
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
bool MemoryFileSystem::Exists(const std::string& path) const {
  return Find(path) != nullptr;
}

bool MemoryFileSystem::CanOpenForReading(const std::string& path) {
  if (!path.empty() && path.back() == '\\') return false;
  Node* n = Find(path);
  return n != nullptr && !n->folder;
}

std::unique_ptr<DirListing> MemoryFileSystem::List(const std::string& pattern) {
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
  if (whole) {
    Node* n = Find(folder);
    if (n == nullptr || !n->folder) return nullptr;
    bool root = n->parent == top_.get();  // drive roots list no "." and ".."
    if (!root) {
      out.push_back({".", kAttrDirectory});
      out.push_back({"..", kAttrDirectory});
    }
    for (auto& c : n->children) out.push_back({c->name, c->folder ? kAttrDirectory : 0u});
    if (out.empty()) return nullptr;
  } else {
    if (!pattern.empty() && pattern.back() == '\\') return nullptr;
    Node* n = Find(pattern);
    if (n == nullptr || n->parent == top_.get()) return nullptr;
    out.push_back({n->name, n->folder ? kAttrDirectory : 0u});
  }
  return std::make_unique<VectorListing>(std::move(out));
}

std::optional<FolderId> MemoryFileSystem::IdOf(const std::string& folder) {
  Node* n = Find(folder);
  if (n == nullptr || !n->folder) return std::nullopt;
  return FolderId{1, n->id};
}

}  // namespace ravel::sim
