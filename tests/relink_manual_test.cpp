// The manual source chooser behind a double-click on a row.
#include <gtest/gtest.h>

#include "relink_support.h"

namespace ravel {
namespace {

using test::Harness;

class ManualSource : public ::testing::Test {
 protected:
  ManualSource() {
    h.fs.AddFile("C:\\Docs\\pics\\a.gif");
    h.fs.AddFile("C:\\Docs\\Report.doc");
    h.fs.AddFile("D:\\Old\\b.gif");
  }
  // Item 1 with the given source as the list's current row, the dialog answering `answer`.
  int Pick(const std::string& source, std::optional<std::string> answer) {
    int i = h.AddItem(FileNameOf(source), source);
    h.main.ListView_IS.SetCurrent(i);
    h.host.file_answers.push_back(std::move(answer));
    h.main.deppxx();
    return i;
  }
  static std::string FileNameOf(const std::string& p) { return p.substr(p.rfind('\\') + 1); }
  Harness h;
};

TEST_F(ManualSource, StartsInTheFolderOfTheSourceResolvedAgainstTheDocument) {
  Pick("pics\\a.gif", std::nullopt);
  ASSERT_EQ(h.host.file_dialogs.size(), 1u);
  EXPECT_EQ(h.host.file_dialogs[0].initial_folder, "C:\\Docs\\pics\\");
  EXPECT_EQ(h.host.file_dialogs[0].file_name, "a.gif");
}

TEST_F(ManualSource, StartsInAnAbsoluteSourcesFolderOrElseTheDocumentsFolder) {
  Pick("D:\\Old\\b.gif", std::nullopt);
  EXPECT_EQ(h.host.file_dialogs.back().initial_folder, "D:\\Old\\");
  Pick("D:\\Gone\\c.gif", std::nullopt);
  EXPECT_EQ(h.host.file_dialogs.back().initial_folder, "C:\\Docs");
  EXPECT_EQ(h.host.file_dialogs.back().file_name, "c.gif");
}

TEST_F(ManualSource, CancelChangesNothing) {
  int i = Pick("D:\\Old\\b.gif", std::nullopt);
  EXPECT_EQ(h.g.Item(i).SourcePath, "D:\\Old\\b.gif");
  EXPECT_FALSE(h.g.Item(i).Changed);
  EXPECT_EQ(h.main.ListView_IS.Cell(i, 2), "False");
}

TEST_F(ManualSource, StoresTheFullPathAndShortensRowsBeyondThirtyThreeCharacters) {
  std::string p33 = "C:\\Docs\\pics\\" + std::string(16, 'n') + ".gif";
  ASSERT_EQ(p33.size(), 33u);
  int i = Pick("pics\\a.gif", p33);
  EXPECT_EQ(h.g.Item(i).SourcePath, p33);  // not the relative form, though the option is on
  EXPECT_EQ(h.g.Item(i).FileName, std::string(16, 'n') + ".gif");
  EXPECT_TRUE(h.g.Item(i).Changed);
  EXPECT_EQ(h.main.ListView_IS.Cell(i, 0), p33);
  EXPECT_EQ(h.main.ListView_IS.Cell(i, 2), "True");

  std::string p34 = "D:\\Old\\" + std::string(23, 'm') + ".gif";
  ASSERT_EQ(p34.size(), 34u);
  int j = Pick("D:\\Old\\b.gif", p34);
  EXPECT_EQ(h.main.ListView_IS.Cell(j, 0), p34.substr(0, 10) + "......." + p34.substr(11));
  EXPECT_EQ(h.main.ListView_IS.Cell(j, 0).size(), 40u);
}

TEST_F(ManualSource, TheSameFileAgainStillCountsAsAChangeAndShortNamesGetNoFileName) {
  int i = Pick("D:\\Old\\b.gif", std::string("D:\\Old\\b.gif"));
  EXPECT_TRUE(h.g.Item(i).Changed);
  int j = Pick("D:\\Old\\b.gif", std::string("D:\\Old\\ab"));
  EXPECT_EQ(h.g.Item(j).FileName, "");
  EXPECT_EQ(h.g.Item(j).SourcePath, "D:\\Old\\ab");
}

TEST_F(ManualSource, NoCurrentRowOrNoDocumentMeansNoDialog) {
  h.AddItem("a.gif", "pics\\a.gif");
  h.main.ListView_IS.SetCurrent(0);
  h.host.file_answers.push_back(std::string("C:\\x\\y.gif"));
  h.main.deppxx();
  EXPECT_TRUE(h.host.file_dialogs.empty());

  h.main.ListView_IS.SetCurrent(1);
  h.word.CloseAll();
  EXPECT_NO_THROW(h.main.deppxx());
  EXPECT_TRUE(h.host.file_dialogs.empty());
  EXPECT_FALSE(h.g.Item(1).Changed);
}

}  // namespace
}  // namespace ravel
