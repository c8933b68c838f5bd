#include "docfile/Xml.h"

#include <sstream>

#include "docfile/Errors.h"

namespace ravel::docfile {

namespace {

void PutUnit(std::string& out, std::uint32_t unit, int bytes, bool big_endian) {
  for (int i = 0; i < bytes; ++i) {
    int shift = 8 * (big_endian ? bytes - 1 - i : i);
    out += static_cast<char>((unit >> shift) & 0xFF);
  }
}

}  // namespace

Encoding ParseXml(pugi::xml_document& doc, const std::string& data, const std::string& name) {
  pugi::xml_parse_result r = doc.load_buffer(data.data(), data.size(), kParseFlags);
  Encoding encoding{r.encoding, HasBom(data) || (r.encoding != pugi::encoding_utf8 &&
                                                 r.encoding != pugi::encoding_latin1)};
  if (!r)
    throw DocError(Reason::BadXml, "part " + name + " is not well-formed XML (" + r.description() +
                                       " at byte " + std::to_string(r.offset) + ")");
  for (pugi::xml_node n : doc.children())
    if (n.type() == pugi::node_doctype)
      throw DocError(Reason::BadXml, "part " + name + " declares a DTD; refused");
  return encoding;
}

bool HasBom(const std::string& data) {
  static const std::string_view kBoms[] = {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  for (std::string_view bom : kBoms)
    if (std::string_view(data).substr(0, bom.size()) == bom) return true;
  return false;
}

// Serialized UTF-8 in the part's own encoding. Latin-1 parts become UTF-8 (their declaration
// is changed to say so), as a new path may hold characters Latin-1 lacks.
std::string Encode(const std::string& utf8, const Encoding& e) {
  bool utf16 = e.encoding == pugi::encoding_utf16_le || e.encoding == pugi::encoding_utf16_be;
  bool utf32 = e.encoding == pugi::encoding_utf32_le || e.encoding == pugi::encoding_utf32_be;
  if (!utf16 && !utf32) return e.bom ? "\xEF\xBB\xBF" + utf8 : utf8;
  bool big = e.encoding == pugi::encoding_utf16_be || e.encoding == pugi::encoding_utf32_be;
  int width = utf16 ? 2 : 4;
  std::string out;
  out.reserve(utf8.size() * width + 4);
  if (e.bom) PutUnit(out, 0xFEFF, width, big);
  for (std::size_t i = 0; i < utf8.size();) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[i + k]); };
    std::uint32_t c = byte(0);
    std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + n > utf8.size()) n = 1;
    if (n == 2) c = ((c & 0x1F) << 6) | (byte(1) & 0x3F);
    if (n == 3) c = ((c & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    if (n == 4)
      c = ((c & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
          (byte(3) & 0x3F);
    i += n;
    if (utf16 && c >= 0x10000) {
      c -= 0x10000;
      PutUnit(out, 0xD800 + (c >> 10), 2, big);
      PutUnit(out, 0xDC00 + (c & 0x3FF), 2, big);
    } else {
      PutUnit(out, c, width, big);
    }
  }
  return out;
}

// The part as it is to be stored again.
std::string Serialize(pugi::xml_document& doc, const Encoding& e) {
  bool unicode = e.encoding != pugi::encoding_latin1;
  for (pugi::xml_node n : doc.children())
    if (n.type() == pugi::node_declaration && !unicode)
      if (pugi::xml_attribute a = n.attribute("encoding")) a.set_value("UTF-8");
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  std::string text = out.str(), kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (c == '\r')
      kept += "&#13;";
    else
      kept += c;
  }
  return Encode(kept, e);
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string_view LocalName(std::string_view qname) {
  std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

std::string_view PrefixOf(std::string_view qname) {
  std::size_t colon = qname.find(':');
  return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

// The namespace a prefix stands for at `node`, from the declarations in scope.
std::string_view NamespaceOf(pugi::xml_node node, std::string_view prefix) {
  std::string decl = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
  for (pugi::xml_node n = node; n; n = n.parent())
    if (n.type() == pugi::node_element)
      if (pugi::xml_attribute a = n.attribute(decl.c_str())) return a.value();
  return {};
}

bool InNs(std::string_view ns, const std::string_view (&uris)[2]) {
  return ns == uris[0] || ns == uris[1];
}

bool Is(pugi::xml_node node, std::string_view local, const std::string_view (&uris)[2]) {
  std::string_view name = node.name();
  return LocalName(name) == local && InNs(NamespaceOf(node, PrefixOf(name)), uris);
}

// An attribute of `node` by local name and namespace.
pugi::xml_attribute AttributeNs(pugi::xml_node node, std::string_view local,
                                const std::string_view (&uris)[2]) {
  for (pugi::xml_attribute a : node.attributes()) {
    std::string_view name = a.name();
    if (LocalName(name) != local || PrefixOf(name).empty()) continue;
    if (InNs(NamespaceOf(node, PrefixOf(name)), uris)) return a;
  }
  return {};
}

}  // namespace ravel::docfile
