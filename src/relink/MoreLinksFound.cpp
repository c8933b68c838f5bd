#include "relink/MoreLinksFound.h"

#include <exception>

#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "relink/Dissolve.h"
#include "relink/FileOP.h"
#include "relink/Walker.h"

namespace ravel {

namespace {

// The full location behind list entry `index` (cell index + 1 of the item's row), or null
// when the entry stands for no recorded location. Cell 0, the hit count, is never one.
const std::string* LocationOf(const Globals& g, int item, int index) {
  if (item < 1 || item > g.ItemCount || static_cast<std::size_t>(item) >= g.FoundPaths.size())
    return nullptr;
  const FoundRow& row = g.FoundPaths[static_cast<std::size_t>(item)];
  int n = FoundCount(row);
  if (index < 0 || index >= n) return nullptr;
  return &row[static_cast<std::size_t>(index) + 1];
}

}  // namespace

void MoreLinksFound::List_moreLinksFound_Click() {
  const std::string* path = LocationOf(main_.G, ItemIndex, List_moreLinksFound.ListIndex());
  if (path == nullptr) return;
  Text_Path.SetText(BreakAfter(*path, 97, "\r\n"));
}

void MoreLinksFound::List_moreLinksFound_DblClick() {
  link_selectionDone();
}

void MoreLinksFound::Command_OK_Click() {
  link_selectionDone();
}

void MoreLinksFound::Command_Cancel_Click() {
  Unload();
}

void MoreLinksFound::Form_Unload() {
  Unload();
}

void MoreLinksFound::link_selectionDone() {
  bool relative = main_.Check_relpath.Value() == 1;
  const std::string* location = LocationOf(main_.G, ItemIndex, List_moreLinksFound.ListIndex());
  // Nothing highlighted yet: the dialog stays open until an entry is chosen or it is
  // cancelled.
  if (location == nullptr) return;
  std::string path = *location;
  try {
    // The floating items get the relative form here too.
    if (relative) path = MakeRelativePath(path, main_.DocumentFolder());
  } catch (const std::exception&) {
    // Word cannot name the document's folder: the item stays as it is.
    Unload();
    return;
  }
  TakeNewSource(main_, ItemIndex, path);
  Unload();
}

void MoreLinksFound::Unload() {
  List_moreLinksFound.Clear();
  closed_ = true;
}

}  // namespace ravel
