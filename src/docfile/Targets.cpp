#include "docfile/Targets.h"

#include <cctype>
#include <vector>

#include "relink/TextCompare.h"

namespace ravel::docfile {

namespace {

bool IsAlpha(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool HasDrive(std::string_view s) {
  return s.size() >= 2 && IsAlpha(s[0]) && s[1] == ':';
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes valid %XX escapes and keeps anything else as written.
std::string Decode(std::string_view s, Target& t) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
      if (hi >= 0 && lo >= 0) {
        int value = hi * 16 + lo;
        t.encoded = true;
        if (value >= 0x80) t.encoded_utf8 = true;
        out += static_cast<char>(value);
        i += 2;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::string Encode(std::string_view s, bool utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    bool escape = c <= 0x20 || c == '%' || c == '#' || c == '?' || c == 0x7F || (utf8 && c >= 0x80);
    if (escape) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

std::string Backslashed(std::string s) {
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::string Slashed(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

// A scheme such as "http:" or "mailto:" (two letters at least, so a drive is not one).
bool HasScheme(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() &&
         (IsAlpha(s[i]) || (i > 0 && (std::isdigit(static_cast<unsigned char>(s[i])) != 0 ||
                                      s[i] == '+' || s[i] == '-' || s[i] == '.'))))
    ++i;
  return i >= 2 && i < s.size() && s[i] == ':';
}

// The folders at the top of a Mac's disk. Office for the Mac writes a local file as the
// POSIX path behind "file:///", so that four slashes stand before it when the path keeps
// its own leading one (file:////Users/ann/a.png); Office for Windows would read that as a
// share of the server "Users". No server is named like these folders, so such a target is
// read as the Mac path it is.
bool IsMacTopFolder(std::string_view rest) {
  static const std::string_view kFolders[] = {"Users",  "Volumes", "Applications", "Library",
                                              "System", "private", "tmp",          "var",
                                              "opt",    "Network"};
  std::string_view first = rest.substr(0, rest.find_first_of("/\\"));
  for (std::string_view folder : kFolders)
    if (EqualNoCase(first, folder)) return true;
  return false;
}

}  // namespace

std::string NormalizePath(const std::string& path) {
  std::string p = Backslashed(path);
  std::string root;
  std::size_t pos = 0;
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    // \\server\share is the root of a network path.
    std::size_t server_end = p.find('\\', 2);
    if (server_end == std::string::npos) return p;
    std::size_t share_end = p.find('\\', server_end + 1);
    if (share_end == std::string::npos) share_end = p.size();
    root = p.substr(0, share_end);
    pos = share_end;
  } else if (HasDrive(p)) {
    root = p.substr(0, 2);
    root[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    pos = 2;
  }
  std::vector<std::string> parts;
  while (pos <= p.size()) {
    std::size_t next = p.find('\\', pos);
    if (next == std::string::npos) next = p.size();
    std::string part = p.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    pos = next + 1;
  }
  std::string out = root;
  for (const std::string& part : parts) {
    out += '\\';
    out += part;
  }
  return out.empty() ? p : out;
}

bool StartsWithFolder(const std::string& path, const std::string& prefix, std::string* rest) {
  std::string base = prefix;
  while (base.size() > 1 && base.back() == '\\') base.pop_back();
  if (path.size() < base.size() ||
      !EqualNoCase(std::string_view(path).substr(0, base.size()), base))
    return false;
  if (path.size() == base.size()) {
    if (rest != nullptr) rest->clear();
    return true;
  }
  if (path[base.size()] != '\\' && base.back() != '\\') return false;
  if (rest != nullptr) *rest = path.substr(base.size() + (path[base.size()] == '\\' ? 1 : 0));
  return true;
}

Target ParseTarget(std::string_view text, const std::string& folder) {
  Target t;
  t.backslashes = text.find('\\') != std::string_view::npos;
  if (text.empty()) return t;
  if (StartsNoCase(text, "file:")) {
    std::string rest = Decode(text.substr(5), t);
    std::size_t slashes = 0;
    while (slashes < rest.size() && (rest[slashes] == '/' || rest[slashes] == '\\')) ++slashes;
    std::string_view after = std::string_view(rest).substr(slashes);
    if (slashes == 2 && StartsNoCase(after, "localhost") &&
        (after.size() == 9 || after[9] == '/' || after[9] == '\\')) {
      after.remove_prefix(9);
      while (!after.empty() && (after[0] == '/' || after[0] == '\\')) after.remove_prefix(1);
      slashes = 3;
    }
    if (HasDrive(after)) {
      t.form = TargetForm::FileUri;
      t.path = NormalizePath(std::string(after));
    } else if (slashes == 2 || (slashes >= 4 && !(slashes == 4 && IsMacTopFolder(after)))) {
      t.form = TargetForm::FileUriUnc;
      t.path = NormalizePath("\\\\" + std::string(after));
    } else {
      t.form = TargetForm::PosixUri;
      t.path = NormalizePath("Z:\\" + std::string(after));
    }
    return t;
  }
  if (HasDrive(text) || text.starts_with("\\\\") || text.starts_with("//")) {
    t.form = TargetForm::WindowsPath;
    t.path = NormalizePath(std::string(text));
    return t;
  }
  if (text[0] == '/') {
    t.form = TargetForm::PosixPath;
    t.path = NormalizePath("Z:" + std::string(text));
    return t;
  }
  if (HasScheme(text)) return t;
  t.form = TargetForm::Relative;
  // A relative target written with slashes is a URI reference and may carry escapes.
  std::string rel = t.backslashes ? std::string(text) : Decode(text, t);
  t.path = NormalizePath(folder + "\\" + rel);
  return t;
}

std::string FormatTarget(const Target& original, const std::string& path, const std::string& folder,
                         const WriteOptions& options) {
  const bool uri = original.form == TargetForm::FileUri ||
                   original.form == TargetForm::FileUriUnc ||
                   original.form == TargetForm::PosixUri ||
                   (original.form == TargetForm::Relative && !original.backslashes);
  if (IsWebAddress(path)) return path;
  const bool utf8 = original.encoded_utf8;
  std::string rest;
  // A relative link stays relative where it can; others become relative when asked.
  bool relative = options.relative || original.form == TargetForm::Relative;
  if (relative && StartsWithFolder(path, folder, &rest) && !rest.empty()) {
    if (!uri) return rest;
    return Encode(Slashed(rest), utf8);
  }
  std::string posix;
  if (options.posix_host && StartsWithFolder(path, "Z:", &posix)) {
    std::string host(1, '/');
    host += Slashed(posix);
    if (!uri) return host;
    std::string text = "file://";
    return text += Encode(host, utf8);
  }
  bool unc = path.starts_with("\\\\");
  if (!uri) return path;
  if (unc) return "file:" + Encode(Slashed(path), utf8);
  // A drive path in a file URI keeps the separators the link had.
  bool back = original.form == TargetForm::FileUri && original.backslashes;
  return "file:///" + Encode(back ? path : Slashed(path), utf8);
}

bool IsWebAddress(std::string_view text) {
  return StartsNoCase(text, "https://") || StartsNoCase(text, "http://");
}

std::string WebAddress(const std::string& base, const std::string& rest) {
  static const char kHex[] = "0123456789ABCDEF";
  auto escape = [](std::string_view s, bool keep_escapes) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      auto c = static_cast<unsigned char>(s[i]);
      bool valid_escape =
          c == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0;
      bool unsafe =
          c <= 0x20 || c >= 0x7F ||
          std::string_view("\"<>\\^`{|}#?").find(static_cast<char>(c)) != std::string_view::npos;
      if (c == '%' && !(keep_escapes && valid_escape)) unsafe = true;
      if (unsafe) {
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
      } else {
        out += static_cast<char>(c);
      }
    }
    return out;
  };
  std::string out = escape(base, true);
  while (out.size() > 8 && out.back() == '/') out.pop_back();
  if (rest.empty()) return out;
  std::size_t pos = 0;
  while (pos <= rest.size()) {
    std::size_t next = rest.find('\\', pos);
    if (next == std::string::npos) next = rest.size();
    out += '/';
    out += escape(std::string_view(rest).substr(pos, next - pos), false);
    pos = next + 1;
  }
  return out;
}

std::string UnescapeFieldText(std::string_view raw) {
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size() && (raw[i + 1] == '\\' || raw[i + 1] == '"')) ++i;
    out += raw[i];
  }
  return out;
}

std::string PercentEscape(std::string_view text, bool utf8) {
  return Encode(text, utf8);
}

std::string EscapeFieldText(std::string_view text, bool doubled) {
  std::string out;
  for (char c : text) {
    if ((c == '\\' && doubled) || c == '"') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace ravel::docfile
