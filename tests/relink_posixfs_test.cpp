// The POSIX adapter on a real temporary tree: drive mapping, listing, identities, and a walk
// through a symbolic-link cycle.
#include <dirent.h>
#include <strings.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "docfile_folder.h"
#include "posix/PosixFileSystem.h"
#include "relink/FileOP.h"
#include "relink/Walker.h"
#include "relink_support.h"

namespace ravel {
namespace {

class PosixFs : public docfile::test::ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    ASSERT_EQ(Shell("mkdir -p pics/sub && touch pics/a.gif pics/sub/A.GIF top.gif && "
                    "ln -s .. pics/sub/up && ln -s '" +
                    root + "' pics/home"),
              0);
  }
  std::vector<std::string> Names(FileSystem& fs, const std::string& pattern) {
    std::vector<std::string> out;
    auto listing = fs.List(pattern);
    DirEntry e;
    while (listing && listing->Next(e)) out.push_back(e.name);
    return out;
  }
  // Pre-order, in readdir's own order, through real folders only: what the walk must find.
  void Expected(const std::string& rel, const std::string& name, std::vector<std::string>& out) {
    DIR* d = opendir((root + "/" + rel).c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name, path = rel.empty() ? n : rel + "/" + n;
      if (n == "." || n == "..") continue;
      if (e->d_type == DT_DIR)
        Expected(path, name, out);
      else if (e->d_type != DT_LNK && strcasecmp(n.c_str(), name.c_str()) == 0)
        out.push_back(Win(path));
    }
    closedir(d);
  }
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

TEST_F(PosixFs, ListsEntriesWithTheirAttributesDriveRootsWithoutDotsAndMatchesWithoutCase) {
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

  std::vector<std::string> top = Names(fs, "D:\\*.*");
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::string>{"pics", "top.gif"}));
  // One entry, named as it is stored; wildcards without case.
  EXPECT_EQ(Names(fs, "D:\\PICS\\A.gif"), std::vector<std::string>{"a.gif"});
  EXPECT_EQ(Names(fs, "D:\\pics\\sub\\*.GiF"), std::vector<std::string>{"A.GIF"});
  EXPECT_EQ(Names(fs, "D:\\pics\\?.gif"), std::vector<std::string>{"a.gif"});
  for (const char* none : {"D:\\nothing\\*.*", "D:\\pics\\", "D:\\pics\\*.png"})
    EXPECT_EQ(fs.List(none), nullptr) << none;
}

TEST_F(PosixFs, ExistenceAndIdentities) {
  PosixFileSystem fs({{'D', root}});
  EXPECT_TRUE(FileExists(fs, "D:\\pics\\a.gif"));
  EXPECT_TRUE(FileExists(fs, "D:\\pics\\a.gif\\"));
  EXPECT_TRUE(FileExists(fs, "D:\\Pics\\SUB\\a.gif"));  // names found without case, as Wine does
  EXPECT_TRUE(FolderExists(fs, "d:\\PICS"));
  EXPECT_FALSE(FileExists(fs, "D:\\pics"));
  EXPECT_FALSE(FileExists(fs, "D:\\pics\\none.gif"));
  EXPECT_TRUE(FolderExists(fs, "D:\\"));
  EXPECT_FALSE(FolderExists(fs, "D:\\top.gif"));
  EXPECT_TRUE(FolderExists(fs, Win("pics\\sub\\up")));
  EXPECT_EQ(fs.IdOf("D:\\pics\\sub\\up"), fs.IdOf("D:\\pics"));
  EXPECT_EQ(fs.IdOf("D:\\pics\\home"), fs.IdOf("D:"));
  EXPECT_FALSE(fs.IdOf("D:\\pics") == fs.IdOf("D:\\pics\\sub"));
  EXPECT_FALSE(fs.IdOf("D:\\top.gif").has_value());
}

// Through link cycles each file once, in listing order; then deeper than the listings the
// adapter keeps open at once (the deepest are read whole).
TEST_F(PosixFs, AWalkThroughLinkCyclesAndDeepTreesFindsEachFileOnceInListingOrder) {
  PosixFileSystem fs;
  test::Harness h;
  int a = h.AddItem("a.gif", "");
  Form_Main main(h.g, h.word, fs, h.host);
  std::string deep = "pics", top = Win("");  // with its closing backslash, then without
  for (int k = 0; k < 100; ++k) deep += "/d";
  for (std::size_t files : {2u, 12u}) {
    h.ResetFound();
    SearchFiles(main, files == 2 ? top : top.substr(0, top.size() - 1));
    std::vector<std::string> expected;
    Expected("", "a.gif", expected);
    ASSERT_EQ(expected.size(), files);
    EXPECT_EQ(h.Found(a), expected);
    EXPECT_EQ(h.g.WalkDepth, 0);
    ASSERT_EQ(Shell("mkdir -p " + deep), 0);
    for (std::size_t at = 4 + 20; at <= deep.size(); at += 20)
      Write(deep.substr(0, at) + "/a.gif", "x");
  }
}

}  // namespace
}  // namespace ravel
