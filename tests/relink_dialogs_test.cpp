// The relinking dialogs: the chooser among found locations, the new source root, and the
// manual source chooser behind a double-click on a row.
#include <gtest/gtest.h>

#include "relink/FileOP.h"
#include "relink/MoreLinksFound.h"
#include "relink/RootSelection.h"
#include "relink_support.h"

namespace ravel {
namespace {

using test::Harness;
using test::Recorder;

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

  Harness h;
  int item = 0;
  std::unique_ptr<MoreLinksFound> dialog;
};

TEST_F(Chooser, ShowsTheClickedLocationWholeWithABreakAfterItsNinetySeventhCharacter) {
  std::string longer = "C:\\Docs\\" + std::string(120, 'p') + "\\a.gif";
  MoreLinksFound& d = Open({"C:\\Docs\\one\\a.gif", longer});
  EXPECT_EQ(d.List_moreLinksFound.Entries()[1], ShortenForDisplay(longer));
  EXPECT_EQ(d.Text_Path.Text(), "");
  const std::string one = "C:\\Docs\\one\\a.gif",
                    broken = longer.substr(0, 97) + "\r\n" + longer.substr(97);
  for (auto [index, shown] : {std::pair{1, broken}, {0, one}, {2, one}}) {  // 2: no such entry
    d.List_moreLinksFound.SetListIndex(index);
    d.List_moreLinksFound_Click();
    EXPECT_EQ(d.Text_Path.Text(), shown) << index;
  }
}

TEST_F(Chooser, TakesTheHighlightedLocationOnOkOrDoubleClickAndNothingOtherwise) {
  using M = MoreLinksFound;
  const std::string old = "X:\\old\\a.gif", one = "C:\\Docs\\one\\a.gif",
                    two = "C:\\Docs\\two\\a.gif",
                    far = "D:\\Archive\\pictures of the year two thousand and twenty\\a.gif";
  enum { kHidden = 1, kFull = 2, kNoWord = 4 };
  struct Case {
    const char* label;
    std::vector<std::string> locations;
    int setup;
    int index;  // highlighted entry
    void (M::*act)();
    bool closes;
    std::string source;  // afterwards
  };
  auto ok = &M::Command_OK_Click, dbl = &M::List_moreLinksFound_DblClick;
  const Case cases[] = {
      {"OK, hidden: relative", {one, two}, kHidden, 1, ok, true, "two\\a.gif"},
      {"double-click, outside: in full", {one, far}, 0, 1, dbl, true, far},
      {"the source in any case", {"X:\\OLD\\A.GIF", two}, kFull, 0, ok, true, old},
      {"OK, nothing highlighted", {one, two}, 0, -1, ok, false, old},
      {"OK never takes the count", {one, two}, 0, 2, ok, false, old},
      {"Cancel", {one, two}, 0, 0, &M::Command_Cancel_Click, true, old},
      {"the window frame", {one, two}, 0, 0, &M::Form_Unload, true, old},
      {"Word failing", {one, two}, kNoWord, 0, ok, true, old},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    h.word.Open("Report.doc", "C:\\Docs");
    h.main.Check_relpath.SetValue(c.setup & kFull ? 0 : 1);
    MoreLinksFound& d = Open(c.locations, c.setup & kHidden);
    if (c.setup & kNoWord) h.word.CloseAll();
    d.List_moreLinksFound.SetListIndex(c.index);
    EXPECT_NO_THROW((d.*c.act)());
    EXPECT_EQ(d.Closed(), c.closes);
    EXPECT_EQ(d.List_moreLinksFound.Entries().empty(), c.closes);
    EXPECT_EQ(h.g.Item(item).SourcePath, c.source);
    EXPECT_EQ(h.g.Item(item).Changed, c.source != old);
    EXPECT_EQ(h.main.ListView_IS.Cell(item, 0), ShortenForList(c.source));
    EXPECT_EQ(h.main.ListView_IS.Cell(item, 2), c.source != old ? "True" : "False");
  }
}

TEST(RootChoice, StartsAtThePreviousRootOrTheDocumentsFolderAndStoresAndShowsTheChoice) {
  Harness h;
  Recorder list;
  h.AddItem("a.gif", "C:\\Docs\\a.gif");
  h.fs.AddFile("C:\\Docs\\a.gif");
  h.fs.AddFolder("D:\\Pictures\\x");
  h.main.ListView_IS.SetPeer(&list);
  const std::string r45 = "D:\\" + std::string(42, 'a'), r46 = r45 + "z";
  struct Case {
    std::string before;
    std::optional<std::string> answer;  // none: cancelled
    std::string start, root, shown;
  };
  const Case cases[] = {
      {"", std::string("D:\\Pictures\0garbage", 19), "C:\\Docs", "D:\\Pictures", "D:\\Pictures"},
      {"D:\\Pictures", std::nullopt, "D:\\Pictures", "D:\\Pictures", "D:\\Pictures"},
      {"D:\\Gone", std::nullopt, "C:\\Docs", "D:\\Gone", "D:\\Gone"},
      {"D:\\Gone", "", "C:\\Docs", "D:\\Gone", "D:\\Gone"},  // a choice with no file-system path
      {"", r45, "C:\\Docs", r45, r45},  // up to 45 characters shown whole, then a blank
      {"", r46, "C:\\Docs", r46, r45 + " z"},
      {"", "E:\\", "C:\\Docs", "E:\\", "E:\\"},  // a drive root keeps its backslash
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before + " -> " + c.root);
    h.main.NewRootPath = c.before;
    h.main.Text_NewDestPath.SetText(c.before);
    h.host.browse_answers.push_back(c.answer);
    int focus = list.focus;
    h.main.Command_Choose_Click();
    EXPECT_EQ(h.host.browses.back().prompt, "Choose new source root path:");
    EXPECT_EQ(h.host.browses.back().select, c.start);
    EXPECT_EQ(h.host.browses.back().flags, 1);
    EXPECT_EQ(h.main.NewRootPath, c.root);
    EXPECT_EQ(h.main.Text_NewDestPath.Text(), c.shown);
    EXPECT_EQ(list.focus - focus, c.root != c.before ? 1 : 0) << "the list takes the focus";
  }
  // A bare drive starts at its root.
  EXPECT_EQ(BrowseForFolder(h.main, "Pick", "F:", 1), "");
  EXPECT_EQ(h.host.browses.back().select, "F:\\");
  EXPECT_EQ(h.host.browses.back().prompt, "Pick");
}

TEST(ManualSource, StartsAtTheResolvedSourceAndStoresThePickedFileInFull) {
  Harness h;
  h.fs.AddFile("C:\\Docs\\pics\\a.gif");
  h.fs.AddFile("C:\\Docs\\Report.doc");
  h.fs.AddFile("D:\\Old\\b.gif");
  const std::string p33 = "C:\\Docs\\pics\\" + std::string(16, 'n') + ".gif";
  const std::string p34 = "D:\\Old\\" + std::string(23, 'm') + ".gif";
  struct Case {
    std::string source;
    std::optional<std::string> answer;  // none: cancelled
    std::string start, file_name, row;  // the name the dialog offers; the row's text after
  };
  const Case cases[] = {
      // Relative to the document; picked: the full path, though the relative option is on.
      {"pics\\a.gif", std::nullopt, "C:\\Docs\\pics\\", "a.gif", "pics\\a.gif"},
      {"pics\\a.gif", p33, "C:\\Docs\\pics\\", "a.gif", p33},  // 33 characters: whole
      {"D:\\Old\\b.gif", std::nullopt, "D:\\Old\\", "b.gif", "D:\\Old\\b.gif"},
      {"D:\\Old\\b.gif", p34, "D:\\Old\\", "b.gif", p34.substr(0, 10) + "......." + p34.substr(11)},
      {"D:\\Gone\\c.gif", std::nullopt, "C:\\Docs", "c.gif", "D:\\Gone\\c.gif"},
      {"D:\\Old\\b.gif", "D:\\Old\\b.gif", "D:\\Old\\", "b.gif", "D:\\Old\\b.gif"},  // a change
      {"D:\\Old\\b.gif", "D:\\Old\\ab", "D:\\Old\\", "b.gif", "D:\\Old\\ab"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " -> " + c.answer.value_or("(cancel)"));
    int i = h.AddItem(c.file_name, c.source);
    h.main.ListView_IS.SetCurrent(i);
    h.host.file_answers.push_back(c.answer);
    h.main.deppxx();
    EXPECT_EQ(h.host.file_dialogs.back().initial_folder, c.start);
    EXPECT_EQ(h.host.file_dialogs.back().file_name, c.file_name);
    const LinkItem& item = h.g.Item(i);
    EXPECT_EQ(item.SourcePath, c.answer.value_or(c.source));
    EXPECT_EQ(item.Changed, c.answer.has_value());
    EXPECT_EQ(h.main.ListView_IS.Cell(i, 0), c.row);
    EXPECT_EQ(h.main.ListView_IS.Cell(i, 2), c.answer ? "True" : "False");
    // A picked file's name, unless too short to be one.
    std::string name = c.answer ? c.answer->substr(c.answer->rfind('\\') + 1) : c.file_name;
    EXPECT_EQ(item.FileName, name.size() < 3 ? "" : name);
  }
}

// Without a document (or items, or a current row) neither dialog opens and nothing changes.
TEST(RelinkDialogs, NothingOpensWithoutADocumentItemsOrACurrentRow) {
  for (bool items : {false, true}) {
    for (bool document : {false, true}) {
      Harness h;
      if (items) h.AddItem("a.gif", "pics\\a.gif");
      if (!document) h.word.CloseAll();
      h.main.ListView_IS.SetCurrent(items && !document ? 1 : 0);
      h.host.browse_answers.push_back("D:\\New");
      h.host.file_answers.push_back(std::string("C:\\x\\y.gif"));
      EXPECT_NO_THROW(h.main.Command_Choose_Click());
      EXPECT_NO_THROW(h.main.deppxx());
      EXPECT_EQ(h.host.browses.size(), items && document ? 1u : 0u) << items << document;
      EXPECT_TRUE(h.host.file_dialogs.empty()) << items << document;
      EXPECT_EQ(h.main.NewRootPath, items && document ? "D:\\New" : "") << items << document;
      EXPECT_FALSE(items && h.g.Item(1).Changed);
    }
  }
}

}  // namespace
}  // namespace ravel
