// Finding the links of a package and retargeting them: every kind of link in every part,
// field codes kept in step with their relationships, unchanged entries kept byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <ranges>

#include "docfile/Document.h"
#include "docfile_folder.h"
#include "docfile_support.h"

using namespace std::string_literals;

namespace ravel::docfile {
namespace {

using namespace test;

const std::string kFolder = "C:\\Docs";

const Rel kImage{"rId1", kImageType, "file:///C:/Pics/a.png"};
const Rel kCopy{"rId2", kImageType, "media/image1.png", false};
const Rel kOle{"rId3", kOleType, "file:///C:/Data/t.xlsx"};

struct KindCase {
  const char* name;
  std::string markup;
  LinkKind kind;
  bool stored = false;
  std::string rels = "1";  // which of rId1 (kImage), rId2 (kCopy), rId3 (kOle) it has
  std::string target = kImage.target;
};

TEST(DocfileLinks, EveryKindOfLinkIsFoundInTheBody) {
  const KindCase cases[] = {
      {"inline", Inline("rId1"), LinkKind::InlinePicture},
      {"inline+copy", Inline("rId1", "rId2"), LinkKind::InlinePicture, true, "12"},
      {"floating", Anchor("rId1"), LinkKind::FloatingPicture},
      {"vml", Vml("r:id=\"rId1\""), LinkKind::VmlPicture},
      {"vml+copy", Vml("r:id=\"rId2\" r:href=\"rId1\""), LinkKind::VmlPicture, true, "12"},
      {"vml relid", Vml("o:relid=\"rId1\""), LinkKind::VmlPicture},
      // Word writes a drawing and its VML fallback for the same picture: one link.
      {"drawing with its fallback",
       "<mc:AlternateContent "
       "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"><mc:Choice>" +
           Anchor("rId1") + "</mc:Choice><mc:Fallback>" + Vml("r:id=\"rId1\"") +
           "</mc:Fallback></mc:AlternateContent>",
       LinkKind::FloatingPicture},
      {"ole", Ole("rId3"), LinkKind::OleObject, false, "3", kOle.target},
      {"includepicture", Field({R"( INCLUDEPICTURE "C:\\Pics\\a.png" \d )"}, Inline("rId1")),
       LinkKind::IncludePictureField},
      {"includepicture naming another file",
       Field({R"( INCLUDEPICTURE "C:\\Other\\b.png" \d )"}, Inline("rId1")),
       LinkKind::IncludePictureField, false, "1", kImage.target + " = C:\\Other\\b.png"},
      {"includepicture alone", Field({R"( INCLUDEPICTURE "C:\\Pics\\b.png" \* MERGEFORMAT )"}, ""),
       LinkKind::IncludePictureField, false, "", "C:\\Pics\\b.png"},
      {"link field",
       Field({R"( LINK Excel.Sheet.12 "C:\\Data\\t.xlsx" "Sheet1!R1C1:R2C2" \a \p )"}, Ole("rId3")),
       LinkKind::LinkField, false, "3", kOle.target},
      {"simple field",
       "<w:fldSimple w:instr=\" INCLUDEPICTURE &quot;C:\\\\Pics\\\\a.png&quot; \\d \">" +
           Inline("rId1") + "</w:fldSimple>",
       LinkKind::IncludePictureField},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Rel> rels;
    for (char r : c.rels) rels.push_back(r == '1' ? kImage : r == '2' ? kCopy : kOle);
    rels.push_back({"rIdPreview", kImageType, "media/image9.emf", false});
    Document doc(Zip(Standard(Body(c.markup), Rels(rels))), kFolder);
    ASSERT_EQ(doc.Links().size(), 1u);
    const Link& link = doc.Links()[0];
    EXPECT_EQ(link.kind, c.kind);
    EXPECT_EQ(link.part, "word/document.xml");
    EXPECT_EQ(link.part_kind, PartKind::Body);
    EXPECT_EQ(link.target, c.target);
    EXPECT_EQ(link.stored, c.stored);

    doc.Retarget(0, "D:\\New\\x.png", {});
    Document again(doc.Save(), kFolder);
    ASSERT_EQ(again.Links().size(), 1u);
    EXPECT_EQ(again.Links()[0].kind, c.kind);
    EXPECT_EQ(again.Links()[0].parsed.path, "D:\\New\\x.png");
    EXPECT_EQ(again.Links()[0].stored, c.stored);
  }
}

TEST(DocfileLinks, MarkupWithoutExternalFilesIsNoLink) {
  // The last: a field whose path another field computes is not a file's.
  const std::string markup =
      Inline("rId2") + Vml("r:id=\"rId2\"") + Inline("rId4") +
      Field({" HYPERLINK \"http://example.com\" "}, "") + Field({" INCLUDEPICTURE "}, "") +
      Inline("rIdMissing") +
      "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> INCLUDEPICTURE "
      "\"</w:instrText></w:r>" +
      Field({" MERGEFIELD picture "}, "<w:r><w:t>C:\\p.png</w:t></w:r>") +
      "<w:r><w:instrText>\" \\d</w:instrText></w:r><w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
  Document doc(
      Zip(Standard(
          Body(markup),
          Rels({kCopy, {"rId4", std::string(kRelBase) + "hyperlink", "file:///C:/x.png"}}))),
      kFolder);
  EXPECT_TRUE(doc.Links().empty());
}

// The code of every field of a part, joined.
std::string FieldCodes(const std::string& xml) {
  std::string code;
  for (std::size_t at = 0; (at = xml.find("<w:instrText", at)) != std::string::npos;) {
    std::size_t open = xml.find('>', at) + 1, close = xml.find("</w:instrText>", open);
    code += xml.substr(open, close - open);
    at = close;
  }
  return code;
}

struct FieldCase {
  const char* name;
  std::string code;  // its pieces, split at '|'
  bool with_picture;
  std::string new_path;
  std::string expected_code;
};

TEST(DocfileLinks, FieldCodesAreKeptInStepWithTheirRelationship) {
  const FieldCase cases[] = {
      {"one piece", R"( INCLUDEPICTURE "C:\\Old\\a.png" \d )", true, "D:\\New\\a.png",
       R"( INCLUDEPICTURE "D:\\New\\a.png" \d )"},
      {"split inside the path", R"( INCLUDEPICTURE "C:\\Ol|d\\a.png" \* MERGEFORMATINET |\d )",
       true, "\\\\srv\\share\\a.png",
       R"( INCLUDEPICTURE "\\\\srv\\share\\a.png" \* MERGEFORMATINET \d )"},
      {"split at the quote", R"( INCLUDEPICTURE "|C:\\Old\\a.png|" \d)", true, "D:\\b.png",
       R"( INCLUDEPICTURE "D:\\b.png" \d)"},
      {"bare path gains quotes", R"( INCLUDEPICTURE C:\\Old\\a.png \d)", false,
       "D:\\New Folder\\a.png", R"( INCLUDEPICTURE "D:\\New Folder\\a.png" \d)"},
      {"single backslashes stay single", R"( INCLUDEPICTURE "C:\Old\a.png")", false,
       "D:\\New\\a.png", R"( INCLUDEPICTURE "D:\New\a.png")"},
      {"link field", R"( LINK Excel.Sheet.12 "C:\\Old\\t.xlsx" "Sheet1!R1C1" \a \f 4 \p )", false,
       "D:\\t.xlsx", R"( LINK Excel.Sheet.12 "D:\\t.xlsx" "Sheet1!R1C1" \a \f 4 \p )"},
  };
  for (const FieldCase& c : cases) {
    std::string result = c.with_picture ? Inline("rId1") : "";
    std::vector<Rel> rels;
    if (c.with_picture) rels.push_back({"rId1", kImageType, "file:///C:/Old/a.png"});
    // A carriage return written as a reference stays one.
    const std::string text = "<w:r><w:t xml:space=\"preserve\">line&#13;break</w:t></w:r>";
    std::vector<std::string> code;
    for (auto piece : std::views::split(c.code, '|')) code.emplace_back(piece.begin(), piece.end());
    Document doc(Zip(Standard(Body(text + Field(code, result)), Rels(rels))), kFolder);
    ASSERT_EQ(doc.Links().size(), 1u) << c.name;
    doc.Retarget(0, c.new_path, {});
    std::vector<std::uint8_t> saved = doc.Save();
    std::string part = EntryData(saved, "word/document.xml");
    EXPECT_EQ(FieldCodes(part), c.expected_code) << c.name;
    EXPECT_TRUE(Has(part, "line&#13;break"));
    EXPECT_EQ(part.find('\r'), std::string::npos);
    Document again(saved, kFolder);
    ASSERT_EQ(again.Links().size(), 1u) << c.name;
    EXPECT_EQ(again.Links()[0].parsed.path, c.new_path) << c.name;
    if (c.with_picture) {
      EXPECT_EQ(again.Links()[0].target,
                FormatTarget(ParseTarget("file:///C:/", kFolder), c.new_path, kFolder, {}));
    }
    // A second retarget finds the path where the first one put it.
    again.Retarget(0, "E:\\x.png", {});
    Document third(again.Save(), kFolder);
    EXPECT_EQ(third.Links()[0].parsed.path, "E:\\x.png") << c.name;
  }
}

TEST(DocfileLinks, OnlyChangedPartsDifferAndOtherEntriesKeepTheirBytes) {
  Entries entries = Standard(Body(Inline("rId1") + Inline("rId2")),
                             Rels({{"rId1", kImageType, "file:///C:/Old/a.png"},
                                   {"rId2", kImageType, "file:///C:/Old/b.png"}}),
                             {{"word/media/image1.png", std::string(5000, '\x7f')},
                              {"word/styles.xml", "<w:styles/>"},
                              {"customXml/item1.xml", "<x/>"}});
  std::vector<std::uint8_t> original = Zip(entries, {"word/media/image1.png"});
  Document doc(original, kFolder);
  ASSERT_EQ(doc.Links().size(), 2u);
  EXPECT_FALSE(doc.Changed());
  doc.Retarget(1, "D:\\b.png", {});
  EXPECT_EQ(doc.ChangedParts(), std::vector<std::string>{"word/_rels/document.xml.rels"});
  std::vector<std::uint8_t> saved = doc.Save();
  EXPECT_EQ(Rewritten(original, saved), Strings{"word/_rels/document.xml.rels"});
  for (const char* target : {"file:///C:/Old/a.png", "file:///D:/b.png"})
    EXPECT_TRUE(Has(EntryData(saved, "word/_rels/document.xml.rels"), target));
}

TEST(DocfileLinks, APartIsWrittenBackInTheEncodingItDeclares) {
  std::string rels = Rels({{"rId1", kImageType, "file:///C:/Old/a.png"}});
  std::string utf16 = rels;
  utf16.replace(utf16.find("UTF-8"), 5, "UTF-16");
  std::string latin = rels;
  latin.replace(latin.find("UTF-8"), 5, "ISO-8859-1");
  latin.insert(latin.find("</Relationships>"), "<!-- caf\xE9 -->");
  struct Case {
    const char* name;
    std::string stored;
    std::string begins;    // the rewritten part's first bytes
    std::string declares;  // what its declaration says, once decoded
  };
  const Case cases[] = {
      {"utf-16", Utf16Le(utf16), "\xFF\xFE<\0?\0x\0m\0l\0"s, "encoding=\"UTF-16\""},
      {"utf-8 with mark", "\xEF\xBB\xBF" + rels, "\xEF\xBB\xBF<?xml", "encoding=\"UTF-8\""},
      {"latin-1", latin, "<?xml", "encoding=\"UTF-8\""},
  };
  for (const Case& c : cases) {
    Document doc(Zip(Standard(Body(Inline("rId1")), c.stored)), kFolder);
    ASSERT_EQ(doc.Links().size(), 1u) << c.name;
    doc.Retarget(0, "C:\\New\\\xC3\xA9t\xC3\xA9.png", {});
    std::string part = EntryData(doc.Save(), "word/_rels/document.xml.rels");
    EXPECT_EQ(part.substr(0, c.begins.size()), c.begins) << c.name;
    std::string text;  // UTF-16 read as its ASCII bytes, or the part as it is
    if (c.begins.starts_with("\xFF\xFE"))
      for (std::size_t i = 2; i + 1 < part.size(); i += 2) text += part[i];
    else
      text = part;
    EXPECT_TRUE(Has(text, c.declares)) << c.name;
    // Read again, the part names the new file: its encoding and declaration agree.
    Document again(doc.Save(), kFolder);
    ASSERT_EQ(again.Links().size(), 1u) << c.name;
    EXPECT_EQ(again.Links()[0].parsed.path, "C:\\New\\\xC3\xA9t\xC3\xA9.png") << c.name;
  }
}

// A link as the family tables write it: "part part-kind kind [stored]: target".
std::string Describe(const Link& l) {
  return l.part + " " + PartKindName(l.part_kind) + " " + LinkKindName(l.kind) +
         (l.stored ? " [stored]" : "") + ": " + l.target;
}

struct FamilyCase {
  const char* name;
  Entries entries;
  Format format;
  std::vector<std::string> links;  // as Describe writes them
  // After every link is pointed at C:\Shared\N.dat: entry -> text it then holds.
  std::vector<std::pair<std::string, std::string>> saved;
};

std::vector<FamilyCase> FamilyCases() {
  const std::string r = kRelBase;
  const std::string blip_only = Inline("", "rId2");
  const Rel media{"rId2", kImageType, "media/image1.png", false};
  const std::string sheet = "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
  return {
      {"word template and a chart's workbook and picture",
       Standard(Body("<w:r/>"),
                Rels({{"rId3", r + "settings", "settings.xml", false},
                      {"rId9", r + "chart", "charts/chart1.xml", false}}),
                {{"word/settings.xml", Body("<w:attachedTemplate r:id=\"rId1\"/>", "w:settings")},
                 {"word/_rels/settings.xml.rels",
                  Rels({{"rId1", r + "attachedTemplate", "file:///C:/Templates/Normal.dotm"}})},
                 {"word/charts/chart1.xml",
                  Xml("c:chartSpace",
                      "<c:chart/><c:spPr><a:blipFill><a:blip r:link=\"rId2\"/></a:blipFill>"
                      "</c:spPr><c:externalData r:id=\"rId1\"><c:autoUpdate val=\"0\"/>"
                      "</c:externalData>")},
                 {"word/charts/_rels/chart1.xml.rels",
                  Rels({{"rId1", kOleType, "file:///C:/Data/Book%201.xlsx"},
                        {"rId2", kImageType, "file:///C:/Pics/back.png"}})}}),
       Format::Word,
       {"word/settings.xml settings template: file:///C:/Templates/Normal.dotm",
        "word/charts/chart1.xml chart linked chart data: file:///C:/Data/Book%201.xlsx",
        "word/charts/chart1.xml chart inline picture: file:///C:/Pics/back.png"},
       {{"word/_rels/settings.xml.rels", "Target=\"file:///C:/Shared/0.dat\""}}},
      // A picture's relationship is in its part's own, or (as some writers put it) in the
      // main part's where the part has none.
      {"word headers, footers, notes and comments",
       Standard(
           Body("<w:r/>"),
           Rels({{"rIdH", r + "header", "header1.xml", false},
                 {"rIdF", r + "footer", "footer2.xml", false},
                 {"rIdN", r + "footnotes", "footnotes.xml", false},
                 {"rIdE", r + "endnotes", "endnotes.xml", false},
                 {"rIdC", r + "comments", "comments.xml", false},
                 {"rId7", kImageType, "file:///C:/Pics/f.png"},
                 {"rId8", kImageType, "file:///C:/Pics/e.png"}}),
           {{"word/header1.xml", Body(Inline("rId7"), "w:hdr")},
            {"word/_rels/header1.xml.rels", Rels({{"rId7", kImageType, "file:///C:/h.png"}})},
            {"word/footer2.xml", Body(Inline("rId7"), "w:ftr")},
            {"word/footnotes.xml", Body(Inline("rId7"), "w:footnotes")},
            {"word/_rels/footnotes.xml.rels", Rels({{"rId7", kImageType, "file:///C:/n.png"}})},
            {"word/endnotes.xml", Body(Inline("rId8"), "w:endnotes")},
            {"word/comments.xml", Body(Inline("rId7"), "w:comments")},
            {"word/_rels/comments.xml.rels", Rels({{"rId7", kImageType, "file:///C:/c.png"}})}}),
       Format::Word,
       {"word/header1.xml header inline picture: file:///C:/h.png",
        "word/footer2.xml footer inline picture: file:///C:/Pics/f.png",
        "word/footnotes.xml footnotes inline picture: file:///C:/n.png",
        "word/endnotes.xml endnotes inline picture: file:///C:/Pics/e.png",
        "word/comments.xml comments inline picture: file:///C:/c.png"},
       {}},
      {"word subdocument, INCLUDETEXT, hyperlinks to files",
       Standard(Body("<w:subDoc r:id=\"rId5\"/>" +
                     Field({R"( INCLUDETEXT "C:\\Text\\a.docx" \c "x" \* MERGEFORMAT )"}, "") +
                     Field({R"( HYPERLINK "\\\\srv\\s\\b.docx" \o "tip" )"}, "") +
                     Field({R"( HYPERLINK \l "mark" )"}, "") +
                     Field({R"( HYPERLINK "http://example.com/" )"}, "") +
                     "<w:hyperlink r:id=\"rId6\"/><w:hyperlink r:id=\"rId7\"/><w:hyperlink "
                     "r:id=\"rId4\"/>"),
                Rels({{"rId5", r + "subDocument", "chapters/one.docx"},
                      {"rId4", r + "hyperlink", "#_Toc1"},
                      {"rId6", r + "hyperlink", "https://example.com/a.docx"},
                      {"rId7", r + "hyperlink", "file:///C:/Docs/c.docx"}})),
       Format::Word,
       {"word/document.xml body subdocument: chapters/one.docx",
        "word/document.xml body INCLUDETEXT field: C:\\Text\\a.docx",
        "word/document.xml body hyperlink: \\\\srv\\s\\b.docx",
        "word/document.xml body hyperlink: file:///C:/Docs/c.docx"},
       {{"word/_rels/document.xml.rels", "Target=\"https://example.com/a.docx\""},
        {"word/document.xml", R"(HYPERLINK "C:\\Shared\\2.dat" \o "tip")"},
        {"word/document.xml", R"(INCLUDETEXT "C:\\Shared\\1.dat" \c "x")"}}},
      {"word pictures kept by fields and behind r:embed",
       Standard(
           Body(Field({R"( INCLUDEPICTURE "C:\\Pics\\kept.png" \* MERGEFORMATINET )"}, blip_only) +
                Field({R"( INCLUDEPICTURE \d "C:\\Pics\\not.png" )"}, blip_only) +
                Inline("rId8", "rId9")),
           Rels({media,
                 {"rId8", kImageType, "file:///C:/Pics/a.png"},
                 {"rId9", kImageType, "file:///C:/Pics/a.png"}})),
       Format::Word,
       {"word/document.xml body INCLUDEPICTURE field [stored]: C:\\Pics\\kept.png",
        "word/document.xml body INCLUDEPICTURE field: C:\\Pics\\not.png",
        "word/document.xml body inline picture: file:///C:/Pics/a.png",
        "word/document.xml body inline picture: file:///C:/Pics/a.png"},
       {}},
      {"excel external workbook and its other addresses",
       Workbook({{"xl/externalLinks/externalLink1.xml",
                  Xml("externalLink",
                      "<externalBook r:id=\"rId1\"><xxl21:alternateUrls><xxl21:absoluteUrl "
                      "r:id=\"rId2\"/><xxl21:relativeUrl r:id=\"rId3\"/></xxl21:alternateUrls>"
                      "</externalBook>")},
                 {"xl/externalLinks/_rels/externalLink1.xml.rels",
                  Rels({{"rId1", r + "externalLinkPath", "file:///C:/Data/Book%201.xlsx"},
                        {"rId2", r + "absoluteUrl", "file:///C:/Data/Book%201.xlsx"},
                        {"rId3", r + "relativeUrl", "../Data/Book%201.xlsx"}})}},
                sheet),
       Format::Excel,
       {"xl/externalLinks/externalLink1.xml external link external workbook: "
        "file:///C:/Data/Book%201.xlsx"},
       {{"xl/externalLinks/_rels/externalLink1.xml.rels",
         "Id=\"rId1\" Type=\"" + r + "externalLinkPath\" Target=\"file:///C:/Shared/0.dat\""},
        {"xl/externalLinks/_rels/externalLink1.xml.rels",
         "Id=\"rId2\" Type=\"" + r + "absoluteUrl\" Target=\"file:///C:/Shared/0.dat\""},
        {"xl/externalLinks/_rels/externalLink1.xml.rels",
         "Id=\"rId3\" Type=\"" + r + "relativeUrl\" Target=\"../Shared/0.dat\""}}},
      {"excel objects, DDE, pictures, hyperlinks, charts",
       Workbook({{"xl/_rels/workbook.xml.rels",
                  Rels({{"rId1", r + "externalLink", "externalLinks/externalLink1.xml", false},
                        {"rId2", r + "externalLink", "externalLinks/externalLink2.xml", false}})},
                 {"xl/externalLinks/externalLink1.xml",
                  Xml("externalLink", "<oleLink r:id=\"rId1\" progId=\"Word.Document.12\"/>")},
                 {"xl/externalLinks/_rels/externalLink1.xml.rels",
                  Rels({{"rId1", kOleType, "\\\\srv\\s\\memo.docx"}})},
                 {"xl/externalLinks/externalLink2.xml",
                  Xml("externalLink", "<ddeLink ddeService=\"WinWord\" ddeTopic=\"C:\\d.docx\"/>")},
                 {"xl/drawings/drawing1.xml",
                  Xml("a:wsDr", "<a:blip r:embed=\"rId1\" r:link=\"rId2\"/>")},
                 {"xl/drawings/_rels/drawing1.xml.rels",
                  Rels({{"rId1", kImageType, "../media/image1.png", false},
                        {"rId2", kImageType, "pics/logo.png"}})},
                 {"xl/worksheets/sheet1.xml",
                  Xml("worksheet",
                      "<hyperlinks><hyperlink ref=\"A1\" r:id=\"rId1\"/><hyperlink ref=\"A2\" "
                      "r:id=\"rId2\"/></hyperlinks>")},
                 {"xl/worksheets/_rels/sheet1.xml.rels",
                  Rels({{"rId1", r + "hyperlink", "http://example.com/"},
                        {"rId2", r + "hyperlink", "..\\Other\\plan.xlsx"}})},
                 {"xl/charts/chart1.xml", Xml("c:chartSpace", "<c:externalData r:id=\"rId1\"/>")},
                 {"xl/charts/_rels/chart1.xml.rels",
                  Rels({{"rId1", r + "package", "file:///C:/Data/Chart.xlsx"}})}}),
       Format::Excel,
       {"xl/externalLinks/externalLink1.xml external link linked OLE object: \\\\srv\\s\\memo.docx",
        "xl/externalLinks/externalLink2.xml external link DDE link: WinWord|C:\\d.docx",
        "xl/charts/chart1.xml chart linked chart data: file:///C:/Data/Chart.xlsx",
        "xl/drawings/drawing1.xml drawing picture [stored]: pics/logo.png",
        "xl/worksheets/sheet1.xml sheet hyperlink: ..\\Other\\plan.xlsx"},
       {{"xl/drawings/_rels/drawing1.xml.rels", "Target=\"../media/image1.png\""},
        {"xl/drawings/_rels/drawing1.xml.rels", "Target=\"file:///C:/Shared/2.dat\""}}},
      {"powerpoint",
       Presentation(
           {{"ppt/slides/slide1.xml",
             Xml("p:sld",
                 "<a:blip r:embed=\"rId1\" r:link=\"rId2\"/><p:oleObj r:id=\"rId3\"><p:link/>"
                 "</p:oleObj><p:nvPr><a:audioFile r:link=\"rId4\"/><p:extLst><p:ext><p14:media "
                 "r:link=\"rId5\"/></p:ext></p:extLst></p:nvPr><a:videoFile r:link=\"rId6\"/>")},
            {"ppt/slides/_rels/slide1.xml.rels",
             Rels({{"rId1", kImageType, "../media/image1.png", false},
                   {"rId2", kImageType, "file:////Users/ann/logo.png"},
                   {"rId3", kOleType, "file:///C:/Data/t.xlsx"},
                   {"rId4", r + "audio", "file:///C:/Sounds/a.wav"},
                   {"rId5", "http://schemas.microsoft.com/office/2007/relationships/media",
                    "file:///C:/Sounds/a.wav"},
                   {"rId6", r + "video", "C:\\Films\\f.mp4"}})},
            {"ppt/slideLayouts/slideLayout1.xml",
             Xml("p:sldLayout",
                 "<a:hlinkClick r:id=\"rId1\" action=\"ppaction://hlinkfile\"/><a:hlinkClick "
                 "r:id=\"rId2\"/>")},
            {"ppt/slideLayouts/_rels/slideLayout1.xml.rels",
             Rels({{"rId1", r + "hyperlink", "file:///C:/Docs/Plan.pptx"},
                   {"rId2", r + "hyperlink", "https://example.com/"}})},
            {"ppt/charts/chart2.xml", Xml("c:chartSpace", "<c:externalData r:id=\"rId1\"/>")},
            {"ppt/charts/_rels/chart2.xml.rels",
             Rels({{"rId1", kOleType, "file:///C:/Data/Chart.xlsx"}})}}),
       Format::PowerPoint,
       {"ppt/slides/slide1.xml slide picture [stored]: file:////Users/ann/logo.png",
        "ppt/slides/slide1.xml slide linked OLE object: file:///C:/Data/t.xlsx",
        "ppt/slides/slide1.xml slide linked audio: file:///C:/Sounds/a.wav",
        "ppt/slides/slide1.xml slide linked video: C:\\Films\\f.mp4",
        "ppt/slideLayouts/slideLayout1.xml slide hyperlink: file:///C:/Docs/Plan.pptx",
        "ppt/charts/chart2.xml chart linked chart data: file:///C:/Data/Chart.xlsx"},
       {{"ppt/slides/_rels/slide1.xml.rels",
         "Id=\"rId5\" Type=\"http://schemas.microsoft.com/"
         "office/2007/relationships/media\" "
         "Target=\"file:///C:/Shared/2.dat\""}}},
  };
}

TEST(DocfileLinks, EveryFamilysLinksAreFoundAndRetargeted) {
  for (const FamilyCase& c : FamilyCases()) {
    std::vector<std::uint8_t> bytes = Zip(c.entries);
    Document doc(bytes, kFolder);
    EXPECT_EQ(doc.format(), c.format) << c.name;
    std::vector<std::string> found, expected = c.links;
    for (const Link& l : doc.Links()) found.push_back(Describe(l));
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected) << c.name;

    // Every link that may be rewritten points at its new file after a round trip.
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < doc.Links().size(); ++i) {
      paths.push_back("C:\\Shared\\" + std::to_string(i) + ".dat");
      if (doc.Links()[i].rewritable)
        doc.Retarget(i, paths.back(), {});
      else
        EXPECT_THROW(doc.Retarget(i, paths.back(), {}), DocError) << c.name;
    }
    std::vector<std::uint8_t> saved = doc.Save();
    for (auto& [entry, text] : c.saved) EXPECT_TRUE(Has(EntryData(saved, entry), text)) << c.name;
    Document again(saved, kFolder);
    ASSERT_EQ(again.Links().size(), doc.Links().size()) << c.name;
    for (std::size_t i = 0; i < again.Links().size(); ++i) {
      EXPECT_EQ(again.Links()[i].kind, doc.Links()[i].kind) << c.name;
      if (again.Links()[i].rewritable) {
        EXPECT_EQ(again.Links()[i].parsed.path, paths[i]) << c.name << " " << i;
      }
    }
  }
}

}  // namespace
}  // namespace ravel::docfile
