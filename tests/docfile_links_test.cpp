// Finding the links of a package and retargeting them: every kind of link in every part,
// field codes kept in step with their relationships, unchanged entries kept byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "docfile/Document.h"
#include "docfile_support.h"

using namespace std::string_literals;

namespace ravel::docfile {
namespace {

using namespace test;

const std::string kFolder = "C:\\Docs";

struct KindCase {
  const char* name;
  std::string markup;
  std::vector<Rel> rels;
  LinkKind kind;
  std::string target;
  bool stored;
};

TEST(DocfileLinks, EveryKindOfLinkIsFoundInTheBody) {
  const Rel image{"rId1", kImageType, "file:///C:/Pics/a.png"};
  const Rel stored{"rId2", kImageType, "media/image1.png", false};
  const KindCase cases[] = {
      {"inline", Inline("rId1"), {image}, LinkKind::InlinePicture, image.target, false},
      {"inline+copy",
       Inline("rId1", "rId2"),
       {image, stored},
       LinkKind::InlinePicture,
       image.target,
       true},
      {"floating", Anchor("rId1"), {image}, LinkKind::FloatingPicture, image.target, false},
      {"vml", Vml("r:id=\"rId1\""), {image}, LinkKind::VmlPicture, image.target, false},
      {"vml+copy",
       Vml("r:id=\"rId2\" r:href=\"rId1\""),
       {image, stored},
       LinkKind::VmlPicture,
       image.target,
       true},
      {"vml relid", Vml("o:relid=\"rId1\""), {image}, LinkKind::VmlPicture, image.target, false},
      {"ole",
       Ole("rId3"),
       {{"rId3", kOleType, "file:///C:/Data/t.xlsx"}},
       LinkKind::OleObject,
       "file:///C:/Data/t.xlsx",
       false},
      {"includepicture",
       Field({R"( INCLUDEPICTURE "C:\\Pics\\a.png" \d )"}, Inline("rId1")),
       {image},
       LinkKind::IncludePictureField,
       image.target,
       false},
      {"includepicture naming another file",
       Field({R"( INCLUDEPICTURE "C:\\Other\\b.png" \d )"}, Inline("rId1")),
       {image},
       LinkKind::IncludePictureField,
       image.target + " = C:\\Other\\b.png",
       false},
      {"includepicture alone",
       Field({R"( INCLUDEPICTURE "C:\\Pics\\b.png" \* MERGEFORMAT )"}, ""),
       {},
       LinkKind::IncludePictureField,
       "C:\\Pics\\b.png",
       false},
      {"link field",
       Field({R"( LINK Excel.Sheet.12 "C:\\Data\\t.xlsx" "Sheet1!R1C1:R2C2" \a \p )"}, Ole("rId3")),
       {{"rId3", kOleType, "file:///C:/Data/t.xlsx"}},
       LinkKind::LinkField,
       "file:///C:/Data/t.xlsx",
       false},
      {"simple field",
       "<w:fldSimple w:instr=\" INCLUDEPICTURE &quot;C:\\\\Pics\\\\a.png&quot; \\d \">" +
           Inline("rId1") + "</w:fldSimple>",
       {image},
       LinkKind::IncludePictureField,
       image.target,
       false},
  };
  for (const KindCase& c : cases) {
    std::vector<Rel> rels = c.rels;
    rels.push_back({"rIdPreview", kImageType, "media/image9.emf", false});
    Document doc(Zip(Standard(Body(c.markup), Rels(rels))), kFolder);
    ASSERT_EQ(doc.Links().size(), 1u) << c.name;
    const Link& link = doc.Links()[0];
    EXPECT_EQ(link.kind, c.kind) << c.name;
    EXPECT_EQ(link.part, "word/document.xml") << c.name;
    EXPECT_EQ(link.part_kind, PartKind::Body) << c.name;
    EXPECT_EQ(link.target, c.target) << c.name;
    EXPECT_EQ(link.stored, c.stored) << c.name;

    doc.Retarget(0, "D:\\New\\x.png", {});
    Document again(doc.Save(), kFolder);
    ASSERT_EQ(again.Links().size(), 1u) << c.name;
    EXPECT_EQ(again.Links()[0].kind, c.kind) << c.name;
    EXPECT_EQ(again.Links()[0].parsed.path, "D:\\New\\x.png") << c.name;
    EXPECT_EQ(again.Links()[0].stored, c.stored) << c.name;
  }
}

TEST(DocfileLinks, MarkupWithoutExternalFilesIsNoLink) {
  const std::string markup = Inline("rId2") + Vml("r:id=\"rId2\"") + Inline("rId4") +
                             Field({" HYPERLINK \"http://example.com\" "}, "") +
                             Field({" INCLUDEPICTURE "}, "") + Inline("rIdMissing");
  Document doc(
      Zip(Standard(Body(markup), Rels({{"rId2", kImageType, "media/image1.png", false},
                                       {"rId4",
                                        "http://schemas.openxmlformats.org/officeDocument/2006/"
                                        "relationships/hyperlink",
                                        "file:///C:/x.png"}}))),
      kFolder);
  EXPECT_TRUE(doc.Links().empty());
}

TEST(DocfileLinks, OneRelationshipUsedTwiceIsOneLink) {
  // Word writes a drawing and its VML fallback for the same picture.
  std::string markup =
      "<mc:AlternateContent "
      "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
      "<mc:Choice>" +
      Anchor("rId1") + "</mc:Choice><mc:Fallback>" + Vml("r:id=\"rId1\"") +
      "</mc:Fallback></mc:AlternateContent>";
  Document doc(Zip(Standard(Body(markup), Rels({{"rId1", kImageType, "C:\\a.png"}}))), kFolder);
  ASSERT_EQ(doc.Links().size(), 1u);
  EXPECT_EQ(doc.Links()[0].kind, LinkKind::FloatingPicture);
}

TEST(DocfileLinks, LinksAreFoundInEveryPartThatHoldsText) {
  struct PartCase {
    const char* name;
    const char* type;
    const char* root;
    PartKind kind;
  };
  const PartCase parts[] = {
      {"header1.xml", "header", "w:hdr", PartKind::Header},
      {"footer2.xml", "footer", "w:ftr", PartKind::Footer},
      {"footnotes.xml", "footnotes", "w:footnotes", PartKind::Footnotes},
      {"endnotes.xml", "endnotes", "w:endnotes", PartKind::Endnotes},
      {"comments.xml", "comments", "w:comments", PartKind::Comments},
  };
  const std::string base = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  for (const PartCase& p : parts) {
    for (bool own_rels : {true, false}) {
      std::vector<Rel> main{{"rIdPart", base + p.type, p.name, false}};
      Entries more{{std::string("word/") + p.name, Body(Inline("rId7"), p.root)}};
      Rel pic{"rId7", kImageType, "file:///C:/Pics/h.png"};
      // Some writers put a header's picture relationship into the main part's.
      if (own_rels)
        more.emplace_back(std::string("word/_rels/") + p.name + ".rels", Rels({pic}));
      else
        main.push_back(pic);
      Document doc(Zip(Standard(Body("<w:r/>"), Rels(main), more)), kFolder);
      ASSERT_EQ(doc.Links().size(), 1u) << p.name << own_rels;
      EXPECT_EQ(doc.Links()[0].part, std::string("word/") + p.name);
      EXPECT_EQ(doc.Links()[0].part_kind, p.kind);

      doc.Retarget(0, "D:\\New\\h.png", {});
      std::vector<std::uint8_t> saved = doc.Save();
      std::string rels_name =
          own_rels ? std::string("word/_rels/") + p.name + ".rels" : "word/_rels/document.xml.rels";
      EXPECT_NE(EntryData(saved, rels_name).find("Target=\"file:///D:/New/h.png\""),
                std::string::npos)
          << p.name << own_rels;
    }
  }
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
  std::vector<std::string> code;
  bool with_picture;
  std::string new_path;
  std::string expected_code;
};

TEST(DocfileLinks, FieldCodesAreKeptInStepWithTheirRelationship) {
  const FieldCase cases[] = {
      {"one piece",
       {R"( INCLUDEPICTURE "C:\\Old\\a.png" \d )"},
       true,
       "D:\\New\\a.png",
       R"( INCLUDEPICTURE "D:\\New\\a.png" \d )"},
      {"split inside the path",
       {R"( INCLUDEPICTURE "C:\\Ol)", R"(d\\a.png" \* MERGEFORMATINET )", R"(\d )"},
       true,
       "\\\\srv\\share\\a.png",
       R"( INCLUDEPICTURE "\\\\srv\\share\\a.png" \* MERGEFORMATINET \d )"},
      {"split at the quote",
       {R"( INCLUDEPICTURE ")", R"(C:\\Old\\a.png)", R"(" \d)"},
       true,
       "D:\\b.png",
       R"( INCLUDEPICTURE "D:\\b.png" \d)"},
      {"bare path gains quotes",
       {R"( INCLUDEPICTURE C:\\Old\\a.png \d)"},
       false,
       "D:\\New Folder\\a.png",
       R"( INCLUDEPICTURE "D:\\New Folder\\a.png" \d)"},
      {"single backslashes stay single",
       {R"( INCLUDEPICTURE "C:\Old\a.png")"},
       false,
       "D:\\New\\a.png",
       R"( INCLUDEPICTURE "D:\New\a.png")"},
      {"link field",
       {R"( LINK Excel.Sheet.12 "C:\\Old\\t.xlsx" "Sheet1!R1C1" \a \f 4 \p )"},
       false,
       "D:\\t.xlsx",
       R"( LINK Excel.Sheet.12 "D:\\t.xlsx" "Sheet1!R1C1" \a \f 4 \p )"},
  };
  for (const FieldCase& c : cases) {
    std::string result = c.with_picture ? Inline("rId1") : "";
    std::vector<Rel> rels;
    if (c.with_picture) rels.push_back({"rId1", kImageType, "file:///C:/Old/a.png"});
    Document doc(Zip(Standard(Body("<w:r><w:t>x</w:t></w:r>" + Field(c.code, result)), Rels(rels))),
                 kFolder);
    ASSERT_EQ(doc.Links().size(), 1u) << c.name;
    doc.Retarget(0, c.new_path, {});
    std::vector<std::uint8_t> saved = doc.Save();
    EXPECT_EQ(FieldCodes(EntryData(saved, "word/document.xml")), c.expected_code) << c.name;
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

TEST(DocfileLinks, AFieldWhosePathIsComputedIsNotRewritten) {
  std::string inner = Field({" MERGEFIELD picture "}, "<w:r><w:t>C:\\p.png</w:t></w:r>");
  std::string code =
      "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r>"
      "<w:r><w:instrText> INCLUDEPICTURE \"</w:instrText></w:r>" +
      inner +
      "<w:r><w:instrText>\" \\d</w:instrText></w:r>"
      "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>";
  Document doc(Zip(Standard(Body(code), "")), kFolder);
  EXPECT_TRUE(doc.Links().empty());
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
  doc.Retarget(1, "D:\\b.png", {});
  EXPECT_EQ(doc.ChangedParts(), std::vector<std::string>{"word/_rels/document.xml.rels"});
  std::vector<RawEntry> before = Unzip(original), after = Unzip(doc.Save());
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].name, before[i].name);
    if (before[i].name == "word/_rels/document.xml.rels") {
      EXPECT_NE(after[i].data.find("file:///C:/Old/a.png"), std::string::npos);
      EXPECT_NE(after[i].data.find("file:///D:/b.png"), std::string::npos);
      continue;
    }
    EXPECT_EQ(after[i].method, before[i].method) << before[i].name;
    EXPECT_EQ(after[i].compressed, before[i].compressed) << before[i].name;
  }
}

TEST(DocfileLinks, UnchangedDocumentHasNothingToWrite) {
  Document doc(Zip(Standard(Body(Inline("rId1")), Rels({{"rId1", kImageType, "C:\\a.png"}}))),
               kFolder);
  EXPECT_FALSE(doc.Changed());
}

// UTF-8 text as UTF-16 little-endian with its byte order mark.
std::string Utf16Le(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

std::string Latin1(const std::string& ascii_with_e_acute) {
  std::string out;
  for (std::size_t i = 0; i < ascii_with_e_acute.size(); ++i) {
    if (ascii_with_e_acute.compare(i, 2, "\xC3\xA9") == 0) {
      out += '\xE9';
      ++i;
    } else {
      out += ascii_with_e_acute[i];
    }
  }
  return out;
}

TEST(DocfileLinks, APartIsWrittenBackInTheEncodingItDeclares) {
  std::string rels = Rels({{"rId1", kImageType, "file:///C:/Old/a.png"}});
  std::string utf16 = rels;
  utf16.replace(utf16.find("UTF-8"), 5, "UTF-16");
  std::string latin = rels;
  latin.replace(latin.find("UTF-8"), 5, "ISO-8859-1");
  latin.insert(latin.find("</Relationships>"), "<!-- caf\xC3\xA9 -->");
  struct Case {
    const char* name;
    std::string stored;
    std::string begins;    // the rewritten part's first bytes
    std::string declares;  // what its declaration says, once decoded
  };
  const Case cases[] = {
      {"utf-16", Utf16Le(utf16), "\xFF\xFE<\0?\0x\0m\0l\0"s, "encoding=\"UTF-16\""},
      {"utf-8 with mark", "\xEF\xBB\xBF" + rels, "\xEF\xBB\xBF<?xml", "encoding=\"UTF-8\""},
      {"latin-1", Latin1(latin), "<?xml", "encoding=\"UTF-8\""},
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
    EXPECT_NE(text.find(c.declares), std::string::npos) << c.name << ": " << text;
    // Read again, the part names the new file: its encoding and declaration agree.
    Document again(doc.Save(), kFolder);
    ASSERT_EQ(again.Links().size(), 1u) << c.name;
    EXPECT_EQ(again.Links()[0].parsed.path, "C:\\New\\\xC3\xA9t\xC3\xA9.png") << c.name;
  }
}

TEST(DocfileLinks, ACarriageReturnWrittenAsAReferenceSurvivesARewrite) {
  std::string markup = "<w:r><w:t xml:space=\"preserve\">line&#13;break</w:t></w:r>" +
                       Field({R"( INCLUDEPICTURE "C:\\Old\\b.png" )"}, "");
  Document doc(Zip(Standard(Body(markup), "")), kFolder);
  ASSERT_EQ(doc.Links().size(), 1u);
  doc.Retarget(0, "C:\\New\\b.png", {});
  std::string part = EntryData(doc.Save(), "word/document.xml");
  EXPECT_NE(part.find("line&#13;break"), std::string::npos) << part;
  EXPECT_EQ(part.find('\r'), std::string::npos);
}

TEST(DocfileLinks, APackageWithTwoEntriesOfOneNameIsRefused) {
  for (const char* twin : {"word/a.xml", "WORD/A.XML"}) {
    std::string second = twin;
    std::string placeholder = "word/b.xml";
    std::vector<std::uint8_t> bytes =
        Zip(Standard(Body(""), "", {{"word/a.xml", "<a/>"}, {placeholder, "<b/>"}}));
    // libzip writes no duplicate names: rename the second entry in the finished bytes.
    std::string raw(bytes.begin(), bytes.end());
    for (std::size_t at; (at = raw.find(placeholder)) != std::string::npos;)
      raw.replace(at, placeholder.size(), second);
    try {
      Document doc(std::vector<std::uint8_t>(raw.begin(), raw.end()), kFolder);
      ADD_FAILURE() << twin << ": read as a document";
    } catch (const DocError& e) {
      EXPECT_EQ(e.reason(), Reason::NotZip) << twin;
      EXPECT_NE(std::string(e.what()).find("appears twice"), std::string::npos) << e.what();
    }
  }
}

TEST(DocfileLinks, AChartsLinkedWorkbookAndPicturesAreLinks) {
  const std::string base = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  std::string chart =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><c:chartSpace "
      "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
      "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<c:chart/><c:spPr><a:blipFill><a:blip r:link=\"rId2\"/></a:blipFill></c:spPr>"
      "<c:externalData r:id=\"rId1\"><c:autoUpdate val=\"0\"/></c:externalData></c:chartSpace>";
  for (const char* type : {"oleObject", "package"}) {
    Entries more{{"word/charts/chart1.xml", chart},
                 {"word/charts/_rels/chart1.xml.rels",
                  Rels({{"rId1", base + type, "file:///C:/Data/Book%201.xlsx"},
                        {"rId2", kImageType, "file:///C:/Pics/back.png"}})}};
    Document doc(Zip(Standard(Body("<w:r/>"),
                              Rels({{"rId9", base + "chart", "charts/chart1.xml", false}}), more)),
                 kFolder);
    ASSERT_EQ(doc.Links().size(), 2u) << type;
    const Link& data = doc.Links()[1];
    EXPECT_EQ(data.part, "word/charts/chart1.xml");
    EXPECT_EQ(data.part_kind, PartKind::Chart);
    EXPECT_EQ(data.kind, LinkKind::ChartData) << type;
    EXPECT_EQ(data.parsed.path, "C:\\Data\\Book 1.xlsx");
    EXPECT_EQ(doc.Links()[0].kind, LinkKind::InlinePicture);
    doc.Retarget(1, "D:\\Moved\\Book 1.xlsx", {});
    EXPECT_NE(EntryData(doc.Save(), "word/charts/_rels/chart1.xml.rels")
                  .find("Target=\"file:///D:/Moved/Book%201.xlsx\""),
              std::string::npos);
  }
}

struct Found {
  std::string part;
  PartKind part_kind;
  LinkKind kind;
  std::string target;
  bool stored;
};

struct FamilyCase {
  const char* name;
  Entries entries;
  Format format;
  std::vector<Found> links;
  // After every link is pointed at C:\Shared\N.dat: entry -> text it then holds.
  std::vector<std::pair<std::string, std::string>> saved;
};

std::vector<FamilyCase> FamilyCases() {
  const std::string r = kRelBase;
  const std::string blip_only =
      "<w:r><w:drawing><wp:inline><a:graphic><a:graphicData><pic:pic><pic:blipFill><a:blip "
      "r:embed=\"rId2\"/></pic:blipFill></pic:pic></a:graphicData></a:graphic></wp:inline>"
      "</w:drawing></w:r>";
  const Rel media{"rId2", kImageType, "media/image1.png", false};
  const std::string sheet = "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
  return {
      {"word template",
       Standard(Body("<w:r/>"), Rels({{"rId3", r + "settings", "settings.xml", false}}),
                {{"word/settings.xml", Body("<w:attachedTemplate r:id=\"rId1\"/>", "w:settings")},
                 {"word/_rels/settings.xml.rels",
                  Rels({{"rId1", r + "attachedTemplate", "file:///C:/Templates/Normal.dotm"}})}}),
       Format::Word,
       {{"word/settings.xml", PartKind::Settings, LinkKind::Template,
         "file:///C:/Templates/Normal.dotm", false}},
       {{"word/_rels/settings.xml.rels", "Target=\"file:///C:/Shared/0.dat\""}}},
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
       {{"word/document.xml", PartKind::Body, LinkKind::Subdocument, "chapters/one.docx", false},
        {"word/document.xml", PartKind::Body, LinkKind::IncludeTextField, "C:\\Text\\a.docx",
         false},
        {"word/document.xml", PartKind::Body, LinkKind::Hyperlink, "\\\\srv\\s\\b.docx", false},
        {"word/document.xml", PartKind::Body, LinkKind::Hyperlink, "file:///C:/Docs/c.docx",
         false}},
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
       {{"word/document.xml", PartKind::Body, LinkKind::IncludePictureField, "C:\\Pics\\kept.png",
         true},
        {"word/document.xml", PartKind::Body, LinkKind::IncludePictureField, "C:\\Pics\\not.png",
         false},
        {"word/document.xml", PartKind::Body, LinkKind::InlinePicture, "file:///C:/Pics/a.png",
         false},
        {"word/document.xml", PartKind::Body, LinkKind::InlinePicture, "file:///C:/Pics/a.png",
         false}},
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
       {{"xl/externalLinks/externalLink1.xml", PartKind::ExternalLink, LinkKind::ExternalWorkbook,
         "file:///C:/Data/Book%201.xlsx", false}},
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
       {{"xl/externalLinks/externalLink1.xml", PartKind::ExternalLink, LinkKind::OleObject,
         "\\\\srv\\s\\memo.docx", false},
        {"xl/externalLinks/externalLink2.xml", PartKind::ExternalLink, LinkKind::DdeLink,
         "WinWord|C:\\d.docx", false},
        {"xl/charts/chart1.xml", PartKind::Chart, LinkKind::ChartData, "file:///C:/Data/Chart.xlsx",
         false},
        {"xl/drawings/drawing1.xml", PartKind::Drawing, LinkKind::Picture, "pics/logo.png", true},
        {"xl/worksheets/sheet1.xml", PartKind::Sheet, LinkKind::Hyperlink, "..\\Other\\plan.xlsx",
         false}},
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
       {{"ppt/slides/slide1.xml", PartKind::Slide, LinkKind::Picture, "file:////Users/ann/logo.png",
         true},
        {"ppt/slides/slide1.xml", PartKind::Slide, LinkKind::OleObject, "file:///C:/Data/t.xlsx",
         false},
        {"ppt/slides/slide1.xml", PartKind::Slide, LinkKind::LinkedAudio, "file:///C:/Sounds/a.wav",
         false},
        {"ppt/slides/slide1.xml", PartKind::Slide, LinkKind::LinkedVideo, "C:\\Films\\f.mp4",
         false},
        {"ppt/slideLayouts/slideLayout1.xml", PartKind::Slide, LinkKind::Hyperlink,
         "file:///C:/Docs/Plan.pptx", false},
        {"ppt/charts/chart2.xml", PartKind::Chart, LinkKind::ChartData,
         "file:///C:/Data/Chart.xlsx", false}},
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
    // The order within a part is the markup's; parts come in their package order.
    std::vector<Found> found;
    for (const Link& l : doc.Links())
      found.push_back({l.part, l.part_kind, l.kind, l.target, l.stored});
    auto key = [](const Found& f) { return std::tie(f.part, f.target, f.kind); };
    auto by_key = [&](const Found& a, const Found& b) { return key(a) < key(b); };
    std::vector<Found> expected = c.links;
    std::sort(found.begin(), found.end(), by_key);
    std::sort(expected.begin(), expected.end(), by_key);
    ASSERT_EQ(found.size(), expected.size()) << c.name;
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].part, expected[i].part) << c.name << " " << i;
      EXPECT_EQ(found[i].part_kind, expected[i].part_kind) << c.name << " " << found[i].target;
      EXPECT_EQ(found[i].kind, expected[i].kind) << c.name << " " << found[i].target;
      EXPECT_EQ(found[i].target, expected[i].target) << c.name;
      EXPECT_EQ(found[i].stored, expected[i].stored) << c.name << " " << found[i].target;
    }

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
    for (auto& [entry, text] : c.saved)
      EXPECT_NE(EntryData(saved, entry).find(text), std::string::npos)
          << c.name << ": " << text << "\n"
          << EntryData(saved, entry);
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

TEST(DocfileLinks, APackageIsReadByItsContentAndAnUnknownOneIsRefused) {
  const std::string wb = "application/vnd.openxmlformats-officedocument.spreadsheetml";
  struct Case {
    const char* name;
    Entries entries;
    std::optional<Format> format;  // none: refused as of an unknown kind
  };
  const Case cases[] = {
      {"template by its type", Workbook({}, wb + ".template.main+xml"), Format::Excel},
      {"no type: by the root element", Standard(Body(""), ""), Format::Word},
      {"a binary workbook", Workbook({}, "application/vnd.ms-excel.sheet.binary.macroEnabled.main"),
       std::nullopt},
      {"a drawing package",
       Office("visio/document.xml", "application/vnd.ms-visio.drawing.main+xml",
              {{"visio/document.xml", "<VisioDocument/>"}}),
       std::nullopt},
      {"no main part", Entries{{"[Content_Types].xml", "<Types/>"}, {"_rels/.rels", Rels({})}},
       std::nullopt},
      {"an OpenDocument database", Entries{{"mimetype", "application/vnd.oasis.opendocument.base"}},
       std::nullopt},
  };
  for (const Case& c : cases) {
    try {
      Document doc(Zip(c.entries), kFolder);
      ASSERT_TRUE(c.format.has_value()) << c.name << ": read as " << FormatName(doc.format());
      EXPECT_EQ(doc.format(), *c.format) << c.name;
    } catch (const DocError& e) {
      EXPECT_FALSE(c.format.has_value()) << c.name << ": " << e.what();
      EXPECT_EQ(e.reason(), Reason::UnknownFormat) << c.name << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace ravel::docfile
