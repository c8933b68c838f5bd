// Prefix rules kept in a file, as people keep them in a spreadsheet: one rule a line,
// OLD<TAB>NEW, OLD|NEW, a two-column CSV (comma or semicolon) or OLD=NEW as --map takes
// it, UTF-8 with or without a byte order mark or UTF-16. '#' starts a comment line; blank
// lines are passed over.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ravel::batch {

struct RuleLine {
  std::string from, to;
  std::size_t line = 0;  // 1-based, in the file
};

// A line that is no rule: its number and what is wrong with it.
struct RuleFileError {
  std::size_t line = 0;
  std::string message;
};

// The rules of a whole file. Throws RuleFileError for the first bad line, so a list with a
// mistake in it changes nothing. A first line whose two cells are no paths (a spreadsheet's
// column titles, "Old,New") is taken as a header and passed over.
std::vector<RuleLine> ParseRuleFile(std::string_view bytes);

// UTF-16 (either byte order, by its byte order mark) as UTF-8; UTF-8 without its mark.
// Throws RuleFileError (line 0) for UTF-16 that is not well formed.
std::string RuleFileText(std::string_view bytes);

}  // namespace ravel::batch
