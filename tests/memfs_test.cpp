// The memory file system behaves as the Windows listing does where the walk depends on it.
#include <gtest/gtest.h>

#include "sim/MemoryFileSystem.h"

namespace ravel {
namespace {

using sim::MemoryFileSystem;

std::vector<std::string> Names(FileSystem& fs, const std::string& pattern) {
  std::vector<std::string> out;
  auto listing = fs.List(pattern);
  if (!listing) return {"<none>"};
  DirEntry e;
  while (listing->Next(e)) out.push_back(e.name + (e.IsFolder() ? "\\" : ""));
  return out;
}

TEST(MemoryFileSystem, ListsInCreationOrderUnlessAnOrderIsScripted) {
  MemoryFileSystem fs;
  fs.AddFile("C:\\R\\b.gif");
  fs.AddFolder("C:\\R\\a");
  fs.AddFile("C:\\R\\c.gif");
  EXPECT_EQ(Names(fs, "C:\\R\\*.*"),
            (std::vector<std::string>{".\\", "..\\", "b.gif", "a\\", "c.gif"}));
  fs.SetOrder("C:\\R", {"C.GIF", "a"});
  EXPECT_EQ(Names(fs, "C:\\R\\*"),
            (std::vector<std::string>{".\\", "..\\", "c.gif", "a\\", "b.gif"}));
  EXPECT_THROW(fs.SetOrder("C:\\R", {"missing"}), std::invalid_argument);
}

TEST(MemoryFileSystem, DriveRootsListNoDotsAndEmptyOnesNothing) {
  MemoryFileSystem fs;
  fs.AddFile("C:\\a.gif");
  fs.AddFolder("E:\\");
  EXPECT_EQ(Names(fs, "C:\\*.*"), std::vector<std::string>{"a.gif"});
  EXPECT_EQ(Names(fs, "E:\\*.*"), std::vector<std::string>{"<none>"});
  EXPECT_EQ(Names(fs, "C:"), std::vector<std::string>{"<none>"});
  EXPECT_EQ(Names(fs, "c:\\A.GIF"), std::vector<std::string>{"a.gif"});
  EXPECT_EQ(Names(fs, "C:\\a.gif\\"), std::vector<std::string>{"<none>"});
}

TEST(MemoryFileSystem, ScriptedFailures) {
  MemoryFileSystem fs;
  fs.AddFile("C:\\R\\locked\\x.gif");
  fs.AddFile("C:\\R\\busy.gif");
  fs.AddFolder("C:\\R\\broken");
  fs.DenyListing("C:\\R\\locked");
  fs.DenyOpen("C:\\R\\busy.gif");
  fs.ThrowWhileListing("C:\\R\\broken");

  EXPECT_EQ(Names(fs, "C:\\R\\locked\\*.*"), std::vector<std::string>{"<none>"});
  EXPECT_EQ(Names(fs, "C:\\R\\locked"), std::vector<std::string>{"locked\\"});  // still there
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
  fs.AddFile("D:\\x\\y.gif");

  auto listing = fs.List("C:\\R\\a\\*.*");
  DirEntry e;
  std::vector<DirEntry> entries;
  while (listing->Next(e)) entries.push_back(e);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[3].name, "up");
  EXPECT_EQ(entries[3].attributes, kAttrDirectory | kAttrReparsePoint);

  // Through the cycle, as deep as one likes: always the same folder.
  EXPECT_EQ(fs.IdOf("C:\\R\\a\\up\\a\\up\\a"), fs.IdOf("C:\\R\\a"));
  EXPECT_EQ(fs.IdOf("C:\\R\\a\\up"), fs.IdOf("C:\\R"));
  EXPECT_TRUE(fs.CanOpenForReading("C:\\R\\a\\up\\a\\pic.gif"));
  EXPECT_FALSE(fs.IdOf("C:\\R\\a") == fs.IdOf("C:\\R"));
  EXPECT_NE(fs.IdOf("D:\\x")->volume, fs.IdOf("C:\\R")->volume);

  EXPECT_EQ(Names(fs, "C:\\R\\dangling\\*.*"), std::vector<std::string>{"<none>"});
  EXPECT_FALSE(fs.IdOf("C:\\R\\dangling").has_value());
  EXPECT_FALSE(fs.IdOf("C:\\R\\a\\pic.gif").has_value());

  // A link to itself resolves to nothing instead of looping.
  fs.AddLink("C:\\R\\loop", "C:\\R\\loop");
  EXPECT_FALSE(fs.IdOf("C:\\R\\loop").has_value());
  EXPECT_EQ(Names(fs, "C:\\R\\loop\\*.*"), std::vector<std::string>{"<none>"});
}

}  // namespace
}  // namespace ravel
