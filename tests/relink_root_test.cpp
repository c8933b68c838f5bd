// Choosing the new source root: where the browser starts, what is stored and shown.
#include <gtest/gtest.h>

#include "relink/RootSelection.h"
#include "relink_support.h"

namespace ravel {
namespace {

using test::Harness;
using test::Recorder;

class RootChoice : public ::testing::Test {
 protected:
  RootChoice() {
    h.AddItem("a.gif", "C:\\Docs\\a.gif");
    h.fs.AddFile("C:\\Docs\\a.gif");
    h.main.ListView_IS.SetPeer(&list);
  }
  Harness h;
  Recorder list;
};

TEST_F(RootChoice, FirstChoiceStartsAtTheDocumentsFolderAndIsStoredAsReturned) {
  h.host.browse_answers.push_back(std::string("D:\\Pictures\0garbage", 19));
  h.main.Command_Choose_Click();
  ASSERT_EQ(h.host.browses.size(), 1u);
  EXPECT_EQ(h.host.browses[0].prompt, "Choose new source root path:");
  EXPECT_EQ(h.host.browses[0].select, "C:\\Docs");
  EXPECT_EQ(h.host.browses[0].flags, 1);
  EXPECT_EQ(h.main.NewRootPath, "D:\\Pictures");
  EXPECT_EQ(h.main.Text_NewDestPath.Text(), "D:\\Pictures");
  EXPECT_EQ(list.focus, 1);
}

TEST_F(RootChoice, StartsAtThePreviousRootWhileItExists) {
  h.fs.AddFolder("D:\\Pictures\\x");
  h.main.NewRootPath = "D:\\Pictures";
  h.main.Command_Choose_Click();
  EXPECT_EQ(h.host.browses.back().select, "D:\\Pictures");

  h.main.NewRootPath = "D:\\Gone";
  h.main.Command_Choose_Click();
  EXPECT_EQ(h.host.browses.back().select, "C:\\Docs");
}

TEST_F(RootChoice, CancelKeepsThePreviousRootAndItsDisplay) {
  h.main.NewRootPath = "D:\\Before";
  h.main.Text_NewDestPath.SetText("D:\\Before");
  h.host.browse_answers.push_back(std::nullopt);
  h.main.Command_Choose_Click();
  h.host.browse_answers.push_back(std::string());  // a choice without a file-system path
  h.main.Command_Choose_Click();
  EXPECT_EQ(h.host.browses.size(), 2u);
  EXPECT_EQ(h.main.NewRootPath, "D:\\Before");
  EXPECT_EQ(h.main.Text_NewDestPath.Text(), "D:\\Before");
  EXPECT_EQ(list.focus, 0);
}

TEST_F(RootChoice, ShowsUpToFortyFiveCharactersThenABlank) {
  std::string r45 = "D:\\" + std::string(42, 'a');
  std::string r46 = r45 + "z";
  h.host.browse_answers.push_back(r45);
  h.host.browse_answers.push_back(r46);
  h.main.Command_Choose_Click();
  EXPECT_EQ(h.main.Text_NewDestPath.Text(), r45);
  h.main.Command_Choose_Click();
  EXPECT_EQ(h.main.Text_NewDestPath.Text(), r45 + " z");
  EXPECT_EQ(h.main.NewRootPath, r46);
}

TEST_F(RootChoice, ADriveRootIsChosenWithItsBackslashAndABareDriveStartsAtItsRoot) {
  h.host.browse_answers.push_back("E:\\");
  h.main.Command_Choose_Click();
  EXPECT_EQ(h.main.NewRootPath, "E:\\");

  EXPECT_EQ(BrowseForFolder(h.main, "Pick", "F:", 1), "");
  EXPECT_EQ(h.host.browses.back().select, "F:\\");
  EXPECT_EQ(h.host.browses.back().prompt, "Pick");
}

TEST_F(RootChoice, NothingHappensWithoutItemsOrWithoutADocument) {
  h.word.CloseAll();
  h.host.browse_answers.push_back("D:\\New");
  EXPECT_NO_THROW(h.main.Command_Choose_Click());
  EXPECT_TRUE(h.host.browses.empty());
  EXPECT_EQ(h.main.NewRootPath, "");

  Harness empty;
  empty.host.browse_answers.push_back("D:\\New");
  empty.main.Command_Choose_Click();
  EXPECT_TRUE(empty.host.browses.empty());
}

}  // namespace
}  // namespace ravel
