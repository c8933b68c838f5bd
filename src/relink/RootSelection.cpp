#include "relink/RootSelection.h"

#include <exception>

#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "relink/FileOP.h"

namespace ravel {

namespace {
constexpr int kBifReturnOnlyFsDirs = 1;
}

std::string BrowseForFolder(Form_Main& owner, const std::string& prompt, std::string start_folder,
                            int flags) {
  if (!start_folder.empty() && start_folder.back() == ':') start_folder += '\\';
  std::optional<std::string> chosen = owner.Hst.BrowseForFolder(prompt, start_folder, flags);
  if (!chosen) return {};
  return chosen->substr(0, chosen->find('\0'));
}

void Form_Main::Command_Choose_Click() {
  if (G.ItemCount <= 0) return;
  std::string start = NewRootPath;
  std::string document_folder;
  try {
    document_folder = DocumentFolder();
  } catch (const std::exception&) {
    return;  // no document to start from: nothing happens
  }
  std::string result;
  try {
    if (!FolderExists(Fs, start)) start = document_folder;
    result = BrowseForFolder(*this, "Choose new source root path:", start, kBifReturnOnlyFsDirs);
  } catch (const std::exception&) {
    return;  // a failure here leaves the previous choice as it was
  }
  if (result.empty()) return;
  NewRootPath = result;
  Text_NewDestPath.SetText(BreakAfter(result, 45, " "));
  ListView_IS.SetFocus();
}

}  // namespace ravel
