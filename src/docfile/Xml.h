// The XML of package parts as the document engine reads and writes it: parsed with the
// flags that keep every character as stored, refused with a DTD, and written back in the
// part's own encoding. Shared by every format family.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace ravel::docfile {

// Line ends and white space in attributes are read as any XML reader reads them, so that a
// carriage return left in the tree can only have come from a character reference, and is
// written back as one.
inline constexpr unsigned kParseFlags =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_comments | pugi::parse_pi |
    pugi::parse_declaration | pugi::parse_doctype | pugi::parse_ws_pcdata | pugi::parse_eol |
    pugi::parse_wconv_attribute;

// How a part was stored, to write it back the same way.
struct Encoding {
  pugi::xml_encoding encoding = pugi::encoding_utf8;
  bool bom = false;
};

// Parses the data of part `name` into `doc` and returns how it was encoded. Throws DocError
// (BadXml) for XML that is not well-formed or that declares a DTD.
Encoding ParseXml(pugi::xml_document& doc, const std::string& data, const std::string& name);

bool HasBom(const std::string& data);
// Serialized UTF-8 in the part's own encoding.
std::string Encode(const std::string& utf8, const Encoding& e);
// The part as it is to be stored again.
std::string Serialize(pugi::xml_document& doc, const Encoding& e);

bool EndsWith(std::string_view s, std::string_view suffix);
std::string_view LocalName(std::string_view qname);
std::string_view PrefixOf(std::string_view qname);
// The namespace a prefix stands for at `node`, from the declarations in scope.
std::string_view NamespaceOf(pugi::xml_node node, std::string_view prefix);
// A namespace given in its transitional and strict forms (or twice the same).
bool InNs(std::string_view ns, const std::string_view (&uris)[2]);
bool Is(pugi::xml_node node, std::string_view local, const std::string_view (&uris)[2]);
// An attribute of `node` by local name and namespace.
pugi::xml_attribute AttributeNs(pugi::xml_node node, std::string_view local,
                                const std::string_view (&uris)[2]);

}  // namespace ravel::docfile
