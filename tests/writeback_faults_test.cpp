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

TEST(SaveFaults, EachCallFailingInTurnOnceOrForGood) {
  // The calls of a save without faults, and where its regimes meet.
  std::vector<std::string> log;
  {
    SaveHarness h;
    Arrange(h);
    h.word->Context().logging = true;
    h.Save();
    ASSERT_TRUE(h.host.boxes.empty());
    log = h.word->Context().log;
  }
  auto at = [&](const std::string& call) {
    return std::find(log.begin(), log.end(), call) - log.begin();
  };
  const long tolerant_from = at("Documents(1).InlineShapes(2).AlternativeText");
  const long first_clear = at("Documents(1).UndoClear()");  // item 1's
  ASSERT_LT(first_clear, tolerant_from);
  const long reread_from = at("Documents(1).Activate()") - 1;
  ASSERT_LT(tolerant_from, reread_from);

  for (bool once : {true, false}) {
    for (long k = 0; k < static_cast<long>(log.size()); ++k) {
      SCOPED_TRACE((once ? "once at " : "for good from ") + std::to_string(k) + " " + log[k]);
      SaveHarness h;
      Arrange(h);
      h.main->Text_NewDestPath.SetText("C:\\Docs");
      auto inline1 = ModelSnapshot(h.Inline(1));
      auto box = ModelSnapshot(FindType(h, 17));
      std::vector<std::vector<std::string>> all;
      for (int i = 1; i <= 3; ++i) all.push_back(ModelSnapshot(h.Inline(i)));
      for (int i = 1; i <= 3; ++i) all.push_back(ModelSnapshot(h.Floating(i)));

      h.word->FailAfter(k, once);
      h.Save();

      EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
      EXPECT_EQ(h.main->ProgressBar_main.Value(), 0);
      EXPECT_FALSE(h.main->Busy());
      EXPECT_EQ(h.main->Text_NewDestPath.Text(), "C:\\New");
      // Shapes no item names are never written, and no picture is ever lost.
      EXPECT_EQ(ModelSnapshot(h.Inline(1)), inline1);
      EXPECT_EQ(ModelSnapshot(FindType(h, 17)), box);
      EXPECT_NE(FindType(h, kShapeLinkedPicture), nullptr);

      if (k < tolerant_from) {
        // Strict: the message box names the item being processed; nothing written, the
        // undo list cleared no further, no re-read.
        std::string item = k < first_clear - 1 ? ""
                           : k <= first_clear  ? "C:\\Old\\plain.gif"
                                               : "C:\\New\\a.gif";
        ASSERT_EQ(h.host.boxes.size(), 1u);
        EXPECT_EQ(h.host.boxes[0].text, Box(item));
        EXPECT_EQ(h.host.boxes[0].title, "Save Operation");
        EXPECT_EQ(h.host.boxes[0].style, kMbOk | kMbIconCritical);
        EXPECT_EQ(h.word->UndoClears(1), k > first_clear ? 1 : 0);
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
          // The old picture stays beside the new one when it could not be deleted.
          bool kept_old = log[k].ends_with(".Delete()");
          EXPECT_EQ(h.g.ItemCount, kept_old ? 6 : 5);
          // The OLE object is written all the same, unless the failing call fetched or
          // tested its shape or was the write itself; a failed formatting read does not
          // stop the write.
          long fetch = at("Documents(1).InlineShapes(3).LinkFormat") - 3;
          long write = at("Documents(1).InlineShapes(3).LinkFormat.SourceFullName=");
          bool read = log[k].find("InlineShapes(3).PictureFormat") != std::string::npos;
          bool written = k < fetch || k > write || read;
          EXPECT_EQ(h.SourceOf(h.Inline(3)), written ? "C:\\New\\t.xls" : "C:\\Old\\t.xls");
        }
      }
      if (HasFailure()) return;
    }
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
