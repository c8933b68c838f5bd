// The file search: one walk of the tree beneath the new source root serves every selected
// item at once, recording each file of the same name as a found location.
#pragma once

#include <string>

#include "app/Globals.h"

namespace ravel {

class Form_Main;

// The number of locations a row of FoundPaths holds: its cell 0 read as a number, 0 where
// it is no number, never more than kMaxFound.
int FoundCount(const FoundRow& row);

// Walks `folder` depth-first, pre-order, in the order the file system lists the entries,
// and records in main.G.FoundPaths, for every selected item whose FileName equals a file's
// name (case-insensitively), the file's full path (at most kMaxFound per item, the count in
// cell 0). Sets the status label per file and the progress bar per root folder, lets
// events run once per folder and ends when StopRequested is seen. A folder reached again
// (through a junction or symbolic link) is not entered a second time; the walk keeps its
// own stack, so neither link cycles nor very deep trees can exhaust the call stack (see
// NameSearch.h, which does the walking). Locations are appended after those a row already
// holds. While the walk runs, WalkDepth is the depth of the folder entered last (0 for
// the root); it is restored on return.
void SearchFiles(Form_Main& main, const std::string& folder);

}  // namespace ravel
