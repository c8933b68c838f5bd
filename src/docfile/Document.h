// The links of one .docx package: found through the parts' external image and OLE
// relationships and the markup that uses them (drawingML, VML, linked OLE objects, a chart's
// linked data) and through INCLUDEPICTURE and LINK field codes; retargeted in memory, written back
// as a package in which only the changed parts differ.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "docfile/Package.h"
#include "docfile/Targets.h"

namespace ravel::docfile {

enum class PartKind { Body, Header, Footer, Footnotes, Endnotes, Comments, Chart, Other };
enum class LinkKind {
  InlinePicture,
  FloatingPicture,
  VmlPicture,
  OleObject,
  IncludePictureField,
  LinkField,
  ChartData,  // a chart's data in a linked workbook
};

const char* PartKindName(PartKind kind);  // "body", "header", ...
const char* LinkKindName(LinkKind kind);  // "inline picture", ...

struct Link {
  std::string part;  // the part whose markup uses the link, e.g. "word/header1.xml"
  PartKind part_kind = PartKind::Other;
  LinkKind kind = LinkKind::InlinePicture;
  std::string target;   // as stored: the relationship's target, or the field's path
  Target parsed;        // its file, read against the document's folder
  bool stored = false;  // a copy of the picture is kept in the document too
};

class Document {
 public:
  // `folder` is the document's folder in Windows form. Throws DocError.
  Document(std::vector<std::uint8_t> bytes, const std::string& folder, const Limits& limits = {});
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  const std::vector<Link>& Links() const { return links_; }
  // Points link `i` at `path` (Windows form): its relationship and every field code that
  // names it, each in the form it had.
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
};

}  // namespace ravel::docfile
