// The main window's handlers: busy state, start-up, Init, the current row, check boxes, sorting.
#include <gtest/gtest.h>

#include "app/Form_Main.h"
#include "sim/MemoryFileSystem.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"

namespace ravel {
namespace {

std::string PictureJson(const std::string& name, bool sid) {
  return R"({"Type": 4, "LinkFormat": {"Type": 1, "SourceFullName": "C:\\Old\\)" + name +
         R"(", "SavePictureWithDocument": )" + (sid ? "true" : "false") + R"(, "Locked": false}})";
}

class MainWindow : public ::testing::Test {
 protected:
  MainWindow() : word(std::make_shared<sim::SimWord>()), main(g, *word, fs, host) {
    int doc = word->AddDocument("Report.doc", "C:\\Docs");
    word->SetActive(doc);
    for (const char* name : {"zebra.gif", "apple.gif", "mango.gif"})
      word->AddShape(doc, "InlineShapes", PictureJson(name, name[0] != 'a'));
    word->AddShape(doc, "Shapes", R"({"Type": 11, "Name": "Picture 7", "LinkFormat": {"Type": 1,
        "SourceFullName": "C:\\Old\\floating.gif", "SavePictureWithDocument": true,
        "Locked": false}})");
  }

  // Sets a check box as the user's click does, handler and all.
  void Click(CheckBox& box, void (Form_Main::*handler)(), int value) {
    box.SetValue(value);
    (main.*handler)();
  }

  // Makes item n the list's current row, as a click on it does.
  void ClickRow(int n) {
    main.ListView_IS.SetCurrent(n);
    main.ListView_IS_Click();
    main.ListView_IS_ItemClick();
  }

  Globals g;
  sim::MemoryFileSystem fs;
  sim::ScriptedHost host;
  std::shared_ptr<sim::SimWord> word;
  Form_Main main;
};

TEST_F(MainWindow, StartsWithItsDesignTimeLookThenLoadReadsTheDocumentAndInitRereadsIt) {
  EXPECT_EQ(main.Command_Init.Text(), "&Init");
  EXPECT_EQ(main.Command_Set.Text(), "&Dissolve");
  EXPECT_EQ(main.Label_ProgressBar.Text(), "Idle");
  EXPECT_FALSE(main.Text_PBP.Visible());
  ASSERT_EQ(main.ListView_IS.Columns().size(), 6u);
  EXPECT_EQ(main.ListView_IS.Columns()[5].header, "hidden");
  int total = 0;
  for (auto& c : main.ListView_IS.Columns()) total += c.width;
  EXPECT_GT(main.ListView_IS.Columns()[0].width * 100 / total, 70);

  main.Form_Load();
  EXPECT_EQ(g.ItemCount, 3);
  EXPECT_EQ(main.Text_DocumentName.Text(), "Report.doc");
  EXPECT_EQ(main.ListView_IS.Current(), 1);
  EXPECT_TRUE(main.ListView_IS.Selected(1));
  EXPECT_FALSE(main.ListView_IS.Selected(2));
  // The read switched full-row selection on.
  EXPECT_EQ(main.ListView_IS.ExtendedStyle() & 0x20u, 0x20u);
  EXPECT_TRUE(main.Command_Init.Enabled());
  EXPECT_FALSE(host.busy_cursor);

  ClickRow(2);
  EXPECT_FALSE(main.Text_Path.Text().empty());
  word->AddShape(word->ActiveIndex(), "InlineShapes", PictureJson("kiwi.gif", false));
  main.Command_Init_Click();
  EXPECT_EQ(g.ItemCount, 4);
  EXPECT_EQ(main.Text_Path.Text(), "");
}

TEST_F(MainWindow, OperationsRunBusyAndReleaseAfterwards) {
  bool seen_busy = false;
  host.on_pump = [&] {
    seen_busy = !main.Command_Init.Enabled() && !main.Command_Save.Enabled() &&
                !main.Command_Set.Enabled() && main.Command_Choose.Enabled() &&
                main.Command_Exit.Enabled() && main.Text_PBP.Visible() && main.Timer1.Enabled() &&
                host.busy_cursor && main.Busy();
  };
  main.Command_Init_Click();
  EXPECT_TRUE(seen_busy);
  EXPECT_TRUE(main.Command_Init.Enabled());
  EXPECT_TRUE(main.Command_Set.Enabled());
  EXPECT_FALSE(main.Text_PBP.Visible());
  EXPECT_FALSE(main.Timer1.Enabled());
  EXPECT_FALSE(host.busy_cursor);

  // No nesting count: the first release ends it; meanwhile the timer keeps the text shown.
  main.LockButtons();
  main.LockButtons();
  main.Text_PBP.SetVisible(false);
  main.Timer1_Timer();
  EXPECT_TRUE(main.Text_PBP.Visible());
  main.ReleaseButtons();
  EXPECT_FALSE(main.Busy());
  EXPECT_TRUE(main.Command_Save.Enabled());
}

TEST_F(MainWindow, NoDocumentOpenStillLeavesTheButtonsUsable) {
  word->SetActive(0);
  main.Form_Load();  // what the list then shows: the inventory tests
  EXPECT_TRUE(main.Command_Init.Enabled());
  // Clicks on an empty list and its check boxes change nothing and do not fail.
  main.ListView_IS_Click();
  main.ListView_IS_ItemClick();
  Click(main.Check_SID, &Form_Main::Check_SID_Click, 1);
  Click(main.Check_LinkLocked, &Form_Main::Check_LinkLocked_Click, 1);
  EXPECT_EQ(main.Text_Path.Text(), "");
}

TEST_F(MainWindow, CurrentRowFillsPathAndCheckBoxes) {
  main.Form_Load();
  ClickRow(2);
  EXPECT_EQ(main.Text_Path.Text(), "C:\\Old\\apple.gif");
  EXPECT_EQ(main.Check_SID.Value(), 0);
  ClickRow(3);
  EXPECT_EQ(main.Check_SID.Value(), 1);
  EXPECT_EQ(main.Check_LinkLocked.Value(), 0);

  // The record is what the row shows, not what the document says now.
  g.Item(3).SourcePath = "C:\\" + std::string(63, 'p') + "xyz";  // 66 characters
  g.Item(3).Locked = Flag::True;
  ClickRow(3);
  EXPECT_EQ(main.Text_Path.Text(), "C:\\" + std::string(62, 'p') + " pxyz");
  EXPECT_EQ(main.Check_LinkLocked.Value(), 1);
  g.Item(3).SourcePath = "C:\\" + std::string(62, 'p');  // 65 characters: unchanged
  ClickRow(3);
  EXPECT_EQ(main.Text_Path.Text(), g.Item(3).SourcePath);

  // "N/A" and an unread flag both leave the box unchecked.
  g.Item(3).Locked = Flag::NotApplicable;
  g.Item(3).SaveWithDocument = Flag::Empty;
  ClickRow(3);
  EXPECT_EQ(main.Check_LinkLocked.Value(), 0);
  EXPECT_EQ(main.Check_SID.Value(), 0);

  // Moving between rows marks nothing as changed.
  for (int n = 1; n <= g.ItemCount; ++n) EXPECT_FALSE(g.Item(n).Changed) << n;
  EXPECT_FALSE(g.SuppressClickEvents);
}

TEST_F(MainWindow, StoreInDocumentMarksChangedLockedDoesNotAndBothIdleWhileSuppressed) {
  main.Form_Load();
  ClickRow(1);
  g.SuppressClickEvents = true;
  Click(main.Check_SID, &Form_Main::Check_SID_Click, 0);
  Click(main.Check_LinkLocked, &Form_Main::Check_LinkLocked_Click, 1);
  Click(main.Check_ShowHiddenObjects, &Form_Main::Check_ShowHiddenObjects_Click, 1);
  EXPECT_EQ(g.Item(1).SaveWithDocument, Flag::True);
  EXPECT_EQ(g.Item(1).Locked, Flag::False);
  EXPECT_FALSE(g.Item(1).Changed);
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(g.ItemCount, 3);
  g.SuppressClickEvents = false;
  main.Check_ShowHiddenObjects.SetValue(0);

  ClickRow(1);
  Click(main.Check_LinkLocked, &Form_Main::Check_LinkLocked_Click, 1);
  EXPECT_EQ(g.Item(1).Locked, Flag::True);
  EXPECT_EQ(main.ListView_IS.Cell(1, 4), "False");  // the column keeps its text
  EXPECT_FALSE(g.Item(1).Changed);
}

TEST_F(MainWindow, HiddenSwitchWarnsOnceWhenCheckedAndRereadsBothWays) {
  main.Form_Load();
  ClickRow(2);
  Click(main.Check_ShowHiddenObjects, &Form_Main::Check_ShowHiddenObjects_Click, 1);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].title, "Support hidden Objects");
  EXPECT_EQ(host.boxes[0].style, kMbOk | kMbIconInformation);
  EXPECT_EQ(host.boxes[0].text,
            "This special function is not always applicable on all hidden links and  the "
            "result\r\nstored to the Word-Document should be checked.\r\nSee 'Info' for "
            "detailed information.");
  EXPECT_EQ(g.ItemCount, 4);
  EXPECT_EQ(main.ListView_IS.Cell(4, 5), "True");
  EXPECT_EQ(main.Text_Path.Text(), "");

  Click(main.Check_ShowHiddenObjects, &Form_Main::Check_ShowHiddenObjects_Click, 0);
  EXPECT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(g.ItemCount, 3);
}

TEST_F(MainWindow, SortingKeepsEachRowTiedToItsRecord) {
  main.Form_Load();
  // Column 0 is already the remembered column: the first click on it sorts descending.
  main.ListView_IS_ColumnClick(0);
  EXPECT_TRUE(main.ListView_IS.SortDescending());
  EXPECT_EQ(main.ListView_IS.Order(), (std::vector<int>{1, 3, 2}));  // zebra, mango, apple
  main.ListView_IS_ColumnClick(0);
  EXPECT_EQ(main.ListView_IS.Order(), (std::vector<int>{2, 3, 1}));
  // Another column starts ascending.
  main.ListView_IS_ColumnClick(3);
  EXPECT_FALSE(main.ListView_IS.SortDescending());
  EXPECT_EQ(main.ListView_IS.Order().front(), 2);  // the one "False"

  // The top row on screen is item 2; the check box acts on record 2, not record 1.
  ClickRow(main.ListView_IS.Order().front());
  Click(main.Check_SID, &Form_Main::Check_SID_Click, 1);  // store in document: a change
  EXPECT_EQ(g.Item(2).SaveWithDocument, Flag::True);
  EXPECT_TRUE(g.Item(2).Changed);
  EXPECT_FALSE(g.Item(1).Changed);
  EXPECT_EQ(main.ListView_IS.Cell(2, 3), "True");
  // The changed cell re-sorts the view; the rows still stand for the same records.
  EXPECT_EQ(main.ListView_IS.Cell(2, 0), "C:\\Old\\apple.gif");
}

TEST_F(MainWindow, DoubleClickRunsTheChooserOnceAfterTheTimer) {
  main.Form_Load();
  ClickRow(2);
  main.ListView_IS_DblClick();
  EXPECT_TRUE(main.Timer_dblclickFAKE.Enabled());
  EXPECT_TRUE(host.file_dialogs.empty());
  main.Timer_dblclickFAKE_Timer();
  EXPECT_FALSE(main.Timer_dblclickFAKE.Enabled());
  ASSERT_EQ(host.file_dialogs.size(), 1u);
  EXPECT_EQ(host.file_dialogs[0].file_name, "apple.gif");
}

}  // namespace
}  // namespace ravel
