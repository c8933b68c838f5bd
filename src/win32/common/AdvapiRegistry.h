// The registry port over advapi32's ANSI functions.
#pragma once

#include "settings/RegistryApi.h"

namespace ravel::win {

class AdvapiRegistry : public RegistryApi {
 public:
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
};

}  // namespace ravel::win
