#include "sim/MemoryRegistry.h"

#include <algorithm>
#include <cstring>

namespace ravel::sim {

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at <= path.size() && !path.empty()) {
    std::size_t next = path.find('\\', at);
    if (next == std::string::npos) next = path.size();
    out.push_back(path.substr(at, next - at));
    at = next + 1;
  }
  return out;
}

bool IsRoot(HKey k) {
  return k >= 0x80000000u && k <= 0x80000006u;
}

}  // namespace

MemoryRegistry::NodePtr MemoryRegistry::Root(HKey root) const {
  auto& n = roots_[root];
  if (!n) n = std::make_shared<Node>();
  return n;
}

MemoryRegistry::NodePtr MemoryRegistry::NodeOf(HKey key, RegStatus& status) const {
  status = 0;
  if (IsRoot(key)) return Root(key);
  auto it = handles_.find(key);
  if (it == handles_.end()) {
    status = kErrorInvalidHandle;
    return nullptr;
  }
  if (it->second->removed) {
    status = kErrorKeyDeleted;
    return nullptr;
  }
  return it->second;
}

MemoryRegistry::NodePtr MemoryRegistry::Walk(NodePtr from, const std::string& path, bool create,
                                             RegStatus& status) {
  status = 0;
  NodePtr n = std::move(from);
  for (const std::string& part : Components(path)) {
    if (part.empty()) {
      status = 161;  // bad path name
      return nullptr;
    }
    auto it = n->subkeys.find(Lower(part));
    if (it != n->subkeys.end()) {
      n = it->second;
      continue;
    }
    if (!create) {
      status = kErrorFileNotFound;
      return nullptr;
    }
    if (n->protected_) {
      status = kErrorAccessDenied;
      return nullptr;
    }
    auto child = std::make_shared<Node>();
    child->name = part;
    child->path = n->path.empty() ? part : n->path + "\\" + part;
    n->subkeys[Lower(part)] = child;
    n = child;
  }
  return n;
}

HKey MemoryRegistry::NewHandle(NodePtr n) {
  HKey h = next_;
  next_ += 4;
  handles_[h] = std::move(n);
  return h;
}

RegStatus MemoryRegistry::OpenKeyEx(HKey parent, const std::string& path, std::uint32_t,
                                    HKey& out) {
  calls.push_back("OpenKeyEx " + path);
  return OpenPath(parent, path, false, out);
}

RegStatus MemoryRegistry::CreateKeyEx(HKey parent, const std::string& path, std::uint32_t,
                                      HKey& out) {
  calls.push_back("CreateKeyEx " + path);
  return OpenPath(parent, path, true, out);
}

RegStatus MemoryRegistry::OpenPath(HKey parent, const std::string& path, bool create, HKey& out) {
  RegStatus s;
  NodePtr p = NodeOf(parent, s);
  if (!p) return s;
  NodePtr n = Walk(p, path, create, s);
  if (!n) return s;
  out = NewHandle(n);
  return 0;
}

RegStatus MemoryRegistry::CloseKey(HKey key) {
  calls.push_back("CloseKey");
  if (IsRoot(key)) return 0;
  return handles_.erase(key) == 1 ? 0 : kErrorInvalidHandle;
}

RegStatus MemoryRegistry::QueryValueEx(HKey key, const std::string& name, std::uint32_t& type,
                                       std::uint8_t* data, std::uint32_t& size) {
  calls.push_back("QueryValueEx " + name);
  RegStatus s;
  NodePtr n = NodeOf(key, s);
  if (!n) return s;
  auto it = n->values.find(Lower(name));
  if (it == n->values.end()) return kErrorFileNotFound;
  const Value& v = it->second;
  type = v.type;
  auto needed = static_cast<std::uint32_t>(v.data.size());
  if (data != nullptr && size < needed) {
    size = needed;
    return kErrorMoreData;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, v.data.data(), needed);
  size = needed;
  return 0;
}

RegStatus MemoryRegistry::SetValueEx(HKey key, const std::string& name, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t size) {
  calls.push_back("SetValueEx " + name);
  RegStatus s;
  NodePtr n = NodeOf(key, s);
  if (!n) return s;
  if (n->protected_) return kErrorAccessDenied;
  if (data == nullptr && size > 0) return kErrorInvalidParameter;
  Value& v = n->values[Lower(name)];
  v.name = name;
  v.type = type;
  v.data.assign(data, data + size);
  return 0;
}

RegStatus MemoryRegistry::EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) {
  calls.push_back("EnumKey " + std::to_string(index));
  RegStatus s;
  NodePtr n = NodeOf(key, s);
  if (!n) return s;
  if (index >= n->subkeys.size()) return kErrorNoMoreItems;
  auto it = n->subkeys.begin();
  std::advance(it, index);
  const std::string& found = it->second->name;
  if (found.size() + 1 > size) return kErrorMoreData;
  std::memcpy(name, found.c_str(), found.size() + 1);
  return 0;
}

RegStatus MemoryRegistry::DeleteKey(HKey parent, const std::string& path) {
  calls.push_back("DeleteKey " + path);
  RegStatus s;
  NodePtr p = NodeOf(parent, s);
  if (!p) return s;
  if (path.empty()) return kErrorInvalidParameter;
  NodePtr n = Walk(p, path, false, s);
  if (!n) return s;
  if (!n->subkeys.empty() || n->protected_) return kErrorAccessDenied;
  std::string parent_path =
      path.find('\\') == std::string::npos ? std::string() : path.substr(0, path.rfind('\\'));
  NodePtr holder = parent_path.empty() ? p : Walk(p, parent_path, false, s);
  if (!holder) return s;
  holder->subkeys.erase(Lower(n->name));
  n->removed = true;
  deleted.push_back(n->path);
  return 0;
}

MemoryRegistry::NodePtr MemoryRegistry::Find(const std::string& path, HKey root) const {
  NodePtr n = Root(root);
  for (const std::string& part : Components(path)) {
    auto it = n->subkeys.find(Lower(part));
    if (it == n->subkeys.end()) return nullptr;
    n = it->second;
  }
  return n;
}

void MemoryRegistry::Put(const std::string& path, const std::string& name, std::uint32_t type,
                         const std::vector<std::uint8_t>& data, HKey root) {
  RegStatus s;
  NodePtr n = Walk(Root(root), path, true, s);
  if (!n) return;
  Value& v = n->values[Lower(name)];
  v.name = name;
  v.type = type;
  v.data = data;
}

void MemoryRegistry::PutText(const std::string& path, const std::string& name,
                             const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  Put(path, name, kRegSz, bytes);
}

std::optional<MemoryRegistry::Value> MemoryRegistry::Get(const std::string& path,
                                                         const std::string& name, HKey root) const {
  NodePtr n = Find(path, root);
  if (!n) return std::nullopt;
  auto it = n->values.find(Lower(name));
  if (it == n->values.end()) return std::nullopt;
  return it->second;
}

bool MemoryRegistry::KeyExists(const std::string& path, HKey root) const {
  return Find(path, root) != nullptr;
}

std::vector<std::string> MemoryRegistry::Subkeys(const std::string& path, HKey root) const {
  std::vector<std::string> out;
  if (NodePtr n = Find(path, root))
    for (const auto& [key, child] : n->subkeys) out.push_back(child->name);
  return out;
}

void MemoryRegistry::Protect(const std::string& path, HKey root) {
  RegStatus s;
  if (NodePtr n = Walk(Root(root), path, true, s)) n->protected_ = true;
}

}  // namespace ravel::sim
