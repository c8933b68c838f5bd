// Registry access on text: keys opened, created, enumerated and deleted, values read and
// written, every operation returning the registry's status. A report level chooses which
// failures the layer announces itself (0: none).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "settings/RegistryApi.h"

namespace ravel {

class Host;

// A value handed to WriteRegistryValue: a 16-bit integer, a 32-bit integer, a text, a
// floating-point number or a Boolean (the last two only converted, for REG_DWORD).
using RegValue = std::variant<std::int16_t, std::int32_t, std::string, double, bool>;
// A status, or a text: "!Error!" or empty for a type the layer does not handle.
using RegResult = std::variant<RegStatus, std::string>;

extern const char* const kRegErrorMarker;  // "!Error!"
// One value is read into a buffer of this many bytes.
constexpr std::uint32_t kRegReadBuffer = 255;
// Subkey names are enumerated into a buffer of this many characters.
constexpr std::uint32_t kRegEnumBuffer = 100;

class Registry32 {
 public:
  Registry32(RegistryApi& api, Host& host) : api_(api), host_(host) {}

  RegStatus OpenRegistryKey(HKey parent, const std::string& path, HKey& key, int level);
  RegStatus CreateRegistryKey(HKey parent, const std::string& path, HKey& key, int level);
  RegStatus CloseRegistryKey(HKey key, int level);
  // The status as decimal text; "!Error!" (levels 1, 2) or empty for an unhandled type, in
  // which case `value` is left as it was. `type` receives the stored type. With `list`, a
  // REG_MULTI_SZ read fills it with every string of the value.
  std::string ReadRegistryValue(HKey key, const std::string& name, std::string& value,
                                std::uint32_t& type, int level,
                                std::vector<std::string>* list = nullptr);
  // `extra` adds strings to a REG_MULTI_SZ value (ignored for other types).
  RegResult WriteRegistryValue(HKey key, const std::string& name, const RegValue& value,
                               std::uint32_t type, int level,
                               const std::vector<std::string>* extra = nullptr);
  // 0 with `end` set when there is no subkey at `index`.
  RegStatus EnumRegistrySubkey(HKey key, std::uint32_t index, std::string& name, bool& end,
                               int level);
  void DeleteRegistryKey(HKey parent, const std::string& path, int level);
  // The key and everything beneath it, deepest first, the key itself last.
  void DeleteRegistryKeyTree(HKey parent, const std::string& path, int level);
  void ReportRegistryError(RegStatus status, int level);

 private:
  bool DeleteTree(HKey parent, const std::string& path, int level);
  void Say(const std::string& text);

  RegistryApi& api_;
  Host& host_;
};

// A\B\C gives A\B; a path without a backslash gives itself.
std::string ParentKeyPath(const std::string& path);
// Two upper-case hexadecimal digits a byte, in the order given.
std::string BytesToHex(const std::uint8_t* bytes, std::size_t n);
// The same, last byte first: the hexadecimal text of a little-endian number.
std::string ReversedBytesToHex(const std::uint8_t* bytes, std::size_t n);
// The decimal text of a hexadecimal text (digits 0-9, A-F, a-f); empty for other input.
std::string HexToDecimal(const std::string& hex);

}  // namespace ravel
