// The registry as the program needs it: the ANSI registry functions, one to one. The Win32
// adapter calls advapi32; the memory registry in the stand-ins answers with the status codes
// Windows gives.
#pragma once

#include <cstdint>
#include <string>

namespace ravel {

// A key handle: a predefined root or a key opened by the functions below.
using HKey = std::uintptr_t;
using RegStatus = std::int32_t;

constexpr HKey kHkeyCurrentUser = 0x80000001u;

// Value types, as Windows numbers them.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegDwordBigEndian = 5;
constexpr std::uint32_t kRegLink = 6;
constexpr std::uint32_t kRegMultiSz = 7;

constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// Status codes the registry functions return.
constexpr RegStatus kErrorSuccess = 0;
constexpr RegStatus kErrorFileNotFound = 2;
constexpr RegStatus kErrorAccessDenied = 5;
constexpr RegStatus kErrorInvalidHandle = 6;
constexpr RegStatus kErrorInvalidParameter = 87;
constexpr RegStatus kErrorMoreData = 234;
constexpr RegStatus kErrorNoMoreItems = 259;
constexpr RegStatus kErrorKeyDeleted = 1018;

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  // RegOpenKeyExA (options 0).
  virtual RegStatus OpenKeyEx(HKey parent, const std::string& path, std::uint32_t access,
                              HKey& out) = 0;
  // RegCreateKeyExA: class "", options 0 (non-volatile), default security; opens the key
  // when it exists.
  virtual RegStatus CreateKeyEx(HKey parent, const std::string& path, std::uint32_t access,
                                HKey& out) = 0;
  virtual RegStatus CloseKey(HKey key) = 0;
  // RegQueryValueExA: `size` gives the buffer's size and receives the data's length (also
  // when the buffer is too small, with status 234).
  virtual RegStatus QueryValueEx(HKey key, const std::string& name, std::uint32_t& type,
                                 std::uint8_t* data, std::uint32_t& size) = 0;
  // RegSetValueExA (reserved 0).
  virtual RegStatus SetValueEx(HKey key, const std::string& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) = 0;
  // RegEnumKeyA: the name of subkey `index`, zero-terminated, into `name` of `size` bytes.
  virtual RegStatus EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) = 0;
  // RegDeleteKeyA: refuses (5) a key that still has subkeys.
  virtual RegStatus DeleteKey(HKey parent, const std::string& path) = 0;
};

}  // namespace ravel
