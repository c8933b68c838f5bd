// Names compared the way Windows compares file names: letters of every script fold, one
// code unit at a time, with no locale.
#include <gtest/gtest.h>

#include "relink/TextCompare.h"

namespace ravel {
namespace {

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

TEST(TextCompare, LettersWithTheSameCapitalAreEqual) {
  EXPECT_TRUE(EqualNoCase("ΣΟΦΟΣ", "σοφος"));  // final sigma
  EXPECT_TRUE(EqualNoCase("ς", "σ"));
  EXPECT_TRUE(EqualNoCase("µ", "μ"));  // micro sign and mu share a capital
}

TEST(TextCompare, KeepsApartWhatWindowsKeepsApart) {
  // The dotted capital I and the Kelvin sign have capitals of their own.
  EXPECT_FALSE(EqualNoCase("İ", "i"));
  EXPECT_FALSE(EqualNoCase("\u212A", "k"));
  EXPECT_FALSE(EqualNoCase("ß", "ss"));  // one unit never becomes two
  // Beyond the BMP each surrogate is compared as it is: Deseret is not folded.
  EXPECT_FALSE(EqualNoCase("\U00010400", "\U00010428"));
  EXPECT_FALSE(EqualNoCase("a.gif", "a.gif "));
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

TEST(TextCompare, OrdersWithoutRegardToCase) {
  EXPECT_EQ(CompareNoCase("ÄPFEL", "äpfel"), 0);
  EXPECT_LT(CompareNoCase("a.gif", "B.gif"), 0);
  EXPECT_GT(CompareNoCase("Zebra", "apple"), 0);
}

}  // namespace
}  // namespace ravel
