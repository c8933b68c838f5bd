// Link targets: every form read into a Windows-form path, and a new path written back in
// the form the link had.
#include <gtest/gtest.h>

#include "docfile/Targets.h"
#include "relink/TextCompare.h"

namespace ravel::docfile {
namespace {

const std::string kFolder = "C:\\Docs\\Report";

struct ParseCase {
  const char* text;
  TargetForm form;
  const char* path;
};

TEST(DocfileTargets, EveryFormReadsAsAWindowsPath) {
  const ParseCase cases[] = {
      {"file:///C:/Pics/a.png", TargetForm::FileUri, "C:\\Pics\\a.png"},
      {"file:///C:\\Pics\\a.png", TargetForm::FileUri, "C:\\Pics\\a.png"},
      {"FILE:///c:/Pics/a.png", TargetForm::FileUri, "C:\\Pics\\a.png"},
      {"file:///C:/My%20Pics/%C3%A9t%C3%A9.png", TargetForm::FileUri, "C:\\My Pics\\été.png"},
      {"file:///C:/100%/a.png", TargetForm::FileUri, "C:\\100%\\a.png"},
      {"file:///C:/Pics/caf%C3%A9", TargetForm::FileUri, "C:\\Pics\\café"},  // escape at the end
      {"file://localhost/C:/Pics/a.png", TargetForm::FileUri, "C:\\Pics\\a.png"},
      {"file://server/share/Pics/a.png", TargetForm::FileUriUnc, "\\\\server\\share\\Pics\\a.png"},
      {"file:////server/share/a.png", TargetForm::FileUriUnc, "\\\\server\\share\\a.png"},
      {"file:///srv/pics/a%20b.png", TargetForm::PosixUri, "Z:\\srv\\pics\\a b.png"},
      // Office for the Mac: its local paths behind four slashes, or three.
      {"file:////Users/ann/a%20b.png", TargetForm::PosixUri, "Z:\\Users\\ann\\a b.png"},
      {"file:////volumes/Share/a.png", TargetForm::PosixUri, "Z:\\volumes\\Share\\a.png"},
      {"file:///Users/ann/a.png", TargetForm::PosixUri, "Z:\\Users\\ann\\a.png"},
      {"file://///Users/share/a.png", TargetForm::FileUriUnc, "\\\\Users\\share\\a.png"},
      {"C:\\Pics\\..\\Art\\a.png", TargetForm::WindowsPath, "C:\\Art\\a.png"},
      {"c:/Pics/a.png", TargetForm::WindowsPath, "C:\\Pics\\a.png"},
      {"\\\\server\\share\\a.png", TargetForm::WindowsPath, "\\\\server\\share\\a.png"},
      {"/srv/pics/a.png", TargetForm::PosixPath, "Z:\\srv\\pics\\a.png"},
      {"pics/a%20b.png", TargetForm::Relative, "C:\\Docs\\Report\\pics\\a b.png"},
      {"..\\pics\\a.png", TargetForm::Relative, "C:\\Docs\\pics\\a.png"},
      {"../../../../a.png", TargetForm::Relative, "C:\\a.png"},
      {"a.png", TargetForm::Relative, "C:\\Docs\\Report\\a.png"},
      {"http://example.com/a.png", TargetForm::NotAFile, ""},
      {"mailto:someone@example.com", TargetForm::NotAFile, ""},
      {"", TargetForm::NotAFile, ""},
  };
  for (const ParseCase& c : cases) {
    Target t = ParseTarget(c.text, kFolder);
    EXPECT_EQ(t.form, c.form) << c.text;
    EXPECT_EQ(t.path, c.path) << c.text;
  }
}

struct FormatCase {
  const char* original;
  const char* path;
  bool relative, posix;
  const char* expected;
};

TEST(DocfileTargets, NewPathsAreWrittenInTheLinksForm) {
  const FormatCase cases[] = {
      {"file:///C:/Old/a.png", "D:\\New\\a.png", false, false, "file:///D:/New/a.png"},
      {"file:///C:\\Old\\a.png", "D:\\New\\a.png", false, false, "file:///D:\\New\\a.png"},
      {"file:///C:/Old/a.png", "D:\\New Pics\\a#1.png", false, false,
       "file:///D:/New%20Pics/a%231.png"},
      // Non-ASCII stays as it is unless the link escaped it.
      {"file:///C:/Old/a.png", "D:\\été.png", false, false, "file:///D:/été.png"},
      {"file:///C:/%C3%A9/a.png", "D:\\été.png", false, false, "file:///D:/%C3%A9t%C3%A9.png"},
      {"file://old/share/a.png", "\\\\new\\share\\a.png", false, false, "file://new/share/a.png"},
      {"file:///C:/Old/a.png", "\\\\new\\share\\a.png", false, false, "file://new/share/a.png"},
      {"C:\\Old\\a.png", "D:\\New Pics\\a.png", false, false, "D:\\New Pics\\a.png"},
      {"\\\\old\\s\\a.png", "\\\\new\\s\\a.png", false, false, "\\\\new\\s\\a.png"},
      {"old/a.png", "D:\\New\\a.png", false, false, "file:///D:/New/a.png"},
      {"old\\a.png", "D:\\New\\a.png", false, false, "D:\\New\\a.png"},
      {"old/a.png", "C:\\Docs\\Report\\new\\a b.png", false, false, "new/a%20b.png"},
      {"..\\old\\a.png", "C:\\Docs\\Report\\new\\a.png", false, false, "new\\a.png"},
      // Relative where asked for and possible.
      {"file:///C:/Old/a.png", "C:\\Docs\\Report\\pics\\a b.png", true, false, "pics/a%20b.png"},
      {"C:\\Old\\a.png", "C:\\Docs\\Report\\pics\\a.png", true, false, "pics\\a.png"},
      {"C:\\Old\\a.png", "c:\\docs\\report\\a.png", true, false, "a.png"},
      {"C:\\Old\\a.png", "C:\\Docs\\Other\\a.png", true, false, "C:\\Docs\\Other\\a.png"},
      {"C:\\Old\\a.png", "C:\\Docs\\ReportX\\a.png", true, false, "C:\\Docs\\ReportX\\a.png"},
      // Host paths on a POSIX host.
      {"file:///srv/old/a.png", "Z:\\srv\\new dir\\a.png", false, true,
       "file:///srv/new%20dir/a.png"},
      {"/srv/old/a.png", "Z:\\srv\\new\\a.png", false, true, "/srv/new/a.png"},
      {"file:///srv/old/a.png", "\\\\new\\s\\a.png", false, true, "file://new/s/a.png"},
      {"file:////Users/ann/a.png", "Z:\\Users\\bob\\a.png", false, true, "file:///Users/bob/a.png"},
  };
  for (const FormatCase& c : cases) {
    Target original = ParseTarget(c.original, kFolder);
    std::string text = FormatTarget(original, c.path, kFolder, {c.relative, c.posix});
    EXPECT_EQ(text, c.expected) << c.original << " -> " << c.path;
    // What is written reads back as the path it was written for.
    EXPECT_TRUE(EqualNoCase(ParseTarget(text, kFolder).path, NormalizePath(c.path))) << text;
  }
}

TEST(DocfileTargets, FolderPrefixesMatchWholeNamesWithoutCase) {
  std::string rest;
  EXPECT_TRUE(StartsWithFolder("\\\\OLD\\Share\\x\\a.png", "\\\\old\\share", &rest));
  EXPECT_EQ(rest, "x\\a.png");
  EXPECT_TRUE(StartsWithFolder("C:\\a\\b", "C:\\a\\", &rest));
  EXPECT_EQ(rest, "b");
  EXPECT_FALSE(StartsWithFolder("C:\\ab\\c", "C:\\a", &rest));
  EXPECT_TRUE(StartsWithFolder("C:\\a", "C:\\a", &rest));
  EXPECT_EQ(rest, "");
}

TEST(DocfileTargets, FieldTextEscapesBackslashesAndQuotes) {
  EXPECT_EQ(UnescapeFieldText(R"(C:\\Pics\\a \"b\".png)"), R"(C:\Pics\a "b".png)");
  EXPECT_EQ(UnescapeFieldText(R"(C:\Pics)"), R"(C:\Pics)");
  EXPECT_EQ(EscapeFieldText(R"(\\srv\a.png)", true), R"(\\\\srv\\a.png)");
  EXPECT_EQ(EscapeFieldText(R"(C:\a.png)", false), R"(C:\a.png)");
}

}  // namespace
}  // namespace ravel::docfile
