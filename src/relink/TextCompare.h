// Case-insensitive comparison of names the way Windows compares file names: one simple
// case mapping per UTF-16 code unit, for every script, not only A to Z.
#pragma once

#include <string>
#include <string_view>

namespace ravel {

// The text with every letter mapped to its lower-case form (UTF-8 in, UTF-8 out).
// Invalid UTF-8 bytes are kept as they are.
std::string LowerCase(std::string_view utf8);
// The same into a caller's buffer (its capacity is reused: no allocation once warm).
void LowerCaseInto(std::string_view utf8, std::string& out);
bool EqualNoCase(std::string_view a, std::string_view b);
// <0, 0, >0 as a orders before, with or after b when case is ignored.
int CompareNoCase(std::string_view a, std::string_view b);
// Appends one code point (at most U+10FFFF, no surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

}  // namespace ravel
