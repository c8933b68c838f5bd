// For the save tests: a main window over the Word stand-in loaded with a save fixture, the
// memory file system and the scripted host; items relinked as a dissolve would.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

// Every member of a shape and its parts, as text with Word's type (a Long 0 is not a
// Boolean False): equal snapshots mean an untouched shape.
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
      const char* type = std::holds_alternative<std::int32_t>(v) ? "Long "
                         : std::holds_alternative<float>(v)      ? "Single "
                         : std::holds_alternative<bool>(v)       ? "Boolean "
                                                                 : "Double ";
      out.push_back(prefix + name + "=" + type + std::to_string(AsNumber(v)));
    }
  }
  return out;
}

// The lines of `after` that `before` does not have: what changed, as it is now.
inline std::vector<std::string> Changed(const std::vector<std::string>& before,
                                        const std::vector<std::string>& after) {
  std::vector<std::string> out;
  for (const auto& line : after)
    if (std::find(before.begin(), before.end(), line) == before.end()) out.push_back(line);
  return out;
}

// The lines of a picture's snapshot that re-creating it from `source` changes: the link, made
// stored in the document when `stored`, and the new file's own size (96 by 72).
inline std::vector<std::string> Recreated(const std::string& source, bool stored = false) {
  std::vector<std::string> out = {"@OriginalHeight=Single 72.000000",
                                  "@OriginalWidth=Single 96.000000"};
  if (stored) out.push_back("LinkFormat.SavePictureWithDocument=Boolean -1.000000");
  out.push_back("LinkFormat.SourceFullName=" + source);
  out.push_back("LinkFormat.SourcePath=" + source.substr(0, source.rfind('\\')));
  return out;
}

struct SaveHarness {
  Globals g;
  std::shared_ptr<sim::SimWord> word;
  sim::MemoryFileSystem fs;
  sim::ScriptedHost host;
  std::unique_ptr<Form_Main> main;
  bool box_expected = false;  // else no save shows a message box: checked at the end

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
  ~SaveHarness() { EXPECT_TRUE(box_expected || host.boxes.empty()); }

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
  // The floating shapes of a type, model-side (a re-created picture is not where the old
  // one was).
  std::vector<sim::SimObjectPtr> OfType(int type) const {
    std::vector<sim::SimObjectPtr> out;
    for (int i = 1; i <= FloatingCount(); ++i)
      if (AsLong(Floating(i)->At("Type")) == type) out.push_back(Floating(i));
    return out;
  }
};

}  // namespace ravel::test
