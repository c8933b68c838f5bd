#include "batch/Kinds.h"

#include <stdexcept>
#include <string_view>
#include <vector>

#include "relink/TextCompare.h"

namespace ravel::batch {

using docfile::LinkKind;

namespace {

// The groups --kinds knows, as an administrator names what moved.
struct KindGroup {
  std::string_view name;
  std::vector<LinkKind> kinds;
};
const KindGroup kKindGroups[] = {
    {"pictures",
     {LinkKind::InlinePicture, LinkKind::FloatingPicture, LinkKind::VmlPicture, LinkKind::Picture,
      LinkKind::IncludePictureField}},
    {"objects", {LinkKind::OleObject, LinkKind::LinkField}},
    {"charts", {LinkKind::ChartData}},
    {"media", {LinkKind::LinkedAudio, LinkKind::LinkedVideo}},
    {"templates", {LinkKind::Template}},
    {"documents", {LinkKind::Subdocument, LinkKind::IncludeTextField, LinkKind::LinkedSection}},
    {"workbooks", {LinkKind::ExternalWorkbook, LinkKind::LinkedSheet, LinkKind::ChartData}},
    {"hyperlinks", {LinkKind::Hyperlink}},
    {"dde", {LinkKind::DdeLink}},
};

// A kind's name as an option's value: "inline picture" -> "inline-picture".
std::string KindToken(std::string_view text) {
  std::string token = LowerCase(std::string(text));
  for (char& c : token)
    if (c == ' ' || c == '_') c = '-';
  return token;
}

}  // namespace

std::set<LinkKind> ParseKinds(const std::string& list) {
  std::set<LinkKind> kinds;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string token = KindToken(list.substr(start, comma - start));
    start = comma + 1;
    if (token.empty()) continue;
    bool known = false;
    for (int k = 0; k <= static_cast<int>(LinkKind::LinkedSheet); ++k)
      if (token == KindToken(docfile::LinkKindName(static_cast<LinkKind>(k)))) {
        kinds.insert(static_cast<LinkKind>(k));
        known = true;
      }
    // A group also by its singular ("workbook"), unless a kind has that name ("picture").
    for (const KindGroup& g : kKindGroups)
      if (token == g.name || (!known && token + "s" == g.name)) {
        kinds.insert(g.kinds.begin(), g.kinds.end());
        known = true;
      }
    if (token == "all") {
      for (int k = 0; k <= static_cast<int>(LinkKind::LinkedSheet); ++k)
        kinds.insert(static_cast<LinkKind>(k));
      known = true;
    }
    if (!known)
      throw std::invalid_argument(
          "--kinds: no kind of link is named '" + token +
          "'; groups: pictures, objects, charts, media, templates, documents, "
          "workbooks, hyperlinks, dde, all");
  }
  if (kinds.empty()) throw std::invalid_argument("--kinds needs a list of kinds");
  return kinds;
}

}  // namespace ravel::batch
