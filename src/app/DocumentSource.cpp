#include "app/DocumentSource.h"

#include "app/Form_Main.h"
#include "inventory/Inventory.h"
#include "inventory/Word.h"
#include "writeback/Save.h"

namespace ravel {

void DocumentSource::Read(Form_Main& main) {
  ReadInventory(main);
}

void DocumentSource::Save(Form_Main& main) {
  SaveToDocument(main);
}

std::string DocumentSource::Name(Form_Main& main) {
  return ActiveDocument(main.Word).Name();
}

std::string DocumentSource::Folder(Form_Main& main) {
  return ActiveDocument(main.Word).Path();
}

std::string DocumentSource::Caption() const {
  return kAppTitle;
}

}  // namespace ravel
