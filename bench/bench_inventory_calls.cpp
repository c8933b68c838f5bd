// What one read of the document costs in Word calls: each call crosses into Word's process,
// so the count per item is what the user waits for. Builds a 300-link document in the
// stand-in, reads it, and prints the calls per listed item (in all and per kind of item)
// and the wall time. Prints figures only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "inventory/Inventory.h"
#include "sim/MemoryFileSystem.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"

namespace {

using namespace ravel;

struct Kind {
  const char* label;
  const char* collection;
  std::string (*json)(int k);
};

std::string Path(const char* folder, int k, const char* ext) {
  return std::string(folder) + "\\\\item" + std::to_string(k) + ext;
}

const Kind kKinds[] = {
    {"in-line linked picture", "InlineShapes",
     [](int k) {
       return R"({"LinkFormat": {"SourceFullName": ")" + Path("C:\\\\Old", k, ".gif") + R"("}})";
     }},
    {"in-line picture, relative source", "InlineShapes",
     [](int k) {
       return R"({"LinkFormat": {"SourceFullName": ")" + Path("pics", k, ".png") + R"("}})";
     }},
    {"in-line linked OLE object", "InlineShapes",
     [](int k) {
       return R"({"Type": 2, "LinkFormat": {"SourceFullName": ")" + Path("C:\\\\Old", k, ".xls") +
              R"("}, "OLEFormat": {"ClassType": "Excel.Sheet.8"}})";
     }},
    {"floating linked OLE object", "Shapes",
     [](int k) {
       return R"({"Type": 10, "LinkFormat": {"SourceFullName": ")" + Path("C:\\\\Old", k, ".doc") +
              R"("}, "OLEFormat": {"ClassType": "Word.Document.8"}})";
     }},
    {"floating linked picture (hidden)", "Shapes",
     [](int k) {
       return R"({"Type": 11, "LinkFormat": {"SourceFullName": ")" + Path("C:\\\\Old", k, ".jpg") +
              R"("}})";
     }},
};

// Members called on an item and its parts; the rest are the document's, once per read.
const char* const kItemMembers[] = {"Item",       "Type",           "LinkFormat",
                                    "SourceName", "SourceFullName", "SavePictureWithDocument",
                                    "Locked",     "OLEFormat",      "ClassType"};
// The document, Activate, Name, Path, FullName, the two collections and their counts, and
// at the end the active document's FullName again.
constexpr long kHeaderCalls = 11;

struct Figures {
  int items = 0;
  long calls = 0, item_calls = 0;
  double ms = 0;
};

Figures Read(sim::SimWord& word, sim::MemoryFileSystem& fs, int repeats) {
  Globals g;
  sim::ScriptedHost host;
  Form_Main main(g, word, fs, host);
  main.Check_ShowHiddenObjects.SetValue(1);
  std::vector<double> times;
  Figures f;
  for (int r = 0; r < repeats; ++r) {
    word.Context().Reset();
    auto t0 = std::chrono::steady_clock::now();
    ReadInventory(main);
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(times.begin(), times.end());
  f.ms = times[times.size() / 2];
  f.items = g.ItemCount;
  f.calls = word.Context().calls;
  for (const char* m : kItemMembers) f.item_calls += word.Context().calls_by_member[m];
  return f;
}

std::shared_ptr<sim::SimWord> NewWord() {
  auto w = std::make_shared<sim::SimWord>();
  w->SetActive(w->AddDocument("Bench.doc", "C:\\Docs"));
  return w;
}

}  // namespace

int main() {
  // The mixed document: 300 links of every kind, with unlinked shapes between them.
  auto word = NewWord();
  sim::MemoryFileSystem fs;
  int listed = 0;
  for (int k = 0; listed < 300; ++k) {
    const Kind& kind = kKinds[k % 5];
    word->AddShape(1, kind.collection, kind.json(k));
    ++listed;
    if (k % 15 == 0) word->AddShape(1, kind.collection, R"({"Type": 3})");
    if (k % 30 == 0) word->AddShape(1, "Shapes", R"({"Type": 17})");
  }
  for (int k = 0; k < 300; k += 2) fs.AddFile("C:\\Old\\item" + std::to_string(k) + ".gif");
  int shapes = word->ShapeCount(1, "InlineShapes") + word->ShapeCount(1, "Shapes");
  Figures mixed = Read(*word, fs, 21);
  std::printf("ReadInventory over the Word stand-in\n");
  std::printf("mixed document: %d shapes, %d links listed (all five kinds below)\n", shapes,
              mixed.items);
  std::printf("  Word calls: %ld in all, %.2f per listed item (%.2f on the item itself)\n",
              mixed.calls, double(mixed.calls) / mixed.items,
              double(mixed.item_calls) / mixed.items);
  std::printf("  wall time: %.3f ms per read (median of 21)\n\n", mixed.ms);

  // Many unlinked floating pictures beside the links: passing one over should cost little.
  {
    auto w = NewWord();
    for (int k = 0; k < 300; ++k) w->AddShape(1, "InlineShapes", kKinds[0].json(k));
    for (int k = 0; k < 3000; ++k) w->AddShape(1, "Shapes", R"({"Type": 13})");
    sim::MemoryFileSystem none;
    Figures f = Read(*w, none, 3);
    // The links alone, read the same way: what remains is the unlinked pictures' cost.
    auto links = NewWord();
    for (int k = 0; k < 300; ++k) links->AddShape(1, "InlineShapes", kKinds[0].json(k));
    Figures l = Read(*links, none, 1);
    std::printf("300 linked in-line pictures and 3,000 unlinked floating pictures:\n");
    std::printf(
        "  Word calls: %ld in all; %.2f per unlinked floating picture beyond %.2f per "
        "link\n\n",
        f.calls, double(f.calls - l.calls) / 3000, double(l.calls - kHeaderCalls) / 300);
  }

  std::printf("per kind, 100 items each      on the item  +other calls    = per item\n");
  for (const Kind& kind : kKinds) {
    auto w = NewWord();
    sim::MemoryFileSystem none;
    for (int k = 0; k < 100; ++k) w->AddShape(1, kind.collection, kind.json(k));
    Figures f = Read(*w, none, 5);
    double item = double(f.item_calls) / f.items;
    double total = double(f.calls - kHeaderCalls) / f.items;
    std::printf("  %-34s %5.2f %12.2f %11.2f\n", kind.label, item, total - item, total);
  }
  std::printf("\n(+other: calls on the document for an item; %ld calls per read besides)\n",
              kHeaderCalls);
  return 0;
}
