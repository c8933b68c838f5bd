// What the three Office Open XML families share: part names and relationships, the parts
// read and the links kept as the relationships that name them, field codes, and the
// retargeting of relationships in the form they had.
#pragma once

#include <pugixml.hpp>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "docfile/Family.h"
#include "docfile/Xml.h"

namespace ravel::docfile::ooxml {

// Transitional and strict namespaces of the markup links live in.
inline constexpr std::string_view kNsW[] = {
    "http://schemas.openxmlformats.org/wordprocessingml/2006/main",
    "http://purl.oclc.org/ooxml/wordprocessingml/main"};
inline constexpr std::string_view kNsR[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships"};
inline constexpr std::string_view kNsA[] = {"http://schemas.openxmlformats.org/drawingml/2006/main",
                                            "http://purl.oclc.org/ooxml/drawingml/main"};
inline constexpr std::string_view kNsWp[] = {
    "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing",
    "http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing"};
inline constexpr std::string_view kNsV[] = {"urn:schemas-microsoft-com:vml",
                                            "urn:schemas-microsoft-com:vml"};
inline constexpr std::string_view kNsO[] = {"urn:schemas-microsoft-com:office:office",
                                            "urn:schemas-microsoft-com:office:office"};
inline constexpr std::string_view kNsC[] = {
    "http://schemas.openxmlformats.org/drawingml/2006/chart",
    "http://purl.oclc.org/ooxml/drawingml/chart"};
inline constexpr std::string_view kNsS[] = {
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    "http://purl.oclc.org/ooxml/spreadsheetml/main"};
inline constexpr std::string_view kNsP[] = {
    "http://schemas.openxmlformats.org/presentationml/2006/main",
    "http://purl.oclc.org/ooxml/presentationml/main"};
inline constexpr std::string_view kNsP14[] = {
    "http://schemas.microsoft.com/office/powerpoint/2010/main",
    "http://schemas.microsoft.com/office/powerpoint/2010/main"};
inline constexpr std::string_view kNsXxl21[] = {
    "http://schemas.microsoft.com/office/spreadsheetml/2021/extlinks2021",
    "http://schemas.microsoft.com/office/spreadsheetml/2021/extlinks2021"};

// A relationship target resolved against the part that holds it ("word/document.xml" +
// "media/a.png" -> "word/media/a.png"; "/x" from the root).
std::string ResolvePartName(const std::string& source_part, const std::string& target);
// "word/document.xml" -> "word/_rels/document.xml.rels", and back.
std::string RelsNameOf(const std::string& part);
std::optional<std::string> PartOfRels(const std::string& rels);

bool IsExternal(pugi::xml_node rel);
// The last segment of a relationship's type: "image", "oleObject", "hyperlink".
std::string_view RelType(pugi::xml_node rel);

// The main part named by the package's officeDocument relationship, and its content type
// from [Content_Types].xml (an Override, else the Default of its extension). Empty when
// absent. Throws DocError for a part that is not well-formed.
struct MainPart {
  std::string name, content_type;
};
MainPart FindMainPart(const Package& package);

// A field code split into its name and the raw ranges of its arguments. Switches are left
// out, with the argument of those that take one (`\* MERGEFORMAT`, `\l "mark"`): the
// general ones and those in `with_argument` (lower-case letters). `switches` gets the
// letters of the switches met, lower-case.
struct Argument {
  std::size_t start, end;  // raw text, quotes excluded
  bool quoted;
};
std::vector<Argument> FieldArguments(const std::string& code, std::string& name,
                                     std::string* switches = nullptr,
                                     std::string_view with_argument = "");

// Visits the elements beneath and including `root` in document order, without recursion so
// that deeply nested markup cannot exhaust the stack: `enter` on the way in, `leave` out.
void ForEachElement(pugi::xml_node root, const std::function<void(pugi::xml_node)>& enter,
                    const std::function<void(pugi::xml_node)>& leave = {});

struct Rels {
  std::string name;
  pugi::xml_document doc;
  Encoding encoding;
  std::map<std::string, pugi::xml_node> by_id;
  bool dirty = false;
};

struct Part {
  std::string name;
  PartKind kind = PartKind::Other;
  pugi::xml_document doc;
  Encoding encoding;
  bool dirty = false;
};

// The base of the OOXML families: the parts and relationships read, each link as the
// relationships that name it. A family finds the uses; retargeting and the write-back of
// relationships are done here.
class OoxmlFamily : public Family {
 public:
  void Retarget(std::size_t i, Link& link, const std::string& path,
                const WriteOptions& options) override;
  std::map<std::string, std::string> Changed() const override;

 protected:
  // Per link: the relationships its target is kept in, and relationships that hold other
  // forms of the same file (an external workbook's absolute and relative addresses).
  struct Uses {
    std::vector<std::pair<Rels*, pugi::xml_node>> relationships;
    std::vector<std::pair<Rels*, pugi::xml_node>> absolute, relative;
  };

  void Begin(const Package& package, const std::string& folder, std::vector<Link>& links);
  Rels* LoadRels(const std::string& part);
  // The part, parsed once; null when the package lacks it.
  Part* LoadPart(const std::string& name, PartKind kind);
  // The relationship `id` of `part` (or, for a header's picture some writers list there,
  // of `fallback`), with the rels that hold it.
  std::pair<Rels*, pugi::xml_node> Relationship(const Part& part, const std::string& id,
                                                Rels* fallback = nullptr);
  // A use of external relationship `id` by `part`: the link it is (made on first use), or
  // nothing for an internal or missing relationship, or, with `files_only`, for a target
  // that is no file (a web address of a hyperlink).
  std::optional<std::size_t> Use(Part& part, const std::string& id, LinkKind kind, bool stored,
                                 bool files_only = false, Rels* fallback = nullptr);
  // Ties relationship `id` of `part` to link `index` as one more place of its target: in
  // the link's own form, or as the file's absolute or relative address.
  enum class Slot { Same, Absolute, Relative };
  void Attach(std::size_t index, Part& part, const std::string& id, Slot slot);
  // A link of its own, with no relationship (a field's path): its index.
  std::size_t Add(Link link);
  // Every part of the package that has external relationships of its own, with none of
  // them read yet: where links may hide in parts a family does not name.
  std::vector<std::string> PartsWithExternalRelationships();
  // The pictures, objects, charts' data and hyperlinks of DrawingML markup met at `n` in
  // `part` (the markup every family shares); true when `n` was one of them.
  bool UseDrawing(Part& part, pugi::xml_node n, LinkKind picture_kind, Rels* fallback = nullptr);

  // Told of every use of a link by markup (Word ties a field to the picture its result
  // shows).
  virtual void OnUse(std::size_t index);
  // A family's own targets besides relationships (Word's field codes).
  virtual void RetargetMore(std::size_t i, Link& link, const std::string& path,
                            const WriteOptions& options, std::string& text);

  const Package* package_ = nullptr;
  std::string folder_;
  std::vector<Link>* links_ = nullptr;
  std::size_t base_ = 0;  // the index of the family's first link in `links_`
  std::map<std::string, std::unique_ptr<Rels>> rels_;
  std::map<std::string, std::unique_ptr<Part>> parts_;
  std::vector<Uses> uses_;
  std::map<std::pair<Rels*, std::string>, std::size_t> link_of_rel_;
};

}  // namespace ravel::docfile::ooxml
