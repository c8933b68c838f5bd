#include "relink/TextCompare.h"

namespace ravel {

// Placeholder mapping of A to Z only; replaced by the full per-script table.
std::string LowerCase(std::string_view utf8) {
  std::string out(utf8);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return LowerCase(a) == LowerCase(b);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  return LowerCase(a).compare(LowerCase(b));
}

}  // namespace ravel
