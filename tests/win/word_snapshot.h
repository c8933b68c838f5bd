// What the program reads of a document in Word, as lines to compare between two Words.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "inventory/Word.h"
#include "win_support.h"

namespace ravel::wintest {

// Every member the program reads or the save writes, of every item of the active document,
// and the line and fill a re-created picture must come with.
inline std::vector<std::string> Snapshot(WordApp& word) {
  std::vector<std::string> out;
  auto note = [&](const std::string& what, const std::function<Value()>& get) {
    Note(out, what, get);
  };
  WObjectPtr doc = AsObject(word.Global()->Get("ActiveDocument"));
  note("Name", [&] { return doc->Get("Name"); });
  note("Path", [&] { return doc->Get("Path"); });
  for (const char* which : {"InlineShapes", "Shapes"}) {
    WObjectPtr shapes = AsObject(doc->Get(which));
    int count = AsLong(shapes->Get("Count"));
    out.push_back(std::string(which) + " " + std::to_string(count));
    for (int i = 1; i <= count; ++i) {
      Shape shape(AsObject(shapes->Call("Item", {Value(std::int32_t{i})})));
      std::string at = std::string(which) + "(" + std::to_string(i) + ").";
      note(at + "Type", [&] { return shape.Object()->Get("Type"); });
      for (const char* m :
           {"Type", "SourceName", "SourceFullName", "SavePictureWithDocument", "Locked"})
        note(at + "LinkFormat." + m,
             [&] { return AsObject(shape.Object()->Get("LinkFormat"))->Get(m); });
      for (auto [object, m] : {std::pair{"Line", "Visible"}, std::pair{"Fill", "ForeColor"}})
        note(at + object + "." + m, [&] { return AsObject(shape.Object()->Get(object))->Get(m); });
      note(at + "OLEFormat.ClassType", [&] { return Value(shape.OleClassType()); });
      note(at + "Name", [&] { return Value(shape.Name()); });
      for (int p = 0; p <= static_cast<int>(Prop::WrapType); ++p)
        note(at + PathOf(static_cast<Prop>(p)), [&] { return shape.Get(static_cast<Prop>(p)); });
    }
  }
  return out;
}

}  // namespace ravel::wintest
