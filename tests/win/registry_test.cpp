// The registry layer's cases against Wine's real registry, through the advapi32 adapter.
#include "../settings_registry_cases.h"

#include "win32/common/AdvapiRegistry.h"

std::unique_ptr<ravel::RegistryApi> MakeRegistryUnderTest() {
  return std::make_unique<ravel::win::AdvapiRegistry>();
}
