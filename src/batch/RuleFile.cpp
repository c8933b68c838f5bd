#include "batch/RuleFile.h"

#include <optional>

#include "relink/TextCompare.h"

namespace ravel::batch {

namespace {

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

std::string Trim(std::string_view s) {
  std::size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
  return std::string(s.substr(a, b - a));
}

// The cells of a line split at `sep` outside double quotes; quoted cells lose their quotes
// and "" inside them stands for one quote. Null when a quote is left open.
std::optional<std::vector<std::string>> Cells(std::string_view line, char sep) {
  std::vector<std::string> cells;
  std::string cell;
  bool quoted = false, was_quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
      }
    } else if (c == '"' && Trim(cell).empty()) {
      quoted = was_quoted = true;
      cell.clear();
    } else if (c == sep) {
      cells.push_back(was_quoted ? cell : Trim(cell));
      cell.clear();
      was_quoted = false;
    } else {
      cell += c;
    }
  }
  if (quoted) return std::nullopt;
  cells.push_back(was_quoted ? cell : Trim(cell));
  // A spreadsheet exports the empty columns right of the two it holds.
  while (cells.size() > 2 && cells.back().empty()) cells.pop_back();
  return cells;
}

bool Contains(std::string_view s, char c) {
  return s.find(c) != std::string_view::npos;
}

bool LooksLikePath(const std::string& s) {
  return Contains(s, '\\') || Contains(s, '/') || Contains(s, ':');
}

}  // namespace

std::string RuleFileText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::string(bytes.substr(3));
  bool le = bytes.starts_with("\xFF\xFE"), be = bytes.starts_with("\xFE\xFF");
  if (!le && !be) return std::string(bytes);
  if (bytes.size() % 2 != 0) throw RuleFileError{0, "UTF-16 text of an odd number of bytes"};
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](std::size_t i) {
    auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<std::uint32_t>(le ? a | (b << 8) : (a << 8) | b);
  };
  for (std::size_t i = 2; i < bytes.size(); i += 2) {
    std::uint32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) throw RuleFileError{0, "UTF-16 text with a broken surrogate"};
    AppendUtf8(out, u);
  }
  return out;
}

std::vector<RuleLine> ParseRuleFile(std::string_view bytes) {
  std::string text = RuleFileText(bytes);
  std::vector<RuleLine> rules;
  bool first = true;
  std::size_t number = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(pos, end - pos);
    ++number;
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    if (!ValidUtf8(line))
      throw RuleFileError{number,
                          "not UTF-8 text (save the list as \"CSV UTF-8\" or \"Unicode Text\")"};
    // The separator: a tab or a bar where the line has one (neither is in a Windows path),
    // else a comma, else a semicolon (spreadsheets where the comma is the decimal sign),
    // else '=' as --map takes it.
    std::optional<std::vector<std::string>> cells;
    for (char sep : {'\t', '|', ',', ';', '='}) {
      if (!Contains(line, sep)) continue;
      cells = Cells(line, sep);
      if (!cells) throw RuleFileError{number, "a quote is not closed"};
      if (cells->size() == 2 || sep == '\t' || sep == '|') break;
    }
    if (!cells)
      throw RuleFileError{number, "no OLD and NEW: separate them by a tab, |, a comma or ="};
    if (cells->size() != 2)
      throw RuleFileError{number, std::to_string(cells->size()) +
                                      " cells where OLD and NEW are wanted (quote a path that "
                                      "holds the separator)"};
    if ((*cells)[0].empty() || (*cells)[1].empty())
      throw RuleFileError{number, (*cells)[0].empty() ? "OLD is empty" : "NEW is empty"};
    bool header = first && !LooksLikePath((*cells)[0]) && !LooksLikePath((*cells)[1]);
    first = false;
    if (header) continue;
    rules.push_back({(*cells)[0], (*cells)[1], number});
  }
  return rules;
}

}  // namespace ravel::batch
