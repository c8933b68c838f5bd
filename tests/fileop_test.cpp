// The path helpers at their boundaries, and names compared the way Windows compares file
// names: letters of every script fold, one code unit at a time, with no locale.
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "relink/FileOP.h"
#include "relink/TextCompare.h"
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

TEST(TextCompare, FoldsLettersOfEveryScript) {
  struct Pair {
    const char *upper, *lower;
  };
  const Pair pairs[] = {
      {"ABCXYZ", "abcxyz"},
      {"ÀÉÎÕÜÞ", "àéîõüþ"},  // Latin-1
      {"Ÿ", "ÿ"},            // Latin-1's one letter whose capital lies outside it
      {"ĀĞŁŒŽ", "āğłœž"},    // Latin Extended-A
      {"ƁƏǄǅǞȺ", "ɓəǆǆǟⱥ"},  // Latin Extended-B, title case included
      {"ΑΒΓΣΩΆ", "αβγσωά"},  // Greek
      {"ЁЖЩЯЀ", "ёжщяѐ"},    // Cyrillic
      {"ԱՖ", "աֆ"},          // Armenian
      {"ḀẔỸ", "ḁẕỹ"},        // Latin Extended Additional
      {"ＡＺ", "ａｚ"},      // fullwidth forms
      {"\u10A0\u13C3\u2C00", "\u2D00\uAB93\u2C30"},  // Georgian, Cherokee, Glagolitic
  };
  for (const Pair& p : pairs) {
    EXPECT_EQ(LowerCase(p.upper), p.lower) << p.upper;
    EXPECT_TRUE(EqualNoCase(p.upper, p.lower)) << p.upper;
  }
}

TEST(TextCompare, FoldsEveryAsciiCharacterAtAnyPosition) {
  std::string all, expected;
  for (int c = 1; c < 128; ++c) {
    all += static_cast<char>(c);
    expected += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  for (std::size_t shift = 0; shift < 8; ++shift)  // every alignment of the 8-byte steps
    EXPECT_EQ(LowerCase(std::string(shift, '@') + all + "Ä" + all),
              std::string(shift, '@') + expected + "ä" + expected);
}

TEST(TextCompare, LettersWithTheSameCapitalAreEqualAndWhatWindowsKeepsApartStaysApart) {
  const std::tuple<const char*, const char*, bool> pairs[] = {
      {"ΣΟΦΟΣ", "σοφος", true},  // final sigma
      {"ς", "σ", true},
      {"µ", "μ", true},  // micro sign and mu share a capital
      // The dotted capital I and the Kelvin sign have capitals of their own.
      {"İ", "i", false},
      {"\u212A", "k", false},
      {"ß", "ss", false},  // one unit never becomes two
      // Beyond the BMP each surrogate is compared as it is: Deseret is not folded.
      {"\U00010400", "\U00010428", false},
      {"a.gif", "a.gif ", false},
  };
  for (const auto& [a, b, equal] : pairs) EXPECT_EQ(EqualNoCase(a, b), equal) << a << " " << b;
  EXPECT_EQ(CompareNoCase("ÄPFEL", "äpfel"), 0);
  EXPECT_LT(CompareNoCase("a.gif", "B.gif"), 0);
  EXPECT_GT(CompareNoCase("Zebra", "apple"), 0);
}

TEST(TextCompare, KeepsEverythingElseByteForByte) {
  EXPECT_EQ(LowerCase("1-_.~ \\ 日本語 €"), "1-_.~ \\ 日本語 €");
  std::string bad = "A\xFF\xC3Z\xE2\x82";  // stray and truncated sequences
  EXPECT_EQ(LowerCase(bad), "a\xFF\xC3z\xE2\x82");
  EXPECT_EQ(LowerCase("\xED\xA0\x80"), "\xED\xA0\x80");  // an encoded surrogate stays
  EXPECT_EQ(LowerCase(""), "");
  std::string buffer = "previous content";
  LowerCaseInto("ÄB", buffer);
  EXPECT_EQ(buffer, "äb");
}

}  // namespace
}  // namespace ravel
