// Reads the links of the document active in Word into the link table and the list.
#pragma once

namespace ravel {

class Form_Main;

// Rebuilds LinkTable, ItemCount and ListView_IS from the active document and fills the
// main window's document fields, progress bar and status text. Never throws.
void ReadInventory(Form_Main& main);

}  // namespace ravel
