#include "relink/Dissolve.h"

#include <algorithm>
#include <exception>

#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "relink/FileOP.h"
#include "relink/MoreLinksFound.h"
#include "relink/TextCompare.h"
#include "relink/Walker.h"

namespace ravel {

namespace {

// The progress bar's maximum for the walk: the root's folder entries after the first entry
// listed (for an ordinary folder its subfolders plus ".."), 100 when there are none.
std::int32_t CountRootFolders(FileSystem& fs, const std::string& root) {
  std::int32_t count = 0;
  try {
    if (std::unique_ptr<DirListing> listing = fs.List(root + "\\*.*")) {
      DirEntry e;
      if (listing->Next(e))
        while (listing->Next(e))
          if (e.IsFolder()) ++count;
    }
  } catch (const std::exception&) {
    // A listing that fails part-way counts what it gave.
  }
  return count < 1 ? 100 : count;
}

void TakeSingleLocation(Form_Main& main, int i, const std::string& location) {
  LinkItem& item = main.G.Item(i);
  std::string path = location;
  if (main.Check_relpath.Value() == 1 && !item.Hidden)
    path = MakeRelativePath(location, main.DocumentFolder());
  TakeNewSource(main, i, path);
}

void AskForLocation(Form_Main& main, int i, const FoundRow& row, int n) {
  MoreLinksFound dialog(main);
  dialog.ItemIndex = i;
  for (int k = 1; k <= n; ++k)
    dialog.List_moreLinksFound.AddItem(ShortenForDisplay(row[static_cast<std::size_t>(k)]));
  main.Hst.ShowModal(dialog);
}

void Run(Form_Main& main, const std::string& root, bool& started) {
  Globals& g = main.G;
  // The user may have switched documents in Word since the list was read.
  if (main.Text_DocumentName.Text() != main.DocumentName()) return;
  started = true;
  main.Label_ProgressBar.SetText("Dissolving Paths...");

  int count = std::clamp(g.ItemCount, 0, kCapacity);
  g.FoundPaths.assign(static_cast<std::size_t>(count) + 1, FoundRow{});
  for (int i = 1; i <= count; ++i) g.FoundPaths[static_cast<std::size_t>(i)][0].assign(1, '0');

  std::string copy = root;
  while (!copy.empty() && copy.back() == '\\') copy.pop_back();
  g.RootFolderCount = CountRootFolders(main.Fs, copy);
  main.ProgressBar_main.SetMax(g.RootFolderCount);

  g.WalkDepth = 0;
  SearchFiles(main, copy);

  // All hits are known before the first question is asked.
  for (int i = 1; i <= count && static_cast<std::size_t>(i) < g.FoundPaths.size(); ++i) {
    const FoundRow row = g.FoundPaths[static_cast<std::size_t>(i)];
    int n = FoundCount(row);
    if (n == 1)
      TakeSingleLocation(main, i, row[1]);
    else if (n > 1)
      AskForLocation(main, i, row, n);
  }
}

}  // namespace

void TakeNewSource(Form_Main& main, int i, const std::string& path) {
  LinkItem& item = main.G.Item(i);
  if (EqualNoCase(path, item.SourcePath)) return;
  item.SourcePath = path;
  item.Changed = true;
  ShowNewSource(main, i, ShortenForList(path));
}

void ShowNewSource(Form_Main& main, int i, const std::string& row_text) {
  if (i < 1 || i > main.ListView_IS.Count()) return;
  main.ListView_IS.SetCell(i, 0, row_text);
  main.ListView_IS.SetCell(i, 2, "True");
}

void Dissolve(Form_Main& main, const std::string& root) {
  main.LockButtons();
  bool started = false;
  try {
    Run(main, root, started);
  } catch (const std::exception&) {
    // Word gone or no document: the dissolve ends quietly with what it has done.
  }
  if (started) {
    main.Label_ProgressBar.SetText("Idle");
    main.ProgressBar_main.SetValue(0);
  }
  main.ReleaseButtons();
}

void Form_Main::Command_Set_Click() {
  if (G.ItemCount <= 0 || !FolderExists(Fs, NewRootPath)) return;
  LockButtons();
  int rows = std::min(ListView_IS.Count(), kCapacity);
  for (int i = 1; i <= rows; ++i) G.Item(i).Selected = ListView_IS.Selected(i);
  Dissolve(*this, NewRootPath);
  ReleaseButtons();
  ListView_IS.SetFocus();
}

}  // namespace ravel
