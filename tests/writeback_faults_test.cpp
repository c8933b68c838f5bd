// Word calls of a save failing, once or for good, or stopped by the user: strict until the
// first formatting read of the first item written, tolerant after. One fault per place in the
// save's code, not per call: the calls of one kind at one stage go through the same steps.
#include <gtest/gtest.h>

#include <set>

#include "writeback/Save.h"
#include "writeback_support.h"

namespace ravel {
namespace {

using test::ModelSnapshot;
using test::SaveHarness;

const char* const kRpcFailed = "The remote procedure call failed.";

// Items 2 to 5 relinked (in-line and floating, picture and OLE); item 1 not selected.
void Arrange(SaveHarness& h) {
  h.Relink(2, "C:\\New\\a.gif");
  h.Relink(3, "C:\\New\\t.xls");
  h.Relink(4, "C:\\New\\c.gif");
  h.Relink(5, "C:\\New\\d.doc");
  h.main->Text_NewDestPath.SetText("C:\\Docs");
  h.word->Context().Reset();
}

std::string Box(const std::string& item) {
  return std::string("An Error Occured during connecting to the Active Document Object!\r\n") +
         "Try to restart your Word Application and the Ravelmend.\r\n" + "Error: " + kRpcFailed +
         "\r\nItem: " + item;
}

// The calls of a save without faults, where each item's calls begin (the log's length at each
// event pump), where its regimes meet, and the calls the fault walk fails.
struct Walk {
  std::vector<std::string> log;
  std::vector<long> item_start;
  long tolerant_from = 0, reread_from = 0, ole_write = 0, add = 0, remove = 0;
  std::vector<long> sites;  // one call per place in the code
  std::vector<long> once, for_good, stopped;
};

// What a call stands for in the save's code: read, write or method; on what; its member (all
// formatting values one, as they go through the same steps); its regime and stage.
std::string SiteOf(const Walk& w, long k, bool wrote) {
  std::string call = w.log[static_cast<std::size_t>(k)];
  bool put = call.back() == '=';
  if (put) call.pop_back();
  std::string member = call.substr(call.rfind('.') + 1);
  for (std::size_t p = 0; p < kPropCount; ++p) {
    std::string path = PathOf(static_cast<Prop>(p));
    if (call.size() > path.size() &&
        call.compare(call.size() - path.size(), path.size(), path) == 0)
      member = "format";
  }
  if (member == "PictureFormat" || member == "WrapFormat") member = "format";
  const char* where = call.find(".Shapes") != std::string::npos         ? "floating"
                      : call.find(".InlineShapes") != std::string::npos ? "inline"
                                                                        : "document";
  const char* stage = k < w.item_start.front() ? "head" : k >= w.reread_from ? "reread" : "item";
  return std::string(stage) + (k < w.tolerant_from ? " strict " : " tolerant ") + where + " " +
         member + (put ? "=" : "") + (wrote ? " after a write" : "");
}

const Walk& TheWalk() {
  static const Walk walk = [] {
    Walk w;
    SaveHarness h;
    Arrange(h);
    h.word->Context().logging = true;
    h.host.on_pump = [&] {
      w.item_start.push_back(static_cast<long>(h.word->Context().log.size()));
    };
    h.Save();
    w.log = h.word->Context().log;
    auto at = [&](const std::string& call) {
      return static_cast<long>(std::find(w.log.begin(), w.log.end(), call) - w.log.begin());
    };
    w.tolerant_from = at("Documents(1).InlineShapes(2).AlternativeText");
    w.reread_from = at("Documents(1).Activate()") - 1;
    w.ole_write = at("Documents(1).InlineShapes(3).LinkFormat.SourceFullName=");
    w.add = at("Documents(1).Shapes.AddPicture()");
    w.remove = at("Documents(1).Shapes(1).Delete()");
    const long last = static_cast<long>(w.log.size()) - 1;

    // The closing re-read has its own tests; its first two calls and its last stand for it.
    std::set<std::string> seen;
    std::set<long> starts{0, w.tolerant_from, w.reread_from, last};
    bool wrote = false;
    auto item = w.item_start.begin();
    for (long k = 0; k <= w.reread_from + 1; ++k) {
      if (item != w.item_start.end() && k == *item) {
        starts.insert(k);
        wrote = false;
        ++item;
      }
      if (seen.insert(SiteOf(w, k, wrote)).second) w.once.push_back(k);
      const std::string& call = w.log[static_cast<std::size_t>(k)];
      wrote = wrote || call.back() == '=' || call.ends_with("Delete()");
    }
    w.once.push_back(last);
    // Word gone from a call on: what is left of the save fails throughout, so each stage's
    // first call and those about the new floating picture stand for all.
    starts.insert({w.add, w.add + 1, w.remove, w.remove + 1});
    w.for_good.assign(starts.begin(), starts.end());
    // Stopped: nothing runs after the stop, so only the new floating picture can need undoing.
    for (long k : w.once)
      if (starts.count(k) || (k > w.add && k < w.remove) || k == w.add - 1) w.stopped.push_back(k);
    return w;
  }();
  return walk;
}

TEST(SaveFaults, EachCallSiteFailingOnceOrForGood) {
  const Walk& w = TheWalk();
  ASSERT_GE(w.item_start.size(), 5u);
  ASSERT_LT(w.item_start[1], w.tolerant_from);
  ASSERT_LT(w.tolerant_from, w.reread_from);
  const char* const sources[] = {"", "C:\\Old\\plain.gif", "C:\\New\\a.gif"};

  for (bool once : {true, false}) {
    for (long k : once ? w.once : w.for_good) {
      SCOPED_TRACE((once ? "once at " : "for good from ") + std::to_string(k) + " " +
                   w.log[static_cast<std::size_t>(k)]);
      SaveHarness h;
      Arrange(h);
      std::vector<std::vector<std::string>> all;
      for (int i = 1; i <= 6; ++i)
        all.push_back(ModelSnapshot(i <= 3 ? h.Inline(i) : h.Floating(i - 3)));

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
      EXPECT_EQ(ModelSnapshot(h.Inline(1)), all[0]);
      EXPECT_EQ(ModelSnapshot(h.OfType(17).at(0)), all[4]);  // the text box
      if (once)
        EXPECT_EQ(h.OfType(kShapeLinkedPicture).size(), 1u);
      else
        EXPECT_GE(h.OfType(kShapeLinkedPicture).size(), 1u);
      EXPECT_EQ(h.OfType(kShapeLinkedOle).size(), 1u);

      if (k < w.tolerant_from) {
        // Strict: the message box names the item whose calls were running; nothing written,
        // the user's undo list left alone, no re-read.
        int item = static_cast<int>(std::upper_bound(w.item_start.begin(), w.item_start.end(), k) -
                                    w.item_start.begin());
        ASSERT_LE(item, 2);
        h.box_expected = true;
        ASSERT_EQ(h.host.boxes.size(), 1u);
        EXPECT_EQ(h.host.boxes[0].text, Box(sources[item]));
        EXPECT_EQ(h.host.boxes[0].title, "Save Operation");
        EXPECT_EQ(h.host.boxes[0].style, kMbOk | kMbIconCritical);
        EXPECT_EQ(h.word->UndoClears(1), 0);
        EXPECT_TRUE(h.g.Item(2).Changed && h.g.Item(5).Changed);
        EXPECT_EQ(h.g.ItemCount, 5);
        for (int i = 1; i <= 6; ++i)
          EXPECT_EQ(ModelSnapshot(i <= 3 ? h.Inline(i) : h.Floating(i - 3)), all[i - 1]) << i;
      } else {
        // Tolerant: no message; the document is read again, or found gone.
        for (int i = 1; i <= h.g.ItemCount; ++i) EXPECT_FALSE(h.g.Item(i).Changed) << i;
        if (!once && k < w.reread_from) {
          EXPECT_EQ(h.main->Text_DocumentName.Text(), "No Document Available");
          EXPECT_EQ(h.g.ItemCount, 0);
        }
        if (once && k < w.reread_from) {
          EXPECT_EQ(h.g.ItemCount, 5);
          // What the document holds is what Word says happened.
          bool ole = ctx.Succeeded("Documents(1).InlineShapes(3).LinkFormat.SourceFullName=");
          EXPECT_EQ(h.SourceOf(h.Inline(3)), ole ? "C:\\New\\t.xls" : "C:\\Old\\t.xls");
          // The new picture stays only when the old one could be deleted.
          bool moved = ctx.Succeeded("Documents(1).Shapes.AddPicture()") &&
                       ctx.Succeeded("Documents(1).Shapes(1).Delete()");
          auto picture = h.OfType(kShapeLinkedPicture).at(0);
          EXPECT_EQ(h.SourceOf(picture), moved ? "C:\\New\\c.gif" : "C:\\Old\\c.gif");
          // The OLE object is written unless the one failure hit a call of its item before
          // the write other than a formatting read (the write itself included).
          bool on_path =
              k >= w.item_start[2] && k <= w.ole_write &&
              w.log[static_cast<std::size_t>(k)].find("PictureFormat") == std::string::npos;
          EXPECT_EQ(ole, !on_path);
        }
      }
      if (HasFailure()) return;
    }
  }
}

// Stopped waiting for a busy Word: the item under way is done or not begun, the items not
// reached keep their old source, and the list is read again.
TEST(SaveFaults, StoppedWhileWordIsBusy) {
  for (long k : TheWalk().stopped) {
    SCOPED_TRACE("stopped at call " + std::to_string(k) + " " +
                 TheWalk().log[static_cast<std::size_t>(k)]);
    SaveHarness h;
    Arrange(h);
    h.word->Context().logging = true;
    h.word->CancelAfter(k);
    h.Save();
    const sim::SimContext& ctx = h.word->Context();
    EXPECT_FALSE(h.main->Busy());
    ASSERT_EQ(h.OfType(kShapeLinkedPicture).size(), 1u);
    auto picture = h.OfType(kShapeLinkedPicture).at(0);
    bool moved = ctx.Succeeded("Documents(1).Shapes(1).Delete()");
    EXPECT_EQ(h.SourceOf(picture), moved ? "C:\\New\\c.gif" : "C:\\Old\\c.gif");
    // A new picture that stays is complete. Nothing is written after the stop: the OLE
    // object, saved after the picture, keeps its old source unless the picture was done.
    if (moved)
      EXPECT_EQ(AsNumber(picture->At("Width")), 120);
    else
      EXPECT_EQ(h.SourceOf(h.OfType(kShapeLinkedOle).at(0)), "C:\\Old\\d.doc");
    // Read again: nothing listed is still to be saved.
    for (int i = 1; i <= h.g.ItemCount; ++i) EXPECT_FALSE(h.g.Item(i).Changed) << i;
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace ravel
