// The Word stand-in: fixtures, Word's errors and the shape operations the save relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "inventory/Word.h"
#include "sim/MemoryFileSystem.h"
#include "sim/SimWord.h"

namespace ravel::sim {
namespace {

const std::string kTwoDocs = std::string(RAVEL_FIXTURES) + "/word-two-documents.json";

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The numbers a shape answers for `props` (or a raw object for its members), in order.
std::vector<double> Nums(const Shape& s, std::initializer_list<Prop> props) {
  std::vector<double> out;
  for (Prop p : props) out.push_back(AsNumber(s.Get(p)));
  return out;
}
std::vector<double> Nums(const WObjectPtr& o, std::initializer_list<const char*> members) {
  std::vector<double> out;
  for (const char* m : members) out.push_back(AsNumber(o->Get(m)));
  return out;
}
using Ds = std::vector<double>;

Value Get(const SimObjectPtr& o, const std::string& path) {
  WObjectPtr cur = o;
  std::string rest = path;
  for (auto dot = rest.find('.'); dot != std::string::npos; dot = rest.find('.')) {
    cur = AsObject(cur->Get(rest.substr(0, dot)));
    rest = rest.substr(dot + 1);
  }
  return cur->Get(rest);
}

TEST(SimWordFixture, FixtureDirFollowsThePathForm) {
  EXPECT_EQ(FixtureDirOf("Z:\\work\\fx\\a.json"), "Z:\\work\\fx");
  EXPECT_EQ(FixtureDirOf("C:/work/fx/a.json"), "C:\\work\\fx");
  EXPECT_EQ(FixtureDirOf("\\\\srv\\share\\a.json"), "\\\\srv\\share");
#ifndef _WIN32
  EXPECT_EQ(FixtureDirOf("/work/fx/a.json"), "Z:\\work\\fx");
  std::string cwd = std::filesystem::current_path().string();
  std::replace(cwd.begin(), cwd.end(), '/', '\\');
  EXPECT_EQ(FixtureDirOf("sub/a.json"), "Z:" + cwd + "\\sub");
#endif
  // The caller's own FIXTURE_DIR wins.
  auto word = LoadWordFixtureFile(kTwoDocs, {{"FIXTURE_DIR", "D:\\Elsewhere"}});
  EXPECT_EQ(AsText(word->Document(2)->At("Path")), "D:\\Elsewhere\\second");
}

TEST(SimWordFixture, MalformedFixturesAreRefusedNamingThePlace) {
  struct Case {
    const char* json;
    const char* expected;
  };
  const Case cases[] = {
      {"{", "not valid JSON: parse error at line 1"},
      {"[]", "fixture: expected an object"},
      {R"({"documents": {}})", "documents: expected an array"},
      {R"({"documents": [{"Title": "x"}]})", "Documents(1).Title: unknown member"},
      {R"({"documents": [{"InlineShapes": [{"LinkFormat": {"Locked": "yes"}}]}]})",
       "Documents(1).InlineShapes(1).LinkFormat.Locked: expected true or false, got \"yes\""},
      {R"({"documents": [{"InlineShapes": [{}, {"ScaleHeight": "big"}]}]})",
       "Documents(1).InlineShapes(2).ScaleHeight: expected a number"},
      {R"({"documents": [{"InlineShapes": [{"Type": 2.5}]}]})",
       "InlineShapes(1).Type: expected a whole number"},
      {R"({"documents": [{"InlineShapes": [{"Type": 99999999999}]}]})", "out of range"},
      {R"({"documents": [{"InlineShapes": [{"Name": "x"}]}]})",
       "InlineShapes(1).Name: unknown member"},
      {R"({"documents": [{"Shapes": [{"LinkFormat": 5}]}]})",
       "Shapes(1).LinkFormat: expected an object or null"},
      {R"({"documents": [{"Path": "{{NOPE}}"}]})", "Documents(1).Path: unknown variable {{NOPE}}"},
      {R"({"documents": [{"Path": "{{FIXTURE_DIR"}]})", "without \"}}\""},
      {R"({"faults": [{"object": "Application", "member": "Name", "access": "read"}]})",
       "faults[0].access: expected \"get\", \"put\" or \"call\""},
      {R"({"faults": [{"object": "Application"}]})", "faults[0]: missing \"member\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    try {
      LoadWordFixture(c.json);
      ADD_FAILURE() << "loaded";
    } catch (const FixtureError& e) {
      EXPECT_TRUE(Has(e.what(), c.expected)) << e.what();
    }
  }
}

TEST(SimWordFixture, UnreadableFilesAndShapeTextsAreRefusedWithTheirName) {
  auto dir = std::filesystem::temp_directory_path() / "ravel-sim-word-test";
  std::filesystem::create_directories(dir);
  std::string bad = (dir / "bad.json").string();
  std::ofstream(bad) << "{\"documents\": [{\"Name\": true}]}";
  EXPECT_EQ(ErrorOf([&] { LoadWordFixtureFile(bad); }),
            bad + ": Documents(1).Name: expected a text, got true");
  std::string missing = (dir / "missing.json").string();
  EXPECT_EQ(ErrorOf([&] { LoadWordFixtureFile(missing); }),
            missing + ": cannot read the fixture file");
  std::filesystem::remove_all(dir);

  SimWord word;
  int doc = word.AddDocument("A.doc", "C:\\A");
  EXPECT_TRUE(Has(ErrorOf([&] { word.AddShape(doc, "InlineShapes", "{\"Type\": }"); }),
                  "Documents(1).InlineShapes(1): not valid JSON"));
  EXPECT_EQ(word.ShapeCount(doc, "InlineShapes"), 0);
}

// The example on the page newcomers read must stay loadable and mean what it says.
TEST(SimWordFixture, TheDocumentedExampleLoads) {
  std::stringstream text;
  text << std::ifstream(std::string(RAVEL_FIXTURES) + "/../../docs/word-fixtures.md").rdbuf();
  std::string page = text.str();
  auto start = page.find("```jsonc\n");
  ASSERT_NE(start, std::string::npos);
  start += 9;
  std::string example = page.substr(start, page.find("```", start) - start);

  auto word = LoadWordFixture(example, {{"FIXTURE_DIR", "C:\\Docs"}});
  Document doc = ActiveDocument(*word);
  EXPECT_EQ(doc.Path(), "C:\\Docs");
  EXPECT_EQ(doc.InlineShapes().Count(), 4);
  EXPECT_EQ(doc.InlineShapes().Item(1).Link().SourceName(), "a.gif");
  EXPECT_EQ(doc.InlineShapes().Item(2).Link().Type(), kLinkOle);
  EXPECT_THROW(doc.InlineShapes().Item(3).Link(), WordError);  // embedded, as in Word
  // Word's types: Singles for sizes, Longs for enums and tri-states.
  Shape formatted = doc.InlineShapes().Item(4);
  EXPECT_EQ(formatted.Get(Prop::PictureBrightness), Value(0.6f));
  EXPECT_EQ(formatted.Get(Prop::ScaleHeight), Value(80.0f));
  EXPECT_EQ(formatted.Get(Prop::LockAspectRatio), Value(std::int32_t{-1}));
  EXPECT_EQ(doc.FloatingShapes().Item(3).Name(), "Text Box 3");
  WObjectPtr logo = doc.FloatingShapes().Item(1).Object();
  EXPECT_EQ(AsText(AsObject(logo->Get("Hyperlink"))->Get("ScreenTip")), "Home");
  EXPECT_EQ(AsLong(AsObject(word->Document(1)->Get("Tables"))->Get("Count")), 1);
  LinkFormat faulty = doc.InlineShapes().Item(4).Link();
  EXPECT_EQ(ErrorOf([&] { faulty.SavePictureWithDocument(); }),
            "The linked file is not available.");
  EXPECT_FALSE(faulty.SavePictureWithDocument());
}

TEST(SimWordErrors, FailuresCarryWordsOwnMessages) {
  SimWord word;
  EXPECT_EQ(ErrorOf([&] { ActiveDocument(word); }), kNoDocumentOpen);
  int doc = word.AddDocument("A.doc", "C:\\A");
  EXPECT_EQ(ErrorOf([&] { ActiveDocument(word); }), kNoDocumentOpen);  // open, not active
  word.SetActive(doc);
  word.AddShape(doc, "Shapes",
                R"({"Name": "Logo", "LinkFormat": {"SourceFullName": "C:\\a.gif"}})");
  Shapes shapes = ActiveDocument(word).FloatingShapes();
  EXPECT_EQ(ErrorOf([&] { shapes.Item(0); }), kNoSuchMember);
  EXPECT_EQ(ErrorOf([&] { shapes.Item(2); }), kNoSuchMember);
  EXPECT_EQ(ErrorOf([&] { ActiveDocument(word).InlineShapes().Item(1); }), kNoSuchMember);
  // Shapes are also found by name, without case.
  auto byName =
      AsObject(word.Collection(doc, "Shapes")->Call("Item", {Value(std::string("logo"))}));
  EXPECT_EQ(byName, word.ShapeAt(doc, "Shapes", 1));
  EXPECT_EQ(
      ErrorOf([&] { word.Collection(doc, "Shapes")->Call("Item", {Value(std::string("x"))}); }),
      kNoSuchMember);
  EXPECT_TRUE(Has(ErrorOf([&] { shapes.Item(1).Object()->Get("Colour"); }),
                  "doesn't support this property or method"));
}

class SimWordShapes : public ::testing::Test {
 protected:
  SimWordShapes() {
    doc = word.AddDocument("Report.doc", "C:\\Docs");
    word.SetActive(doc);
    fs.AddFile("C:\\New\\n.gif");
    fs.AddFile("C:\\Docs\\pics\\rel.gif");
    word.SetFileSystem(&fs);
    word.AddShape(doc, "InlineShapes",
                  R"({"LinkFormat": {"SourceFullName": "C:\\Old\\a.gif"}, "AlternativeText": "A",
                      "ScaleHeight": 80, "LockAspectRatio": false,
                      "PictureFormat": {"CropTop": 4, "Brightness": 0.7}})");
    word.AddShape(doc, "Shapes",
                  R"({"Name": "Picture 2", "Left": 10, "AlternativeText": "F",
                      "LinkFormat": {"SourceFullName": "C:\\Old\\f.gif"},
                      "PictureFormat": {"CropLeft": 3}, "Line": {"Visible": 1, "Weight": 3},
                      "Fill": {"ForeColor": 255}})");
    word.AddShape(doc, "Shapes", R"({"Type": 17, "Left": 99})");
  }
  Shapes Floating() { return ActiveDocument(word).FloatingShapes(); }

  SimWord word;
  MemoryFileSystem fs;
  int doc = 0;
};

TEST_F(SimWordShapes, AddPictureAppendsALinkedFloatingPictureWithDefaults) {
  EXPECT_EQ(Floating().Item(2).Name(), "Text Box 3");
  Floating().AddPicture("C:\\New\\n.gif", true, false);
  ASSERT_EQ(Floating().Count(), 3);
  Shape added = Floating().Item(3);
  EXPECT_EQ(added.Type(), kShapeLinkedPicture);
  EXPECT_EQ(added.Name(), "Picture 4");
  EXPECT_EQ(added.Link().SourceFullName(), "C:\\New\\n.gif");
  EXPECT_EQ(added.Link().SourceName(), "n.gif");
  EXPECT_FALSE(added.Link().SavePictureWithDocument());
  // Uncropped; without an anchor Word places it relative to the page, at the picture's own
  // size with its aspect ratio locked.
  EXPECT_EQ(Nums(added, {Prop::PictureCropLeft, Prop::RelativeHorizontalPosition,
                         Prop::RelativeVerticalPosition, Prop::Width, Prop::Height,
                         Prop::LockAspectRatio}),
            (Ds{0, 1, 1, 96, 72, -1}));
  EXPECT_EQ(added.Object(), word.ShapeAt(doc, "Shapes", 3));

  // Word adds only what it can read, a relative name from its own folder, linked in full.
  EXPECT_EQ(ErrorOf([&] { Floating().AddPicture("C:\\Gone\\x.gif", true, true); }),
            kInvalidFileName);
  EXPECT_EQ(ErrorOf([&] { Floating().AddPicture("pics\\rel.gif", true, true); }), kInvalidFileName);
  EXPECT_EQ(Floating().Count(), 3);
  word.SetCurrentFolder("C:\\Docs");
  Floating().AddPicture("pics\\rel.gif", true, true);
  EXPECT_EQ(Floating().Item(4).Link().SourceFullName(), "C:\\Docs\\pics\\rel.gif");
}

// Left and Top count from the origin of the shape's relative-position kinds; changing a kind
// keeps the shape where it is on the page, so the position changes instead.
TEST_F(SimWordShapes, PositionFollowsTheRelativePositionKinds) {
  auto s = word.AddShape(doc, "Shapes",
                         R"({"LinkFormat": {"SourceFullName": "C:\\Old\\p.gif"},
                             "RelativeHorizontalPosition": 2, "RelativeVerticalPosition": 2,
                             "Left": 10, "Top": 20, "@ColumnLeft": 100, "@CharacterLeft": 130,
                             "@ParagraphTop": 400, "@LineTop": 412})");
  Shape shape(s);
  struct Case {
    Prop kind;
    int value;
    Prop pos;
    float expected;
  };
  const Case cases[] = {
      {Prop::RelativeHorizontalPosition, 1, Prop::Left, 110},  // page: 100 + 10
      {Prop::RelativeHorizontalPosition, 0, Prop::Left, 38},   // margin at 72
      {Prop::RelativeHorizontalPosition, 3, Prop::Left, -20},  // character at 130
      {Prop::RelativeHorizontalPosition, 2, Prop::Left, 10},   // back to the column
      {Prop::RelativeVerticalPosition, 1, Prop::Top, 420},     // page: 400 + 20
      {Prop::RelativeVerticalPosition, 3, Prop::Top, 8},       // line at 412
      {Prop::RelativeVerticalPosition, 0, Prop::Top, 348},     // margin at 72
      {Prop::RelativeVerticalPosition, 2, Prop::Top, 20},
  };
  for (const Case& c : cases) {
    shape.Put(c.kind, Value(std::int32_t{c.value}));
    EXPECT_FLOAT_EQ(AsNumber(shape.Get(c.pos)), c.expected) << PathOf(c.kind) << " " << c.value;
  }
  // A position written while relative to the page lands there whatever the anchor.
  shape.Put(Prop::RelativeVerticalPosition, Value(std::int32_t{1}));
  shape.Put(Prop::Top, Value(500.0f));
  shape.Put(Prop::RelativeVerticalPosition, Value(std::int32_t{2}));
  EXPECT_FLOAT_EQ(AsNumber(shape.Get(Prop::Top)), 100);
}

TEST_F(SimWordShapes, ALockedAspectRatioRescalesTheOtherSide) {
  Shape in = ActiveDocument(word).InlineShapes().Item(1);  // unlocked in the fixture
  in.Put(Prop::Height, Value(72.0f));
  EXPECT_EQ(Nums(in, {Prop::Width, Prop::Height}), (Ds{48, 72}));
  in.Put(Prop::LockAspectRatio, Value(true));
  in.Put(Prop::Height, Value(36.0f));
  EXPECT_EQ(Nums(in, {Prop::Width, Prop::Height}), (Ds{24, 36}));
  in.Put(Prop::Width, Value(48.0f));
  EXPECT_EQ(Nums(in, {Prop::Width, Prop::Height}), (Ds{48, 72}));
}

// Word's order rules for a re-created picture: flips only by Flip (turning the rotation too),
// points end percent, cell layout only when wrapped, the transparent colour only with a
// transparent background, a hyperlink only through Hyperlinks.
TEST_F(SimWordShapes, CarriedValuesFollowWordsOrderRules) {
  auto s = word.AddShape(doc, "Shapes",
                         R"({"LinkFormat": {"SourceFullName": "C:\\Old\\p.gif"}, "Rotation": 30,
                             "WidthRelative": 40, "LeftRelative": 10,
                             "Hyperlink": {"Address": "http://x/", "ScreenTip": "Tip"}})");
  WObjectPtr o = s;
  EXPECT_EQ(AsText(Get(s, "Hyperlink.ScreenTip")), "Tip");
  EXPECT_EQ(AsText(Get(word.ShapeAt(doc, "Shapes", 1), "Title")), "");
  EXPECT_THROW(o->Put("HorizontalFlip", Value(std::int32_t{-1})), WordError);
  for (Ds want : {Ds{-1, 0, 330}, Ds{0, 0, 30}}) {
    o->Call("Flip", {Value(std::int32_t{0})});
    EXPECT_EQ(Nums(o, {"HorizontalFlip", "VerticalFlip", "Rotation"}), want);
  }
  EXPECT_THROW(o->Call("Flip", {Value(std::int32_t{2})}), WordError);

  o->Put("Height", Value(20.0f));
  EXPECT_EQ(Nums(o, {"WidthRelative", "LeftRelative"}), (Ds{40, 10}));
  o->Put("Width", Value(20.0f));
  o->Put("Left", Value(20.0f));
  EXPECT_EQ(Nums(o, {"WidthRelative", "LeftRelative"}), (Ds{-999999, -999999}));

  for (int wrap : {3, 0}) {
    s->Set("LayoutInCell", Value(std::int32_t{-1}));
    AsObject(o->Get("WrapFormat"))->Put("Type", Value(std::int32_t{wrap}));
    o->Put("LayoutInCell", Value(std::int32_t{0}));
    EXPECT_EQ(AsLong(o->Get("LayoutInCell")), wrap == 3 ? -1 : 0) << wrap;
  }
  WObjectPtr pf = AsObject(o->Get("PictureFormat"));
  for (int background : {0, -1}) {
    pf->Put("TransparentBackground", Value(std::int32_t{background}));
    pf->Put("TransparencyColor", Value(std::int32_t{0x00FF00}));
    EXPECT_EQ(AsLong(pf->Get("TransparencyColor")), background ? 0x00FF00 : 0xFFFFFF);
  }

  WObjectPtr plain = Floating().Item(1).Object();
  EXPECT_THROW(plain->Get("Hyperlink"), WordError);
  WObjectPtr links = AsObject(word.Document(doc)->Get("Hyperlinks"));
  links->Call("Add", {Value(plain), Value(std::string("C:\\x.doc")), Value(std::string("Mark"))});
  EXPECT_EQ(AsText(Get(word.ShapeAt(doc, "Shapes", 1), "Hyperlink.SubAddress")), "Mark");
  EXPECT_EQ(AsText(Get(word.ShapeAt(doc, "Shapes", 1), "Hyperlink.ScreenTip")), "");
  EXPECT_EQ(AsLong(links->Get("Count")), 2);
  EXPECT_THROW(links->Call("Add", {Value(std::string("no shape"))}), WordError);
}

TEST_F(SimWordShapes, DeleteMovesLaterShapesForwardAndKillsTheDeletedOne) {
  Shape first = Floating().Item(1);
  first.Select();
  EXPECT_EQ(word.SelectedShape(doc), word.ShapeAt(doc, "Shapes", 1));
  first.Delete();
  EXPECT_EQ(word.SelectedShape(doc), nullptr);
  ASSERT_EQ(Floating().Count(), 1);
  EXPECT_EQ(Floating().Item(1).Type(), 17);
  EXPECT_EQ(ErrorOf([&] { first.Name(); }), kObjectDeleted);
  EXPECT_EQ(ErrorOf([&] { first.Delete(); }), kObjectDeleted);
  Floating().AddPicture("C:\\New\\n.gif", true, true);
  EXPECT_EQ(word.ShapeAt(doc, "Shapes", 2)->Label(), "Documents(1).Shapes(2)");
}

TEST_F(SimWordShapes, PickUpAndApplyCarryFillLineAndShadowOnly) {
  Shape from = Floating().Item(1), to = Floating().Item(2);
  to.Apply();  // nothing picked up yet: nothing changes
  EXPECT_EQ(AsLong(Get(word.ShapeAt(doc, "Shapes", 2), "Line.Visible")), 0);
  from.PickUp();
  from.Object()->Put("Left", Value(50.0f));  // later changes are not carried
  to.Apply();
  auto target = word.ShapeAt(doc, "Shapes", 2);
  EXPECT_EQ((Ds{AsNumber(Get(target, "Line.Visible")), AsNumber(Get(target, "Line.Weight")),
                AsNumber(Get(target, "Fill.ForeColor")), AsNumber(to.Get(Prop::Left))}),
            (Ds{1, 3, 255, 99}));
  EXPECT_EQ(AsText(to.Get(Prop::AlternativeText)), "");
}

TEST_F(SimWordShapes, WritingSourceFullNameRelinksAndReloadsAsWordDoes) {
  Shape in = ActiveDocument(word).InlineShapes().Item(1);
  in.Link().SetSourceFullName("D:\\New Pics\\b.gif");
  EXPECT_EQ(in.Link().SourceName(), "b.gif");
  EXPECT_EQ(AsText(Get(word.ShapeAt(doc, "InlineShapes", 1), "LinkFormat.SourcePath")),
            "D:\\New Pics");
  // The reloaded picture has Word's defaults again: what the save must restore.
  EXPECT_EQ(AsText(in.Get(Prop::AlternativeText)), "");
  EXPECT_EQ(Nums(in, {Prop::ScaleHeight, Prop::LockAspectRatio, Prop::PictureCropTop,
                      Prop::PictureBrightness}),
            (Ds{100, -1, 0, 0.5}));

  Shape fl = Floating().Item(1);
  fl.Link().SetSourceFullName("D:\\f2.gif");
  EXPECT_EQ(Nums(fl, {Prop::PictureCropLeft, Prop::Left}), (Ds{0, 10}));
  EXPECT_EQ(AsText(fl.Get(Prop::AlternativeText)), "F");
}

// Objects a client still holds after Word has gone fail cleanly (no stale memory).
TEST(SimWordDocuments, ObjectsKeptPastTheStandInFailCleanly) {
  WObjectPtr collection;
  {
    auto word = LoadWordFixtureFile(kTwoDocs);
    collection = AsObject(word->Document(2)->Get("InlineShapes"));
  }
  EXPECT_THROW(collection->Get("Count"), WordError);
}

// As Word documents: AddPicture anchors at the selection, relative to the page, or in a given
// Range's first paragraph, relative to it; a shape is on its anchor's page; Shape.Anchor is a
// Range that outlives the shape.
class SimWordAnchors : public ::testing::Test {
 protected:
  SimWordAnchors() {
    word = LoadWordFixtureFile(std::string(RAVEL_FIXTURES) + "/save-anchors.json");
  }
  Shapes Floating() { return ActiveDocument(*word).FloatingShapes(); }
  std::shared_ptr<SimWord> word;
};

TEST_F(SimWordAnchors, AddPictureAnchorsAtTheSelectionOrAtTheGivenRange) {
  EXPECT_EQ(word->PageOf(1, word->ShapeAt(1, "Shapes", 2)), 2);
  Shape plain = Floating().AddPicture("C:\\New\\c.gif", true, true);
  EXPECT_EQ(SimWord::AnchorParagraph(word->ShapeAt(1, "Shapes", 3)), 1);
  EXPECT_EQ(AsLong(plain.Get(Prop::RelativeVerticalPosition)), 1);

  Shape chart = Floating().Item(2);
  chart.Select();  // the insertion point goes to the shape's anchor
  EXPECT_EQ(word->SelectionParagraph(1), 4);
  Shape at_selection = Floating().AddPicture("C:\\New\\c.gif", true, true);
  EXPECT_EQ(SimWord::AnchorParagraph(std::dynamic_pointer_cast<SimObject>(at_selection.Object())),
            4);

  word->SetSelectionParagraph(1, 1);
  WObjectPtr range = chart.Anchor();
  chart.Delete();
  EXPECT_EQ(ErrorOf([&] { chart.Anchor(); }), kObjectDeleted);
  // The Range still anchors a new picture on page 2, relative to column and paragraph.
  EXPECT_EQ(AsLong(range->Get("Start")), 300);
  Shape anchored = Floating().AddPicture("C:\\New\\c.gif", true, false, range);
  auto model = std::dynamic_pointer_cast<SimObject>(anchored.Object());
  EXPECT_EQ(SimWord::AnchorParagraph(model), 4);
  EXPECT_EQ(word->PageOf(1, model), 2);
  EXPECT_EQ(Nums(anchored, {Prop::RelativeHorizontalPosition, Prop::RelativeVerticalPosition}),
            (Ds{2, 2}));
  EXPECT_FLOAT_EQ(AsNumber(model->At("@ParagraphTop")), 310);
  EXPECT_FALSE(anchored.Link().SavePictureWithDocument());
}

TEST_F(SimWordAnchors, AddPictureRefusesWhatWordRefusesAndTakesOmittedArguments) {
  WObjectPtr shapes = word->Collection(1, "Shapes");
  const Value omitted, file(std::string("C:\\New\\c.gif")), yes(true);
  // Omitted in the middle, the anchor given last.
  WObjectPtr range = Floating().Item(2).Anchor();
  Value made = shapes->Call(
      "AddPicture", {file, yes, omitted, omitted, Value(20.0f), omitted, omitted, Value(range)});
  auto s = std::dynamic_pointer_cast<SimObject>(AsObject(made));
  EXPECT_FLOAT_EQ(AsNumber(s->At("Top")), 20);
  EXPECT_EQ(SimWord::AnchorParagraph(s), 4);
  int count = word->ShapeCount(1, "Shapes");
  // An anchor that is no Range, a Left that is no number.
  const Value here(std::string("here")), left(std::string("left"));
  EXPECT_THROW(
      shapes->Call("AddPicture", {file, yes, yes, omitted, omitted, omitted, omitted, here}),
      WordError);
  EXPECT_THROW(shapes->Call("AddPicture", {file, yes, yes, left}), WordError);
  // A Range of another document is not this document's anchor.
  int other = word->AddDocument("Other.doc", "C:\\Docs");
  word->AddShape(other, "Shapes",
                 R"({"Name": "X", "LinkFormat": {"SourceFullName": "C:\\x.gif"}})");
  WObjectPtr foreign = Shape(word->ShapeAt(other, "Shapes", 1)).Anchor();
  EXPECT_THROW(Floating().AddPicture("C:\\New\\c.gif", true, true, foreign), WordError);
  EXPECT_EQ(word->ShapeCount(1, "Shapes"), count);
}

// Crops count against the original size and cut the frame, at the picture's scale.
TEST_F(SimWordAnchors, CroppingCutsTheFrameRelativeToTheOriginalSize) {
  Shape chart = Floating().Item(2);               // 80 x 150 shown, 93 x 163 original, at scale 1
  chart.Put(Prop::PictureCropTop, Value(18.0f));  // 10 more cut
  EXPECT_FLOAT_EQ(AsNumber(chart.Get(Prop::Height)), 70);
  chart.Put(Prop::PictureCropLeft, Value(0.0f));  // 6 given back
  EXPECT_FLOAT_EQ(AsNumber(chart.Get(Prop::Width)), 156);
  Shape added = Floating().AddPicture("C:\\New\\c.gif", true, true);  // 96 x 72
  added.Put(Prop::LockAspectRatio, Value(false));
  added.Put(Prop::Width, Value(192.0f));  // scale 2 across
  added.Put(Prop::PictureCropRight, Value(6.0f));
  EXPECT_EQ(Nums(added, {Prop::Width, Prop::Height}), (Ds{180, 72}));
}

// Index follows z-order: shapes behind the text first, one moved or added there on top of them.
TEST_F(SimWordAnchors, IndexFollowsTheZOrder) {
  auto names = [&] {
    std::vector<std::string> out;
    for (int i = 1; i <= word->ShapeCount(1, "Shapes"); ++i)
      out.push_back(AsText(word->ShapeAt(1, "Shapes", i)->At("Name")));
    return out;
  };
  word->SetNewPictureWrap(5);
  Shape added = Floating().AddPicture("C:\\New\\c.gif", true, true);
  EXPECT_EQ(names(), (std::vector<std::string>{"Backdrop", "Picture 1", "Chart"}));
  EXPECT_EQ(Floating().Item(2).Name(), added.Name());
  EXPECT_EQ(added.ZOrderPosition(), 2);
  EXPECT_EQ(word->ShapeAt(1, "Shapes", 2)->Label(), "Documents(1).Shapes(2)");
  added.Put(Prop::WrapType, Value(std::int32_t{0}));  // out in front: on top of all
  EXPECT_EQ(names(), (std::vector<std::string>{"Backdrop", "Chart", "Picture 1"}));
  Floating().Item(2).Put(Prop::WrapType, Value(std::int32_t{5}));
  EXPECT_EQ(names(), (std::vector<std::string>{"Backdrop", "Chart", "Picture 1"}));
  Floating().Item(1).Put(Prop::WrapType, Value(std::int32_t{3}));
  EXPECT_EQ(names(), (std::vector<std::string>{"Chart", "Picture 1", "Backdrop"}));
  EXPECT_EQ(added.ZOrderPosition(), 2);
  Floating().Item(3).Delete();
  EXPECT_EQ(ErrorOf([&] { Floating().Item(2).Object()->Put("ZOrderPosition", Value(1)); }),
            "Object doesn't support this property or method: ZOrderPosition");
}

}  // namespace
}  // namespace ravel::sim
