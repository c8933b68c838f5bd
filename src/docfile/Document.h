// The links of one Office package to files outside it: read by the module of the package's
// format family (chosen by its content, never by its extension), retargeted in memory, written
// back as a package in which only the changed parts differ.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "docfile/Package.h"
#include "docfile/Targets.h"

namespace ravel::docfile {

// The format family of a package, from its content: the main part's content type in
// [Content_Types].xml, or an OpenDocument package's mimetype entry.
enum class Format { Word, Excel, PowerPoint, OpenDocument };

enum class PartKind {
  Body,
  Header,
  Footer,
  Footnotes,
  Endnotes,
  Comments,
  Chart,
  Other,
  Settings,      // a word processing document's settings (the attached template)
  Slide,         // a slide, slide layout, slide master or notes page
  Sheet,         // a worksheet or chart sheet
  Drawing,       // a sheet's drawing
  ExternalLink,  // a workbook's reference to another workbook
  Content,       // an OpenDocument package's content.xml or styles.xml
};
enum class LinkKind {
  InlinePicture,
  FloatingPicture,
  VmlPicture,
  OleObject,
  IncludePictureField,
  LinkField,
  ChartData,  // a chart's data in a linked workbook
  Picture,    // a linked picture where the format knows no in-line and floating
  Template,   // the attached template
  Subdocument,
  IncludeTextField,
  Hyperlink,         // a hyperlink or click action that opens a file
  ExternalWorkbook,  // a workbook's reference to another workbook
  DdeLink,           // listed, never rewritten
  LinkedAudio,
  LinkedVideo,
  LinkedSection,  // an OpenDocument text section whose text comes from a file
  LinkedSheet,    // an OpenDocument table whose cells come from a file
};

const char* FormatName(Format format);    // "word", "excel", "powerpoint", "opendocument"
const char* PartKindName(PartKind kind);  // "body", "header", ...
const char* LinkKindName(LinkKind kind);  // "inline picture", ...

struct Link {
  std::string part;  // the part whose markup uses the link, e.g. "word/header1.xml"
  PartKind part_kind = PartKind::Other;
  LinkKind kind = LinkKind::InlinePicture;
  std::string target;   // as stored: the relationship's target, or the field's path
  Target parsed;        // its file, read against the document's folder
  bool stored = false;  // a copy of the picture is kept in the document too
  // False for a link that is listed but never rewritten (a DDE link).
  bool rewritable = true;
};

class Document {
 public:
  // `folder` is the document's folder in Windows form. Throws DocError.
  Document(std::vector<std::uint8_t> bytes, const std::string& folder, const Limits& limits = {});
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  Format format() const { return format_; }
  const std::vector<Link>& Links() const { return links_; }
  // Points link `i` at `path` (Windows form): its relationship and every field code that
  // names it, each in the form it had. Throws DocError for a link that is not rewritable.
  void Retarget(std::size_t i, const std::string& path, const WriteOptions& options);
  bool Changed() const;
  // The package with the changed parts rewritten. Throws DocError.
  std::vector<std::uint8_t> Save() const;
  // The names of the parts Save rewrites.
  std::vector<std::string> ChangedParts() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::vector<Link> links_;
  std::string folder_;
  Format format_ = Format::Word;
};

}  // namespace ravel::docfile
