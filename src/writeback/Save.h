// Writing the selected, changed items of the link table into the document active in Word.
#pragma once

#include <string>

namespace ravel {

class Form_Main;

extern const char* const kSavingStatus;  // "Saving Information to Document Object..."
extern const char* const kSaveTitle;     // title of the save's failure message box
// The status after a save the user stopped while Word was busy.
extern const char* const kCancelledStatus;
// The status after a save that passed over items changed in Word since the list was read.
std::string SkippedStatus(int items);

// Writes every item whose Changed and Selected are set and whose source file exists, clears
// the undo list after each item and reads the document again. A Word call that fails before
// the first shape is touched ends the save with a message box and keeps the table; after it,
// failing calls are passed over. Never throws.
void SaveToDocument(Form_Main& main);

}  // namespace ravel
