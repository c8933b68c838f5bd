// Choosing the new source root: the folder browser of the shell module NQ_ShellFileDisk.
#pragma once

#include <string>

namespace ravel {

class Form_Main;

// Opens the shell's folder browser over the main window with `prompt` as its title text and
// `start_folder` selected (a bare drive such as "C:" gets its backslash). Returns the chosen
// folder's path up to its first NUL, or empty text when cancelled or the choice has no file-system
// path. `flags` are the browser's option bits (1: file-system folders only).
std::string BrowseForFolder(Form_Main& owner, const std::string& prompt, std::string start_folder,
                            int flags);

}  // namespace ravel
