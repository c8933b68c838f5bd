// Every Word call of a save failing in turn, once or for good (Word going away): strict until
// the first formatting read of the first item written, tolerant from there on.
#include <gtest/gtest.h>

#include "writeback/Save.h"
#include "writeback_support.h"

namespace ravel {
namespace {

using test::ModelSnapshot;
using test::SaveHarness;

const char* const kRpcFailed = "The remote procedure call failed.";
// The re-read's calls on the document and its collections, before its first item.
constexpr long kRereadHead = 10;

// Items 2 to 5 relinked (in-line picture, in-line OLE object, floating picture, floating OLE
// object); item 1 listed but not selected.
void Arrange(SaveHarness& h) {
  h.Relink(2, "C:\\New\\a.gif");
  h.Relink(3, "C:\\New\\t.xls");
  h.Relink(4, "C:\\New\\c.gif");
  h.Relink(5, "C:\\New\\d.doc");
  h.word->Context().Reset();
  h.host.pumps = 0;
}

std::string Box(const std::string& item) {
  return std::string("An Error Occured during connecting to the Active Document Object!\r\n") +
         "Try to restart your Word Application and the Ravelmend.\r\n" + "Error: " + kRpcFailed +
         "\r\nItem: " + item;
}

sim::SimObjectPtr FindType(SaveHarness& h, int type) {
  for (int i = 1; i <= h.FloatingCount(); ++i)
    if (AsLong(h.Floating(i)->At("Type")) == type) return h.Floating(i);
  return nullptr;
}

int CountType(SaveHarness& h, int type) {
  int n = 0;
  for (int i = 1; i <= h.FloatingCount(); ++i) n += AsLong(h.Floating(i)->At("Type")) == type;
  return n;
}

TEST(SaveFaults, EachCallFailingInTurnOnceOrForGood) {
  // The calls of a save without faults, where each item's calls begin (the log's length at
  // each event pump) and where its regimes meet.
  std::vector<std::string> log;
  std::vector<long> item_start;
  {
    SaveHarness h;
    Arrange(h);
    h.word->Context().logging = true;
    h.host.on_pump = [&] { item_start.push_back(static_cast<long>(h.word->Context().log.size())); };
    h.Save();
    ASSERT_TRUE(h.host.boxes.empty());
    log = h.word->Context().log;
  }
  auto at = [&](const std::string& call) {
    return std::find(log.begin(), log.end(), call) - log.begin();
  };
  ASSERT_GE(item_start.size(), 5u);
  const long tolerant_from = at("Documents(1).InlineShapes(2).AlternativeText");
  const long reread_from = at("Documents(1).Activate()") - 1;
  ASSERT_LT(item_start[1], tolerant_from);
  ASSERT_LT(tolerant_from, reread_from);
  const long ole_write = at("Documents(1).InlineShapes(3).LinkFormat.SourceFullName=");
  const char* const sources[] = {"", "C:\\Old\\plain.gif", "C:\\New\\a.gif"};

  for (bool once : {true, false}) {
    for (long k = 0; k < static_cast<long>(log.size()); ++k) {
      // Within the closing re-read, its own failure handling decides (the reader's tests);
      // its document and collection calls, and its last call, stand for it here.
      if (k > reread_from + kRereadHead && k + 1 < static_cast<long>(log.size())) continue;
      SCOPED_TRACE((once ? "once at " : "for good from ") + std::to_string(k) + " " + log[k]);
      SaveHarness h;
      Arrange(h);
      h.main->Text_NewDestPath.SetText("C:\\Docs");
      auto inline1 = ModelSnapshot(h.Inline(1));
      auto box = ModelSnapshot(FindType(h, 17));
      std::vector<std::vector<std::string>> all;
      for (int i = 1; i <= 3; ++i) all.push_back(ModelSnapshot(h.Inline(i)));
      for (int i = 1; i <= 3; ++i) all.push_back(ModelSnapshot(h.Floating(i)));

      h.word->Context().logging = true;
      h.word->FailAfter(k, once);
      h.Save();
      const sim::SimContext& ctx = h.word->Context();

      EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
      EXPECT_EQ(h.main->ProgressBar_main.Value(), 0);
      EXPECT_FALSE(h.main->Busy());
      EXPECT_EQ(h.main->Text_NewDestPath.Text(), "C:\\New");
      // Shapes no item names are never written; no picture is ever lost, nor doubled while
      // Word still answers (once Word has gone, a new picture cannot be taken back).
      EXPECT_EQ(ModelSnapshot(h.Inline(1)), inline1);
      EXPECT_EQ(ModelSnapshot(FindType(h, 17)), box);
      if (once)
        EXPECT_EQ(CountType(h, kShapeLinkedPicture), 1);
      else
        EXPECT_GE(CountType(h, kShapeLinkedPicture), 1);
      EXPECT_EQ(CountType(h, kShapeLinkedOle), 1);

      if (k < tolerant_from) {
        // Strict: the message box names the item whose calls were running; nothing written,
        // the undo list cleared no further, no re-read.
        int item = static_cast<int>(std::upper_bound(item_start.begin(), item_start.end(), k) -
                                    item_start.begin());
        ASSERT_LE(item, 2);
        ASSERT_EQ(h.host.boxes.size(), 1u);
        EXPECT_EQ(h.host.boxes[0].text, Box(sources[item]));
        EXPECT_EQ(h.host.boxes[0].title, "Save Operation");
        EXPECT_EQ(h.host.boxes[0].style, kMbOk | kMbIconCritical);
        EXPECT_EQ(h.word->UndoClears(1), ctx.Succeeded("Documents(1).UndoClear()") ? 1 : 0);
        EXPECT_TRUE(h.g.Item(2).Changed && h.g.Item(5).Changed);
        EXPECT_EQ(h.g.ItemCount, 5);
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(ModelSnapshot(h.Inline(i)), all[i - 1]);
        for (int i = 1; i <= 3; ++i) EXPECT_EQ(ModelSnapshot(h.Floating(i)), all[i + 2]);
      } else {
        // Tolerant: no message; the document is read again (a failure within that read
        // passes over what it could not read), or found gone.
        EXPECT_TRUE(h.host.boxes.empty());
        for (int i = 1; i <= h.g.ItemCount; ++i) EXPECT_FALSE(h.g.Item(i).Changed) << i;
        if (!once && k < reread_from) {
          EXPECT_EQ(h.main->Text_DocumentName.Text(), "No Document Available");
          EXPECT_EQ(h.g.ItemCount, 0);
        }
        if (once && k < reread_from) {
          EXPECT_EQ(h.g.ItemCount, 5);
          // What the document holds is what Word says happened.
          bool ole = ctx.Succeeded("Documents(1).InlineShapes(3).LinkFormat.SourceFullName=");
          EXPECT_EQ(h.SourceOf(h.Inline(3)), ole ? "C:\\New\\t.xls" : "C:\\Old\\t.xls");
          // The new picture stays only when the old one could be deleted.
          bool moved = ctx.Succeeded("Documents(1).Shapes.AddPicture()") &&
                       ctx.Succeeded("Documents(1).Shapes(1).Delete()");
          auto picture = FindType(h, kShapeLinkedPicture);
          EXPECT_EQ(h.SourceOf(picture), moved ? "C:\\New\\c.gif" : "C:\\Old\\c.gif");
          // The OLE object is written unless the one failure hit a call of its item before
          // the write other than a formatting read (the write itself included).
          bool on_path = k >= item_start[2] && k <= ole_write &&
                         log[k].find("PictureFormat") == std::string::npos;
          EXPECT_EQ(ole, !on_path);
        }
      }
      if (HasFailure()) return;
    }
  }
}

// The user stopping the wait for a busy Word, at every call of the save: the save ends at
// once; the item under way is either done or not begun (a new picture goes again, the old one
// stays), the items not reached keep their old source, and the list is read again.
TEST(SaveFaults, StoppedWhileWordIsBusyAtAnyCall) {
  long calls = 0, reread_from = 0;
  {
    SaveHarness h;
    Arrange(h);
    h.word->Context().logging = true;
    h.Save();
    const auto& log = h.word->Context().log;
    calls = h.word->Context().calls;
    reread_from = std::find(log.begin(), log.end(), "Documents(1).Activate()") - log.begin() - 1;
  }
  for (long k = 0; k < calls; ++k) {
    if (k > reread_from + kRereadHead && k + 1 < calls) continue;
    SCOPED_TRACE("stopped at call " + std::to_string(k));
    SaveHarness h;
    Arrange(h);
    h.word->Context().logging = true;
    h.word->CancelAfter(k);
    h.Save();
    const sim::SimContext& ctx = h.word->Context();
    EXPECT_TRUE(h.host.boxes.empty());
    EXPECT_FALSE(h.main->Busy());
    ASSERT_EQ(CountType(h, kShapeLinkedPicture), 1);
    auto picture = FindType(h, kShapeLinkedPicture);
    bool moved = ctx.Succeeded("Documents(1).Shapes(1).Delete()");
    EXPECT_EQ(h.SourceOf(picture), moved ? "C:\\New\\c.gif" : "C:\\Old\\c.gif");
    // A new picture that stays is complete.
    if (moved) {
      EXPECT_EQ(AsNumber(picture->At("Width")), 120);
    }
    // Nothing is written after the stop: the OLE object, saved after the picture, keeps its
    // old source unless the picture was done.
    if (!moved) {
      EXPECT_EQ(h.SourceOf(FindType(h, kShapeLinkedOle)), "C:\\Old\\d.doc");
    }
    // Read again: nothing listed is still to be saved.
    for (int i = 1; i <= h.g.ItemCount; ++i) EXPECT_FALSE(h.g.Item(i).Changed) << i;
    if (HasFailure()) return;
  }
}

// Word closing mid-save: the document it was working on goes, the save ends quietly.
TEST(SaveFaults, WordClosingDuringTheSaveEndsIdleWithNoDocument) {
  SaveHarness h;
  Arrange(h);
  int pumps = 0;
  h.host.on_pump = [&] {
    if (++pumps == 3) h.word->SetActive(0);
  };
  h.Save();
  EXPECT_TRUE(h.host.boxes.empty());
  EXPECT_EQ(h.main->Text_DocumentName.Text(), "No Document Available");
  EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
  EXPECT_EQ(h.main->ProgressBar_main.Value(), 0);
  EXPECT_EQ(h.SourceOf(h.Inline(2)), "C:\\New\\a.gif");  // written before Word went
  EXPECT_EQ(h.SourceOf(h.Inline(3)), "C:\\Old\\t.xls");
}

// Something other than a Word call failing (here the event pump) is treated by the regime it
// falls into: the message box before the first item is written, quietly after.
TEST(SaveFaults, OtherFailuresFollowTheRegimeTheyFallInto) {
  for (int at_pump : {1, 3}) {
    SaveHarness h;
    Arrange(h);
    int pumps = 0;
    h.host.on_pump = [&] {
      if (++pumps == at_pump) throw std::runtime_error("The window went away.");
    };
    h.Save();
    EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
    EXPECT_EQ(h.main->ProgressBar_main.Value(), 0);
    EXPECT_FALSE(h.main->Busy());
    if (at_pump == 1) {
      ASSERT_EQ(h.host.boxes.size(), 1u);
      EXPECT_NE(
          h.host.boxes[0].text.find("Error: The window went away.\r\nItem: C:\\Old\\plain.gif"),
          std::string::npos);
    } else {
      EXPECT_TRUE(h.host.boxes.empty());
      EXPECT_EQ(h.SourceOf(h.Inline(2)), "C:\\New\\a.gif");
    }
  }
}

}  // namespace
}  // namespace ravel
