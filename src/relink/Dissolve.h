// The dissolve: new source paths for the selected items, found by file name beneath the new
// source root. Changes only the link table and the list rows; the save writes the document.
#pragma once

#include <string>

namespace ravel {

class Form_Main;

// Searches `root` once for all selected items; an item found once gets that location (in
// the relative form when the option is ticked and the item is not hidden), an item found
// at several places gets the duplicate location chooser. Does nothing when the document
// active in Word is not the one listed, or when Word cannot be asked. Never throws.
void Dissolve(Form_Main& main, const std::string& root);

// Gives item i the new source `path` unless it holds it already (compared without case):
// its SourcePath and Changed flag, and its list row as ShowNewSource does with the path
// shortened for the list.
void TakeNewSource(Form_Main& main, int i, const std::string& path);
// Row i of the list, where it exists, shows `row_text` and the file as existing.
void ShowNewSource(Form_Main& main, int i, const std::string& row_text);

}  // namespace ravel
