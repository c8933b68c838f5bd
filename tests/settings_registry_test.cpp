// The registry layer over the memory registry, plus what only the memory registry can show:
// the order of a tree's deletion and a refusal inside the tree. (The shared cases run over
// Wine's registry as well, which holds the memory registry to Windows' answers.)
#include "settings_registry_cases.h"

#include "sim/MemoryRegistry.h"

std::unique_ptr<ravel::RegistryApi> MakeRegistryUnderTest() {
  return std::make_unique<ravel::sim::MemoryRegistry>();
}

namespace ravel {
namespace {

TEST(TreeDeletion, GoesDepthFirstInNameOrderWithTheKeyLastAndPassesOverARefusedSubkey) {
  for (bool refuse : {false, true}) {
    sim::MemoryRegistry mem;
    sim::ScriptedHost host;
    Registry32 reg(mem, host);
    for (const char* path : {"R\\P\\B\\D", "R\\P\\B\\E", "R\\P\\C", "R\\P\\A", "R\\Q"})
      mem.PutText(path, "v", "x");
    if (refuse) mem.Protect("R\\P\\B\\D");
    reg.DeleteRegistryKeyTree(kHkeyCurrentUser, "R\\P", 1);
    using V = std::vector<std::string>;
    EXPECT_EQ(mem.deleted,
              (refuse ? V{"R\\P\\A", "R\\P\\B\\E", "R\\P\\C"}
                      : V{"R\\P\\A", "R\\P\\B\\D", "R\\P\\B\\E", "R\\P\\B", "R\\P\\C", "R\\P"}));
    EXPECT_EQ(mem.KeyExists("R\\P\\B\\D"), refuse);
    EXPECT_TRUE(mem.KeyExists("R\\Q")) << "a sibling stays";
    EXPECT_EQ(mem.OpenHandles(), 0);
    // Each refusal is announced at level 1: D itself, then B and P, which keep a subkey.
    EXPECT_EQ(host.boxes.size(), refuse ? 3u : 0u);
  }
}

}  // namespace
}  // namespace ravel
