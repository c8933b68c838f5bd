// The registry layer over the memory registry, plus what only the memory registry can show:
// the order of a tree's deletion and a refusal inside the tree.
#include "settings_registry_cases.h"

#include "sim/MemoryRegistry.h"

std::unique_ptr<ravel::RegistryApi> MakeRegistryUnderTest() {
  return std::make_unique<ravel::sim::MemoryRegistry>();
}

namespace ravel {
namespace {

class TreeDeletion : public ::testing::Test {
 protected:
  TreeDeletion() : reg(mem, host) {
    for (const char* path : {"R\\P\\B\\D", "R\\P\\B\\E", "R\\P\\C", "R\\P\\A", "R\\Q"})
      mem.PutText(path, "v", "x");
  }
  sim::MemoryRegistry mem;
  sim::ScriptedHost host;
  Registry32 reg;
};

TEST_F(TreeDeletion, GoesDepthFirstInNameOrderWithTheKeyLastAndClosesEveryKey) {
  reg.DeleteRegistryKeyTree(kHkeyCurrentUser, "R\\P", 0);
  EXPECT_EQ(mem.deleted, (std::vector<std::string>{"R\\P\\A", "R\\P\\B\\D", "R\\P\\B\\E", "R\\P\\B",
                                                   "R\\P\\C", "R\\P"}));
  EXPECT_TRUE(mem.KeyExists("R\\Q")) << "a sibling stays";
  EXPECT_EQ(mem.OpenHandles(), 0);
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(TreeDeletion, ARefusedSubkeyIsPassedOverAndTheRestGoes) {
  mem.Protect("R\\P\\B\\D");
  reg.DeleteRegistryKeyTree(kHkeyCurrentUser, "R\\P", 1);
  EXPECT_EQ(mem.deleted, (std::vector<std::string>{"R\\P\\A", "R\\P\\B\\E", "R\\P\\C"}));
  EXPECT_TRUE(mem.KeyExists("R\\P\\B\\D"));
  EXPECT_EQ(mem.OpenHandles(), 0);
  // Each refusal is announced at level 1: D itself, then B and P, which keep a subkey.
  EXPECT_EQ(host.boxes.size(), 3u);
}

TEST(MemoryRegistryStatus, AnswersAsWindowsDoes) {
  sim::MemoryRegistry mem;
  HKey k = 0;
  EXPECT_EQ(mem.OpenKeyEx(kHkeyCurrentUser, "Nope", kKeyAllAccess, k), 2);
  EXPECT_EQ(mem.CloseKey(0x4242), 6);
  ASSERT_EQ(mem.CreateKeyEx(kHkeyCurrentUser, "A\\B", kKeyAllAccess, k), 0);
  std::uint8_t buf[2];
  std::uint32_t size = 2, type = 0;
  mem.PutText("A\\B", "Long", "abcdef");
  EXPECT_EQ(mem.QueryValueEx(k, "LONG", type, buf, size), 234);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(mem.DeleteKey(kHkeyCurrentUser, "A"), 5);
  EXPECT_EQ(mem.DeleteKey(kHkeyCurrentUser, "A\\B"), 0);
  // The open handle now names a deleted key.
  EXPECT_EQ(mem.SetValueEx(k, "x", kRegSz, buf, 1), 1018);
  EXPECT_EQ(mem.CloseKey(k), 0);
  char name[8];
  EXPECT_EQ(mem.EnumKey(kHkeyCurrentUser, 1, name, 8), 259);
}

}  // namespace
}  // namespace ravel
