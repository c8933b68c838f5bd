// SpreadsheetML: references to other workbooks (the external link parts, whose formulas
// refer to them by number and so stay as they are), linked OLE objects and DDE links kept
// there too, linked pictures in drawings, charts' data in linked workbooks, and hyperlinks
// to files.
#include "docfile/Ooxml.h"

namespace ravel::docfile {

namespace {

using namespace ooxml;

PartKind KindOfPart(const std::string& name) {
  if (name.find("/externalLinks/") != std::string::npos) return PartKind::ExternalLink;
  if (name.find("/worksheets/") != std::string::npos ||
      name.find("/chartsheets/") != std::string::npos)
    return PartKind::Sheet;
  if (name.find("/drawings/") != std::string::npos) return PartKind::Drawing;
  if (name.find("/charts/") != std::string::npos) return PartKind::Chart;
  return PartKind::Other;
}

class ExcelFamily : public OoxmlFamily {
 public:
  void Read(const Package& package, const std::string& folder, std::vector<Link>& links) override {
    Begin(package, folder, links);
    std::string main_part = FindMainPart(package).name;
    std::vector<Part*> todo;
    // Every external link part, also one without relationships (a DDE link has none).
    if (Rels* main = LoadRels(main_part))
      for (auto& [id, rel] : main->by_id)
        if (!IsExternal(rel) && RelType(rel) == "externalLink")
          if (Part* p = LoadPart(ResolvePartName(main_part, rel.attribute("Target").value()),
                                 PartKind::ExternalLink))
            todo.push_back(p);
    // Links are relationships of the part that uses them: the parts with external ones.
    for (const std::string& name : PartsWithExternalRelationships())
      todo.push_back(LoadPart(name, KindOfPart(name)));
    for (Part* part : todo) ReadPart(*part);
  }

 private:
  void ReadPart(Part& part) {
    ForEachElement(part.doc.document_element(), [&](pugi::xml_node n) {
      std::string_view local = LocalName(n.name());
      if (local == "externalBook" && Is(n, "externalBook", kNsS)) {
        std::optional<std::size_t> index =
            Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::ExternalWorkbook, false);
        if (!index) return;
        // Newer Excel keeps the workbook's absolute and relative addresses beside it.
        for (pugi::xml_node alt : n.children()) {
          if (!Is(alt, "alternateUrls", kNsXxl21)) continue;
          for (pugi::xml_node url : alt.children()) {
            std::string id = AttributeNs(url, "id", kNsR).value();
            if (Is(url, "absoluteUrl", kNsXxl21)) Attach(*index, part, id, Slot::Absolute);
            if (Is(url, "relativeUrl", kNsXxl21)) Attach(*index, part, id, Slot::Relative);
          }
        }
      } else if (local == "oleLink" && Is(n, "oleLink", kNsS)) {
        Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::OleObject, false);
      } else if (local == "ddeLink" && Is(n, "ddeLink", kNsS)) {
        // Listed so that it is known, never rewritten: its topic is a program's name for a
        // document, not a path this tool may change.
        Link link;
        link.part = part.name;
        link.part_kind = part.kind;
        link.kind = LinkKind::DdeLink;
        link.target =
            std::string(n.attribute("ddeService").value()) + "|" + n.attribute("ddeTopic").value();
        link.rewritable = false;
        Add(std::move(link));
      } else if (local == "hyperlink" && Is(n, "hyperlink", kNsS)) {
        Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::Hyperlink, false, true);
      } else {
        UseDrawing(part, n, LinkKind::Picture);
      }
    });
  }
};

}  // namespace

std::unique_ptr<Family> MakeExcelFamily() {
  return std::make_unique<ExcelFamily>();
}

}  // namespace ravel::docfile
