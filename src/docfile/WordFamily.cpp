// WordprocessingML: pictures and objects in every part that holds text, charts' data, the
// attached template, subdocuments, hyperlinks to files, and the fields that name files
// (INCLUDEPICTURE, LINK, INCLUDETEXT, HYPERLINK), kept in step with the relationships of
// the pictures their results show.
#include <optional>

#include "docfile/Ooxml.h"
#include "relink/TextCompare.h"

namespace ravel::docfile {

namespace {

using namespace ooxml;

// One piece of a field's code: the text of a w:instrText, or a w:fldSimple's instr.
struct Piece {
  pugi::xml_node node;
  pugi::xml_attribute attribute;
  std::string Text() const { return attribute ? attribute.value() : node.text().get(); }
  void Set(const std::string& text) {
    if (attribute) {
      attribute.set_value(text.c_str());
      return;
    }
    node.text().set(text.c_str());
    if (!text.empty() && (text.front() == ' ' || text.back() == ' ') &&
        !node.attribute("xml:space"))
      node.append_attribute("xml:space") = "preserve";
  }
};

struct Field {
  Part* part = nullptr;
  std::vector<Piece> pieces;
  std::size_t start = 0, end = 0;  // the path's raw text within the joined code
  bool quoted = false;
  bool doubled = true;  // backslashes written doubled
  Target parsed;
  std::string path_text;  // unescaped
  LinkKind kind = LinkKind::IncludePictureField;
  bool keeps_data = true;  // no \d: the result keeps what it shows
};

// The fields that name a file: which argument is the path, and the switches that take an
// argument of their own.
struct FieldType {
  std::string_view name;
  std::size_t path_argument;
  std::string_view switches_with_argument;
  LinkKind kind;
  bool shows_link;  // the linked picture its result shows is this field's own
};
constexpr FieldType kFieldTypes[] = {
    {"INCLUDEPICTURE", 0, "c", LinkKind::IncludePictureField, true},
    {"LINK", 1, "", LinkKind::LinkField, true},
    {"INCLUDETEXT", 0, "c", LinkKind::IncludeTextField, false},
    {"HYPERLINK", 0, "lot", LinkKind::Hyperlink, false},
};

class WordFamily : public OoxmlFamily {
 public:
  void Read(const Package& package, const std::string& folder, std::vector<Link>& links) override;

 protected:
  void OnUse(std::size_t index) override;
  void RetargetMore(std::size_t i, Link& link, const std::string& path, const WriteOptions& options,
                    std::string& text) override;

 private:
  // Fields open at a point of the walk; a nested field's code makes its outer field's
  // path dynamic, and such a path is left alone.
  struct Open {
    std::vector<Piece> pieces;
    bool in_result = false;
    bool nested = false;
    bool shows_stored = false;         // its result shows a picture kept in the document
    std::optional<std::size_t> field;  // index in fields_ once the code is read
    std::optional<std::size_t> link;   // the link its result showed
    pugi::xml_node simple;
  };

  void ReadPart(Part& part, Rels* fallback);
  void FinishCode(Open& f, Part& part);
  void CloseField(Part& part);

  std::vector<Field> fields_;
  std::vector<std::vector<std::size_t>> fields_of_link_;
  std::vector<Open> open_;
};

void WordFamily::Read(const Package& package, const std::string& folder, std::vector<Link>& links) {
  Begin(package, folder, links);
  std::string main_part = FindMainPart(package).name;
  if (main_part.empty()) main_part = "word/document.xml";
  Part* body = LoadPart(main_part, PartKind::Body);
  if (body == nullptr)
    throw DocError(Reason::UnknownFormat, "not a Word document (no main document part)");

  // The parts the body refers to that hold text, and the settings (the attached template).
  std::vector<Part*> todo{body};
  Rels* main_rels = LoadRels(main_part);
  if (main_rels != nullptr) {
    static const std::pair<std::string_view, PartKind> kKinds[] = {
        {"header", PartKind::Header},       {"footer", PartKind::Footer},
        {"footnotes", PartKind::Footnotes}, {"endnotes", PartKind::Endnotes},
        {"comments", PartKind::Comments},   {"settings", PartKind::Settings}};
    for (auto& [id, rel] : main_rels->by_id) {
      if (IsExternal(rel)) continue;
      for (auto& [type, kind] : kKinds)
        if (RelType(rel) == type)
          if (Part* p = LoadPart(ResolvePartName(main_part, rel.attribute("Target").value()), kind))
            todo.push_back(p);
    }
  }
  // Any other part with external relationships of its own: charts, drawings.
  for (const std::string& name : PartsWithExternalRelationships())
    todo.push_back(LoadPart(
        name, name.find("/charts/") != std::string::npos ? PartKind::Chart : PartKind::Other));
  for (Part* part : todo) ReadPart(*part, main_rels);
}

void WordFamily::OnUse(std::size_t index) {
  for (auto it = open_.rbegin(); it != open_.rend(); ++it)
    if (it->in_result && it->field) {
      if (!it->link && fields_[*it->field].kind != LinkKind::IncludeTextField &&
          fields_[*it->field].kind != LinkKind::Hyperlink)
        it->link = index;
      break;
    }
}

void WordFamily::FinishCode(Open& f, Part& part) {
  if (f.in_result) return;
  f.in_result = true;
  if (f.nested) return;
  std::string code;
  for (const Piece& piece : f.pieces) code += piece.Text();
  std::string name, switches;
  std::vector<Argument> args = FieldArguments(code, name);
  const FieldType* type = nullptr;
  for (const FieldType& t : kFieldTypes)
    if (EqualNoCase(name, t.name)) type = &t;
  if (type == nullptr) return;
  args = FieldArguments(code, name, &switches, type->switches_with_argument);
  if (args.size() <= type->path_argument) return;
  const Argument& a = args[type->path_argument];
  Field field;
  field.part = &part;
  field.pieces = f.pieces;
  field.start = a.start;
  field.end = a.end;
  field.quoted = a.quoted;
  std::string raw = code.substr(field.start, field.end - field.start);
  field.doubled = raw.find('\\') == std::string::npos || raw.find("\\\\") != std::string::npos;
  field.path_text = field.doubled ? UnescapeFieldText(raw) : raw;
  field.parsed = ParseTarget(field.path_text, folder_);
  field.kind = type->kind;
  field.keeps_data = switches.find('d') == std::string::npos;
  // A hyperlink to a web address is no concern of a file repair.
  if (field.kind == LinkKind::Hyperlink &&
      (field.parsed.form == TargetForm::NotAFile || field.path_text.starts_with('#')))
    return;
  fields_.push_back(std::move(field));
  f.field = fields_.size() - 1;
}

void WordFamily::CloseField(Part& part) {
  Open f = std::move(open_.back());
  open_.pop_back();
  FinishCode(f, part);
  // What the closed field's result showed, its outer field's result showed too.
  if (!open_.empty() && open_.back().in_result)
    open_.back().shows_stored = open_.back().shows_stored || f.shows_stored;
  if (!f.field) return;
  const Field& fd = fields_[*f.field];
  if (f.link) {
    if (fields_of_link_.size() <= *f.link) fields_of_link_.resize(*f.link + 1);
    fields_of_link_[*f.link].push_back(*f.field);
    Link& shown = (*links_)[base_ + *f.link];
    shown.kind = fd.kind;
    // A field that names another file than the picture its result shows: both are told,
    // as Word follows the field's path when the field is updated. A repair sets both.
    if (fd.parsed.form != TargetForm::NotAFile && !EqualNoCase(fd.parsed.path, shown.parsed.path))
      shown.target += " = " + fd.path_text;
    return;
  }
  // A field whose result shows no linked picture is a link of its own; what its result
  // shows is kept in the document unless the field says \d.
  Link link;
  link.part = part.name;
  link.part_kind = part.kind;
  link.kind = fd.kind;
  link.target = fd.path_text;
  link.parsed = fd.parsed;
  link.stored = f.shows_stored && fd.keeps_data &&
                (fd.kind == LinkKind::IncludePictureField || fd.kind == LinkKind::LinkField);
  std::size_t index = Add(std::move(link));
  if (fields_of_link_.size() <= index) fields_of_link_.resize(index + 1);
  fields_of_link_[index].push_back(*f.field);
}

void WordFamily::ReadPart(Part& part, Rels* fallback) {
  open_.clear();
  auto stored_picture = [&](const std::string& id) {
    auto [where, rel] = Relationship(part, id, fallback);
    return rel && !IsExternal(rel);
  };
  auto shows = [&](bool stored) {
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
      if (it->in_result) {
        it->shows_stored = it->shows_stored || stored;
        break;
      }
  };
  auto enter = [&](pugi::xml_node n) {
    std::string_view local = LocalName(n.name());
    if (local == "fldChar" && Is(n, "fldChar", kNsW)) {
      std::string_view type = AttributeNs(n, "fldCharType", kNsW).value();
      if (type == "begin") {
        if (!open_.empty() && !open_.back().in_result) open_.back().nested = true;
        open_.emplace_back();
      } else if (type == "separate" && !open_.empty()) {
        FinishCode(open_.back(), part);
      } else if (type == "end" && !open_.empty()) {
        CloseField(part);
      }
    } else if (local == "instrText" && Is(n, "instrText", kNsW)) {
      if (!open_.empty() && !open_.back().in_result) open_.back().pieces.push_back({n, {}});
    } else if (local == "fldSimple" && Is(n, "fldSimple", kNsW)) {
      if (!open_.empty() && !open_.back().in_result) open_.back().nested = true;
      Open f;
      f.pieces.push_back({n, AttributeNs(n, "instr", kNsW)});
      f.simple = n;
      open_.push_back(std::move(f));
      FinishCode(open_.back(), part);
    } else if (local == "blip" && Is(n, "blip", kNsA)) {
      LinkKind k = LinkKind::InlinePicture;
      for (pugi::xml_node up = n.parent(); up; up = up.parent()) {
        std::string_view l = LocalName(up.name());
        if ((l == "anchor" || l == "inline") && Is(up, l, kNsWp)) {
          if (l == "anchor") k = LinkKind::FloatingPicture;
          break;
        }
      }
      shows(stored_picture(AttributeNs(n, "embed", kNsR).value()));
      UseDrawing(part, n, k, fallback);
    } else if (local == "imagedata" && Is(n, "imagedata", kNsV)) {
      std::vector<std::string> ids;
      for (const char* a : {"id", "href", "pict"})
        if (pugi::xml_attribute at = AttributeNs(n, a, kNsR)) ids.push_back(at.value());
      if (pugi::xml_attribute at = AttributeNs(n, "relid", kNsO)) ids.push_back(at.value());
      bool stored = false;
      for (const std::string& id : ids) stored = stored || stored_picture(id);
      shows(stored);
      for (const std::string& id : ids)
        Use(part, id, LinkKind::VmlPicture, stored, false, fallback);
    } else if (local == "OLEObject" && Is(n, "OLEObject", kNsO)) {
      if (std::string_view(n.attribute("Type").value()) != "Link") return;
      Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::OleObject, false, false, fallback);
    } else if (local == "attachedTemplate" && Is(n, "attachedTemplate", kNsW)) {
      Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::Template, false);
    } else if (local == "subDoc" && Is(n, "subDoc", kNsW)) {
      Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::Subdocument, false, false, fallback);
    } else if (local == "hyperlink" && Is(n, "hyperlink", kNsW)) {
      Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::Hyperlink, false, true, fallback);
    } else {
      UseDrawing(part, n, LinkKind::Picture, fallback);
    }
  };
  auto leave = [&](pugi::xml_node n) {
    if (!open_.empty() && open_.back().simple == n) CloseField(part);
  };
  ForEachElement(part.doc.document_element(), enter, leave);
  while (!open_.empty()) CloseField(part);
}

void WordFamily::RetargetMore(std::size_t i, Link&, const std::string& path,
                              const WriteOptions& options, std::string& text) {
  if (i >= fields_of_link_.size()) return;
  bool has_relationship = !uses_[i].relationships.empty();
  for (std::size_t f : fields_of_link_[i]) {
    Field& field = fields_[f];
    std::string value = FormatTarget(field.parsed, path, folder_, options);
    if (!has_relationship) text = value;
    std::string escaped = field.doubled ? EscapeFieldText(value, true) : value;
    // A bare path that gains a space needs quotes to stay one argument.
    bool add_quotes = !field.quoted && value.find(' ') != std::string::npos;
    std::string raw = add_quotes ? "\"" + escaped + "\"" : escaped;
    const std::size_t s = field.start, e = field.end;
    std::size_t offset = 0;
    bool placed = false;
    for (Piece& piece : field.pieces) {
      std::string t = piece.Text();
      std::size_t a = offset, b = offset + t.size();
      offset = b;
      bool touches = (s < b && e > a) || (!placed && s >= a && s <= b);
      if (!touches) continue;
      std::size_t from = std::max(s, a) - a, to = std::max(std::min(e, b), std::max(s, a)) - a;
      piece.Set(t.substr(0, from) + (placed ? "" : raw) + t.substr(to));
      placed = true;
      field.part->dirty = true;
    }
    field.quoted = field.quoted || add_quotes;
    field.start = s + (add_quotes ? 1 : 0);
    field.end = field.start + escaped.size();
    field.path_text = value;
    field.parsed = ParseTarget(value, folder_);
  }
}

}  // namespace

std::unique_ptr<Family> MakeWordFamily() {
  return std::make_unique<WordFamily>();
}

}  // namespace ravel::docfile
