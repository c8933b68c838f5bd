// The OpenDocument family (.odt .ods .odp .odg and their templates): links are xlink:href
// attributes of the content and styles of the document and of every object inside it. A
// relative reference is read as if the package were a folder: beside report.odt is
// "../pic.png", and a reference that stays within that folder is a part of the package.
#include <pugixml.hpp>

#include <optional>

#include "docfile/Family.h"
#include "docfile/Xml.h"

namespace ravel::docfile {

namespace {

constexpr std::string_view kNsXlink[] = {"http://www.w3.org/1999/xlink",
                                         "http://www.w3.org/1999/xlink"};
constexpr std::string_view kNsManifest[] = {"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0",
                                            "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"};

constexpr std::string_view kDraw = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
constexpr std::string_view kText = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view kTable = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view kStyle = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr std::string_view kPresentation = "urn:oasis:names:tc:opendocument:xmlns:presentation:1.0";
constexpr std::string_view kAnim = "urn:oasis:names:tc:opendocument:xmlns:animation:1.0";

// The elements whose xlink:href may name a file outside the package. A media plug-in is a
// video unless its type or name says audio.
struct Element {
  std::string_view ns, local;
  LinkKind kind;
};
constexpr Element kElements[] = {
    {kDraw, "image", LinkKind::Picture},
    {kDraw, "fill-image", LinkKind::Picture},
    {kStyle, "background-image", LinkKind::Picture},
    {kDraw, "object", LinkKind::OleObject},
    {kDraw, "object-ole", LinkKind::OleObject},
    {kText, "list-level-style-image", LinkKind::Picture},  // a list's bullet
    {kText, "section-source", LinkKind::LinkedSection},
    {kTable, "table-source", LinkKind::LinkedSheet},
    {kTable, "cell-range-source", LinkKind::LinkedSheet},  // a range of cells from a file
    {kAnim, "audio", LinkKind::LinkedAudio},
    {kPresentation, "sound", LinkKind::LinkedAudio},
    {kDraw, "plugin", LinkKind::LinkedVideo},
    {kText, "a", LinkKind::Hyperlink},
    {kDraw, "a", LinkKind::Hyperlink},
    {kDraw, "area-rectangle", LinkKind::Hyperlink},
    {kDraw, "area-circle", LinkKind::Hyperlink},
    {kDraw, "area-polygon", LinkKind::Hyperlink},
    // A click that opens another document.
    {kPresentation, "event-listener", LinkKind::Hyperlink},
};

bool IsAudio(pugi::xml_node plugin, std::string_view target) {
  constexpr std::string_view kNsDraw[] = {kDraw, kDraw};
  std::string_view mime = AttributeNs(plugin, "mime-type", kNsDraw).value();
  if (mime.starts_with("audio/")) return true;
  std::size_t dot = target.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string ext(target.substr(dot + 1));
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  for (const char* a : {"wav", "mp3", "ogg", "oga", "flac", "m4a", "wma", "aif", "aiff", "mid"})
    if (ext == a) return true;
  return false;
}

// A name no file can have ('<' and '>' are not allowed in Windows names): the package as a
// folder, so that a reference that stays inside it can be told from one that leaves it.
constexpr char kPackageFolder[] = "<package>";

std::optional<std::string> ParentOf(const std::string& path) {
  std::size_t cut = path.rfind('\\');
  if (cut == std::string::npos || cut < 2) return std::nullopt;
  if (path.starts_with("\\\\") && path.find('\\', 2) == cut) return std::nullopt;
  return path.substr(0, cut);
}

struct Part {
  std::string name;
  pugi::xml_document doc;
  Encoding encoding;
  std::string base;  // the folder relative references start from
  int depth = 1;     // how many folders `base` lies below the document's folder
  bool dirty = false;
};

struct Use {
  Part* part;
  pugi::xml_attribute href;
  std::string fragment;  // "#..." after the file, kept as it was
};

class OpenDocumentFamily : public Family {
 public:
  void Read(const Package& package, const std::string& folder, std::vector<Link>& links) override {
    folder_ = folder;
    package_ = folder + "\\" + kPackageFolder;
    RefuseEncrypted(package);
    // Every OpenDocument package has its content; one without is damaged, and passing it
    // over as a document without links would hide that.
    if (!package.Has("content.xml"))
      throw DocError(Reason::Unreadable, "damaged OpenDocument package: it has no content.xml");
    for (const std::string& name : package.Names()) {
      if (name.starts_with("META-INF/")) continue;
      if (name != "content.xml" && name != "styles.xml" && !EndsWith(name, "/content.xml") &&
          !EndsWith(name, "/styles.xml"))
        continue;
      auto part = std::make_unique<Part>();
      part->name = name;
      part->encoding = ParseXml(part->doc, package.Read(name), name);
      part->base = package_;
      if (std::size_t slash = name.rfind('/'); slash != std::string::npos) {
        std::string sub = name.substr(0, slash);
        for (char& c : sub)
          if (c == '/') {
            c = '\\';
            ++part->depth;
          }
        part->base += "\\" + sub;
        ++part->depth;
      }
      Collect(*part, links);
      parts_.push_back(std::move(part));
    }
  }

  void Retarget(std::size_t i, Link& link, const std::string& path,
                const WriteOptions& options) override {
    Use& use = uses_.at(i);
    std::string text = Format(link.parsed, path, *use.part, options) + use.fragment;
    use.href.set_value(text.c_str());
    use.part->dirty = true;
    link.target = text;
    link.parsed = ParseTarget(text.substr(0, text.size() - use.fragment.size()), use.part->base);
  }

  std::map<std::string, std::string> Changed() const override {
    std::map<std::string, std::string> out;
    for (const auto& part : parts_)
      if (part->dirty) out[part->name] = Serialize(part->doc, part->encoding);
    return out;
  }

 private:
  // An encrypted package keeps its entries readable to zip but not as XML: say so rather
  // than call them broken.
  static void RefuseEncrypted(const Package& package) {
    const std::string manifest = "META-INF/manifest.xml";
    if (!package.Has(manifest)) return;
    pugi::xml_document doc;
    ParseXml(doc, package.Read(manifest), manifest);
    for (pugi::xml_node entry : doc.document_element().children())
      for (pugi::xml_node child : entry.children())
        if (Is(child, "encryption-data", kNsManifest))
          throw DocError(Reason::Encrypted,
                         "encrypted with a password: remove the password in LibreOffice, then "
                         "run again");
  }

  void Collect(Part& part, std::vector<Link>& links) {
    // Document order without recursion: deeply nested markup cannot exhaust the stack.
    pugi::xml_node root = part.doc.document_element();
    pugi::xml_node n = root;
    while (n) {
      if (n.type() == pugi::node_element) Visit(part, n, links);
      if (pugi::xml_node child = n.first_child(); child && n.type() == pugi::node_element) {
        n = child;
        continue;
      }
      while (n && n != root && !n.next_sibling()) n = n.parent();
      n = n && n != root ? n.next_sibling() : pugi::xml_node();
    }
  }

  void Visit(Part& part, pugi::xml_node n, std::vector<Link>& links) {
    pugi::xml_attribute href = AttributeNs(n, "href", kNsXlink);
    if (!href || !*href.value()) return;
    std::string_view name = n.name();
    std::string_view ns = NamespaceOf(n, PrefixOf(name));
    const Element* element = nullptr;
    for (const Element& e : kElements)
      if (e.local == LocalName(name) && e.ns == ns) element = &e;
    if (element == nullptr) return;
    std::string target = href.value();
    std::size_t hash = target.find('#');
    std::string file = target.substr(0, hash);
    Target parsed = ParseTarget(file, part.base);
    if (file.empty()) return;
    // A picture or object on the web is listed as the other families list one; a hyperlink
    // to a web page is none. LibreOffice's own schemes name parts of the package.
    if (parsed.form == TargetForm::NotAFile &&
        (element->kind == LinkKind::Hyperlink || file.starts_with("vnd.sun.star.") ||
         file.starts_with("data:") || file.find(':') == std::string::npos))
      return;
    if (parsed.form == TargetForm::Relative && StartsWithFolder(parsed.path, package_, nullptr))
      return;
    Link link;
    link.part = part.name;
    link.part_kind = PartKind::Content;
    link.kind = element->kind;
    if (link.kind == LinkKind::LinkedVideo && IsAudio(n, file)) link.kind = LinkKind::LinkedAudio;
    link.target = target;
    link.parsed = parsed;
    links.push_back(link);
    uses_.push_back({&part, href, hash == std::string::npos ? "" : target.substr(hash)});
  }

  // The text for `path` in the form the reference had. A relative reference stays relative
  // while the file is on the same drive or share, climbing out of the package as LibreOffice
  // writes it; asked for relative links, a file beneath the document's folder gets one.
  std::string Format(const Target& original, const std::string& path, const Part& part,
                     const WriteOptions& options) const {
    const bool was_relative = original.form == TargetForm::Relative;
    if (was_relative || options.relative) {
      std::string common = folder_, rest;
      int ups = part.depth;
      while (!StartsWithFolder(path, common, &rest)) {
        std::optional<std::string> up = ParentOf(common);
        if (!up || !was_relative) break;
        common = *up;
        ++ups;
      }
      if (StartsWithFolder(path, common, &rest) && !rest.empty()) {
        Target uri;
        uri.form = TargetForm::Relative;
        uri.encoded_utf8 = original.encoded_utf8;
        std::string text;
        for (int k = 0; k < ups; ++k) text += "../";
        return text + FormatTarget(uri, path, common, {});
      }
    }
    Target absolute = original;
    if (was_relative) {
      absolute.form = TargetForm::FileUri;
      absolute.backslashes = false;
    }
    WriteOptions plain = options;
    plain.relative = false;
    return FormatTarget(absolute, path, folder_, plain);
  }

  std::string folder_, package_;
  std::vector<std::unique_ptr<Part>> parts_;
  std::vector<Use> uses_;
};

}  // namespace

std::unique_ptr<Family> MakeOpenDocumentFamily() {
  return std::make_unique<OpenDocumentFamily>();
}

}  // namespace ravel::docfile
