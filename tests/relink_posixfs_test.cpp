// The POSIX adapter on a real temporary tree: drive mapping, listing, identities, and a walk
// through a symbolic-link cycle.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "posix/PosixFileSystem.h"
#include "relink/FileOP.h"
#include "relink/Walker.h"
#include "relink_support.h"

namespace ravel {
namespace {

class PosixFs : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ravel-posixfs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    Dir("pics");
    Dir("pics/sub");
    File("pics/a.gif");
    File("pics/sub/A.GIF");
    File("top.gif");
    ASSERT_EQ(symlink("..", (root + "/pics/sub/up").c_str()), 0);
    ASSERT_EQ(symlink(root.c_str(), (root + "/pics/home").c_str()), 0);
  }
  void TearDown() override {
    if (!root.empty()) std::system(("rm -rf '" + root + "'").c_str());
  }
  void Dir(const std::string& rel) { ASSERT_EQ(mkdir((root + "/" + rel).c_str(), 0755), 0); }
  void File(const std::string& rel) { std::ofstream(root + "/" + rel) << "x"; }
  std::string Win(const std::string& rel = "") const {
    std::string w = "Z:" + root + (rel.empty() ? "" : "/" + rel);
    for (char& c : w)
      if (c == '/') c = '\\';
    return w;
  }

  // Pre-order, in readdir's own order, through real folders only: what the walk must find.
  void Expected(const std::string& host, const std::string& win, const std::string& name,
                std::vector<std::string>& out) {
    DIR* d = opendir(host.c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      if (e->d_type == DT_DIR)
        Expected(host + "/" + n, win + "\\" + n, name, out);
      else if (e->d_type != DT_LNK && strcasecmp(n.c_str(), name.c_str()) == 0)
        out.push_back(win + "\\" + n);
    }
    closedir(d);
  }

  std::string root;
};

TEST_F(PosixFs, MapsDrivesTheWayWineDoes) {
  PosixFileSystem fs({{'d', root}});
  EXPECT_EQ(fs.HostPath("Z:\\tmp\\x"), "/tmp/x");
  EXPECT_EQ(fs.HostPath("z:"), "/");
  EXPECT_EQ(fs.HostPath("Z:\\"), "/");
  EXPECT_EQ(fs.HostPath("D:\\pics\\a.gif"), root + "/pics/a.gif");
  EXPECT_EQ(fs.HostPath("D:"), root);
  EXPECT_EQ(fs.HostPath("Q:\\x"), "");
  EXPECT_EQ(fs.HostPath("\\\\server\\share\\x"), "");
  EXPECT_EQ(fs.HostPath("relative\\x"), "");
}

TEST_F(PosixFs, ListsEntriesWithTheirAttributesAndDriveRootsWithoutDots) {
  PosixFileSystem fs({{'D', root}});
  std::map<std::string, std::uint32_t> seen;
  auto listing = fs.List(Win("pics") + "\\*.*");
  ASSERT_NE(listing, nullptr);
  DirEntry e;
  while (listing->Next(e)) seen[e.name] = e.attributes;
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen.at("."), kAttrDirectory);
  EXPECT_EQ(seen.at("sub"), kAttrDirectory);
  EXPECT_EQ(seen.at("home"), kAttrDirectory | kAttrReparsePoint);
  EXPECT_EQ(seen.at("a.gif") & kAttrDirectory, 0u);

  std::vector<std::string> top;
  auto drive = fs.List("D:\\*.*");
  ASSERT_NE(drive, nullptr);
  while (drive->Next(e)) top.push_back(e.name);
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"pics", "top.gif"}));

  auto one = fs.List("D:\\PICS\\A.gif");  // one entry, named as it is stored
  ASSERT_NE(one, nullptr);
  ASSERT_TRUE(one->Next(e));
  EXPECT_EQ(e.name, "a.gif");
  EXPECT_EQ(fs.List("D:\\nothing\\*.*"), nullptr);
  EXPECT_EQ(fs.List("D:\\pics\\"), nullptr);
}

TEST_F(PosixFs, ExistenceAndIdentities) {
  PosixFileSystem fs({{'D', root}});
  EXPECT_TRUE(FileExists(fs, "D:\\pics\\a.gif"));
  EXPECT_TRUE(FileExists(fs, "D:\\pics\\a.gif\\"));
  EXPECT_TRUE(FileExists(fs, "D:\\Pics\\SUB\\a.gif"));  // names found without case, as Wine does
  EXPECT_TRUE(FolderExists(fs, "d:\\PICS"));
  EXPECT_FALSE(FileExists(fs, "D:\\pics"));
  EXPECT_FALSE(FileExists(fs, "D:\\pics\\none.gif"));
  EXPECT_TRUE(FolderExists(fs, "D:\\pics"));
  EXPECT_TRUE(FolderExists(fs, "D:\\"));
  EXPECT_FALSE(FolderExists(fs, "D:\\top.gif"));
  EXPECT_TRUE(FolderExists(fs, Win("pics\\sub\\up")));
  EXPECT_EQ(fs.IdOf("D:\\pics\\sub\\up"), fs.IdOf("D:\\pics"));
  EXPECT_EQ(fs.IdOf("D:\\pics\\home"), fs.IdOf("D:"));
  EXPECT_FALSE(fs.IdOf("D:\\pics") == fs.IdOf("D:\\pics\\sub"));
  EXPECT_FALSE(fs.IdOf("D:\\top.gif").has_value());
}

TEST_F(PosixFs, AWalkThroughLinkCyclesFindsEachFileOnceInListingOrder) {
  PosixFileSystem fs;
  test::Harness h;
  int a = h.AddItem("a.gif", "");
  h.ResetFound();
  Form_Main main(h.g, h.word, fs, h.host);
  SearchFiles(main, Win() + "\\");
  std::vector<std::string> expected;
  Expected(root, Win(), "a.gif", expected);
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_EQ(h.Found(a), expected);
  EXPECT_EQ(h.g.WalkDepth, 0);
}

// Deeper than the listings the adapter keeps open at once: the deepest are read whole.
TEST_F(PosixFs, AWalkDeeperThanTheOpenListingLimitFindsEverything) {
  std::string rel = "pics";
  for (int k = 0; k < 100; ++k) {
    rel += "/d";
    Dir(rel);
    if (k % 10 == 9) File(rel + "/a.gif");
  }
  PosixFileSystem fs;
  test::Harness h;
  int a = h.AddItem("a.gif", "");
  h.ResetFound();
  Form_Main main(h.g, h.word, fs, h.host);
  SearchFiles(main, Win());
  std::vector<std::string> expected;
  Expected(root, Win(), "a.gif", expected);
  ASSERT_EQ(expected.size(), 12u);
  EXPECT_EQ(h.Found(a), expected);
}

TEST_F(PosixFs, WildcardsMatchWithoutCase) {
  PosixFileSystem fs({{'D', root}});
  std::vector<std::string> names;
  auto listing = fs.List("D:\\pics\\sub\\*.GiF");
  ASSERT_NE(listing, nullptr);
  DirEntry e;
  while (listing->Next(e)) names.push_back(e.name);
  EXPECT_EQ(names, std::vector<std::string>{"A.GIF"});
  EXPECT_EQ(fs.List("D:\\pics\\?.gif")->Next(e), true);
  EXPECT_EQ(fs.List("D:\\pics\\*.png"), nullptr);
}

}  // namespace
}  // namespace ravel
