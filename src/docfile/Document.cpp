#include "docfile/Document.h"

#include <pugixml.hpp>

#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "docfile/Xml.h"
#include "relink/TextCompare.h"

namespace ravel::docfile {

namespace {

// Transitional and strict namespaces of the markup the links live in.
constexpr std::string_view kNsW[] = {"http://schemas.openxmlformats.org/wordprocessingml/2006/main",
                                     "http://purl.oclc.org/ooxml/wordprocessingml/main"};
constexpr std::string_view kNsR[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships"};
constexpr std::string_view kNsA[] = {"http://schemas.openxmlformats.org/drawingml/2006/main",
                                     "http://purl.oclc.org/ooxml/drawingml/main"};
constexpr std::string_view kNsWp[] = {
    "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing",
    "http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing"};
constexpr std::string_view kNsV[] = {"urn:schemas-microsoft-com:vml",
                                     "urn:schemas-microsoft-com:vml"};
constexpr std::string_view kNsO[] = {"urn:schemas-microsoft-com:office:office",
                                     "urn:schemas-microsoft-com:office:office"};
constexpr std::string_view kNsC[] = {"http://schemas.openxmlformats.org/drawingml/2006/chart",
                                     "http://purl.oclc.org/ooxml/drawingml/chart"};

// The folder of a part name ("word/document.xml" -> "word/") and a relationship target
// resolved against it.
std::string ResolvePartName(const std::string& source_part, const std::string& target) {
  std::string base;
  std::string t = target;
  if (!t.empty() && t[0] == '/') {
    t.erase(0, 1);
  } else {
    std::size_t slash = source_part.rfind('/');
    if (slash != std::string::npos) base = source_part.substr(0, slash + 1);
  }
  std::vector<std::string> parts;
  std::string all = base + t;
  std::size_t pos = 0;
  while (pos <= all.size()) {
    std::size_t next = all.find('/', pos);
    if (next == std::string::npos) next = all.size();
    std::string part = all.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

// "word/_rels/document.xml.rels" <-> "word/document.xml"
std::string RelsNameOf(const std::string& part) {
  std::size_t slash = part.rfind('/');
  std::string folder = slash == std::string::npos ? "" : part.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? part : part.substr(slash + 1);
  return folder + "_rels/" + name + ".rels";
}

std::optional<std::string> PartOfRels(const std::string& rels) {
  std::size_t at = rels.rfind("_rels/");
  if (at == std::string::npos || !EndsWith(rels, ".rels")) return std::nullopt;
  if (at != 0 && rels[at - 1] != '/') return std::nullopt;
  std::string name = rels.substr(at + 6, rels.size() - at - 6 - 5);
  if (name.find('/') != std::string::npos) return std::nullopt;
  return rels.substr(0, at) + name;
}

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
  std::string part;
  std::vector<Piece> pieces;
  std::size_t start = 0, end = 0;  // the path's raw text within the joined code
  bool quoted = false;
  bool doubled = true;  // backslashes written doubled
  Target parsed;
  std::string path_text;  // unescaped
  LinkKind kind = LinkKind::IncludePictureField;
};

// Splits a field code into its name and the raw ranges of its arguments (switches and
// their arguments left out).
struct Argument {
  std::size_t start, end;  // raw text, quotes excluded
  bool quoted;
};

std::vector<Argument> FieldArguments(const std::string& code, std::string& name) {
  std::vector<Argument> args;
  std::size_t i = 0, n = code.size();
  bool first = true, skip_next = false;
  while (i < n) {
    while (i < n && std::isspace(static_cast<unsigned char>(code[i]))) ++i;
    if (i >= n) break;
    Argument a{i, i, false};
    if (code[i] == '"') {
      a.quoted = true;
      a.start = ++i;
      while (i < n && code[i] != '"') i += (code[i] == '\\' && i + 1 < n) ? 2 : 1;
      a.end = std::min(i, n);
      if (i < n) ++i;
    } else {
      while (i < n && !std::isspace(static_cast<unsigned char>(code[i])))
        i += (code[i] == '\\' && i + 1 < n && code[i + 1] == '\\') ? 2 : 1;
      a.end = std::min(i, n);
    }
    std::string_view raw(code.data() + a.start, a.end - a.start);
    if (first) {
      name = std::string(raw);
      first = false;
      continue;
    }
    if (skip_next) {
      skip_next = false;
      continue;
    }
    // A switch: a backslash and one character (\d, \* MERGEFORMAT, \# "0", \@ "d").
    if (!a.quoted && raw.size() == 2 && raw[0] == '\\' && raw[1] != '\\') {
      skip_next = raw[1] == '*' || raw[1] == '#' || raw[1] == '@';
      continue;
    }
    args.push_back(a);
  }
  return args;
}

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

}  // namespace

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

struct Document::Impl {
  std::unique_ptr<Package> package;
  std::map<std::string, std::unique_ptr<Rels>> rels;
  std::map<std::string, std::unique_ptr<Part>> parts;
  std::vector<Field> fields;
  // Per link: the relationship elements (with their rels) and the fields that name it.
  struct Uses {
    std::vector<std::pair<Rels*, pugi::xml_node>> relationships;
    std::vector<std::size_t> fields;
  };
  std::vector<Uses> uses;
  std::map<std::pair<Rels*, std::string>, std::size_t> link_of_rel;
  std::string main_part = "word/document.xml";

  void Parse(pugi::xml_document& doc, Encoding& encoding, const std::string& name) {
    encoding = ParseXml(doc, package->Read(name), name);
  }

  Rels* LoadRels(const std::string& part) {
    std::string name = RelsNameOf(part);
    auto found = rels.find(name);
    if (found != rels.end()) return found->second.get();
    if (!package->Has(name)) return nullptr;
    auto r = std::make_unique<Rels>();
    r->name = name;
    Parse(r->doc, r->encoding, name);
    for (pugi::xml_node n : r->doc.document_element().children())
      if (LocalName(n.name()) == "Relationship") r->by_id[n.attribute("Id").value()] = n;
    return rels.emplace(name, std::move(r)).first->second.get();
  }
};

namespace {

bool IsExternal(pugi::xml_node rel) {
  return std::string_view(rel.attribute("TargetMode").value()) == "External";
}

// Pictures, objects, and a chart's workbook (an object, or a package where it is kept whole).
bool IsLinkType(pugi::xml_node rel) {
  std::string_view type = rel.attribute("Type").value();
  return EndsWith(type, "/image") || EndsWith(type, "/oleObject") || EndsWith(type, "/package");
}

}  // namespace

Document::Document(std::vector<std::uint8_t> bytes, const std::string& folder, const Limits& limits)
    : impl_(std::make_unique<Impl>()), folder_(folder) {
  Impl& m = *impl_;
  m.package = std::make_unique<Package>(std::move(bytes), limits);

  // The main part, from the package's relationships.
  if (Rels* root = m.LoadRels("")) {
    for (auto& [id, rel] : root->by_id)
      if (EndsWith(rel.attribute("Type").value(), "/officeDocument"))
        m.main_part = ResolvePartName("", rel.attribute("Target").value());
  }
  if (!m.package->Has(m.main_part))
    throw DocError(Reason::NotZip, "not a Word document (no main document part)");

  // The parts to read: the body, the parts it refers to that hold text, and any other
  // part with external picture or object relationships of its own.
  std::vector<std::pair<std::string, PartKind>> todo{{m.main_part, PartKind::Body}};
  if (Rels* main = m.LoadRels(m.main_part)) {
    static const std::pair<std::string_view, PartKind> kKinds[] = {
        {"/header", PartKind::Header},
        {"/footer", PartKind::Footer},
        {"/footnotes", PartKind::Footnotes},
        {"/endnotes", PartKind::Endnotes},
        {"/comments", PartKind::Comments}};
    for (auto& [id, rel] : main->by_id) {
      if (IsExternal(rel)) continue;
      for (auto& [suffix, kind] : kKinds)
        if (EndsWith(rel.attribute("Type").value(), suffix)) {
          std::string name = ResolvePartName(m.main_part, rel.attribute("Target").value());
          if (m.package->Has(name)) todo.emplace_back(name, kind);
        }
    }
  }
  for (const std::string& entry : m.package->Names()) {
    std::optional<std::string> part = PartOfRels(entry);
    if (!part || part->empty() || !m.package->Has(*part)) continue;
    bool listed = false;
    for (auto& t : todo) listed = listed || t.first == *part;
    if (listed) continue;
    Rels* r = m.LoadRels(*part);
    for (auto& [id, rel] : r->by_id)
      if (IsExternal(rel) && IsLinkType(rel)) {
        bool chart = part->find("/charts/") != std::string::npos;
        todo.emplace_back(*part, chart ? PartKind::Chart : PartKind::Other);
        break;
      }
  }

  Rels* main_rels = m.LoadRels(m.main_part);
  for (auto& [name, kind] : todo) {
    if (m.parts.count(name)) continue;
    auto part = std::make_unique<Part>();
    part->name = name;
    part->kind = kind;
    m.Parse(part->doc, part->encoding, name);
    Rels* own = m.LoadRels(name);
    Part& p = *part;
    m.parts.emplace(name, std::move(part));

    // Fields open at a point of the walk; a nested field's code makes its outer field's
    // path dynamic, and such a path is left alone.
    struct Open {
      std::vector<Piece> pieces;
      bool in_result = false;
      bool nested = false;
      std::optional<std::size_t> field;  // index in m.fields once the code is read
      std::optional<std::size_t> link;   // the link its result showed
      pugi::xml_node simple;
    };
    std::vector<Open> open;

    auto finish_code = [&](Open& f) {
      if (f.in_result) return;
      f.in_result = true;
      if (f.nested) return;
      std::string code;
      for (const Piece& piece : f.pieces) code += piece.Text();
      std::string fname;
      std::vector<Argument> args = FieldArguments(code, fname);
      std::size_t want;
      LinkKind kind;
      if (EqualNoCase(fname, "INCLUDEPICTURE")) {
        want = 0;
        kind = LinkKind::IncludePictureField;
      } else if (EqualNoCase(fname, "LINK")) {
        want = 1;
        kind = LinkKind::LinkField;
      } else {
        return;
      }
      if (args.size() <= want) return;
      Field field;
      field.part = name;
      field.pieces = f.pieces;
      field.start = args[want].start;
      field.end = args[want].end;
      field.quoted = args[want].quoted;
      std::string raw = code.substr(field.start, field.end - field.start);
      field.doubled = raw.find('\\') == std::string::npos || raw.find("\\\\") != std::string::npos;
      field.path_text = field.doubled ? UnescapeFieldText(raw) : raw;
      field.parsed = ParseTarget(field.path_text, folder_);
      field.kind = kind;
      m.fields.push_back(std::move(field));
      f.field = m.fields.size() - 1;
    };

    auto close_field = [&]() {
      Open f = std::move(open.back());
      open.pop_back();
      finish_code(f);
      if (!f.field) return;
      if (f.link) {
        m.uses[*f.link].fields.push_back(*f.field);
        links_[*f.link].kind = m.fields[*f.field].kind;
        return;
      }
      // A field whose result shows no linked picture is a link of its own.
      const Field& fd = m.fields[*f.field];
      Link link;
      link.part = name;
      link.part_kind = kind;
      link.kind = fd.kind;
      link.target = fd.path_text;
      link.parsed = fd.parsed;
      links_.push_back(link);
      m.uses.push_back({{}, {*f.field}});
    };

    // A use of relationship `id` by the markup at `node`.
    auto use = [&](pugi::xml_node node, const std::string& id, LinkKind link_kind, bool stored) {
      Rels* where = own;
      pugi::xml_node rel;
      if (own != nullptr && own->by_id.count(id)) rel = own->by_id[id];
      // Read also the form some writers use for headers and footers: the relationship in
      // the main part's relationships instead of the part's own.
      if (!rel && main_rels != nullptr && main_rels != own && main_rels->by_id.count(id)) {
        where = main_rels;
        rel = main_rels->by_id[id];
      }
      if (!rel || !IsExternal(rel) || !IsLinkType(rel)) return;
      (void)node;
      auto key = std::make_pair(where, id);
      auto known = m.link_of_rel.find(key);
      std::size_t index;
      if (known != m.link_of_rel.end()) {
        index = known->second;
        links_[index].stored = links_[index].stored || stored;
      } else {
        Link link;
        link.part = name;
        link.part_kind = kind;
        link.kind = link_kind;
        link.target = rel.attribute("Target").value();
        link.parsed = ParseTarget(link.target, folder_);
        link.stored = stored;
        links_.push_back(link);
        m.uses.push_back({{{where, rel}}, {}});
        index = links_.size() - 1;
        m.link_of_rel[key] = index;
      }
      for (auto it = open.rbegin(); it != open.rend(); ++it)
        if (it->in_result && it->field) {
          if (!it->link) it->link = index;
          break;
        }
    };

    auto internal_image = [&](const std::string& id) {
      pugi::xml_node rel;
      if (own != nullptr && own->by_id.count(id)) rel = own->by_id[id];
      if (!rel && main_rels != nullptr && main_rels->by_id.count(id)) rel = main_rels->by_id[id];
      return rel && !IsExternal(rel);
    };

    auto enter = [&](pugi::xml_node n) {
      std::string_view local = LocalName(n.name());
      if (local == "fldChar" && Is(n, "fldChar", kNsW)) {
        std::string_view type = AttributeNs(n, "fldCharType", kNsW).value();
        if (type == "begin") {
          if (!open.empty() && !open.back().in_result) open.back().nested = true;
          open.emplace_back();
        } else if (type == "separate" && !open.empty()) {
          finish_code(open.back());
        } else if (type == "end" && !open.empty()) {
          close_field();
        }
      } else if (local == "instrText" && Is(n, "instrText", kNsW)) {
        if (!open.empty() && !open.back().in_result) open.back().pieces.push_back({n, {}});
      } else if (local == "fldSimple" && Is(n, "fldSimple", kNsW)) {
        if (!open.empty() && !open.back().in_result) open.back().nested = true;
        Open f;
        f.pieces.push_back({n, AttributeNs(n, "instr", kNsW)});
        f.simple = n;
        open.push_back(std::move(f));
        finish_code(open.back());
      } else if (local == "blip" && Is(n, "blip", kNsA)) {
        pugi::xml_attribute link = AttributeNs(n, "link", kNsR);
        if (!link || !*link.value()) return;
        LinkKind k = LinkKind::InlinePicture;
        for (pugi::xml_node up = n.parent(); up; up = up.parent()) {
          std::string_view l = LocalName(up.name());
          if ((l == "anchor" || l == "inline") && Is(up, l, kNsWp)) {
            if (l == "anchor") k = LinkKind::FloatingPicture;
            break;
          }
        }
        pugi::xml_attribute embed = AttributeNs(n, "embed", kNsR);
        use(n, link.value(), k, embed && *embed.value());
      } else if (local == "imagedata" && Is(n, "imagedata", kNsV)) {
        std::vector<std::string> ids;
        for (const char* a : {"id", "href", "pict"})
          if (pugi::xml_attribute at = AttributeNs(n, a, kNsR)) ids.push_back(at.value());
        if (pugi::xml_attribute at = AttributeNs(n, "relid", kNsO)) ids.push_back(at.value());
        bool stored = false;
        for (const std::string& id : ids) stored = stored || internal_image(id);
        for (const std::string& id : ids) use(n, id, LinkKind::VmlPicture, stored);
      } else if (local == "externalData" && Is(n, "externalData", kNsC)) {
        pugi::xml_attribute id = AttributeNs(n, "id", kNsR);
        if (id) use(n, id.value(), LinkKind::ChartData, false);
      } else if (local == "OLEObject" && Is(n, "OLEObject", kNsO)) {
        if (std::string_view(n.attribute("Type").value()) != "Link") return;
        pugi::xml_attribute id = AttributeNs(n, "id", kNsR);
        if (id) use(n, id.value(), LinkKind::OleObject, false);
      }
    };
    auto leave = [&](pugi::xml_node n) {
      if (!open.empty() && open.back().simple == n) close_field();
    };

    // Document order without recursion: deeply nested markup cannot exhaust the stack.
    pugi::xml_node root = p.doc.document_element();
    pugi::xml_node n = root;
    while (n) {
      if (n.type() == pugi::node_element) enter(n);
      pugi::xml_node child = n.first_child();
      if (child && n.type() == pugi::node_element) {
        n = child;
        continue;
      }
      while (n) {
        if (n.type() == pugi::node_element) leave(n);
        if (n == root) {
          n = pugi::xml_node();
          break;
        }
        if (pugi::xml_node next = n.next_sibling()) {
          n = next;
          break;
        }
        n = n.parent();
      }
    }
    while (!open.empty()) close_field();
  }
}

Document::~Document() = default;

void Document::Retarget(std::size_t i, const std::string& path, const WriteOptions& options) {
  Impl& m = *impl_;
  Link& link = links_.at(i);
  Impl::Uses& uses = m.uses.at(i);
  std::string text;
  for (auto& [rels, rel] : uses.relationships) {
    text = FormatTarget(link.parsed, path, folder_, options);
    rel.attribute("Target").set_value(text.c_str());
    rels->dirty = true;
  }
  for (std::size_t f : uses.fields) {
    Field& field = m.fields[f];
    std::string value = FormatTarget(field.parsed, path, folder_, options);
    if (uses.relationships.empty()) text = value;
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
      m.parts[field.part]->dirty = true;
    }
    field.quoted = field.quoted || add_quotes;
    field.start = s + (add_quotes ? 1 : 0);
    field.end = field.start + escaped.size();
    field.path_text = value;
    field.parsed = ParseTarget(value, folder_);
  }
  link.target = text;
  link.parsed = ParseTarget(text, folder_);
}

bool Document::Changed() const {
  return !ChangedParts().empty();
}

std::vector<std::string> Document::ChangedParts() const {
  std::vector<std::string> names;
  for (auto& [name, r] : impl_->rels)
    if (r->dirty) names.push_back(name);
  for (auto& [name, p] : impl_->parts)
    if (p->dirty) names.push_back(name);
  return names;
}

std::vector<std::uint8_t> Document::Save() const {
  std::map<std::string, std::string> replaced;
  for (auto& [name, r] : impl_->rels)
    if (r->dirty) replaced[name] = Serialize(r->doc, r->encoding);
  for (auto& [name, p] : impl_->parts)
    if (p->dirty) replaced[name] = Serialize(p->doc, p->encoding);
  return impl_->package->Write(replaced);
}

}  // namespace ravel::docfile
