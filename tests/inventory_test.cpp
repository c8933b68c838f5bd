// The inventory reader: the items, fields and rows, failures, the 300-item table, its calls.
#include <gtest/gtest.h>

#include <set>

#include "app/Form_Main.h"
#include "inventory/Inventory.h"
#include "posix/PosixFileSystem.h"
#include "relink/FileOP.h"
#include "sim/MemoryFileSystem.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"

namespace ravel {
namespace {

using Cells = std::array<std::string, ListView::kColumns>;
constexpr const char* kReading = "Reading Document Inlineshape Information...";

struct Reading {
  explicit Reading(std::shared_ptr<sim::SimWord> w)
      : word(std::move(w)), main(g, *word, fs, host) {}

  std::vector<Cells> Rows() const {
    std::vector<Cells> rows;
    for (int n = 1; n <= main.ListView_IS.Count(); ++n)
      rows.push_back(main.ListView_IS.RowOf(n).cells);
    return rows;
  }
  void ShowHidden(bool on) { main.Check_ShowHiddenObjects.SetValue(on ? 1 : 0); }
  void Read() { ReadInventory(main); }

  Globals g;
  sim::MemoryFileSystem fs;
  sim::ScriptedHost host;
  std::shared_ptr<sim::SimWord> word;
  Form_Main main;
};

Cells RowOf(const std::string& joined) {
  Cells out;
  std::size_t from = 0;
  for (auto& cell : out) {
    auto bar = std::min(joined.find('|', from), joined.size());
    cell = joined.substr(from, bar - from);
    from = bar + 1;
  }
  return out;
}

std::shared_ptr<sim::SimWord> Kinds() {
  return sim::LoadWordFixtureFile(std::string(RAVEL_FIXTURES) + "/inventory-kinds.json");
}

std::shared_ptr<sim::SimWord> EmptyWord() {
  auto w = std::make_shared<sim::SimWord>();
  w->SetActive(w->AddDocument("Big.doc", "C:\\Docs"));
  return w;
}

std::string Picture(const std::string& path) {
  return R"({"LinkFormat": {"SourceFullName": ")" + path + R"("}})";
}
std::string FloatingOle(const std::string& path) {
  return R"({"Type": 10, "LinkFormat": {"SourceFullName": ")" + path +
         R"("}, "OLEFormat": {"ClassType": "Excel.Sheet.8"}})";
}

TEST(Inventory, TakesLinksInLineFirstWithTheirFieldsAndRows) {
  Reading r(Kinds());
  r.fs.AddFile("C:\\Old\\t.xls");
  r.fs.AddFile("C:\\Docs\\pics\\rel.gif");
  r.ShowHidden(true);
  r.g.LinkTable[1].Changed = true;  // left from an earlier read
  r.g.LinkTable[1].Selected = true;
  r.Read();

  ASSERT_EQ(r.g.ItemCount, 5);
  EXPECT_EQ(r.Rows(), (std::vector<Cells>{
                          {"C:\\Old\\a.gif", "Picture", "False", "True", "False", "False"},
                          {"C:\\Old\\t.xls", "Excel.Sheet.8", "True", "", "True", "False"},
                          {"pics\\rel.gif", "Picture", "True", "True", "False", "False"},
                          {"C:\\Old\\f.gif", "Picture", "False", "True", "False", "True"},
                          {"C:\\Old\\w.doc", "Word.Document.8", "False", "", "False", "False"},
                      }));
  // Where each item is, its file name, and nothing left from the earlier read.
  std::vector<std::string> where;
  for (int n = 1; n <= 5; ++n) {
    const LinkItem& item = r.g.Item(n);
    where.push_back(item.FileName + " " + std::to_string(item.ShapeIndex) + " " +
                    std::to_string(item.InLine));
    EXPECT_FALSE(item.Changed || item.Selected) << n;
  }
  EXPECT_EQ(where, (std::vector<std::string>{"a.gif 1 1", "t.xls 3 1", "rel.gif 6 1", "f.gif 1 0",
                                             "w.doc 3 0"}));
  EXPECT_EQ(r.g.Item(1).SaveWithDocument, Flag::True);
  EXPECT_EQ(r.g.Item(1).Locked, Flag::False);
  EXPECT_EQ(r.main.Text_DocumentName.Text(), "Report.doc");
  EXPECT_EQ(r.main.Text_NewDestPath.Text(), "C:\\Docs");
  EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Idle");
  EXPECT_EQ(r.main.ProgressBar_main.Max(), 6 + 5);
  EXPECT_EQ(r.main.ProgressBar_main.Value(), 0);
  EXPECT_FALSE(r.g.SuppressClickEvents);
  EXPECT_TRUE(r.main.ListView_IS.ExtendedStyle() & 0x20);  // full-row selection
}

TEST(Inventory, ADocumentWithoutShapesGetsTheSuffixAndLeavesTheProgressAlone) {
  Reading r(EmptyWord());
  r.main.Label_ProgressBar.SetText("Saving Information to Document Object...");
  r.main.ProgressBar_main.SetMax(40);
  r.main.ProgressBar_main.SetValue(7);
  r.Read();
  EXPECT_EQ(r.main.Text_DocumentName.Text(), "Big.doc - No LinkedObjects Found");
  EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Saving Information to Document Object...");
  EXPECT_EQ(r.main.ProgressBar_main.Value(), 7);
  EXPECT_EQ(r.g.ItemCount, 0);
  EXPECT_FALSE(r.g.SuppressClickEvents);

  // Shapes, none of them linked: no suffix, the read ends idle.
  r.word->AddShape(1, "InlineShapes", R"({"Type": 3})");
  r.word->AddShape(1, "Shapes", R"({"Type": 17})");
  r.Read();
  EXPECT_EQ(r.main.Text_DocumentName.Text(), "Big.doc");
  EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Idle");
  EXPECT_EQ(r.main.ProgressBar_main.Value(), 0);
  EXPECT_EQ(r.main.ListView_IS.Count(), 0);
}

TEST(Inventory, NoDocumentOrNoCountEndsTheReadWithNoDocumentAvailable) {
  Reading r(Kinds());
  r.Read();
  ASSERT_EQ(r.main.ListView_IS.Count(), 4);

  r.word->SetActive(0);
  r.main.Label_ProgressBar.SetText(kReading);
  r.Read();
  EXPECT_EQ(r.main.Text_DocumentName.Text(), "No Document Available");
  EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Idle");
  EXPECT_EQ(r.main.ProgressBar_main.Value(), 0);
  EXPECT_EQ(r.main.ListView_IS.Count(), 0);
  EXPECT_EQ(r.g.ItemCount, 0);
  EXPECT_FALSE(r.g.SuppressClickEvents);
  EXPECT_TRUE(r.host.boxes.empty());

  r.word->SetActive(1);
  r.word->AddFault("Documents(1).Shapes", "Count", sim::Access::Get, true);
  r.Read();
  EXPECT_EQ(r.main.Text_DocumentName.Text(), "No Document Available");
  EXPECT_EQ(r.main.ListView_IS.Count(), 0);

  // Stopped by the user midway: a list read in part is no list to save by.
  Reading s(Kinds());
  s.word->CancelAfter(30);
  s.Read();
  EXPECT_EQ(s.g.ItemCount, 0);
  EXPECT_EQ(s.main.ListView_IS.Count(), 0);
  EXPECT_EQ(s.main.Label_ProgressBar.Text(), "Idle");
  EXPECT_FALSE(s.g.SuppressClickEvents);
}

// One failing call leaves one field empty, or passes over an item of unknown (link) type.
TEST(Inventory, OneFailingCallLeavesOneEmptyFieldOrPassesOneItemOver) {
  struct Case {
    const char* object;  // below Documents(1)
    const char* member;
    int item;         // the item affected, all others read in full; negative: passed over
    const char* row;  // the item's row, its cells joined by '|'
    const char* file = "";
    sim::Access access = sim::Access::Get;
  };
  const Case cases[] = {
      {"InlineShapes(1)", "Type", -1, ""},
      {"InlineShapes(1)", "LinkFormat", -1, ""},
      {"InlineShapes(1).LinkFormat", "Type", -1, ""},
      // The collection cannot hand out the item at all.
      {"Shapes", "Item", -4, "", "", sim::Access::Call},
      {"InlineShapes(1).LinkFormat", "SavePictureWithDocument", 1,
       "C:\\Old\\a.gif|Picture|False||False|False", "a.gif"},
      {"InlineShapes(1).LinkFormat", "Locked", 1, "C:\\Old\\a.gif|Picture|False|True||False",
       "a.gif"},
      // A floating item that does not tell its lock state.
      {"Shapes(3).LinkFormat", "Locked", 4, "C:\\Old\\w.doc|Word.Document.8|False||N/A|False",
       "w.doc"},
      // Without a source an OLE object is shown by its class type, a picture by nothing.
      {"InlineShapes(3).LinkFormat", "SourceFullName", 2,
       "Excel.Sheet.8|Excel.Sheet.8|False||True|False"},
      {"InlineShapes(1).LinkFormat", "SourceFullName", 1, "|Picture|False|True|False|False"},
      {"InlineShapes(3).OLEFormat", "ClassType", 2, "C:\\Old\\t.xls||False||True|False", "t.xls"},
  };
  Reading clean(Kinds());
  clean.Read();
  for (const Case& c : cases) {
    const std::string object = std::string("Documents(1)") + (*c.object ? "." : "") + c.object;
    SCOPED_TRACE(object + " " + c.member);
    // Read in full first: a second read must not keep what the first one found.
    Reading r(Kinds());
    r.Read();
    r.word->AddFault(object, c.member, c.access);
    r.Read();
    EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Idle");
    auto rows = clean.Rows();
    if (c.item < 0)
      rows.erase(rows.begin() + (-c.item - 1));
    else
      rows[c.item - 1] = RowOf(c.row);
    EXPECT_EQ(r.Rows(), rows);
    EXPECT_EQ(c.item > 0 ? r.g.Item(c.item).FileName : std::string(), c.file);
  }
}

// While the list is rebuilt the window stays responsive, its check boxes idle, the status
// line naming each link read. Word's calls cross processes: each is fetched once.
TEST(Inventory, TheWindowFollowsTheReadWithinTheCallBudget) {
  Reading r(Kinds());
  std::vector<std::string> status;
  bool suppressed = true;
  r.host.on_pump = [&] {
    status.push_back(r.main.Label_ProgressBar.Text());
    suppressed = suppressed && r.g.SuppressClickEvents;
  };
  r.word->AddFault("Documents(1).InlineShapes(3).LinkFormat", "SourceFullName", sim::Access::Get);
  r.Read();
  ASSERT_FALSE(status.empty());
  EXPECT_TRUE(suppressed);
  EXPECT_FALSE(r.g.SuppressClickEvents);
  for (const char* name : {"a.gif", "rel.gif", "w.doc"})
    EXPECT_NE(std::find(status.begin(), status.end(), kReading + std::string(name)), status.end())
        << name;
  EXPECT_EQ(std::find(status.begin(), status.end(), kReading + std::string("t.xls")), status.end());

  Reading b(EmptyWord());
  const int kPictures = 10;
  for (int k = 0; k < kPictures; ++k) {
    b.fs.AddFile("C:\\Old\\p" + std::to_string(k) + ".gif");
    b.word->AddShape(1, "InlineShapes", Picture("C:\\\\Old\\\\p" + std::to_string(k) + ".gif"));
  }
  b.fs.AddFile("C:\\Old\\t.xls");  // every source there: no folder asked for the rule
  b.word->AddShape(1, "Shapes", FloatingOle("C:\\\\Old\\\\t.xls"));
  sim::SimContext& ctx = b.word->Context();
  ctx.Reset();
  b.Read();
  ASSERT_EQ(b.g.ItemCount, kPictures + 1);
  // Seven calls a picture, nine an OLE object, a dozen for the document and collections.
  EXPECT_LE(ctx.calls, 7 * kPictures + 9 + 12) << ctx.calls;
}

// A source exists as it stands or below the document's folder (C:\Docs).
TEST(Inventory, AFileIsFoundAsItStandsOrRelativeToTheDocumentsFolder) {
  struct Case {
    const char* source;  // as the JSON fixture spells it
    const char* exists;
  } cases[] = {
      {"pics\\\\a.gif", "True"},                // relative, below the document's folder
      {"pics\\\\b.gif", "False"},               // relative, only below another folder
      {"\\\\pics\\\\a.gif", "True"},            // rooted without a drive: below the folder too
      {"C:\\\\Docs\\\\pics\\\\a.gif", "True"},  // absolute, there
      {"C:\\\\pics\\\\a.gif", "False"},         // absolute, missing
      {"", "False"},
  };
  Reading r(EmptyWord());
  r.fs.AddFile("C:\\Docs\\pics\\a.gif");
  r.fs.AddFile("C:\\Other\\pics\\b.gif");
  for (const Case& c : cases) r.word->AddShape(1, "InlineShapes", Picture(c.source));
  r.Read();
  ASSERT_EQ(r.g.ItemCount, static_cast<int>(std::size(cases)));
  for (int i = 1; i <= r.g.ItemCount; ++i)
    EXPECT_EQ(r.main.ListView_IS.Cell(i, 2), cases[i - 1].exists) << cases[i - 1].source;
}

TEST(Inventory, KeepsThe300ItemsTheTableHoldsAndSaysHowManyThereAre) {
  Reading r(EmptyWord());
  for (int k = 0; k < 290; ++k) r.word->AddShape(1, "InlineShapes", Picture("C:\\\\p.gif"));
  for (int k = 0; k < 15; ++k) r.word->AddShape(1, "Shapes", FloatingOle("C:\\\\t.xls"));
  for (int k = 0; k < 5; ++k) r.word->AddShape(1, "Shapes", Picture("C:\\\\f.gif"));
  r.word->Context().Reset();
  r.Read();
  EXPECT_EQ(r.g.ItemCount, kCapacity);
  EXPECT_EQ(r.main.ListView_IS.Count(), kCapacity);
  EXPECT_EQ(r.g.Item(300).ShapeIndex, 10);
  EXPECT_EQ(r.g.Item(300).InLine, 0);
  EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Only the first 300 of 305 links are listed");
  EXPECT_EQ(r.main.ProgressBar_main.Value(), 0);
  // Links beyond the table are only counted: their sources are never read.
  EXPECT_EQ(r.word->Context().calls_by_member["SourceFullName"], kCapacity);

  r.ShowHidden(true);
  r.Read();
  EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Only the first 300 of 310 links are listed");
  EXPECT_EQ(r.main.ListView_IS.Count(), kCapacity);

  // Exactly 300: all listed, nothing to say.
  r.ShowHidden(false);
  for (int k = 0; k < 5; ++k) r.word->ShapeAt(1, "Shapes", 1)->Call("Delete");
  r.Read();
  EXPECT_EQ(r.g.ItemCount, kCapacity);
  EXPECT_EQ(r.main.Label_ProgressBar.Text(), "Idle");
}

// The sample document the demo serves, read through the same loader with the real files.
TEST(Inventory, ReadsTheSampleDocument) {
  std::string examples = RAVEL_EXAMPLES;
  auto word = sim::LoadWordFixtureFile(examples + "/sample-document.json");
  Globals g;
  PosixFileSystem fs;
  sim::ScriptedHost host;
  Form_Main main(g, *word, fs, host);
  main.Check_ShowHiddenObjects.SetValue(1);
  ReadInventory(main);

  EXPECT_EQ(main.Text_DocumentName.Text(), "Quarterly Report.doc");
  EXPECT_EQ(main.Text_NewDestPath.Text(), sim::FixtureDirOf(examples + "/sample-document.json"));
  ASSERT_EQ(g.ItemCount, 12);
  std::set<std::string> types, hidden, existing, names;
  for (int n = 1; n <= g.ItemCount; ++n) {
    types.insert(g.Item(n).TypeText);
    names.insert(g.Item(n).FileName);
    if (g.Item(n).Hidden) hidden.insert(g.Item(n).FileName);
    if (main.ListView_IS.Cell(n, 2) == "True") existing.insert(g.Item(n).FileName);
  }
  EXPECT_EQ(existing, std::set<std::string>{"office.jpg"});
  EXPECT_EQ(types, (std::set<std::string>{"Picture", "Excel.Sheet.8", "Word.Document.8"}));
  EXPECT_EQ(hidden, (std::set<std::string>{"stamp.gif", "arrow.png"}));
  EXPECT_EQ(names.count("Übersicht.png"), 1u);
}

}  // namespace
}  // namespace ravel
