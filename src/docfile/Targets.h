// Link targets in every form a document may hold them, read into one Windows-form path and
// written back in the form they had. Paths are Windows-form (drive letters, UNC,
// backslashes); on a POSIX host the host's root is drive Z:, as under Wine.
#pragma once

#include <string>
#include <string_view>

namespace ravel::docfile {

enum class TargetForm {
  FileUri,      // file:///C:/x or file:///C:\x
  FileUriUnc,   // file://server/share/x
  PosixUri,     // file:///srv/x (made on a POSIX host)
  WindowsPath,  // C:\x, \\server\share\x
  PosixPath,    // /srv/x
  Relative,     // pics/x.png, ..\pics\x.png
  NotAFile,     // http://..., mailto:, empty
};

struct Target {
  TargetForm form = TargetForm::NotAFile;
  std::string path;           // absolute Windows-form path; empty when not a file
  bool backslashes = false;   // the target separates with backslashes
  bool encoded = false;       // it holds percent escapes
  bool encoded_utf8 = false;  // among them escapes of non-ASCII bytes
};

// `folder` is the document's folder (Windows form, no trailing backslash): the base of
// relative targets.
Target ParseTarget(std::string_view text, const std::string& folder);

struct WriteOptions {
  bool relative = false;    // write relative to `folder` where the file lies beneath it
  bool posix_host = false;  // paths on drive Z: are written as host paths
};

// The text for `path` in the form of `original` (a relative link stays relative where
// `path` lies beneath `folder`).
std::string FormatTarget(const Target& original, const std::string& path, const std::string& folder,
                         const WriteOptions& options);

// An http:// or https:// address: a prefix rule may move files to a web location (a
// SharePoint or OneDrive library), which the target then names as it is.
bool IsWebAddress(std::string_view text);
// `base` (an address) followed by the Windows-form `rest`, written as Office writes web
// addresses: slashes between the names, spaces, '%', '#', '?', characters a URL may not
// hold and non-ASCII bytes percent-escaped (escapes already in `base` kept).
std::string WebAddress(const std::string& base, const std::string& rest);

// Folds "." and ".." and doubled separators of a Windows-form path; a ".." above the root
// stays at the root.
std::string NormalizePath(const std::string& path);

// True when `path` is `prefix` or lies beneath it (case-insensitive); `rest` gets what
// follows the prefix, without its leading backslash.
bool StartsWithFolder(const std::string& path, const std::string& prefix, std::string* rest);

// Field code arguments: backslash escapes of `\` and `"`.
std::string UnescapeFieldText(std::string_view raw);
std::string EscapeFieldText(std::string_view text, bool doubled);

// `text` as a URI reference holds it: spaces, controls, `%`, `#` and `?` percent-escaped, and
// with `utf8` the bytes of non-ASCII characters too.
std::string PercentEscape(std::string_view text, bool utf8);

}  // namespace ravel::docfile
