// Small .docx packages built in memory for the document engine's tests.
#pragma once

#include <zip.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ravel::docfile::test {

using Strings = std::vector<std::string>;

inline const char kNamespaces[] =
    R"( xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
    R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")"
    R"( xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing")"
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main")"
    R"( xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture")"
    R"( xmlns:v="urn:schemas-microsoft-com:vml")"
    R"( xmlns:o="urn:schemas-microsoft-com:office:office")";

inline const char kImageType[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline const char kOleType[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/oleObject";
inline const char kHeaderType[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";

// Markup of each way a picture or object links to a file (a picture with no `id`: its copy only).
inline std::string Inline(const std::string& id, const std::string& embed = "",
                          const std::string& wrap = "wp:inline") {
  return "<w:r><w:drawing><" + wrap + "><a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip" +
         (embed.empty() ? "" : " r:embed=\"" + embed + "\"") +
         (id.empty() ? "" : " r:link=\"" + id + "\"") +
         "/></pic:blipFill></pic:pic></a:graphicData></a:graphic></" + wrap + "></w:drawing></w:r>";
}
inline std::string Anchor(const std::string& id) {
  return Inline(id, "", "wp:anchor");
}
inline std::string Vml(const std::string& attrs) {
  return "<w:r><w:pict><v:shape><v:imagedata " + attrs + "/></v:shape></w:pict></w:r>";
}
inline std::string Ole(const std::string& id) {
  return "<w:r><w:object><v:shape><v:imagedata r:id=\"rIdPreview\"/></v:shape>"
         "<o:OLEObject Type=\"Link\" ProgID=\"Excel.Sheet.12\" r:id=\"" +
         id + "\"/></w:object></w:r>";
}
// A complex field whose code is split into the given instrText pieces, with `result`.
inline std::string Field(const std::vector<std::string>& code, const std::string& result) {
  std::string s = "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>";
  for (const std::string& piece : code)
    s += "<w:r><w:instrText xml:space=\"preserve\">" + piece + "</w:instrText></w:r>";
  s += "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r>" + result +
       "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
  return s;
}

inline std::string Body(const std::string& content, const char* root = "w:document") {
  std::string inner = std::string(root) == "w:document"
                          ? "<w:body><w:p>" + content + "</w:p></w:body>"
                          : "<w:p>" + content + "</w:p>";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<" + std::string(root) +
         kNamespaces + ">" + inner + "</" + root + ">";
}

struct Rel {
  std::string id, type, target;
  bool external = true;
};

inline std::string Rels(const std::vector<Rel>& rels) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (const Rel& r : rels) {
    s += "<Relationship Id=\"" + r.id + "\" Type=\"" + r.type + "\" Target=\"" + r.target + "\"";
    if (r.external) s += " TargetMode=\"External\"";
    s += "/>";
  }
  return s + "</Relationships>";
}

using Entries = std::vector<std::pair<std::string, std::string>>;

inline const char kRelBase[] =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

// A package whose main part `main` has `content_type` (none: it is known by its root element),
// its markup among `more`.
inline Entries Office(const std::string& main, const std::string& content_type, Entries more) {
  std::string types =
      "<?xml version=\"1.0\"?><Types "
      "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">";
  if (!content_type.empty())
    types += "<Override PartName=\"/" + main + "\" ContentType=\"" + content_type + "\"/>";
  Entries e{
      {"[Content_Types].xml", types + "</Types>"},
      {"_rels/.rels", Rels({{"rId1", std::string(kRelBase) + "officeDocument", main, false}})}};
  for (auto& m : more) e.push_back(std::move(m));
  return e;
}

// A word processing package: its body, the body's relationships (if any), then `more`.
inline Entries Standard(const std::string& document, const std::string& document_rels,
                        Entries more = {}) {
  Entries parts{{"word/document.xml", document}};
  if (!document_rels.empty()) parts.emplace_back("word/_rels/document.xml.rels", document_rels);
  for (auto& m : more) parts.push_back(std::move(m));
  return Office("word/document.xml", "", std::move(parts));
}

// Markup of a part with the namespaces the links of workbooks and presentations use.
inline std::string Xml(const std::string& root, const std::string& content) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" + root +
         " xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""
         " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
         " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
         " xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\""
         " xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\""
         " xmlns:p14=\"http://schemas.microsoft.com/office/powerpoint/2010/main\""
         " xmlns:xxl21=\"http://schemas.microsoft.com/office/spreadsheetml/2021/extlinks2021\">" +
         content + "</" + root.substr(0, root.find(' ')) + ">";
}

inline Entries Workbook(Entries more, const std::string& content_type =
                                          "application/vnd.openxmlformats-officedocument."
                                          "spreadsheetml.sheet.main+xml") {
  more.insert(more.begin(), {"xl/workbook.xml", Xml("workbook", "<sheets/>")});
  return Office("xl/workbook.xml", content_type, std::move(more));
}

inline Entries Presentation(Entries more) {
  more.insert(more.begin(), {"ppt/presentation.xml", Xml("p:presentation", "")});
  return Office(
      "ppt/presentation.xml",
      "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml",
      std::move(more));
}

// A zip of the entries, deflated except those named in `stored`.
inline std::vector<std::uint8_t> Zip(const Entries& entries,
                                     const std::vector<std::string>& stored = {}) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(target);
  zip_t* z = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  for (const auto& [name, data] : entries) {
    zip_source_t* s = zip_source_buffer(z, data.data(), data.size(), 0);
    zip_uint64_t i = static_cast<zip_uint64_t>(zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8));
    bool store = std::find(stored.begin(), stored.end(), name) != stored.end();
    zip_set_file_compression(z, i, store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
  }
  zip_close(z);
  zip_stat_t st;
  zip_source_stat(target, &st);
  std::vector<std::uint8_t> bytes(st.size);
  zip_source_open(target);
  zip_source_read(target, bytes.data(), bytes.size());
  zip_source_close(target);
  zip_source_free(target);
  zip_error_fini(&error);
  return bytes;
}

// Every entry of a package: name, method, compressed bytes and data.
struct RawEntry {
  std::string name;
  int method = 0;
  std::string compressed, data;
};

inline std::vector<RawEntry> Unzip(const std::vector<std::uint8_t>& bytes) {
  std::vector<RawEntry> out;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (z == nullptr) {
    zip_source_free(src);
    return out;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
    RawEntry e{st.name, st.comp_method, {}, {}};
    for (int raw = 0; raw < 2; ++raw) {
      zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), raw ? ZIP_FL_COMPRESSED : 0);
      char buf[4096];
      zip_int64_t n;
      while ((n = zip_fread(f, buf, sizeof buf)) > 0) (raw ? e.compressed : e.data).append(buf, n);
      zip_fclose(f);
    }
    out.push_back(std::move(e));
  }
  zip_discard(z);
  return out;
}

inline std::string EntryData(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  for (RawEntry& e : Unzip(bytes))
    if (e.name == name) return e.data;
  return "<missing>";
}

// The entries whose method or compressed bytes differ, by name; "<entries differ>" where the
// packages do not hold the same entries in the same order.
inline Strings Rewritten(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  std::vector<RawEntry> before = Unzip(a), after = Unzip(b);
  if (before.size() != after.size()) return {"<entries differ>"};
  Strings names;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i].name != after[i].name) return {"<entries differ>"};
    if (before[i].compressed != after[i].compressed || before[i].method != after[i].method)
      names.push_back(after[i].name);
  }
  return names;
}

// ASCII text as UTF-16 little-endian with its byte order mark.
inline std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// A package whose entry word/a.xml appears again as `twin` (ten characters). libzip writes no
// duplicate names: the second entry is renamed in the finished bytes.
inline std::vector<std::uint8_t> Twin(const std::string& twin) {
  std::vector<std::uint8_t> bytes =
      Zip(Standard(Body(""), "", {{"word/a.xml", "<a/>"}, {"word/b.xml", "<b/>"}}));
  std::string raw(bytes.begin(), bytes.end());
  for (std::size_t at; (at = raw.find("word/b.xml")) != std::string::npos;)
    raw.replace(at, 10, twin);
  return {raw.begin(), raw.end()};
}

inline const char kOdfNamespaces[] =
    R"( xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0")"
    R"( xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0")"
    R"( xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0")"
    R"( xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0")"
    R"( xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0")"
    R"( xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0")"
    R"( xmlns:anim="urn:oasis:names:tc:opendocument:xmlns:animation:1.0")"
    R"( xmlns:xlink="http://www.w3.org/1999/xlink")";

// An OpenDocument part whose text is `markup`.
inline std::string Content(const std::string& markup,
                           const char* root = "office:document-content") {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<") + root + kOdfNamespaces +
         "><office:body><office:text><text:p>" + markup +
         "</text:p></office:text></office:body></" + root + ">";
}

// An OpenDocument package as LibreOffice lays it out: the mimetype first and stored.
inline std::vector<std::uint8_t> Odf(
    const std::string& content, Entries more = {}, const std::string& manifest = "",
    const std::string& type = "application/vnd.oasis.opendocument.text") {
  Entries e{{"mimetype", type},
            {"content.xml", content},
            {"styles.xml", Content("", "office:document-styles")},
            {"META-INF/manifest.xml",
             "<?xml version=\"1.0\"?><manifest:manifest "
             "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">" +
                 manifest + "</manifest:manifest>"}};
  for (auto& m : more) e.push_back(std::move(m));
  return Zip(e, {"mimetype"});
}

inline std::string Image(const std::string& href) {
  return "<draw:frame><draw:image xlink:href=\"" + href + "\"/></draw:frame>";
}

}  // namespace ravel::docfile::test
