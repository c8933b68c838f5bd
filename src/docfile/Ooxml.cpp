#include "docfile/Ooxml.h"

#include <cctype>

#include "docfile/Errors.h"
#include "relink/TextCompare.h"

namespace ravel::docfile::ooxml {

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

bool IsExternal(pugi::xml_node rel) {
  return std::string_view(rel.attribute("TargetMode").value()) == "External";
}

std::string_view RelType(pugi::xml_node rel) {
  std::string_view type = rel.attribute("Type").value();
  std::size_t slash = type.rfind('/');
  return slash == std::string_view::npos ? type : type.substr(slash + 1);
}

MainPart FindMainPart(const Package& package) {
  MainPart main;
  if (!package.Has("_rels/.rels")) return main;
  pugi::xml_document rels;
  ParseXml(rels, package.Read("_rels/.rels"), "_rels/.rels");
  for (pugi::xml_node n : rels.document_element().children())
    if (LocalName(n.name()) == "Relationship" && RelType(n) == "officeDocument" && !IsExternal(n)) {
      main.name = ResolvePartName("", n.attribute("Target").value());
      break;
    }
  if (main.name.empty() || !package.Has(main.name)) return {};
  pugi::xml_document types;
  ParseXml(types, package.Read("[Content_Types].xml"), "[Content_Types].xml");
  std::string ext;
  if (std::size_t dot = main.name.rfind('.'); dot != std::string::npos)
    ext = main.name.substr(dot + 1);
  std::string fallback;
  for (pugi::xml_node n : types.document_element().children()) {
    std::string_view local = LocalName(n.name());
    // Part names and extensions compare without regard to ASCII case.
    if (local == "Override" &&
        EqualNoCase(ResolvePartName("", n.attribute("PartName").value()), main.name)) {
      main.content_type = n.attribute("ContentType").value();
      return main;
    }
    if (local == "Default" && EqualNoCase(n.attribute("Extension").value(), ext))
      fallback = n.attribute("ContentType").value();
  }
  main.content_type = fallback;
  return main;
}

std::vector<Argument> FieldArguments(const std::string& code, std::string& name,
                                     std::string* switches, std::string_view with_argument) {
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
    // A switch: a backslash and one character (\d, \* MERGEFORMAT, \# "0", \@ "d").
    if (!a.quoted && raw.size() == 2 && raw[0] == '\\' && raw[1] != '\\') {
      char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(raw[1])));
      if (switches != nullptr) *switches += letter;
      skip_next = letter == '*' || letter == '#' || letter == '@' ||
                  with_argument.find(letter) != std::string_view::npos;
      continue;
    }
    if (skip_next) {
      skip_next = false;
      continue;
    }
    args.push_back(a);
  }
  return args;
}

void ForEachElement(pugi::xml_node root, const std::function<void(pugi::xml_node)>& enter,
                    const std::function<void(pugi::xml_node)>& leave) {
  pugi::xml_node n = root;
  while (n) {
    if (n.type() == pugi::node_element) enter(n);
    pugi::xml_node child = n.first_child();
    if (child && n.type() == pugi::node_element) {
      n = child;
      continue;
    }
    while (n) {
      if (n.type() == pugi::node_element && leave) leave(n);
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
}

namespace {

// `path` relative to `folder` with ".." where it lies elsewhere on the same drive or share,
// slash-separated and escaped as a URI reference; nothing where no relative form exists.
std::optional<std::string> RelativeReference(const std::string& path, const std::string& folder) {
  auto split = [](const std::string& p) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    if (p.starts_with("\\\\")) {
      // \\server\share is one root.
      std::size_t server = p.find('\\', 2);
      std::size_t share = server == std::string::npos ? p.size() : p.find('\\', server + 1);
      if (share == std::string::npos) share = p.size();
      parts.push_back(p.substr(0, share));
      start = share + 1;
    }
    while (start <= p.size()) {
      std::size_t next = p.find('\\', start);
      if (next == std::string::npos) next = p.size();
      if (next > start) parts.push_back(p.substr(start, next - start));
      start = next + 1;
    }
    return parts;
  };
  std::vector<std::string> to = split(NormalizePath(path)), from = split(NormalizePath(folder));
  if (to.empty() || from.empty() || !EqualNoCase(to[0], from[0])) return std::nullopt;
  std::size_t same = 0;
  while (same < to.size() - 1 && same < from.size() && EqualNoCase(to[same], from[same])) ++same;
  std::string rel;
  for (std::size_t i = same; i < from.size(); ++i) rel += "../";
  for (std::size_t i = same; i < to.size(); ++i) rel += to[i] + (i + 1 < to.size() ? "/" : "");
  // Written as the relationship would have it: a URI reference.
  return PercentEscape(rel, false);
}

// Whether a relationship of `type` can stand behind a link of `kind`: a picture's markup
// that names a hyperlink relationship is no linked picture.
bool Fits(LinkKind kind, std::string_view type) {
  switch (kind) {
    case LinkKind::InlinePicture:
    case LinkKind::FloatingPicture:
    case LinkKind::VmlPicture:
    case LinkKind::Picture:
    case LinkKind::OleObject:
    case LinkKind::ChartData:
    case LinkKind::IncludePictureField:
    case LinkKind::LinkField:
      return type == "image" || type == "oleObject" || type == "package";
    case LinkKind::Hyperlink:
      return type == "hyperlink";
    default:
      return true;
  }
}

}  // namespace

void OoxmlFamily::Begin(const Package& package, const std::string& folder,
                        std::vector<Link>& links) {
  package_ = &package;
  folder_ = folder;
  links_ = &links;
  base_ = links.size();
}

Rels* OoxmlFamily::LoadRels(const std::string& part) {
  std::string name = RelsNameOf(part);
  auto found = rels_.find(name);
  if (found != rels_.end()) return found->second.get();
  if (!package_->Has(name)) return nullptr;
  auto r = std::make_unique<Rels>();
  r->name = name;
  r->encoding = ParseXml(r->doc, package_->Read(name), name);
  for (pugi::xml_node n : r->doc.document_element().children())
    if (LocalName(n.name()) == "Relationship") r->by_id[n.attribute("Id").value()] = n;
  return rels_.emplace(name, std::move(r)).first->second.get();
}

Part* OoxmlFamily::LoadPart(const std::string& name, PartKind kind) {
  auto found = parts_.find(name);
  if (found != parts_.end()) return found->second.get();
  if (!package_->Has(name)) return nullptr;
  auto part = std::make_unique<Part>();
  part->name = name;
  part->kind = kind;
  part->encoding = ParseXml(part->doc, package_->Read(name), name);
  return parts_.emplace(name, std::move(part)).first->second.get();
}

std::pair<Rels*, pugi::xml_node> OoxmlFamily::Relationship(const Part& part, const std::string& id,
                                                           Rels* fallback) {
  Rels* own = LoadRels(part.name);
  if (own != nullptr)
    if (auto it = own->by_id.find(id); it != own->by_id.end()) return {own, it->second};
  if (fallback != nullptr && fallback != own)
    if (auto it = fallback->by_id.find(id); it != fallback->by_id.end())
      return {fallback, it->second};
  return {nullptr, {}};
}

std::optional<std::size_t> OoxmlFamily::Use(Part& part, const std::string& id, LinkKind kind,
                                            bool stored, bool files_only, Rels* fallback) {
  if (id.empty()) return std::nullopt;
  auto [where, rel] = Relationship(part, id, fallback);
  if (!rel || !IsExternal(rel) || !Fits(kind, RelType(rel))) return std::nullopt;
  auto key = std::make_pair(where, id);
  if (auto known = link_of_rel_.find(key); known != link_of_rel_.end()) {
    Link& link = (*links_)[base_ + known->second];
    link.stored = link.stored || stored;
    OnUse(known->second);
    return known->second;
  }
  Link link;
  link.part = part.name;
  link.part_kind = part.kind;
  link.kind = kind;
  link.target = rel.attribute("Target").value();
  link.parsed = ParseTarget(link.target, folder_);
  link.stored = stored;
  // A hyperlink to a web address, or to a place in the document itself ("#Sheet2!A1"), is
  // no link to a file.
  if (files_only && (link.parsed.form == TargetForm::NotAFile || link.target.starts_with('#')))
    return std::nullopt;
  std::size_t index = Add(std::move(link));
  uses_[index].relationships.emplace_back(where, rel);
  link_of_rel_[key] = index;
  OnUse(index);
  return index;
}

void OoxmlFamily::Attach(std::size_t index, Part& part, const std::string& id, Slot slot) {
  if (id.empty()) return;
  auto [where, rel] = Relationship(part, id);
  if (!rel || !IsExternal(rel)) return;
  if (!link_of_rel_.emplace(std::make_pair(where, id), index).second) return;
  Uses& uses = uses_.at(index);
  (slot == Slot::Same       ? uses.relationships
   : slot == Slot::Absolute ? uses.absolute
                            : uses.relative)
      .emplace_back(where, rel);
}

std::size_t OoxmlFamily::Add(Link link) {
  links_->push_back(std::move(link));
  uses_.emplace_back();
  return links_->size() - 1 - base_;
}

std::vector<std::string> OoxmlFamily::PartsWithExternalRelationships() {
  std::vector<std::string> found;
  for (const std::string& entry : package_->Names()) {
    std::optional<std::string> part = PartOfRels(entry);
    if (!part || part->empty() || !package_->Has(*part) || parts_.count(*part)) continue;
    Rels* r = LoadRels(*part);
    for (auto& [id, rel] : r->by_id)
      if (IsExternal(rel)) {
        found.push_back(*part);
        break;
      }
  }
  return found;
}

bool OoxmlFamily::UseDrawing(Part& part, pugi::xml_node n, LinkKind picture_kind, Rels* fallback) {
  std::string_view local = LocalName(n.name());
  if (local == "blip" && Is(n, "blip", kNsA)) {
    // A picture is linked by r:link; some writers put an external target behind r:embed.
    pugi::xml_attribute link = AttributeNs(n, "link", kNsR);
    pugi::xml_attribute embed = AttributeNs(n, "embed", kNsR);
    auto [where, embedded] = Relationship(part, embed.value(), fallback);
    bool stored = embedded && !IsExternal(embedded);
    if (link && *link.value()) Use(part, link.value(), picture_kind, stored, false, fallback);
    if (embedded && IsExternal(embedded))
      Use(part, embed.value(), picture_kind, false, false, fallback);
    return true;
  }
  if ((local == "hlinkClick" || local == "hlinkHover") && Is(n, local, kNsA)) {
    // Hyperlinks and click actions that open a file; web addresses are no concern here.
    Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::Hyperlink, false, true, fallback);
    return true;
  }
  if (local == "externalData" && Is(n, "externalData", kNsC)) {
    Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::ChartData, false, false, fallback);
    return true;
  }
  return false;
}

void OoxmlFamily::Retarget(std::size_t i, Link& link, const std::string& path,
                           const WriteOptions& options) {
  Uses& uses = uses_.at(i);
  std::string text;
  for (auto& [rels, rel] : uses.relationships) {
    text = FormatTarget(link.parsed, path, folder_, options);
    rel.attribute("Target").set_value(text.c_str());
    rels->dirty = true;
  }
  // The other addresses of the same file follow in their own forms; a web address (a
  // workbook's place in the cloud) stays as it is.
  for (auto& [rels, rel] : uses.absolute) {
    Target own = ParseTarget(rel.attribute("Target").value(), folder_);
    if (own.form == TargetForm::NotAFile) continue;
    WriteOptions absolute = options;
    absolute.relative = false;
    std::string value = FormatTarget(own, path, folder_, absolute);
    rel.attribute("Target").set_value(value.c_str());
    rels->dirty = true;
  }
  for (auto& [rels, rel] : uses.relative) {
    // Where no relative form exists (another drive), the address the link now has.
    std::string value = RelativeReference(path, folder_).value_or(text);
    if (value.empty()) continue;
    rel.attribute("Target").set_value(value.c_str());
    rels->dirty = true;
  }
  RetargetMore(i, link, path, options, text);
  link.target = text;
  link.parsed = ParseTarget(text, folder_);
}

void OoxmlFamily::OnUse(std::size_t) {}

void OoxmlFamily::RetargetMore(std::size_t, Link&, const std::string&, const WriteOptions&,
                               std::string&) {}

std::map<std::string, std::string> OoxmlFamily::Changed() const {
  std::map<std::string, std::string> replaced;
  for (auto& [name, r] : rels_)
    if (r->dirty) replaced[name] = Serialize(r->doc, r->encoding);
  for (auto& [name, p] : parts_)
    if (p->dirty) replaced[name] = Serialize(p->doc, p->encoding);
  return replaced;
}

}  // namespace ravel::docfile::ooxml
