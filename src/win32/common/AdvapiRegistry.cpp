#include "win32/common/AdvapiRegistry.h"

#include <windows.h>

namespace ravel::win {

namespace {

// Predefined roots are 32-bit values that Windows sign-extends on 64-bit systems.
HKEY H(HKey k) {
  if (k >= 0x80000000u && k <= 0x800000FFu)
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(static_cast<DWORD>(k))));
  return reinterpret_cast<HKEY>(k);
}

}  // namespace

RegStatus AdvapiRegistry::OpenKeyEx(HKey parent, const std::string& path, std::uint32_t access,
                                    HKey& out) {
  HKEY key = nullptr;
  LONG s = RegOpenKeyExA(H(parent), path.c_str(), 0, access, &key);
  if (s == ERROR_SUCCESS) out = reinterpret_cast<HKey>(key);
  return s;
}

RegStatus AdvapiRegistry::CreateKeyEx(HKey parent, const std::string& path, std::uint32_t access,
                                      HKey& out) {
  HKEY key = nullptr;
  DWORD disposition = 0;  // not passed on
  char no_class[] = "";
  // No security attributes: the default security.
  LONG s = RegCreateKeyExA(H(parent), path.c_str(), 0, no_class, REG_OPTION_NON_VOLATILE, access,
                           nullptr, &key, &disposition);
  if (s == ERROR_SUCCESS) out = reinterpret_cast<HKey>(key);
  return s;
}

RegStatus AdvapiRegistry::CloseKey(HKey key) {
  return RegCloseKey(H(key));
}

RegStatus AdvapiRegistry::QueryValueEx(HKey key, const std::string& name, std::uint32_t& type,
                                       std::uint8_t* data, std::uint32_t& size) {
  DWORD t = 0;
  DWORD n = size;
  LONG s = RegQueryValueExA(H(key), name.c_str(), nullptr, &t, data, &n);
  type = t;
  size = n;
  return s;
}

RegStatus AdvapiRegistry::SetValueEx(HKey key, const std::string& name, std::uint32_t type,
                                     const std::uint8_t* data, std::uint32_t size) {
  return RegSetValueExA(H(key), name.c_str(), 0, type, data, size);
}

RegStatus AdvapiRegistry::EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) {
  return RegEnumKeyA(H(key), index, name, size);
}

RegStatus AdvapiRegistry::DeleteKey(HKey parent, const std::string& path) {
  return RegDeleteKeyA(H(parent), path.c_str());
}

}  // namespace ravel::win
