// What a save costs in Word calls per saved item, by kind: each call crosses into Word's
// process. For each kind a document of N such links is saved once with nothing selected (the
// fixed part: census, undo clearing per item, the closing re-read) and once with every item
// relinked; the difference divided by N is the cost of writing one item. Floating items are
// found again by name at the position the save predicts, checked with a few calls, so their
// cost stays flat as N grows; where only some of the pictures are relinked (300 of 1,000),
// each new one must also be moved below the others in the stacking order. Prints figures
// only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

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
  const char* json;  // one shape; %d is its number
  const char* ext;
};

const Kind kKinds[] = {
    {"in-line linked picture", "InlineShapes",
     R"({"LinkFormat": {"SourceFullName": "C:\\Old\\item%d.gif"}, "AlternativeText": "A",
         "ScaleHeight": 80, "PictureFormat": {"CropTop": 2}})",
     ".gif"},
    {"in-line linked OLE object", "InlineShapes",
     R"({"Type": 2, "LinkFormat": {"SourceFullName": "C:\\Old\\item%d.xls"},
         "OLEFormat": {"ClassType": "Excel.Sheet.8"}, "PictureFormat": {"Brightness": 0.6}})",
     ".xls"},
    {"floating linked picture", "Shapes",
     R"({"Name": "Logo %d", "LinkFormat": {"SourceFullName": "C:\\Old\\item%d.gif"},
         "Left": 10, "WrapFormat": {"Type": 0}})",
     ".gif"},
    {"floating linked OLE object", "Shapes",
     R"({"Name": "Object %d", "Type": 10, "LinkFormat": {"SourceFullName": "C:\\Old\\item%d.doc"},
         "OLEFormat": {"ClassType": "Word.Document.8"}})",
     ".doc"},
};

struct Run {
  long calls = 0;
  double ms = 0;
  int items = 0;  // listed and saved: the list holds at most 300 items
};

Run Save(const Kind& kind, int n, bool relink) {
  auto word = std::make_shared<sim::SimWord>();
  int doc = word->AddDocument("Report.doc", "C:\\Docs");
  word->SetActive(doc);
  sim::MemoryFileSystem fs;
  for (int k = 1; k <= n; ++k) {
    char shape[512];
    std::snprintf(shape, sizeof shape, kind.json, k, k);
    word->AddShape(doc, kind.collection, shape);
    fs.AddFile("C:\\New\\item" + std::to_string(k) + kind.ext);
  }
  word->SetFileSystem(&fs);
  Globals g;
  sim::ScriptedHost host;
  Form_Main main(g, *word, fs, host);
  main.Check_ShowHiddenObjects.SetValue(1);
  ReadInventory(main);
  for (int i = 1; i <= g.ItemCount; ++i) {
    main.ListView_IS.SetSelected(i, relink);
    if (!relink) continue;
    g.Item(i).SourcePath = "C:\\New\\item" + std::to_string(i) + kind.ext;
    g.Item(i).Changed = true;
  }
  word->Context().Reset();
  auto t0 = std::chrono::steady_clock::now();
  main.Command_Save_Click();
  auto t1 = std::chrono::steady_clock::now();
  return {word->Context().calls, std::chrono::duration<double, std::milli>(t1 - t0).count(),
          std::min(n, kCapacity)};
}

}  // namespace

int main() {
  std::printf("Word calls of one save, through the stand-in (N items of one kind)\n");
  std::printf("%-28s %5s %6s %12s %12s %14s %10s\n", "kind", "N", "saved", "fixed/item",
              "saved/item", "calls in all", "wall ms");
  for (const Kind& kind : kKinds) {
    bool floating = std::string(kind.collection) == "Shapes";
    for (int n : {10, 100, 1000}) {
      if (n == 1000 && !floating) continue;
      Run base = Save(kind, n, false);
      Run full = Save(kind, n, true);
      std::printf("%-28s %5d %6d %12.1f %12.1f %14ld %10.2f\n", kind.label, n, full.items,
                  static_cast<double>(base.calls) / n,
                  static_cast<double>(full.calls - base.calls) / full.items, full.calls, full.ms);
    }
  }
  return 0;
}
