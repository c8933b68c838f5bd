#include "docfile/Document.h"

#include <pugixml.hpp>

#include <cctype>
#include <optional>

#include "docfile/Family.h"
#include "docfile/Ooxml.h"
#include "docfile/Xml.h"
#include "relink/TextCompare.h"

namespace ravel::docfile {

const char* FormatName(Format format) {
  switch (format) {
    case Format::Word:
      return "word";
    case Format::Excel:
      return "excel";
    case Format::PowerPoint:
      return "powerpoint";
    case Format::OpenDocument:
      return "opendocument";
  }
  return "word";
}

const char* PartKindName(PartKind kind) {
  switch (kind) {
    case PartKind::Body:
      return "body";
    case PartKind::Header:
      return "header";
    case PartKind::Footer:
      return "footer";
    case PartKind::Footnotes:
      return "footnotes";
    case PartKind::Endnotes:
      return "endnotes";
    case PartKind::Comments:
      return "comments";
    case PartKind::Chart:
      return "chart";
    case PartKind::Other:
      return "other";
    case PartKind::Settings:
      return "settings";
    case PartKind::Slide:
      return "slide";
    case PartKind::Sheet:
      return "sheet";
    case PartKind::Drawing:
      return "drawing";
    case PartKind::ExternalLink:
      return "external link";
    case PartKind::Content:
      return "content";
  }
  return "other";
}

const char* LinkKindName(LinkKind kind) {
  switch (kind) {
    case LinkKind::InlinePicture:
      return "inline picture";
    case LinkKind::FloatingPicture:
      return "floating picture";
    case LinkKind::VmlPicture:
      return "VML picture";
    case LinkKind::OleObject:
      return "linked OLE object";
    case LinkKind::IncludePictureField:
      return "INCLUDEPICTURE field";
    case LinkKind::LinkField:
      return "LINK field";
    case LinkKind::ChartData:
      return "linked chart data";
    case LinkKind::Picture:
      return "picture";
    case LinkKind::Template:
      return "template";
    case LinkKind::Subdocument:
      return "subdocument";
    case LinkKind::IncludeTextField:
      return "INCLUDETEXT field";
    case LinkKind::Hyperlink:
      return "hyperlink";
    case LinkKind::ExternalWorkbook:
      return "external workbook";
    case LinkKind::DdeLink:
      return "DDE link";
    case LinkKind::LinkedAudio:
      return "linked audio";
    case LinkKind::LinkedVideo:
      return "linked video";
    case LinkKind::LinkedSection:
      return "linked section";
    case LinkKind::LinkedSheet:
      return "linked sheet";
  }
  return "link";
}

namespace {

std::string Trimmed(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::size_t first = 0;
  while (first < s.size() && std::isspace(static_cast<unsigned char>(s[first]))) ++first;
  return s.substr(first);
}

// The family of an Office Open XML main part's content type (without parameters):
// documents, templates, macro-enabled ones and slide shows.
std::optional<Format> FormatOfContentType(const std::string& content_type) {
  std::string ct = LowerCase(Trimmed(content_type.substr(0, content_type.find(';'))));
  static const std::pair<std::string_view, Format> kTypes[] = {
      {"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
       Format::Word},
      {"application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
       Format::Word},
      {"application/vnd.ms-word.document.macroenabled.main+xml", Format::Word},
      {"application/vnd.ms-word.template.macroenabledtemplate.main+xml", Format::Word},
      {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml", Format::Excel},
      {"application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
       Format::Excel},
      {"application/vnd.ms-excel.sheet.macroenabled.main+xml", Format::Excel},
      {"application/vnd.ms-excel.template.macroenabled.main+xml", Format::Excel},
      {"application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml",
       Format::PowerPoint},
      {"application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml",
       Format::PowerPoint},
      {"application/vnd.openxmlformats-officedocument.presentationml.template.main+xml",
       Format::PowerPoint},
      {"application/vnd.ms-powerpoint.presentation.macroenabled.main+xml", Format::PowerPoint},
      {"application/vnd.ms-powerpoint.slideshow.macroenabled.main+xml", Format::PowerPoint},
      {"application/vnd.ms-powerpoint.template.macroenabled.main+xml", Format::PowerPoint},
  };
  for (auto& [type, format] : kTypes)
    if (ct == type) return format;
  return std::nullopt;
}

}  // namespace

Format DetectFormat(const Package& package) {
  if (package.Has("mimetype") && !package.Has("[Content_Types].xml")) {
    std::string mime = Trimmed(package.Read("mimetype"));
    static const std::string_view kKinds[] = {"text", "spreadsheet", "presentation", "graphics"};
    for (std::string_view kind : kKinds) {
      std::string type = "application/vnd.oasis.opendocument." + std::string(kind);
      if (mime == type || mime == type + "-template") return Format::OpenDocument;
    }
    throw DocError(Reason::UnknownFormat,
                   "an OpenDocument package of a kind not read here (" + mime.substr(0, 100) + ")");
  }
  if (!package.Has("[Content_Types].xml"))
    throw DocError(Reason::NotZip,
                   "not an Office document (a zip without [Content_Types].xml or mimetype)");
  ooxml::MainPart main = ooxml::FindMainPart(package);
  if (main.name.empty())
    throw DocError(Reason::UnknownFormat, "not an Office document (no main part)");
  if (!main.content_type.empty()) {
    if (std::optional<Format> format = FormatOfContentType(main.content_type)) return *format;
    throw DocError(Reason::UnknownFormat,
                   "a package of a kind not read here (" + main.content_type.substr(0, 100) + ")");
  }
  // A writer that left the main part's content type out: its root element says what it is.
  pugi::xml_document doc;
  ParseXml(doc, package.Read(main.name), main.name);
  pugi::xml_node root = doc.document_element();
  if (Is(root, "document", ooxml::kNsW)) return Format::Word;
  if (Is(root, "workbook", ooxml::kNsS)) return Format::Excel;
  if (Is(root, "presentation", ooxml::kNsP)) return Format::PowerPoint;
  throw DocError(Reason::UnknownFormat, "a package of a kind not read here (main part " +
                                            main.name + " of no known type)");
}

struct Document::Impl {
  std::unique_ptr<Package> package;
  std::unique_ptr<Family> family;
};

Document::Document(std::vector<std::uint8_t> bytes, const std::string& folder, const Limits& limits)
    : impl_(std::make_unique<Impl>()), folder_(folder) {
  impl_->package = std::make_unique<Package>(std::move(bytes), limits);
  format_ = DetectFormat(*impl_->package);
  switch (format_) {
    case Format::Word:
      impl_->family = MakeWordFamily();
      break;
    case Format::OpenDocument:
      impl_->family = MakeOpenDocumentFamily();
      break;
    case Format::Excel:
      impl_->family = MakeExcelFamily();
      break;
    case Format::PowerPoint:
      impl_->family = MakePowerPointFamily();
      break;
  }
  impl_->family->Read(*impl_->package, folder_, links_);
}

Document::~Document() = default;

void Document::Retarget(std::size_t i, const std::string& path, const WriteOptions& options) {
  Link& link = links_.at(i);
  if (!link.rewritable)
    throw DocError(Reason::WriteFailed,
                   std::string("a ") + LinkKindName(link.kind) + " is listed, never rewritten");
  impl_->family->Retarget(i, link, path, options);
}

bool Document::Changed() const {
  return !ChangedParts().empty();
}

std::vector<std::string> Document::ChangedParts() const {
  std::vector<std::string> names;
  for (auto& [name, data] : impl_->family->Changed()) names.push_back(name);
  return names;
}

std::vector<std::uint8_t> Document::Save() const {
  return impl_->package->Write(impl_->family->Changed());
}

}  // namespace ravel::docfile
