#include "relink/FileOP.h"

#include "relink/TextCompare.h"

namespace ravel {

namespace {

bool IsContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Byte offset of the n-th character (or the end).
std::size_t OffsetOfChar(const std::string& s, std::size_t n) {
  std::size_t i = 0;
  while (i < s.size() && n > 0) {
    ++i;
    while (i < s.size() && IsContinuation(static_cast<unsigned char>(s[i]))) ++i;
    --n;
  }
  return i;
}

}  // namespace

std::size_t CharCount(const std::string& text) {
  std::size_t n = 0;
  for (unsigned char c : text)
    if (!IsContinuation(c)) ++n;
  return n;
}

std::string FirstChars(const std::string& text, std::size_t n) {
  return text.substr(0, OffsetOfChar(text, n));
}

std::string LastChars(const std::string& text, std::size_t n) {
  std::size_t count = CharCount(text);
  if (n >= count) return text;
  return text.substr(OffsetOfChar(text, count - n));
}

std::string BreakAfter(const std::string& text, std::size_t n, const std::string& separator) {
  if (CharCount(text) <= n) return text;
  std::size_t cut = OffsetOfChar(text, n);
  return text.substr(0, cut) + separator + text.substr(cut);
}

bool FileExists(FileSystem& fs, std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.empty()) return false;
  return fs.CanOpenForReading(path);
}

bool FolderExists(FileSystem& fs, const std::string& path) {
  if (path.empty()) return false;
  // A path ending in a backslash is queried as the folder's own entries, so an empty drive
  // root counts as missing; any other path is looked up as one entry.
  std::unique_ptr<DirListing> found = fs.List(path.back() == '\\' ? path + "*.*" : path);
  DirEntry first;
  if (!found || !found->Next(first)) return false;
  return !FileExists(fs, path);
}

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.rfind('\\');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return CharCount(name) >= 3 ? name : std::string();
}

std::string FolderOf(std::string& path) {
  bool network = path.rfind("\\\\", 0) == 0;
  std::string rest = network ? path.substr(2) : path;
  std::size_t slash = rest.rfind('\\');
  std::string folder = slash == std::string::npos ? std::string() : rest.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? rest : rest.substr(slash + 1);
  path = name;
  if (CharCount(name) < 3 || folder.empty()) return {};
  return network ? "\\\\" + folder : folder;
}

std::string MakeRelativePath(const std::string& path, const std::string& base) {
  if (base.empty() || base.back() == '\\') return path;
  std::string prefix = base + "\\";
  if (path.size() <= prefix.size()) return path;
  // Compare whole characters so the cut never falls inside a UTF-8 sequence.
  std::size_t cut = OffsetOfChar(path, CharCount(prefix));
  if (!EqualNoCase(path.substr(0, cut), prefix)) return path;
  return path.substr(cut);
}

std::string ShortenForDisplay(const std::string& text) {
  if (CharCount(text) <= 97) return text;
  return FirstChars(text, 54) + "..." + LastChars(text, 40);
}

std::string ShortenForList(const std::string& text) {
  if (CharCount(text) <= 52) return text;
  return FirstChars(text, 15) + "..." + LastChars(text, 34);
}

}  // namespace ravel
