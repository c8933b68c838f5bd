// Floating linked pictures re-created from their new source: found by name, every carried
// value on the new shape, the old one gone only when the new one is there.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "writeback_support.h"

namespace ravel {
namespace {

using test::Changed;
using test::ModelSnapshot;
using test::ModelValue;
using test::SaveHarness;

// Members of later Words, each taken only in order: flips, percent sizes, cell layout,
// transparent colour, hyperlink.
void DressInLaterMembers(SaveHarness& h) {
  auto logo = h.Floating(1);
  logo->Set("Title", Value(std::string("Logo title")));
  logo->Set("HorizontalFlip", Value(std::int32_t{-1}));
  logo->Set("Rotation", Value(30.0f));
  for (const char* percent : {"WidthRelative", "HeightRelative", "LeftRelative", "TopRelative"})
    logo->Set(percent, Value(25.0f));
  logo->Set("RelativeHorizontalSize", Value(std::int32_t{1}));
  logo->Set("RelativeVerticalSize", Value(std::int32_t{1}));
  logo->Set("LayoutInCell", Value(std::int32_t{0}));
  h.word->SetTableCount(1, 1);
  std::dynamic_pointer_cast<sim::SimObject>(AsObject(logo->At("PictureFormat")))
      ->Set("TransparencyColor", Value(std::int32_t{0x00FF00}));
  AsObject(h.word->Document(1)->Get("Hyperlinks"))
      ->Call("Add", {Value(WObjectPtr(logo)), Value(std::string("http://example.com/")),
                     Value(std::string("top")), Value(std::string("Home"))});
}

// The new picture is the old one in all but its link: every member, the item's store flag,
// the link's lock, the exact size whether or not in the new picture's proportions (67 by 91
// once cropped alike) and whether the aspect ratio is locked.
TEST(SaveFloating, ThePictureIsRecreatedAsItWasButForItsLink) {
  struct Case {
    const char* name;
    std::function<void(SaveHarness&)> arrange;
    bool sid = false;
  };
  auto sized = [](bool locked, float height, float width) {
    return [=](SaveHarness& h) {
      auto logo = h.Floating(1);
      std::dynamic_pointer_cast<sim::SimObject>(AsObject(logo->At("LinkFormat")))
          ->Set("Locked", Value(locked));
      logo->Set("LockAspectRatio", Value(std::int32_t{locked ? -1 : 0}));
      logo->Set("Height", Value(height));
      logo->Set("Width", Value(width));
    };
  };
  const Case cases[] = {
      {"later members", DressInLaterMembers, true},
      {"distorted, unlocked", sized(false, 50, 120)},
      {"distorted, locked", sized(true, 50, 120), true},
      {"proportional, unlocked", sized(false, 134, 182), true},
      {"proportional, locked", sized(true, 134, 182)},
      // An empty alternative text, and a hyperlink elsewhere: none goes to the new picture.
      {"no text, no hyperlink",
       [](SaveHarness& h) {
         h.Floating(1)->Set("AlternativeText", Value(std::string()));
         AsObject(h.word->Document(1)->Get("Hyperlinks"))
             ->Call("Add", {Value(WObjectPtr(h.Floating(2))), Value(std::string("http://x/"))});
       }},
      // Its alternative text cannot be read: the picture is re-created all the same.
      {"text unreadable",
       [](SaveHarness& h) {
         h.Floating(1)->Set("AlternativeText", Value(std::string()));
         h.word->AddFault("Documents(1).Shapes(1)", "AlternativeText", sim::Access::Get);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveHarness h;
    c.arrange(h);
    h.g.Item(4).SaveWithDocument = FlagOf(c.sid);
    h.Relink(4, "C:\\New\\c.gif");
    auto before = ModelSnapshot(h.Floating(1));
    h.Save();

    // The old shape gone, the new one where it lay in the stacking order (Word adds it on top).
    ASSERT_EQ(h.FloatingCount(), 3);
    EXPECT_EQ(AsLong(h.Floating(2)->At("Type")), 17);
    EXPECT_EQ(AsText(h.Floating(3)->At("Name")), "Object 3");
    auto after = ModelSnapshot(h.Floating(1));
    EXPECT_EQ(Changed(before, after), test::Recreated("C:\\New\\c.gif", c.sid));
    EXPECT_EQ(Changed(after, before).size(), Changed(before, after).size());  // none lost
    // Read again: listed under the new source as an existing file.
    EXPECT_EQ(h.g.ItemCount, 5);
    EXPECT_EQ(h.g.Item(4).SourcePath, "C:\\New\\c.gif");
    EXPECT_EQ(h.g.Item(4).SaveWithDocument, FlagOf(c.sid));
    EXPECT_GE(h.word->UndoClears(1), 1);  // a relinking cannot be undone piece by piece
    EXPECT_EQ(h.main->ListView_IS.Cell(4, 2), "True");
  }
}

// Nothing relinked, nothing changed: picture, selection, undo list, saved state.
TEST(SaveFloating, AFailedAddLeavesTheDocumentExactlyAsItWas) {
  SaveHarness h;
  h.word->SetPictureCheck([](const std::string& path) { return path != "C:\\New\\c.gif"; });
  h.Relink(4, "C:\\New\\c.gif");
  auto before = ModelSnapshot(h.Floating(1));
  int selection = h.word->SelectionParagraph(1);
  h.Save();
  ASSERT_EQ(h.FloatingCount(), 3);
  EXPECT_EQ(ModelSnapshot(h.Floating(1)), before);
  EXPECT_EQ(h.word->SelectionParagraph(1), selection);
  EXPECT_EQ(h.word->SelectedShape(1), nullptr);
  EXPECT_EQ(h.word->UndoClears(1), 0);
  EXPECT_TRUE(AsBool(h.word->Document(1)->At("Saved")));
  EXPECT_EQ(h.g.Item(4).SourcePath, "C:\\Old\\c.gif");  // listed again with its old source
  EXPECT_FALSE(h.g.Item(4).Changed);
  EXPECT_EQ(h.main->Label_ProgressBar.Text(), "Idle");
}

// Word resolves a relative name against its own current folder: the file beside the
// document must be added instead.
TEST(SaveFloating, ARelativeSourceIsAddedFromTheDocumentsFolder) {
  SaveHarness h;
  h.fs.AddFile("C:\\Docs\\pics\\c.gif");
  h.fs.AddFile("C:\\Users\\User\\Documents\\pics\\c.gif");
  h.Relink(4, "pics\\c.gif");
  h.Save();
  EXPECT_EQ(h.g.Item(4).SourcePath, "C:\\Docs\\pics\\c.gif");  // as listed again
}

// Five floating pictures, P2 and another relinked: each is found by name wherever earlier
// re-creations moved it; a name not unique, or no longer found, is left alone.
TEST(SaveFloating, FoundByNameOnlyWhenTheNameIsUnique) {
  // Two pictures of the same name (exactly) when the save begins: neither is touched.
  auto shared = [](SaveHarness& h) { h.Floating(3)->Set("Name", Value(std::string("P2"))); };
  // Renamed in Word while the save runs, by letter case only: no longer found.
  auto renamed = [](SaveHarness& h) {
    h.host.on_pump = [&h] { h.Floating(2)->Set("Name", Value(std::string("p2"))); };
  };
  // A copy of P3 pasted in Word while the save runs: P3 is no longer unique.
  auto pasted = [](SaveHarness& h) {
    h.host.on_pump = [&h] {
      if (h.FloatingCount() == 5)
        h.word->AddShape(1, "Shapes",
                         R"({"Name": "P3", "LinkFormat": {"SourceFullName": "C:\\Old\\3.gif"}})");
    };
  };
  struct Case {
    const char* name;
    int other;  // the other item relinked (to c.gif; P2 to a.gif)
    std::function<void(SaveHarness&)> arrange;
    const char* names;    // afterwards, bottom to top
    const char* sources;  // their file titles
  };
  const Case cases[] = {
      // After P2 is re-created the fifth stands at position four and is still found.
      {"moved", 5, [](SaveHarness&) {}, "P1|P2|P3|P4|Picture 5|", "1|a|3|4|c|"},
      {"shared", 3, shared, "P1|P2|P2|P4|Picture 5|", "1|2|3|4|5|"},
      {"renamed", 3, renamed, "P1|p2|P4|Picture 5|P3|", "1|2|4|5|c|"},
      {"pasted", 3, pasted, "P1|P3|P4|Picture 5|P3|P2|", "1|3|4|5|3|a|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SaveHarness h(std::string(RAVEL_FIXTURES) + "/save-five-floating.json");
    h.Relink(2, "C:\\New\\a.gif");
    h.Relink(c.other, "C:\\New\\c.gif");
    c.arrange(h);
    std::map<sim::SimObjectPtr, std::vector<std::string>> before;
    for (int i = 1; i <= 5; ++i) before[h.Floating(i)] = ModelSnapshot(h.Floating(i));
    h.Save();
    std::string names, sources;
    for (int i = 1; i <= h.FloatingCount(); ++i) {
      auto s = h.Floating(i);
      std::string name = AsText(s->At("Name")), src = h.SourceOf(s);
      names += name + "|";
      sources += src.substr(src.rfind('\\') + 1, src.rfind('.') - src.rfind('\\') - 1) + "|";
      // A picture that stays is untouched, but for a name Word gave it.
      if (before.count(s)) {
        auto changed = Changed(before[s], ModelSnapshot(s));
        EXPECT_TRUE(changed.empty() || changed == std::vector<std::string>{"Name=" + name}) << i;
      }
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(sources, c.sources);
  }
}

TEST(SaveFloating, ALinkedOleObjectIsRelinkedInPlace) {
  SaveHarness h;
  h.Relink(5, "C:\\New\\d.doc");
  h.g.Item(5).SaveWithDocument = Flag::False;
  h.Save();
  ASSERT_EQ(h.FloatingCount(), 3);
  auto s = h.Floating(3);
  EXPECT_EQ(AsText(s->At("Name")), "Object 3");
  EXPECT_EQ(h.SourceOf(s), "C:\\New\\d.doc");
  EXPECT_FLOAT_EQ(AsNumber(ModelValue(s, "PictureFormat.Brightness")), 0.8f);
  EXPECT_EQ(h.g.Item(5).SourcePath, "C:\\New\\d.doc");

  // Its place now holds a picture, or a picture's link: an OLE item's source never goes there.
  for (bool link_only : {false, true}) {
    SaveHarness p;
    p.Relink(5, "C:\\New\\d.doc");
    auto link =
        std::dynamic_pointer_cast<sim::SimObject>(AsObject(p.Floating(3)->At("LinkFormat")));
    (link_only ? link : p.Floating(3))->Set("Type", Value(std::int32_t{link_only ? 1 : 11}));
    auto before = ModelSnapshot(p.Floating(3));
    p.Save();
    EXPECT_EQ(ModelSnapshot(p.Floating(3)), before) << link_only;
  }
}

// Calls into Word for one saved floating picture do not grow with the number of floating
// shapes: the save looks where it expects the shape instead of walking all of them.
TEST(SaveFloating, FindingAShapeCostsTheSameInAnyDocument) {
  auto calls_for_one = [](int n) {
    long calls[2] = {0, 0};
    for (bool relink : {false, true}) {
      SaveHarness h(std::string(RAVEL_FIXTURES) + "/save-anchors.json");
      for (int k = 1; k <= n; ++k)
        h.word->AddShape(1, "Shapes", R"({"LinkFormat": {"SourceFullName": "C:\\Old\\x.gif"}})");
      ReadInventory(*h.main);
      h.Relink(1, "C:\\New\\a.gif");
      h.Relink(2, "C:\\New\\c.gif");
      if (!relink) h.g.Item(2).Changed = false;
      h.word->Context().Reset();
      h.Save();
      calls[relink] = h.word->Context().calls;
    }
    return calls[1] - calls[0];
  };
  EXPECT_EQ(calls_for_one(4), calls_for_one(40));
}

}  // namespace
}  // namespace ravel
