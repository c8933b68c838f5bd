// A registry in memory with the status codes Windows returns: 2 for a missing key or value,
// 5 where Windows refuses (a key with subkeys to delete, a key made read-only here), 6 for a
// handle that was never opened, 234 when the data does not fit, 259 past the last subkey.
// Key and value names compare without case; subkeys enumerate in name order.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/RegistryApi.h"

namespace ravel::sim {

class MemoryRegistry : public RegistryApi {
 public:
  struct Value {
    std::string name;  // as written
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
  };

  RegStatus OpenKeyEx(HKey parent, const std::string& path, std::uint32_t access,
                      HKey& out) override;
  RegStatus CreateKeyEx(HKey parent, const std::string& path, std::uint32_t access,
                        HKey& out) override;
  RegStatus CloseKey(HKey key) override;
  RegStatus QueryValueEx(HKey key, const std::string& name, std::uint32_t& type, std::uint8_t* data,
                         std::uint32_t& size) override;
  RegStatus SetValueEx(HKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override;
  RegStatus EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) override;
  RegStatus DeleteKey(HKey parent, const std::string& path) override;

  // --- for tests: direct access by full path beneath a root (default HKEY_CURRENT_USER) ---
  // Creates the key and its parents; writes the value with exactly these bytes.
  void Put(const std::string& path, const std::string& name, std::uint32_t type,
           const std::vector<std::uint8_t>& data, HKey root = kHkeyCurrentUser);
  void PutText(const std::string& path, const std::string& name, const std::string& text);
  std::optional<Value> Get(const std::string& path, const std::string& name,
                           HKey root = kHkeyCurrentUser) const;
  bool KeyExists(const std::string& path, HKey root = kHkeyCurrentUser) const;
  // Subkey names of a key, in enumeration order.
  std::vector<std::string> Subkeys(const std::string& path, HKey root = kHkeyCurrentUser) const;
  // Writes, creations and deletions at this key (not beneath it) are refused with 5.
  void Protect(const std::string& path, HKey root = kHkeyCurrentUser);

  // What happened: the full paths of deleted keys in order, every call by name.
  std::vector<std::string> deleted;
  std::vector<std::string> calls;
  int OpenHandles() const { return static_cast<int>(handles_.size()); }

 private:
  struct Node {
    std::string name;
    std::string path;                                      // full path beneath the root, as created
    std::map<std::string, std::shared_ptr<Node>> subkeys;  // by lower-case name
    std::map<std::string, Value> values;                   // by lower-case name
    bool removed = false;
    bool protected_ = false;
  };
  using NodePtr = std::shared_ptr<Node>;

  NodePtr Root(HKey root) const;
  NodePtr NodeOf(HKey key, RegStatus& status) const;
  NodePtr Walk(NodePtr from, const std::string& path, bool create, RegStatus& status);
  // The key at `path` beneath `parent` (made when `create`), as a new handle.
  RegStatus OpenPath(HKey parent, const std::string& path, bool create, HKey& out);
  NodePtr Find(const std::string& path, HKey root) const;
  HKey NewHandle(NodePtr n);

  mutable std::map<HKey, NodePtr> roots_;
  std::map<HKey, NodePtr> handles_;
  HKey next_ = 0x1000;
};

}  // namespace ravel::sim
