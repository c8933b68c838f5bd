// A re-created floating picture stays where it was (paragraph, page, place, size); none is
// lost or doubled, nor written by a stale list after a save that ended between items.
#include <gtest/gtest.h>

#include "writeback_support.h"

namespace ravel {
namespace {

using test::Changed;
using test::ModelSnapshot;
using test::SaveHarness;

const std::string kAnchors = std::string(RAVEL_FIXTURES) + "/save-anchors.json";

std::vector<sim::SimObjectPtr> LinkedTo(const SaveHarness& h, const std::string& source) {
  std::vector<sim::SimObjectPtr> out;
  for (int i = 1; i <= h.FloatingCount(); ++i) {
    auto s = h.Floating(i);
    if (s->Has("LinkFormat") && h.SourceOf(s) == source) out.push_back(s);
  }
  return out;
}

// Chart, on page 2 (the insertion point on page 1), placed relative to each kind in turn; its
// anchor readable, or not (the old shape is then selected to anchor the new one).
TEST(SaveAnchor, ThePictureStaysInItsParagraphOnItsPageAtItsPlaceAndSize) {
  const int kinds[][2] = {{1, 1}, {0, 0}, {2, 2}, {3, 3}};
  for (bool anchor_readable : {true, false}) {
    for (const auto& kind : kinds) {
      SCOPED_TRACE(std::string(anchor_readable ? "anchor read" : "anchor unreadable") + ", kinds " +
                   std::to_string(kind[0]) + "/" + std::to_string(kind[1]));
      SaveHarness h(kAnchors);
      auto chart = h.Floating(2);
      // Set as Word does: the shape stays where it is, its Left and Top change.
      chart->Put("RelativeHorizontalPosition", Value(std::int32_t{kind[0]}));
      chart->Put("RelativeVerticalPosition", Value(std::int32_t{kind[1]}));
      auto before = ModelSnapshot(chart);  // its anchor paragraph, place, size and crops
      ASSERT_EQ(h.word->PageOf(1, chart), 2);
      if (!anchor_readable) h.word->AddFault("Documents(1).Shapes(2)", "Anchor", sim::Access::Get);
      h.Relink(2, "C:\\New\\c.gif");
      h.Save();

      auto made = LinkedTo(h, "C:\\New\\c.gif");
      ASSERT_EQ(made.size(), 1u);
      EXPECT_TRUE(LinkedTo(h, "C:\\Old\\c.gif").empty());
      EXPECT_EQ(Changed(before, ModelSnapshot(made[0])), test::Recreated("C:\\New\\c.gif"));
      EXPECT_EQ(h.word->PageOf(1, made[0]), 2);
      EXPECT_EQ(h.FloatingCount(), 2);
    }
  }
}

// Pictures inserted behind the text: the new shape is not the last one. The restore goes to
// the shape Word returned, and the next picture is still found.
TEST(SaveAnchor, TheRestoreGoesToTheShapeWordAddedWhereverItStands) {
  SaveHarness h(kAnchors);
  h.word->SetNewPictureWrap(5);
  auto chart = ModelSnapshot(h.Floating(2));
  h.Relink(1, "C:\\New\\a.gif");
  h.Relink(2, "C:\\New\\c.gif");
  h.Save();
  ASSERT_EQ(h.FloatingCount(), 2);
  auto made = LinkedTo(h, "C:\\New\\a.gif");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(AsNumber(made[0]->At("Height")), 200);
  EXPECT_EQ(sim::SimWord::AnchorParagraph(made[0]), 2);
  made = LinkedTo(h, "C:\\New\\c.gif");
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(Changed(chart, ModelSnapshot(made[0])), test::Recreated("C:\\New\\c.gif"));
}

// Deleting the old picture fails: the new one goes again, the next item is still written.
TEST(SaveAnchor, AFailingDeleteLeavesOnePictureWithTheOldSource) {
  SaveHarness h(kAnchors);
  h.word->AddFault("Documents(1).Shapes(1)", "Delete", sim::Access::Call, /*once=*/true);
  auto backdrop = ModelSnapshot(h.Floating(1));
  h.Relink(1, "C:\\New\\a.gif");
  h.Relink(2, "C:\\New\\c.gif");
  h.Save();
  EXPECT_EQ(h.FloatingCount(), 2);
  EXPECT_TRUE(LinkedTo(h, "C:\\New\\a.gif").empty());
  ASSERT_EQ(LinkedTo(h, "C:\\Old\\a.gif").size(), 1u);
  EXPECT_EQ(ModelSnapshot(LinkedTo(h, "C:\\Old\\a.gif")[0]), backdrop);
  EXPECT_EQ(LinkedTo(h, "C:\\New\\c.gif").size(), 1u);
  EXPECT_EQ(h.g.Item(1).SourcePath, "C:\\Old\\a.gif");
}

// Between two items Word closes (a quiet end, no document) or the event pump fails (the box
// before the first item is written, quiet after). After a quiet end the list is read again
// (or emptied), so that a second save cannot write to a shape that has since moved into an
// item's recorded place.
TEST(SaveAnchor, BetweenItemsWordClosesOrTheWindowFails) {
  struct Case {
    const char* name;
    int at_pump;
    bool closes;      // Word closes, or the pump throws
    bool for_good;    // at every later pump too
    const char* box;  // the message box's error and item
  };
  const Case cases[] = {
      {"Word closes", 3, true, false, nullptr},
      {"strict", 1, false, false, "Error: The window went away.\r\nItem: C:\\Old\\1.gif"},
      {"fails once", 3, false, false, nullptr},
      {"fails for good", 3, false, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveHarness h(std::string(RAVEL_FIXTURES) + "/save-five-floating.json");
    h.Relink(2, "C:\\New\\a.gif");
    h.Relink(3, "C:\\New\\c.gif");
    int pumps = 0;
    h.host.on_pump = [&] {
      if (++pumps < c.at_pump || (pumps > c.at_pump && !c.for_good)) return;
      if (!c.closes) throw std::runtime_error("The window went away.");
      h.word->SetActive(0);
    };
    h.Save();
    EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
    EXPECT_EQ(h.main->ProgressBar_main.Value(), 0);
    EXPECT_FALSE(h.main->Busy());
    h.box_expected = c.box != nullptr;
    ASSERT_EQ(h.host.boxes.size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_NE(h.host.boxes[0].text.find(c.box), std::string::npos);
      EXPECT_TRUE(LinkedTo(h, "C:\\New\\a.gif").empty());
      continue;
    }
    // P2 is re-created before, P3 not at all.
    ASSERT_EQ(LinkedTo(h, "C:\\New\\a.gif").size(), 1u);
    EXPECT_TRUE(LinkedTo(h, "C:\\New\\c.gif").empty());
    if (c.closes) {
      EXPECT_EQ(h.main->Text_DocumentName.Text(), "No Document Available");
      continue;
    }
    if (c.for_good) {
      EXPECT_EQ(h.g.ItemCount, 0);
      EXPECT_EQ(h.main->ListView_IS.Count(), 0);
    } else {
      EXPECT_EQ(h.g.ItemCount, 5);
      EXPECT_EQ(h.g.Item(2).SourcePath, "C:\\Old\\3.gif");  // P3 now stands second
      for (int i = 1; i <= h.g.ItemCount; ++i) EXPECT_FALSE(h.g.Item(i).Changed) << i;
    }
    h.host.on_pump = nullptr;
    auto p3 = ModelSnapshot(LinkedTo(h, "C:\\Old\\3.gif").at(0));
    for (int i = 1; i <= h.g.ItemCount; ++i) h.Select(i);
    h.Save();
    ASSERT_EQ(LinkedTo(h, "C:\\Old\\3.gif").size(), 1u);
    EXPECT_EQ(ModelSnapshot(LinkedTo(h, "C:\\Old\\3.gif")[0]), p3);
    EXPECT_EQ(LinkedTo(h, "C:\\New\\a.gif").size(), 1u);
    EXPECT_EQ(h.FloatingCount(), 5);
  }
}

// Another document made active mid-item: that item is finished, nothing more is written.
TEST(SaveAnchor, ADocumentSwitchMidSaveWritesNothingMoreAnywhere) {
  SaveHarness h;
  int other = h.word->AddDocument("Copy.doc", "C:\\Docs");
  for (const char* shape :
       {R"({"LinkFormat": {"SourceFullName": "C:\\Old\\plain.gif"}})",
        R"({"LinkFormat": {"SourceFullName": "C:\\Old\\a.gif"}, "AlternativeText": "Copy A"})",
        R"({"Type": 2, "LinkFormat": {"SourceFullName": "C:\\Old\\t.xls"}})"})
    h.word->AddShape(other, "InlineShapes", shape);
  h.word->AddShape(other, "Shapes",
                   R"({"Name": "Logo", "LinkFormat": {"SourceFullName": "C:\\Old\\c.gif"}})");
  std::vector<std::vector<std::string>> copy;
  for (int i = 1; i <= 3; ++i)
    copy.push_back(ModelSnapshot(h.word->ShapeAt(other, "InlineShapes", i)));
  copy.push_back(ModelSnapshot(h.word->ShapeAt(other, "Shapes", 1)));
  h.Relink(2, "C:\\New\\a.gif");
  h.Relink(3, "C:\\New\\t.xls");
  h.Relink(4, "C:\\New\\c.gif");
  h.word->Context().on_call = [&](const std::string& call) {
    if (call == "Documents(1).InlineShapes(2).LinkFormat.SourceFullName=") h.word->SetActive(other);
  };
  h.Save();
  h.word->Context().on_call = nullptr;

  // Item 2 finished in its own document.
  EXPECT_EQ(h.SourceOf(h.Inline(2)), "C:\\New\\a.gif");
  EXPECT_EQ(AsText(h.Inline(2)->At("AlternativeText")), "Chart A");
  EXPECT_FLOAT_EQ(AsNumber(test::ModelValue(h.Inline(2), "PictureFormat.CropTop")), 4);
  // Nothing after it, in either document.
  EXPECT_EQ(h.SourceOf(h.Inline(3)), "C:\\Old\\t.xls");
  EXPECT_EQ(h.SourceOf(h.Floating(1)), "C:\\Old\\c.gif");
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(ModelSnapshot(h.word->ShapeAt(other, "InlineShapes", i)), copy[i - 1]) << i;
  EXPECT_EQ(ModelSnapshot(h.word->ShapeAt(other, "Shapes", 1)), copy[3]);
  EXPECT_EQ(h.word->UndoClears(other), 0);
  EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
}

}  // namespace
}  // namespace ravel
