// The manual source chooser: one item's new source picked by hand in the file dialog.
#include <exception>

#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "relink/Dissolve.h"
#include "relink/FileOP.h"

namespace ravel {

namespace {

// The row text of a chosen file: beyond 33 characters, 10, "......." and the last 23.
std::string RowTextOf(const std::string& path) {
  if (CharCount(path) <= 33) return path;
  return FirstChars(path, 10) + "......." + LastChars(path, 23);
}

}  // namespace

void Form_Main::deppxx() {
  if (G.ItemCount <= 0) return;
  int i = ListView_IS.Current();
  if (i < 1 || i > G.ItemCount || i > ListView_IS.Count()) return;
  LinkItem& item = G.Item(i);

  std::string name = item.SourcePath;
  std::string folder = FolderOf(name);  // name keeps the part after the last backslash
  std::optional<std::string> chosen;
  try {
    std::string document_folder = DocumentFolder();
    // A relative source is resolved against the document's folder first.
    std::string initial = document_folder + "\\" + folder;
    if (!FolderExists(Fs, initial)) initial = FolderExists(Fs, folder) ? folder : document_folder;
    chosen = Hst.OpenFileDialog(initial, name);
  } catch (const std::exception&) {
    return;  // Word cannot name the document: nothing changes
  }
  if (!chosen || chosen->empty()) return;  // cancelled

  const std::string& p = *chosen;
  item.SourcePath = p;  // always the full path: the relative form is not applied here
  item.FileName = FileNameOf(p);
  item.Changed = true;
  ShowNewSource(*this, i, RowTextOf(p));

  if (Check_preview.Value() == 1) ShowPreview();
}

}  // namespace ravel
