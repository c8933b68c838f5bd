// The duplicate location chooser: what it offers, what OK, double-click, Cancel and the
// window frame do to the item.
#include <gtest/gtest.h>

#include "relink/FileOP.h"
#include "relink/MoreLinksFound.h"
#include "relink_support.h"

namespace ravel {
namespace {

using test::Harness;

class Chooser : public ::testing::Test {
 protected:
  // Item 1 found at `locations`, and its dialog filled as the dissolve fills it.
  MoreLinksFound& Open(const std::vector<std::string>& locations, bool hidden = false) {
    item = h.AddItem("a.gif", "X:\\old\\a.gif", true, hidden);
    h.ResetFound();
    FoundRow& row = h.g.FoundPaths[static_cast<std::size_t>(item)];
    row[0] = std::to_string(locations.size());
    for (std::size_t k = 0; k < locations.size(); ++k) row[k + 1] = locations[k];
    dialog = std::make_unique<MoreLinksFound>(h.main);
    dialog->ItemIndex = item;
    for (const std::string& l : locations)
      dialog->List_moreLinksFound.AddItem(ShortenForDisplay(l));
    return *dialog;
  }
  const LinkItem& Item() { return h.g.Item(item); }

  Harness h;
  int item = 0;
  std::unique_ptr<MoreLinksFound> dialog;
};

TEST_F(Chooser, ShowsTheClickedLocationWholeWithABreakAfterItsNinetySeventhCharacter) {
  std::string longer = "C:\\Docs\\" + std::string(120, 'p') + "\\a.gif";
  MoreLinksFound& d = Open({"C:\\Docs\\one\\a.gif", longer});
  EXPECT_EQ(d.List_moreLinksFound.Entries()[1], ShortenForDisplay(longer));
  EXPECT_EQ(d.Text_Path.Text(), "");

  d.List_moreLinksFound.SetListIndex(1);
  d.List_moreLinksFound_Click();
  EXPECT_EQ(d.Text_Path.Text(), longer.substr(0, 97) + "\r\n" + longer.substr(97));
  d.List_moreLinksFound.SetListIndex(0);
  d.List_moreLinksFound_Click();
  EXPECT_EQ(d.Text_Path.Text(), "C:\\Docs\\one\\a.gif");
}

TEST_F(Chooser, OkWithNothingHighlightedKeepsTheDialogOpenAndNeverTakesTheCount) {
  MoreLinksFound& d = Open({"C:\\Docs\\one\\a.gif", "C:\\Docs\\two\\a.gif"});
  d.Command_OK_Click();
  EXPECT_FALSE(d.Closed());
  EXPECT_EQ(Item().SourcePath, "X:\\old\\a.gif");
  EXPECT_FALSE(Item().Changed);
  d.List_moreLinksFound.SetListIndex(2);  // no such entry
  d.Command_OK_Click();
  d.List_moreLinksFound_Click();
  EXPECT_FALSE(d.Closed());
  EXPECT_EQ(Item().SourcePath, "X:\\old\\a.gif");
  EXPECT_EQ(d.Text_Path.Text(), "");
}

TEST_F(Chooser, OkTakesTheRelativeFormEvenForAHiddenItem) {
  MoreLinksFound& d = Open({"C:\\Docs\\one\\a.gif", "C:\\Docs\\two\\a.gif"}, true);
  d.List_moreLinksFound.SetListIndex(1);
  d.Command_OK_Click();
  EXPECT_TRUE(d.Closed());
  EXPECT_TRUE(d.List_moreLinksFound.Entries().empty());
  EXPECT_EQ(Item().SourcePath, "two\\a.gif");
  EXPECT_TRUE(Item().Changed);
  EXPECT_EQ(h.main.ListView_IS.Cell(item, 0), "two\\a.gif");
  EXPECT_EQ(h.main.ListView_IS.Cell(item, 2), "True");
}

TEST_F(Chooser, DoubleClickTakesTheFullLocationOutsideTheDocumentsFolder) {
  std::string far = "D:\\Archive\\pictures of the year two thousand and twenty\\a.gif";
  MoreLinksFound& d = Open({"C:\\Docs\\one\\a.gif", far});
  d.List_moreLinksFound.SetListIndex(1);
  d.List_moreLinksFound_DblClick();
  EXPECT_TRUE(d.Closed());
  EXPECT_EQ(Item().SourcePath, far);
  EXPECT_EQ(h.main.ListView_IS.Cell(item, 0), ShortenForList(far));
}

TEST_F(Chooser, TheCurrentSourceInAnyCaseChangesNothing) {
  MoreLinksFound& d = Open({"X:\\OLD\\A.GIF", "C:\\Docs\\two\\a.gif"});
  h.main.Check_relpath.SetValue(0);
  d.List_moreLinksFound.SetListIndex(0);
  d.Command_OK_Click();
  EXPECT_TRUE(d.Closed());
  EXPECT_EQ(Item().SourcePath, "X:\\old\\a.gif");
  EXPECT_FALSE(Item().Changed);
  EXPECT_EQ(h.main.ListView_IS.Cell(item, 2), "False");
}

TEST_F(Chooser, CancelAndTheWindowFrameLeaveTheItemAsItWas) {
  MoreLinksFound& d = Open({"C:\\Docs\\one\\a.gif", "C:\\Docs\\two\\a.gif"});
  d.List_moreLinksFound.SetListIndex(0);
  d.Command_Cancel_Click();
  EXPECT_TRUE(d.Closed());
  EXPECT_TRUE(d.List_moreLinksFound.Entries().empty());
  EXPECT_FALSE(Item().Changed);

  MoreLinksFound& again = Open({"C:\\Docs\\one\\a.gif", "C:\\Docs\\two\\a.gif"});
  again.List_moreLinksFound.SetListIndex(0);
  again.Form_Unload();
  EXPECT_TRUE(again.Closed());
  EXPECT_FALSE(h.g.Item(item).Changed);
}

TEST_F(Chooser, WordFailingClosesTheDialogWithoutAChange) {
  MoreLinksFound& d = Open({"C:\\Docs\\one\\a.gif", "C:\\Docs\\two\\a.gif"});
  h.word.CloseAll();
  d.List_moreLinksFound.SetListIndex(0);
  EXPECT_NO_THROW(d.Command_OK_Click());
  EXPECT_TRUE(d.Closed());
  EXPECT_FALSE(Item().Changed);
}

}  // namespace
}  // namespace ravel
