// The Dissolve button: which items get which new path, and when nothing may happen.
#include <gtest/gtest.h>

#include "relink/Dissolve.h"
#include "relink/FileOP.h"
#include "relink/MoreLinksFound.h"
#include "relink_support.h"

namespace ravel {
namespace {

using test::Harness;
using test::Recorder;

class DissolveTest : public ::testing::Test {
 protected:
  // However it ends: idle, the bar at rest, the buttons back.
  void ExpectReleased() {
    EXPECT_EQ(h.main.Label_ProgressBar.Text(), "Idle");
    EXPECT_EQ(h.main.ProgressBar_main.Value(), 0);
    EXPECT_FALSE(h.main.Busy());
    EXPECT_TRUE(h.main.Command_Set.Enabled());
    EXPECT_TRUE(h.main.Command_Save.Enabled());
    EXPECT_FALSE(h.main.Text_PBP.Visible());
  }
  Harness h;
};

TEST_F(DissolveTest, DoesNothingWithoutItemsAnExistingRootOrItsDocumentActive) {
  h.fs.AddFile("C:\\New\\a.gif");
  h.main.NewRootPath = "C:\\New";
  h.main.Command_Set_Click();  // no items read
  int a = h.AddItem("a.gif", "C:\\Old\\a.gif");
  Recorder status;
  h.main.Label_ProgressBar.SetPeer(&status);
  for (const char* root : {"", "C:\\Gone"}) {
    h.main.NewRootPath = root;
    h.main.Command_Set_Click();
  }
  h.main.NewRootPath = "C:\\New";
  h.word.Open("Other.doc", "C:\\Docs");
  h.main.Command_Set_Click();
  EXPECT_EQ(h.host.pumps, 0);
  EXPECT_EQ(h.g.Item(a).SourcePath, "C:\\Old\\a.gif");
  EXPECT_FALSE(h.g.Item(a).Changed);
  EXPECT_TRUE(h.g.FoundPaths.empty());
  EXPECT_TRUE(status.texts.empty());
  ExpectReleased();
}

TEST_F(DissolveTest, WordFailingEndsQuietlyWithTheButtonsReleased) {
  h.fs.AddFile("C:\\Docs\\pics\\a.gif");
  int a = h.AddItem("a.gif", "C:\\Old\\a.gif");
  h.main.NewRootPath = "C:\\Docs";
  h.word.CloseAll();
  EXPECT_NO_THROW(h.main.Command_Set_Click());
  EXPECT_FALSE(h.g.Item(a).Changed);
  ExpectReleased();

  // Word answers the name but not the folder the relative form needs.
  h.word.Open("Report.doc", "C:\\Docs");
  h.word.Doc()->Context().faults.push_back({"Document", "Path", sim::Access::Get});
  EXPECT_NO_THROW(h.main.Command_Set_Click());
  EXPECT_FALSE(h.g.Item(a).Changed);
  ExpectReleased();
}

TEST_F(DissolveTest, OneLocationTakesTheRelativeFormOnlyForVisibleItemsInsideTheDocument) {
  const std::string deep =
      "C:\\Docs\\pics\\a folder name long enough to be shortened in the list\\";
  h.fs.AddFile(deep + "a.gif");
  for (const char* f : {"C:\\Docs\\pics\\h.gif", "C:\\Elsewhere\\o.gif", "C:\\Docs\\pics\\same.gif",
                        "C:\\Docs\\pics\\skip.gif"})
    h.fs.AddFile(f);
  int a = h.AddItem("a.gif", "X:\\a.gif");
  int hidden = h.AddItem("h.gif", "X:\\h.gif", true, true);
  int outside = h.AddItem("o.gif", "X:\\o.gif");
  int same = h.AddItem("same.gif", "PICS\\SAME.GIF");
  int unselected = h.AddItem("skip.gif", "X:\\skip.gif");
  h.main.ListView_IS.SetSelected(unselected, false);
  h.g.Item(unselected).Selected = true;  // stale: the list's selection decides
  h.main.NewRootPath = "C:\\";
  Recorder focus;
  h.main.ListView_IS.SetPeer(&focus);

  h.main.Command_Set_Click();

  std::string rel = "pics\\a folder name long enough to be shortened in the list\\a.gif";
  EXPECT_EQ(h.g.Item(a).SourcePath, rel);
  EXPECT_TRUE(h.g.Item(a).Changed);
  EXPECT_EQ(h.main.ListView_IS.Cell(a, 0), ShortenForList(rel));
  EXPECT_NE(h.main.ListView_IS.Cell(a, 0), rel);
  EXPECT_EQ(h.main.ListView_IS.Cell(a, 2), "True");

  EXPECT_EQ(h.g.Item(hidden).SourcePath, "C:\\Docs\\pics\\h.gif");
  EXPECT_EQ(h.g.Item(outside).SourcePath, "C:\\Elsewhere\\o.gif");
  EXPECT_TRUE(h.g.Item(outside).Changed);

  EXPECT_EQ(h.g.Item(same).SourcePath, "PICS\\SAME.GIF");
  EXPECT_FALSE(h.g.Item(same).Changed);
  EXPECT_EQ(h.main.ListView_IS.Cell(same, 2), "False");

  EXPECT_FALSE(h.g.Item(unselected).Selected);
  EXPECT_EQ(h.g.Item(unselected).SourcePath, "X:\\skip.gif");
  EXPECT_EQ(h.main.ListView_IS.Cell(unselected, 2), "False");

  EXPECT_EQ(focus.focus, 1);
  ExpectReleased();

  // Without the option every item gets the full location.
  h.main.Check_relpath.SetValue(0);
  h.main.NewRootPath = "C:\\Docs\\";
  h.main.Command_Set_Click();
  EXPECT_EQ(h.g.Item(a).SourcePath, deep + "a.gif");
}

TEST_F(DissolveTest, ProgressMaximumCountsTheRootsFoldersAfterItsFirstEntry) {
  h.AddItem("a.gif", "");
  Recorder status;
  h.main.Label_ProgressBar.SetPeer(&status);

  h.fs.AddFile("C:\\Flat\\a.gif");  // ".." is its only folder after "."
  Dissolve(h.main, "C:\\Flat");
  EXPECT_EQ(h.g.RootFolderCount, 1);
  EXPECT_EQ(h.main.ProgressBar_main.Max(), 1);
  ASSERT_FALSE(status.texts.empty());
  EXPECT_EQ(status.texts.front(), "Dissolving Paths...");

  h.fs.AddFolder("E:\\");  // empty drive root
  Dissolve(h.main, "E:\\");
  EXPECT_EQ(h.main.ProgressBar_main.Max(), 100);

  // A drive root lists no dots: its first real entry goes uncounted.
  for (const char* f : {"D:\\one", "D:\\two", "D:\\three"}) h.fs.AddFolder(f);
  Dissolve(h.main, "D:\\");
  EXPECT_EQ(h.g.RootFolderCount, 2);

  h.fs.AddFolder("C:\\Locked\\x");
  h.fs.DenyListing("C:\\Locked");
  Dissolve(h.main, "C:\\Locked");
  EXPECT_EQ(h.g.RootFolderCount, 100);
}

TEST_F(DissolveTest, SeveralLocationsAskOncePerItemInItemOrder) {
  for (const char* f : {"C:\\R\\1\\a.gif", "C:\\R\\2\\a.gif", "C:\\R\\1\\b.gif", "C:\\R\\2\\b.gif",
                        "C:\\R\\1\\c.gif", "C:\\R\\2\\c.gif"})
    h.fs.AddFile(f);
  std::string long_folder = "C:\\R\\" + std::string(100, 'x');
  h.fs.AddFile(long_folder + "\\c.gif");
  int a = h.AddItem("a.gif", "X:\\a.gif");
  int b = h.AddItem("b.gif", "X:\\b.gif");
  int c = h.AddItem("c.gif", "X:\\c.gif");
  h.main.Check_relpath.SetValue(0);
  h.main.NewRootPath = "C:\\R";

  std::vector<int> asked;
  std::vector<std::vector<std::string>> offered;
  h.host.on_modal = [&](MoreLinksFound& dialog) {
    asked.push_back(dialog.ItemIndex);
    offered.push_back(dialog.List_moreLinksFound.Entries());
    EXPECT_EQ(dialog.List_moreLinksFound.ListIndex(), -1);
    if (dialog.ItemIndex == b) {
      dialog.Command_Cancel_Click();
      return;
    }
    dialog.List_moreLinksFound.SetListIndex(1);
    dialog.Command_OK_Click();
    EXPECT_TRUE(dialog.Closed());
  };
  h.main.Command_Set_Click();

  EXPECT_EQ(asked, (std::vector<int>{a, b, c}));
  ASSERT_EQ(offered.size(), 3u);
  EXPECT_EQ(offered[2], (std::vector<std::string>{"C:\\R\\1\\c.gif", "C:\\R\\2\\c.gif",
                                                  ShortenForDisplay(long_folder + "\\c.gif")}));
  EXPECT_EQ(h.g.Item(a).SourcePath, "C:\\R\\2\\a.gif");
  EXPECT_EQ(h.g.Item(b).SourcePath, "X:\\b.gif");
  EXPECT_FALSE(h.g.Item(b).Changed);
  EXPECT_EQ(h.g.Item(c).SourcePath, "C:\\R\\2\\c.gif");
  EXPECT_EQ(h.main.ListView_IS.Cell(c, 2), "True");
  ExpectReleased();
}

}  // namespace
}  // namespace ravel
