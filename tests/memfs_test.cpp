// The memory file system behaves as the Windows listing does where the walk depends on it.
#include <gtest/gtest.h>

#include "sim/MemoryFileSystem.h"

namespace ravel {
namespace {

using sim::MemoryFileSystem;
using V = std::vector<std::string>;

V Names(FileSystem& fs, const std::string& pattern) {
  V out;
  auto listing = fs.List(pattern);
  if (!listing) return {"<none>"};
  DirEntry e;
  while (listing->Next(e))
    out.push_back(e.name + (e.attributes & kAttrReparsePoint ? "@" : "") +
                  (e.IsFolder() ? "\\" : ""));
  return out;
}

TEST(MemoryFileSystem, ListsInCreationOrderUnlessScriptedAndDriveRootsWithoutDots) {
  MemoryFileSystem fs;
  fs.AddFile("C:\\R\\b.gif");
  fs.AddFolder("C:\\R\\a");
  fs.AddFile("C:\\R\\c.gif");
  fs.AddFolder("E:\\");
  EXPECT_EQ(Names(fs, "C:\\R\\*.*"), (V{".\\", "..\\", "b.gif", "a\\", "c.gif"}));
  fs.SetOrder("C:\\R", {"C.GIF", "a"});
  EXPECT_EQ(Names(fs, "C:\\R\\*"), (V{".\\", "..\\", "c.gif", "a\\", "b.gif"}));
  EXPECT_THROW(fs.SetOrder("C:\\R", {"missing"}), std::invalid_argument);
  const std::pair<const char*, V> listings[] = {
      {"C:\\*.*", {"R\\"}}, {"E:\\*.*", {"<none>"}},  // an empty drive root: nothing
      {"C:", {"<none>"}},   {"c:\\r\\B.GIF", {"b.gif"}}, {"C:\\R\\b.gif\\", {"<none>"}},
  };
  for (const auto& [pattern, names] : listings) EXPECT_EQ(Names(fs, pattern), names) << pattern;
}

TEST(MemoryFileSystem, ScriptedFailures) {
  MemoryFileSystem fs;
  fs.AddFile("C:\\R\\locked\\x.gif");
  fs.AddFile("C:\\R\\busy.gif");
  fs.AddFolder("C:\\R\\broken");
  fs.DenyListing("C:\\R\\locked");
  fs.DenyOpen("C:\\R\\busy.gif");
  fs.ThrowWhileListing("C:\\R\\broken");
  EXPECT_EQ(Names(fs, "C:\\R\\locked\\*.*"), V{"<none>"});
  EXPECT_EQ(Names(fs, "C:\\R\\locked"), V{"locked\\"});  // still there
  EXPECT_FALSE(fs.CanOpenForReading("C:\\R\\busy.gif"));
  EXPECT_TRUE(fs.Exists("C:\\R\\busy.gif"));
  EXPECT_THROW(Names(fs, "C:\\R\\broken\\*.*"), std::runtime_error);
  EXPECT_EQ(fs.open_listings, 0);
  EXPECT_THROW(fs.DenyListing("C:\\Nowhere"), std::invalid_argument);
}

TEST(MemoryFileSystem, LinksLeadToTheirTargetAndShareItsIdentity) {
  MemoryFileSystem fs;
  fs.AddFile("C:\\R\\a\\pic.gif");
  fs.AddLink("C:\\R\\a\\up", "C:\\R");
  fs.AddLink("C:\\R\\dangling", "C:\\Gone");
  fs.AddLink("C:\\R\\loop", "C:\\R\\loop");
  fs.AddFile("D:\\x\\y.gif");
  EXPECT_EQ(Names(fs, "C:\\R\\a\\*.*"), (V{".\\", "..\\", "pic.gif", "up@\\"}));
  // Through the cycle, as deep as one likes: always the same folder.
  EXPECT_EQ(fs.IdOf("C:\\R\\a\\up\\a\\up\\a"), fs.IdOf("C:\\R\\a"));
  EXPECT_EQ(fs.IdOf("C:\\R\\a\\up"), fs.IdOf("C:\\R"));
  EXPECT_TRUE(fs.CanOpenForReading("C:\\R\\a\\up\\a\\pic.gif"));
  EXPECT_FALSE(fs.IdOf("C:\\R\\a") == fs.IdOf("C:\\R"));
  EXPECT_NE(fs.IdOf("D:\\x")->volume, fs.IdOf("C:\\R")->volume);
  EXPECT_FALSE(fs.IdOf("C:\\R\\a\\pic.gif").has_value());
  // A dangling link, or one to itself, resolves to nothing instead of looping.
  for (const char* link : {"C:\\R\\dangling", "C:\\R\\loop"}) {
    EXPECT_EQ(Names(fs, std::string(link) + "\\*.*"), V{"<none>"}) << link;
    EXPECT_FALSE(fs.IdOf(link).has_value()) << link;
  }
}

}  // namespace
}  // namespace ravel
