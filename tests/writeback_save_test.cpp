// The "&Save" button: which items are written, what an in-line item keeps across Word's
// reload, and what the window shows afterwards.
#include <gtest/gtest.h>

#include <functional>

#include "relink_support.h"
#include "writeback/Save.h"
#include "writeback_support.h"

namespace ravel {
namespace {

sim::SimObjectPtr ModelLink(const sim::SimObjectPtr& shape) {
  return std::dynamic_pointer_cast<sim::SimObject>(AsObject(shape->At("LinkFormat")));
}

using test::Changed;
using test::ModelSnapshot;
using test::ModelValue;
using test::SaveHarness;

// Word's reload resets a relinked picture's formatting: everything comes back, in Word's own
// types (the lock read as a Long here). An OLE object keeps its picture settings.
TEST(SaveInline, EachKindKeepsEverythingButItsNewLinkAcrossWordsReload) {
  struct Case {
    int item;
    std::string fault;  // the member whose read (or write) fails, once (always)
    // What it is then left at (Word's value after the reload), and what follows from that.
    std::vector<std::string> reset;
    sim::Access access = sim::Access::Get;
    // Locked, a new scale makes Word scale the other side too; both scales must survive.
    bool locked = false;
  };
  const Case cases[] = {
      {2, "", {}},
      {2, "", {}, sim::Access::Get, true},
      {3, "", {}},
      // A value that cannot be read is not written back; every other value is.
      {2, "AlternativeText", {"AlternativeText="}},
      // Locked, the width written scales the height too.
      {2, "LockAspectRatio", {"LockAspectRatio=Long -1.000000", "ScaleHeight=Single 60.000000"}},
      {2, "ScaleHeight", {"ScaleHeight=Single 100.000000"}},
      {2, "ScaleWidth", {"ScaleWidth=Single 100.000000"}},
      {2, "PictureFormat.ColorType", {"PictureFormat.ColorType=Long 1.000000"}},
      {2, "PictureFormat.Brightness", {"PictureFormat.Brightness=Single 0.500000"}},
      // Uncropped, the frame is wider or taller.
      {2,
       "PictureFormat.CropRight",
       {"PictureFormat.CropRight=Single 0.000000", "Width=Single 51.000000"}},
      {2,
       "PictureFormat.CropTop",
       {"PictureFormat.CropTop=Single 0.000000", "Height=Single 40.000000"}},
      // A failing write leaves Word's value, and the save goes on.
      {2,
       "PictureFormat.Brightness",
       {"PictureFormat.Brightness=Single 0.500000"},
       sim::Access::Put},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.item) + " " + c.fault + (c.locked ? " locked" : ""));
    SaveHarness h;
    const std::string source = c.item == 2 ? "C:\\New\\a.gif" : "C:\\New\\t.xls";
    h.g.Item(c.item).SaveWithDocument = Flag::True;
    if (c.locked) h.Inline(c.item)->Set("LockAspectRatio", Value(std::int32_t{-1}));
    h.Relink(c.item, source);
    auto dot = c.fault.find('.');
    if (!c.fault.empty())
      h.word->AddFault(dot == std::string::npos ? "Documents(1).InlineShapes(2)"
                                                : "Documents(1).InlineShapes(2).PictureFormat",
                       c.fault.substr(dot + 1), c.access, c.access == sim::Access::Get);
    auto before = ModelSnapshot(h.Inline(c.item));
    h.Save();
    std::vector<std::string> want = {"LinkFormat.SourceFullName=" + source,
                                     "LinkFormat.SourcePath=C:\\New"};
    if (c.item == 2) want.push_back("LinkFormat.SavePictureWithDocument=Boolean -1.000000");
    want.insert(want.end(), c.reset.begin(), c.reset.end());
    auto changed = Changed(before, ModelSnapshot(h.Inline(c.item)));
    std::sort(want.begin(), want.end());
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, want);
  }
}

// The main window around the save: progress, status, undo clearing, the re-read and the root.
TEST(SaveWindow, CountsEveryItemWritesOnlySelectedChangedOnesAndReadsAgain) {
  SaveHarness h;
  h.Relink(2, "C:\\New\\a.gif");
  h.g.Item(3).SourcePath = "C:\\New\\t.xls";  // changed, not selected
  h.g.Item(3).Changed = true;
  h.Select(1);  // selected, not changed
  h.main->Text_NewDestPath.SetText("C:\\New");
  test::Recorder progress, status;
  h.main->ProgressBar_main.SetPeer(&progress);
  h.main->Label_ProgressBar.SetPeer(&status);
  h.Save();

  EXPECT_EQ(h.SourceOf(h.Inline(1)), "C:\\Old\\plain.gif");
  EXPECT_EQ(h.SourceOf(h.Inline(2)), "C:\\New\\a.gif");
  EXPECT_EQ(h.SourceOf(h.Inline(3)), "C:\\Old\\t.xls");
  EXPECT_EQ(std::vector<int>(progress.values.begin(), progress.values.begin() + 5),
            (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(status.texts.front(), kSavingStatus);
  EXPECT_EQ(
      std::count(status.texts.begin(), status.texts.end(), std::string(kSavingStatus) + "a.gif"),
      1);
  // Relinking cannot be undone piece by piece in Word: its undo list is emptied.
  EXPECT_GE(h.word->UndoClears(1), 1);
  EXPECT_FALSE(AsBool(h.word->Document(1)->At("Saved")));
  // Read again: new sources existing, nothing changed or selected, the root shown, idle.
  EXPECT_EQ(h.g.ItemCount, 5);
  EXPECT_EQ(h.g.Item(2).SourcePath, "C:\\New\\a.gif");
  EXPECT_EQ(h.main->ListView_IS.Cell(2, 2), "True");
  for (int i = 1; i <= 5; ++i) EXPECT_FALSE(h.g.Item(i).Changed || h.g.Item(i).Selected) << i;
  EXPECT_EQ(h.main->Text_NewDestPath.Text(), "C:\\New");
  EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
  EXPECT_EQ(h.main->ProgressBar_main.Value(), 0);
  EXPECT_TRUE(h.main->Command_Save.Enabled());
  EXPECT_FALSE(h.main->Busy());
}

TEST(SaveWindow, WhichChangedItemsAreWrittenAndHow) {
  struct Case {
    const char* name;
    std::string source;   // the item's new source
    bool sid;             // the item's store-in-document flag
    std::string written;  // the link's source afterwards
    bool sid_after;
    bool sid_unreadable = false;  // the link's flag cannot be read during the save
    bool root = true;             // a root chosen; without one (files picked by hand only) the
                                  // document's folder stays in the root box
  };
  const Case cases[] = {
      // The link's flag unknown: the item's is written all the same.
      {"flag unreadable", "C:\\New\\a.gif", true, "C:\\New\\a.gif", true, true},
      // Only the flag changed (the SID check box): the same source is written again.
      {"flag only", "C:\\Old\\a.gif", true, "C:\\Old\\a.gif", true},
      // Missing as stored and beside the document: skipped without a word.
      {"missing", "C:\\Gone\\a.gif", true, "C:\\Old\\a.gif", false},
      // Relative: found through the document's folder, written as stored.
      {"relative", "pics\\a.gif", false, "pics\\a.gif", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveHarness h;
    h.fs.AddFile("C:\\Old\\a.gif");
    if (!c.root) h.main->NewRootPath.clear();
    h.Relink(2, c.source);
    h.g.Item(2).SaveWithDocument = FlagOf(c.sid);
    if (c.sid_unreadable)
      h.word->AddFault("Documents(1).InlineShapes(2).LinkFormat", "SavePictureWithDocument",
                       sim::Access::Get, /*once=*/true);
    h.Save();
    EXPECT_EQ(h.SourceOf(h.Inline(2)), c.written);
    EXPECT_EQ(ModelValue(h.Inline(2), "LinkFormat.SavePictureWithDocument"), Value(c.sid_after));
    EXPECT_EQ(h.g.Item(2).SourcePath, c.written);  // what the re-read found
    EXPECT_EQ(h.main->Text_NewDestPath.Text(), c.root ? "C:\\New" : "C:\\Docs");
  }
}

// Only the document the list was read from is written, not a same-named copy elsewhere.
TEST(SaveWindow, AnotherActiveDocumentOrAnEmptyListLeavesEverythingAlone) {
  struct Case {
    const char* name;
    const char* copy;  // the other document
    const char* folder;
    bool renamed;   // the listed document's name in another letter case, the copy not active
    bool mid_save;  // the copy made active in the middle of the save
  };
  const Case cases[] = {
      // Names compare with their letter case: "report.doc" is not the document that was read.
      {"name in another case", "Other.doc", "C:\\Docs", true, false},
      {"another document", "Other.doc", "C:\\Docs", false, false},
      {"a copy in another folder", "Report.doc", "C:\\B", false, false},
      // When Word would not tell the full name at the read, the shown name tells them apart.
      {"a copy made active mid-save", "Copy of Report.doc", "C:\\Docs", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveHarness h;
    if (c.mid_save) {
      h.word->AddFault("Documents(1)", "FullName", sim::Access::Get);
      ReadInventory(*h.main);
    }
    if (c.renamed) h.word->Document(1)->Set("Name", Value(std::string("report.doc")));
    int other = h.word->AddDocument(c.copy, c.folder);  // holding the same links
    for (const char* json : {"C:\\\\Old\\\\plain.gif", "C:\\\\Old\\\\a.gif"})
      h.word->AddShape(other, "InlineShapes",
                       R"({"LinkFormat": {"SourceFullName": ")" + std::string(json) + R"("}})");
    if (c.mid_save)
      h.host.on_pump = [&] { h.word->SetActive(other); };
    else if (!c.renamed)
      h.word->SetActive(other);
    h.Relink(2, "C:\\New\\a.gif");
    test::Recorder status, progress;
    h.main->Label_ProgressBar.SetPeer(&status);
    h.main->ProgressBar_main.SetPeer(&progress);
    h.Save();
    EXPECT_EQ(h.SourceOf(h.Inline(2)), "C:\\Old\\a.gif");
    EXPECT_EQ(h.SourceOf(h.word->ShapeAt(other, "InlineShapes", 2)), "C:\\Old\\a.gif");
    if (!c.mid_save) {  // the save ends before it begins
      EXPECT_TRUE(status.texts.empty());
      EXPECT_TRUE(progress.values.empty());
      EXPECT_TRUE(h.g.Item(2).Changed);  // no re-read
      EXPECT_EQ(h.word->UndoClears(1) + h.word->UndoClears(other), 0);
    }
  }

  // Nothing read: the click does nothing at all, not even lock the buttons.
  SaveHarness h;
  test::Recorder save_button;
  h.main->Command_Save.SetPeer(&save_button);
  h.g.ItemCount = 0;
  h.word->Context().Reset();
  h.Save();
  EXPECT_EQ(h.word->Context().calls, 0);
  EXPECT_FALSE(h.host.busy_cursor);
  EXPECT_EQ(h.main->Command_Save.Enabled(), true);
}

// The user may change the document in Word between the read and the save: nothing of the
// item goes to whatever now holds its place; the status line says so for a link of its kind.
TEST(SaveInline, WhateverNowHoldsTheItemsPlaceIsLeftAlone) {
  using Shape = sim::SimObjectPtr;
  auto retype = [](int item, Value type, std::int32_t link_type) {
    return [=](SaveHarness& h) {
      h.Inline(item)->Set("Type", type);
      if (link_type >= 0) ModelLink(h.Inline(item))->Set("Type", Value(link_type));
      return h.Inline(item);
    };
  };
  struct Case {
    const char* name;
    int item;
    std::function<Shape(SaveHarness&)> change;  // returns the shape now at the item's place
    bool says;
  };
  const Case cases[] = {
      {"embedded picture for a picture", 2, retype(2, std::int32_t{3}, -1), false},
      {"OLE link for a picture", 2, retype(2, std::int32_t{2}, 0), false},
      {"picture link for an OLE object", 3, retype(3, std::int32_t{4}, 1), false},
      // A fractional Long is rounded, as VARIANT coercion does: 2.6 is 3 (embedded), not 2.
      {"type 2.6 for an OLE object", 3, retype(3, 2.6, -1), false},
      // Its link type cannot be read (in the tolerant regime, after item 2).
      {"link type unreadable", 3,
       [](SaveHarness& h) {
         h.Relink(2, "C:\\New\\a.gif");
         h.word->AddFault("Documents(1).InlineShapes(3).LinkFormat", "Type", sim::Access::Get);
         return h.Inline(3);
       },
       false},
      // The item deleted: the chart behind it moves up into its place.
      {"deleted", 1,
       [](SaveHarness& h) {
         h.Inline(1)->Call("Delete");
         return h.Inline(1);
       },
       true},
      {"relinked in Word", 1,
       [](SaveHarness& h) {
         ModelLink(h.Inline(1))->Set("SourceFullName", Value(std::string("C:\\Else\\x.gif")));
         return h.Inline(1);
       },
       true},
      // Item 4's twin by name and source, alone after item 4 is deleted mid-save, is not it.
      {"twin name", 4,
       [](SaveHarness& h) {
         auto twin = h.word->AddShape(
             1, "Shapes",
             R"({"Name": "Logo", "LinkFormat": {"SourceFullName": "C:\\Old\\c.gif"}})");
         ReadInventory(*h.main);
         h.host.pumps = 0;
         h.host.on_pump = [&h] {
           if (h.host.pumps == 4) h.Floating(1)->Call("Delete");
         };
         return twin;
       },
       false},
  };
  const char* const sources[] = {"", "C:\\New\\plain.gif", "C:\\New\\a.gif", "C:\\New\\t.xls",
                                 "C:\\New\\c.gif"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveHarness h;
    Shape shape = c.change(h);
    h.Relink(c.item, sources[c.item]);
    auto before = ModelSnapshot(shape);
    h.Save();
    EXPECT_EQ(ModelSnapshot(shape), before);
    // Still in the document, not re-created.
    bool there = false;
    for (const char* which : {"InlineShapes", "Shapes"})
      for (int i = 1; i <= h.word->ShapeCount(1, which); ++i)
        there = there || h.word->ShapeAt(1, which, i) == shape;
    EXPECT_TRUE(there);
    EXPECT_EQ(h.main->Label_ProgressBar.Text(), c.says ? SkippedStatus(1) : "Idle");
  }
  EXPECT_EQ(SkippedStatus(2),
            "Idle - 2 items not written: they changed in Word after the list was read");
}

// With nothing reset by the reload, a conditional value is written only if its read fails.
TEST(SaveInline, FailedComparisonsWriteAndFailedWritesAreSkipped) {
  auto writes = [](const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const auto& call : log)
      if (call.back() == '=') out.push_back(call);
    return out;
  };
  SaveHarness dry;
  dry.word->SetRelinkResetsFormatting(false);
  dry.Relink(2, "C:\\New\\a.gif");
  dry.Relink(3, "C:\\New\\t.xls");
  dry.word->Context().Reset();
  dry.word->Context().logging = true;
  dry.Save();
  const auto& log = dry.word->Context().log;
  const std::string contrast = "Documents(1).InlineShapes(2).PictureFormat.Contrast";
  auto first = std::find(log.begin(), log.end(), contrast);
  auto second = std::find(first + 1, log.end(), contrast);
  ASSERT_NE(second, log.end());
  EXPECT_EQ(writes(log),
            (std::vector<std::string>{"Documents(1).InlineShapes(2).LinkFormat.SourceFullName=",
                                      "Documents(1).InlineShapes(2).AlternativeText=",
                                      "Documents(1).InlineShapes(2).PictureFormat.ColorType=",
                                      // The colour type goes back always, an OLE object's too.
                                      "Documents(1).InlineShapes(3).LinkFormat.SourceFullName=",
                                      "Documents(1).InlineShapes(3).PictureFormat.ColorType="}));

  SaveHarness h;
  h.word->SetRelinkResetsFormatting(false);
  h.Relink(2, "C:\\New\\a.gif");
  h.word->Context().Reset();
  h.word->Context().logging = true;
  h.word->FailAfter(second - log.begin(), /*once=*/true);
  h.Save();
  auto w = writes(h.word->Context().log);
  EXPECT_NE(std::find(w.begin(), w.end(), contrast + "="), w.end());
  EXPECT_FLOAT_EQ(AsNumber(ModelValue(h.Inline(2), "PictureFormat.Contrast")), 0.3f);
  EXPECT_FALSE(h.g.Item(2).Changed);
}

}  // namespace
}  // namespace ravel
