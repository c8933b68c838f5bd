// Stateless helpers on Windows-form paths and on texts shown in narrow places. Lengths
// count characters (code points), never bytes, so a UTF-8 sequence is never split.
#pragma once

#include <string>

#include "relink/FileSystem.h"

namespace ravel {

// The path can be opened as a file for reading (one trailing backslash is dropped first).
bool FileExists(FileSystem& fs, std::string path);
// The path names an existing folder (an entry that exists but cannot be opened as a file).
bool FolderExists(FileSystem& fs, const std::string& path);
// The text after the last backslash when it has 3 or more characters, else empty.
std::string FileNameOf(const std::string& path);
// The folder part with its trailing backslash (network paths keep their two leading
// backslashes), or empty when the name part is shorter than 3 characters. `path` is left
// holding the name part.
std::string FolderOf(std::string& path);
// The path relative to `base` when it lies below it (case-insensitive), else unchanged.
std::string MakeRelativePath(const std::string& path, const std::string& base);
// Beyond 97 characters: first 54, "...", last 40.
std::string ShortenForDisplay(const std::string& text);
// Beyond 52 characters: first 15, "...", last 34.
std::string ShortenForList(const std::string& text);

// Character helpers shared by the display rules.
std::size_t CharCount(const std::string& text);
std::string FirstChars(const std::string& text, std::size_t n);
std::string LastChars(const std::string& text, std::size_t n);
// Beyond `n` characters, the first n, `separator`, then the rest.
std::string BreakAfter(const std::string& text, std::size_t n, const std::string& separator);

}  // namespace ravel
