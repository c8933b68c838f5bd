// Real documents made by Word, PowerPoint, Excel and LibreOffice (../shared/corpus, with
// their MANIFEST.tsv): every file link the MANIFEST names is found as stored and nothing
// else is, and retargeting every link changes nothing but the parts that hold them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <ranges>
#include <set>

#include "docfile/Document.h"
#include "docfile/PosixStore.h"
#include "docfile/Repair.h"
#include "docfile/Xml.h"
#include "docfile_folder.h"
#include "docfile_support.h"
#include "posix/PosixFileSystem.h"

namespace ravel::docfile {
namespace {

namespace fs = std::filesystem;
using namespace test;

fs::path CorpusDir() {
  if (const char* dir = std::getenv("RAVEL_CORPUS")) return dir;
  return RAVEL_CORPUS_DIR;
}

// The MANIFEST names a link by the part kind (Word documents) or the part's name, and kinds
// of its own per family of formats: what each is here. A part kind of "" matches any part.
enum class Names { Word, Ooxml, Odf };
struct KindName {
  Names names;
  std::string_view manifest;
  LinkKind kind;
  std::string_view part_kind = "";
};
const KindName kKinds[] = {
    {Names::Word, "inline picture", LinkKind::InlinePicture},
    {Names::Word, "floating picture", LinkKind::FloatingPicture},
    {Names::Word, "VML picture", LinkKind::VmlPicture},
    {Names::Word, "linked OLE object", LinkKind::OleObject},
    {Names::Word, "INCLUDEPICTURE field", LinkKind::IncludePictureField},
    {Names::Word, "LINK field", LinkKind::LinkField},
    {Names::Word, "linked chart data", LinkKind::ChartData},
    {Names::Word, "template", LinkKind::Template},
    {Names::Word, "subdocument", LinkKind::Subdocument},
    {Names::Word, "INCLUDETEXT field", LinkKind::IncludeTextField},
    {Names::Ooxml, "external relationship: image", LinkKind::Picture},
    {Names::Ooxml, "external relationship: oleObject", LinkKind::ChartData, "chart"},
    {Names::Ooxml, "external relationship: oleObject", LinkKind::OleObject},
    {Names::Ooxml, "external relationship: audio", LinkKind::LinkedAudio},
    {Names::Ooxml, "external relationship: externalLinkPath", LinkKind::ExternalWorkbook},
    {Names::Odf, "ODF image xlink:href", LinkKind::Picture},
    {Names::Odf, "ODF object-ole xlink:href", LinkKind::OleObject},
    {Names::Odf, "ODF table-source xlink:href", LinkKind::LinkedSheet},
    {Names::Odf, "ODF event-listener xlink:href", LinkKind::Hyperlink},
    {Names::Odf, "ODF audio xlink:href", LinkKind::LinkedAudio},
};

// References the MANIFEST keeps apart from its links (as no tool it was written for claimed
// them) that are links here: a document's template, its subdocuments, INCLUDETEXT fields.
struct Apart {
  std::string_view manifest, part_kind, kind;
};
const Apart kApart[] = {
    {"external relationship: attachedTemplate: ", "settings", "template"},
    {"external relationship: subDocument: ", "body", "subdocument"},
    {"INCLUDETEXT field: ", "body", "INCLUDETEXT field"},
};

// References that the MANIFEST reads from a relationship alone but that no markup uses, so
// that no program follows them: no link.
const std::set<std::pair<std::string, std::string>> kUnused = {
    // An attachedTemplate relationship of the body that no w:attachedTemplate names.
    {"tika-testAttachedTemplate.docx", "http://example.com/templates/malicious.dotx"},
};

struct Expected {
  std::string part;  // a part kind's name, or a part's name
  std::string kind;  // as the MANIFEST names it
  std::string target;
  bool stored = false;
  auto operator<=>(const Expected&) const = default;
};

struct Row {
  std::string file, folder;
  std::multiset<Expected> links;
};

std::vector<std::string> Split(const std::string& s, std::string_view by) {
  std::vector<std::string> out;
  for (auto part : std::views::split(s, by)) out.emplace_back(part.begin(), part.end());
  return out;
}

// "body inline picture: C:\x.png [stored] (x2)",
// "ppt/slides/slide1.xml external relationship: image: file:///C:/x.png",
// "content.xml ODF image xlink:href: ../x.png".
std::vector<Row> ReadManifest(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);  // the heading
  std::vector<Row> rows;
  while (std::getline(in, line)) {
    std::vector<std::string> cols = Split(line, "\t");
    if (cols.size() < 9) continue;
    Row row{cols[0], cols[1], {}};
    if (cols[8] != "-") {
      for (std::string entry : Split(cols[8], " ; ")) {
        int times = 1;
        if (std::size_t x = entry.rfind(" (x"); x != std::string::npos && entry.back() == ')') {
          times = std::stoi(entry.substr(x + 3));
          entry.erase(x);
        }
        Expected e;
        if ((e.stored = EndsWith(entry, " [stored]"))) entry.erase(entry.size() - 9);
        std::size_t colon = entry.find(": ");
        std::string head = entry.substr(0, colon);
        e.target = entry.substr(colon + 2);
        std::size_t space = head.find(' ');
        e.part = head.substr(0, space);
        e.kind = head.substr(space + 1);
        if (e.kind == "external relationship") {
          colon = e.target.find(": ");
          e.kind += ": " + e.target.substr(0, colon);
          e.target = e.target.substr(colon + 2);
        }
        // A workbook's reference is listed once, by its relationship.
        if (e.kind == "external workbook part" && e.target == "None") continue;
        for (int i = 0; i < times; ++i) row.links.insert(e);
      }
    }
    if (cols.size() > 9 && cols[9] != "-") {
      for (const std::string& entry : Split(cols[9], " ; "))
        for (const Apart& a : kApart)
          if (entry.starts_with(a.manifest) &&
              !kUnused.count({row.file, entry.substr(a.manifest.size())}))
            row.links.insert({std::string(a.part_kind), std::string(a.kind),
                              entry.substr(a.manifest.size()), false});
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

// The MANIFEST's name for a link found here.
Expected Describe(const Link& link, Format format) {
  Names names = format == Format::Word           ? Names::Word
                : format == Format::OpenDocument ? Names::Odf
                                                 : Names::Ooxml;
  Expected e;
  e.part = names == Names::Word ? PartKindName(link.part_kind) : link.part;
  for (const KindName& k : kKinds)
    if (k.names == names && k.kind == link.kind &&
        (k.part_kind.empty() || k.part_kind == PartKindName(link.part_kind))) {
      e.kind = k.manifest;
      break;
    }
  if (e.kind.empty()) e.kind = std::string("unnamed: ") + LinkKindName(link.kind);
  e.target = link.target;
  // The MANIFEST reads the relationships of workbooks and presentations alone, so it never
  // knows of a copy kept beside a linked picture there.
  e.stored = link.stored && names != Names::Ooxml;
  return e;
}

std::string Show(const std::multiset<Expected>& links) {
  std::string s;
  for (const Expected& e : links)
    s += "\n  " + e.part + " | " + e.kind + " | " + e.target + (e.stored ? " [stored]" : "");
  return s;
}

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DocfileCorpus : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    if (!fs::exists(CorpusDir() / "MANIFEST.tsv"))
      GTEST_SKIP() << "no corpus of real documents at " << CorpusDir()
                   << " (set RAVEL_CORPUS to its folder)";
    rows_ = ReadManifest(CorpusDir() / "MANIFEST.tsv");
    ASSERT_GT(rows_.size(), 40u);
  }
  std::vector<Row> rows_;
};

TEST_F(DocfileCorpus, EveryLinkTheManifestNamesIsFoundAndNoOther) {
  for (const Row& row : rows_) {
    SCOPED_TRACE(row.file);
    std::vector<std::uint8_t> bytes = ReadFile(CorpusDir() / row.folder / row.file);
    ASSERT_FALSE(bytes.empty());
    try {
      Document doc(bytes, "C:\\Corpus");
      std::multiset<Expected> found;
      for (const Link& link : doc.Links()) found.insert(Describe(link, doc.format()));
      EXPECT_EQ(found.size(), row.links.size());
      EXPECT_TRUE(found == row.links)
          << "expected:" << Show(row.links) << "\nfound:" << Show(found);
    } catch (const DocError& e) {
      ADD_FAILURE() << "refused: " << e.what();
    }
  }
}

// What `fix --root` does, on copies of every document: survey, the wanted names found beneath
// a new root, the repair written in place.
TEST_F(DocfileCorpus, FixOnCopiesChangesOnlyTheLinks) {
  fs::create_directories(root + "/docs");
  for (const Row& row : rows_) {
    fs::copy_file(CorpusDir() / row.folder / row.file, root + "/docs/" + row.file);
    // The corpus is read-only; its copies are the user's documents.
    fs::permissions(root + "/docs/" + row.file, fs::perms::owner_write, fs::perm_options::add);
  }

  PosixFileSystem files;
  PosixStore store{files};
  RepairOptions options;
  options.write.posix_host = true;
  Repairer repairer(store, files, options);
  std::set<std::string> wanted;
  std::map<std::string, DocumentResult> surveyed;
  for (const Row& row : rows_)
    surveyed[row.file] = repairer.Survey(Win("docs/" + row.file), wanted);
  // Each wanted name at one place of its own beneath the new root.
  FoundNames found;
  int n = 0;
  for (const std::string& name : wanted) {
    std::string rel = "new root/" + std::to_string(n++) + "/" + name;
    fs::create_directories(fs::path(root + "/" + rel).parent_path());
    Write(rel, "x");
    found[name] = {Win(rel)};
  }

  for (const Row& row : rows_) {
    SCOPED_TRACE(row.file);
    const DocumentResult& survey = surveyed[row.file];
    ASSERT_FALSE(survey.error.has_value()) << survey.error->what();
    DocumentResult r = repairer.Repair(Win("docs/" + row.file), &found, &*survey.read_as);
    ASSERT_FALSE(r.error.has_value()) << r.error->what();
    std::set<std::string> holders;  // the parts of the repaired links
    for (const LinkResult& l : r.links) {
      if (l.link.parsed.form == TargetForm::NotAFile || !l.link.rewritable) continue;
      EXPECT_EQ(l.state, LinkState::Fixed) << l.link.target;
      holders.insert(l.link.part);
    }
    EXPECT_EQ(r.written, !holders.empty());

    std::vector<std::uint8_t> bytes = ReadFile(CorpusDir() / row.folder / row.file);
    std::vector<std::uint8_t> saved = Bytes("docs/" + row.file);
    // A link is rewritten in its part or in relationships, never elsewhere, and a rewritten
    // part is well-formed.
    for (const std::string& name : Rewritten(bytes, saved)) {
      EXPECT_TRUE(holders.count(name) || EndsWith(name, ".rels")) << name << " rewritten";
      pugi::xml_document part;
      EXPECT_NO_THROW(ParseXml(part, EntryData(saved, name), name));
    }

    // Read again, every link to a file names its file beneath the new root.
    Document again(saved, Win("docs"));
    ASSERT_EQ(again.Links().size(), r.links.size());
    for (std::size_t i = 0; i < r.links.size(); ++i) {
      if (r.links[i].state != LinkState::Fixed) continue;
      EXPECT_EQ(again.Links()[i].parsed.path, r.links[i].new_path) << again.Links()[i].target;
      EXPECT_TRUE(StartsWithFolder(again.Links()[i].parsed.path, Win("new root"), nullptr));
    }
  }
}

}  // namespace
}  // namespace ravel::docfile
