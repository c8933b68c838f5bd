// A main window over the Word stand-in loaded with a save fixture, the memory file system
// and the scripted host, for the save tests: read the document, relink items as the
// relinking operations would, select rows, save.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "inventory/Inventory.h"
#include "inventory/Word.h"
#include "sim/MemoryFileSystem.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"

namespace ravel::test {

inline const std::string kSaveKinds = std::string(RAVEL_FIXTURES) + "/save-kinds.json";

// The value below a shape, model-side (uncounted, never failing): "PictureFormat.CropTop".
inline Value ModelValue(const sim::SimObjectPtr& shape, const std::string& path) {
  sim::SimObjectPtr cur = shape;
  std::string rest = path;
  for (auto dot = rest.find('.'); dot != std::string::npos; dot = rest.find('.')) {
    cur = std::dynamic_pointer_cast<sim::SimObject>(AsObject(cur->At(rest.substr(0, dot))));
    rest = rest.substr(dot + 1);
  }
  return cur->At(rest);
}

// Every member of a shape and its parts, as text: equal snapshots mean an untouched shape.
inline std::vector<std::string> ModelSnapshot(const sim::SimObjectPtr& shape,
                                              const std::string& prefix = "") {
  std::vector<std::string> out;
  for (const auto& [name, v] : shape->Props()) {
    if (auto* o = std::get_if<WObjectPtr>(&v)) {
      auto part = std::dynamic_pointer_cast<sim::SimObject>(*o);
      auto sub = ModelSnapshot(part, prefix + name + ".");
      out.insert(out.end(), sub.begin(), sub.end());
    } else if (auto* s = std::get_if<std::string>(&v)) {
      out.push_back(prefix + name + "=" + *s);
    } else {
      out.push_back(prefix + name + "=" + std::to_string(AsNumber(v)));
    }
  }
  return out;
}

struct SaveHarness {
  Globals g;
  std::shared_ptr<sim::SimWord> word;
  sim::MemoryFileSystem fs;
  sim::ScriptedHost host;
  std::unique_ptr<Form_Main> main;

  explicit SaveHarness(const std::string& fixture_file = kSaveKinds)
      : word(sim::LoadWordFixtureFile(fixture_file)) {
    for (const char* f : {"C:\\New\\plain.gif", "C:\\New\\a.gif", "C:\\New\\t.xls",
                          "C:\\New\\c.gif", "C:\\New\\d.doc", "C:\\Docs\\pics\\a.gif"})
      fs.AddFile(f);
    word->SetFileSystem(&fs);
    main = std::make_unique<Form_Main>(g, *word, fs, host);
    main->Check_ShowHiddenObjects.SetValue(1);
    ReadInventory(*main);
    main->NewRootPath = "C:\\New";
  }

  // As a dissolve would: a new source for item n, its row selected.
  void Relink(int n, const std::string& source) {
    g.Item(n).SourcePath = source;
    g.Item(n).Changed = true;
    main->ListView_IS.SetSelected(n, true);
  }
  void Select(int n, bool on = true) { main->ListView_IS.SetSelected(n, on); }
  void Save() { main->Command_Save_Click(); }

  sim::SimObjectPtr Inline(int i) const { return word->ShapeAt(1, "InlineShapes", i); }
  sim::SimObjectPtr Floating(int i) const { return word->ShapeAt(1, "Shapes", i); }
  int FloatingCount() const { return word->ShapeCount(1, "Shapes"); }
  std::string SourceOf(const sim::SimObjectPtr& s) const {
    return AsText(ModelValue(s, "LinkFormat.SourceFullName"));
  }
  double Number(const sim::SimObjectPtr& s, const std::string& path) const {
    return AsNumber(ModelValue(s, path));
  }
};

}  // namespace ravel::test
