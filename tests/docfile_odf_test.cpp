// OpenDocument packages: every element that links to a file, references read and written as
// if the package were a folder, and only the changed parts rewritten.
#include <gtest/gtest.h>

#include <sstream>

#include "docfile/Document.h"
#include "docfile/Xml.h"
#include "docfile_folder.h"
#include "docfile_support.h"

namespace ravel::docfile {
namespace {

using namespace test;

const std::string kFolder = "C:\\Docs";

struct KindCase {
  const char* name;
  std::string markup;
  LinkKind kind;
  std::string target, path;
};

TEST(DocfileOdf, EveryKindOfLinkIsFound) {
  const KindCase cases[] = {
      {"image beside", Image("../pic.png"), LinkKind::Picture, "../pic.png", "C:\\Docs\\pic.png"},
      {"image up", Image("../../Pics/a%20b.png"), LinkKind::Picture, "../../Pics/a%20b.png",
       "C:\\Pics\\a b.png"},
      {"object",
       "<draw:frame><draw:object xlink:href=\"../chart.ods\"/><draw:image "
       "xlink:href=\"./ObjectReplacements/Object 1\"/></draw:frame>",
       LinkKind::OleObject, "../chart.ods", "C:\\Docs\\chart.ods"},
      {"object-ole", "<draw:object-ole xlink:href=\"file:///X:/PATH/EXT.XLSX\"/>",
       LinkKind::OleObject, "file:///X:/PATH/EXT.XLSX", "X:\\PATH\\EXT.XLSX"},
      {"section",
       "<text:section><text:section-source xlink:href=\"file:///C:/T/part.odt\"/></text:section>",
       LinkKind::LinkedSection, "file:///C:/T/part.odt", "C:\\T\\part.odt"},
      {"table",
       "<table:table><table:table-source xlink:href=\"file://srv/share/d.xlsx\"/></table:table>",
       LinkKind::LinkedSheet, "file://srv/share/d.xlsx", "\\\\srv\\share\\d.xlsx"},
      {"audio", "<anim:par><anim:audio xlink:href=\"file:///E:/s/apert.wav\"/></anim:par>",
       LinkKind::LinkedAudio, "file:///E:/s/apert.wav", "E:\\s\\apert.wav"},
      {"sound", "<presentation:sound xlink:href=\"../ding.wav\"/>", LinkKind::LinkedAudio,
       "../ding.wav", "C:\\Docs\\ding.wav"},
      {"video",
       "<draw:plugin draw:mime-type=\"application/vnd.sun.star.media\" "
       "xlink:href=\"../clip.mp4\"/>",
       LinkKind::LinkedVideo, "../clip.mp4", "C:\\Docs\\clip.mp4"},
      {"plugin audio", "<draw:plugin xlink:href=\"../song.MP3\"/>", LinkKind::LinkedAudio,
       "../song.MP3", "C:\\Docs\\song.MP3"},
      {"text hyperlink", "<text:a xlink:href=\"../other.odt#Intro\">x</text:a>",
       LinkKind::Hyperlink, "../other.odt#Intro", "C:\\Docs\\other.odt"},
      {"draw hyperlink",
       "<draw:a xlink:href=\"file:///C:/x.pdf\">" + Image("Pictures/1.png") + "</draw:a>",
       LinkKind::Hyperlink, "file:///C:/x.pdf", "C:\\x.pdf"},
      {"web picture", Image("https://x.org/a.png"), LinkKind::Picture, "https://x.org/a.png", ""},
      {"bullet",
       "<text:list-style><text:list-level-style-image xlink:href=\"../dot.png\"/>"
       "</text:list-style>",
       LinkKind::Picture, "../dot.png", "C:\\Docs\\dot.png"},
      {"cell range",
       "<table:table-cell><table:cell-range-source table:name=\"r\" "
       "xlink:href=\"../data.ods\"/></table:table-cell>",
       LinkKind::LinkedSheet, "../data.ods", "C:\\Docs\\data.ods"},
      {"open document",
       "<presentation:event-listener presentation:action=\"show\" xlink:href=\"../motion.odp\"/>",
       LinkKind::Hyperlink, "../motion.odp", "C:\\Docs\\motion.odp"},
  };
  for (const KindCase& c : cases) {
    Document doc(Odf(Content(c.markup)), kFolder);
    EXPECT_EQ(doc.format(), Format::OpenDocument) << c.name;
    ASSERT_EQ(doc.Links().size(), 1u) << c.name;
    const Link& link = doc.Links()[0];
    EXPECT_EQ(link.part, "content.xml") << c.name;
    EXPECT_EQ(link.part_kind, PartKind::Content) << c.name;
    EXPECT_EQ(link.kind, c.kind) << c.name;
    EXPECT_EQ(link.target, c.target) << c.name;
    EXPECT_EQ(link.parsed.path, c.path) << c.name;
    EXPECT_FALSE(link.stored) << c.name;

    // The same name in a new folder: a plug-in's kind follows the file's type.
    if (c.path.empty()) continue;  // not a file: never retargeted
    const std::string moved = "D:\\New" + c.path.substr(c.path.rfind('\\'));
    doc.Retarget(0, moved, {});
    Document again(doc.Save(), kFolder);
    ASSERT_EQ(again.Links().size(), 1u) << c.name;
    EXPECT_EQ(again.Links()[0].kind, c.kind) << c.name;
    EXPECT_EQ(again.Links()[0].parsed.path, moved) << c.name;
  }
}

// The parts of objects and of styles are read; references inside the package, to the web
// or to no file are no links.
TEST(DocfileOdf, PartsOfStylesAndObjectsAreReadAndNoOtherReferences) {
  const std::string markup =
      Image("Pictures/1.png") + Image("./Object 1") + Image("vnd.sun.star.Package:Pictures/2") +
      Image("data:image/png;base64,iVBO") +
      "<text:a xlink:href=\"#Slide 2\">a</text:a><text:a xlink:href=\"https://x.org/a.odt\">b"
      "</text:a><text:a xlink:href=\"mailto:a@b.c\">c</text:a><text:a xlink:href=\"\">d</text:a>"
      "<text:bookmark xlink:href=\"../a.png\"/>";
  // In an object, "../" climbs to the package only.
  Entries more{
      {"Object 1/content.xml", Content(Image("../Pictures/4.png") + Image("../../logo.png"))},
      {"Object 1/styles.xml", Content("<style:background-image xlink:href=\"file:///C:/bg.png\"/>",
                                      "office:document-styles")}};
  Document doc(Odf(Content(markup), more), kFolder);
  ASSERT_EQ(doc.Links().size(), 2u);
  EXPECT_EQ(doc.Links()[0].part, "Object 1/content.xml");
  EXPECT_EQ(doc.Links()[0].parsed.path, "C:\\Docs\\logo.png");
  EXPECT_EQ(doc.Links()[1].part, "Object 1/styles.xml");
  EXPECT_EQ(doc.Links()[1].kind, LinkKind::Picture);

  doc.Retarget(0, "C:\\Docs\\art\\logo.png", {});
  EXPECT_EQ(doc.Links()[0].target, "../../art/logo.png");
  EXPECT_EQ(doc.ChangedParts(), std::vector<std::string>{"Object 1/content.xml"});
}

struct WriteCase {
  std::string target, path;
  bool relative;
  std::string written;
};

TEST(DocfileOdf, TargetsAreWrittenInTheFormTheyHad) {
  const WriteCase cases[] = {
      {"../pic.png", "C:\\Docs\\new\\pic 2.png", false, "../new/pic%202.png"},
      {"../pic.png", "C:\\Other\\pic.png", false, "../../Other/pic.png"},
      {"../pic.png", "D:\\pic.png", false, "file:///D:/pic.png"},
      {"../pic.png", "\\\\srv\\share\\pic.png", false, "file://srv/share/pic.png"},
      {"../a.odt#Intro", "C:\\Docs\\b\\a.odt", false, "../b/a.odt#Intro"},
      {"file:///C:/Old/pic.png", "C:\\Docs\\pic.png", false, "file:///C:/Docs/pic.png"},
      {"file:///C:/Old/pic.png", "C:\\Docs\\sub\\pic.png", true, "../sub/pic.png"},
      {"file:///C:/Old/pic.png", "C:\\Other\\pic.png", true, "file:///C:/Other/pic.png"},
      {"file://srv/share/a.png", "\\\\srv\\share\\b.png", false, "file://srv/share/b.png"},
  };
  for (const WriteCase& c : cases) {
    Document doc(Odf(Content(Image(c.target))), kFolder);
    ASSERT_EQ(doc.Links().size(), 1u) << c.target;
    WriteOptions options;
    options.relative = c.relative;
    doc.Retarget(0, c.path, options);
    EXPECT_EQ(doc.Links()[0].target, c.written) << c.target << " -> " << c.path;
    EXPECT_EQ(doc.Links()[0].parsed.path, c.path) << c.target << " -> " << c.path;
    Document again(doc.Save(), kFolder);
    ASSERT_EQ(again.Links().size(), 1u) << c.target;
    EXPECT_EQ(again.Links()[0].target, c.written) << c.target;
  }
}

TEST(DocfileOdf, OnlyTheChangedPartIsRewrittenInItsEncoding) {
  std::string content = Content(Image("../a.png") + "<text:s/>  x " + Image("../b.png"));
  std::string declared = content;
  declared.replace(content.find("UTF-8"), 5, "UTF-16");
  const std::string utf16 = Utf16Le(declared);
  for (const std::string& data : {content, utf16}) {
    std::vector<std::uint8_t> bytes =
        Odf(data, {{"Pictures/1.png", std::string(3000, 'p')}, {"meta.xml", "<m/>"}});
    Document doc(bytes, kFolder);
    ASSERT_EQ(doc.Links().size(), 2u);
    doc.Retarget(1, "C:\\Docs\\pics\\b.png", {});
    EXPECT_EQ(doc.ChangedParts(), std::vector<std::string>{"content.xml"});
    std::vector<std::uint8_t> saved = doc.Save();
    EXPECT_EQ(Rewritten(bytes, saved), Strings{"content.xml"});
    EXPECT_EQ(Unzip(saved)[0].name, "mimetype");
    EXPECT_EQ(Unzip(saved)[0].method, ZIP_CM_STORE);
    std::string changed = EntryData(saved, "content.xml");
    pugi::xml_document was, now;
    Encoding e = ParseXml(now, changed, "content.xml");
    EXPECT_EQ(e.encoding, ParseXml(was, data, "content.xml").encoding);
    EXPECT_EQ(e.bom, HasBom(data));
    std::ostringstream text;
    now.save(text, "", pugi::format_raw);
    for (const char* kept : {"<text:s/>  x ", "\"../a.png\"", "\"../pics/b.png\""})
      EXPECT_TRUE(Has(text.str(), kept));
  }
}

}  // namespace
}  // namespace ravel::docfile
