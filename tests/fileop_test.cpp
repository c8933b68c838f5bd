// The path helpers at their boundaries.
#include <gtest/gtest.h>

#include <array>

#include "relink/FileOP.h"
#include "sim/MemoryFileSystem.h"

namespace ravel {
namespace {

std::string Chars(std::size_t n, char c = 'x') {
  return std::string(n, c);
}

TEST(Shorteners, CutOnlyBeyondTheirLimitsAndKeepBothEnds) {
  std::string s97 = Chars(97), s98 = Chars(54, 'a') + Chars(4, 'b') + Chars(40, 'c');
  EXPECT_EQ(ShortenForDisplay(s97), s97);
  std::string d = ShortenForDisplay(s98);
  EXPECT_EQ(d.size(), 97u);
  EXPECT_EQ(d.substr(54, 3), "...");  // positions 55 to 57
  EXPECT_EQ(d, Chars(54, 'a') + "..." + Chars(40, 'c'));

  std::string s52 = Chars(52), s53 = Chars(15, 'a') + Chars(4, 'b') + Chars(34, 'c');
  EXPECT_EQ(ShortenForList(s52), s52);
  EXPECT_EQ(ShortenForList(s53), Chars(15, 'a') + "..." + Chars(34, 'c'));
}

TEST(Shorteners, CountCharactersNotBytes) {
  std::string umlauts;
  for (int k = 0; k < 52; ++k) umlauts += "ä";  // 104 bytes, 52 characters
  EXPECT_EQ(ShortenForList(umlauts), umlauts);
  std::string longer = umlauts + "ö";
  std::string cut = ShortenForList(longer);
  EXPECT_EQ(CharCount(cut), 52u);
  EXPECT_EQ(cut.substr(cut.size() - 2), "ö");
}

TEST(Splitters, FileNameOfNeedsThreeCharacters) {
  EXPECT_EQ(FileNameOf("pic.gif"), "pic.gif");
  EXPECT_EQ(FileNameOf("C:\\Docs\\"), "");
  EXPECT_EQ(FileNameOf("C:\\x\\ab"), "");
  EXPECT_EQ(FileNameOf("C:\\x\\a.b"), "a.b");
  EXPECT_EQ(FileNameOf("C:/Docs/pic.gif"), "C:/Docs/pic.gif");
}

TEST(Splitters, FolderOfKeepsNetworkPrefixAndHandsBackTheName) {
  // path -> folder, and what the path is left holding
  const std::array<std::string, 3> cases[] = {
      {"C:\\Docs\\pic.gif", "C:\\Docs\\", "pic.gif"},
      {"\\\\server\\share\\pic.gif", "\\\\server\\share\\", "pic.gif"},
      {"pic.gif", "", "pic.gif"},  // a bare name has no folder part
      {"C:\\Docs\\", "", ""},
      {"C:\\Docs\\ab", "", "ab"},  // a name too short for a file
      {"\\\\server", "", "server"},
  };
  for (const auto& [path, folder, name] : cases) {
    std::string p = path;
    EXPECT_EQ(FolderOf(p), folder) << path;
    EXPECT_EQ(p, name) << path;
  }
}

TEST(MakeRelativePath, TakesOnlyWholeFolderPrefixes) {
  EXPECT_EQ(MakeRelativePath("C:\\Docs\\pics\\a.gif", "c:\\docs"), "pics\\a.gif");
  EXPECT_EQ(MakeRelativePath("C:\\DOCS\\a.gif", "c:\\docs"), "a.gif");
  EXPECT_EQ(MakeRelativePath("C:\\Docs\\a.gif", "C:\\Doc"), "C:\\Docs\\a.gif");
  EXPECT_EQ(MakeRelativePath("C:\\Docs\\a.gif", ""), "C:\\Docs\\a.gif");
  EXPECT_EQ(MakeRelativePath("C:\\Docs\\a.gif", "C:\\Docs\\"), "C:\\Docs\\a.gif");
  EXPECT_EQ(MakeRelativePath("C:\\Docs", "C:\\Docs"), "C:\\Docs");
  EXPECT_EQ(MakeRelativePath("C:\\Docs\\", "C:\\Docs"), "C:\\Docs\\");
  EXPECT_EQ(MakeRelativePath("D:\\Other\\a.gif", "C:\\Docs"), "D:\\Other\\a.gif");
  EXPECT_EQ(MakeRelativePath("C:\\ÄRGER\\Bild.png", "c:\\ärger"), "Bild.png");
}

TEST(ExistenceTests, FilesFoldersAndTheirBoundaries) {
  sim::MemoryFileSystem fs;
  fs.AddFile("C:\\Docs\\pic.gif");
  fs.AddFolder("C:\\Empty");
  fs.AddFolder("E:\\");
  fs.AddFile("C:\\Docs\\locked.gif");
  fs.DenyOpen("C:\\Docs\\locked.gif");

  EXPECT_TRUE(FileExists(fs, "C:\\Docs\\pic.gif"));
  EXPECT_TRUE(FileExists(fs, "C:\\Docs\\pic.gif\\"));  // one trailing backslash dropped
  EXPECT_FALSE(FileExists(fs, "C:\\Docs\\pic.gif\\\\"));
  EXPECT_FALSE(FileExists(fs, ""));
  EXPECT_FALSE(FileExists(fs, "C:\\Docs"));
  EXPECT_FALSE(FileExists(fs, "C:\\Docs\\locked.gif"));

  EXPECT_FALSE(FolderExists(fs, ""));
  EXPECT_TRUE(FolderExists(fs, "C:\\Docs"));
  EXPECT_TRUE(FolderExists(fs, "C:\\Docs\\"));
  EXPECT_TRUE(FolderExists(fs, "c:\\docs"));
  EXPECT_FALSE(FolderExists(fs, "C:\\Docs\\pic.gif"));
  EXPECT_FALSE(FolderExists(fs, "C:\\Nowhere"));
  EXPECT_TRUE(FolderExists(fs, "C:\\"));
  EXPECT_FALSE(FolderExists(fs, "E:\\"));  // an empty drive root lists nothing
  // An entry that exists but cannot be opened as a file counts as a folder.
  EXPECT_TRUE(FolderExists(fs, "C:\\Docs\\locked.gif"));
}

}  // namespace
}  // namespace ravel
