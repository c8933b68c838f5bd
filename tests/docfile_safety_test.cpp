// Safe repair of documents on disk: bad input reported by reason and left alone, a failure
// at any step of the write leaving the original untouched, times, permissions and backups.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>

#include "docfile/PosixStore.h"
#include "docfile/Repair.h"
#include "docfile_folder.h"
#include "docfile_support.h"
#include "posix/PosixFileSystem.h"

namespace ravel::docfile {
namespace {

using namespace test;

class DocfileSafety : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    Shell("mkdir new");
    Write("new/a.png", "png");
  }
  // A document with one link to a missing file that is found in new/.
  std::vector<std::uint8_t> Broken() {
    return Zip(Standard(Body(Inline("rId1")), Rels({{"rId1", kImageType, "file:///gone/a.png"}}),
                        {{"word/media/keep.bin", std::string(3000, 'k')}}));
  }
  DocumentResult Fix(const std::string& rel, RepairOptions options = {}) {
    options.write.posix_host = true;
    Repairer repairer(store, fs, options);
    FoundNames found{{"a.png", {Win("new/a.png")}}};
    return repairer.Repair(Win(rel), &found);
  }

  PosixFileSystem fs;
  PosixStore store{fs};
  const RepairOptions backed = [] {
    RepairOptions o;
    o.backup = true;
    return o;
  }();
};

// Each package is read by what it holds, whatever its name; one that cannot be read is refused
// by its reason and left as it was, as is one that another program has open or that is no file.
TEST_F(DocfileSafety, APackageIsReadByItsContentAndBadInputIsRefusedByReason) {
  std::vector<std::uint8_t> compound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  compound.resize(2048);
  std::vector<std::uint8_t> encrypted = compound, workbook97 = compound;
  const std::u16string names[] = {u"EncryptedPackage", u"Workbook"};
  for (std::size_t i = 0; i < names[0].size(); ++i) encrypted[600 + 2 * i] = names[0][i];
  for (std::size_t i = 0; i < names[1].size(); ++i) workbook97[600 + 2 * i] = names[1][i];
  const std::pair<std::string, std::string> slide_rels{
      "ppt/slides/_rels/slide1.xml.rels", Rels({{"rId1", kImageType, "file:///C:/a.png"}})};
  std::vector<std::uint8_t> truncated = Broken();
  truncated.resize(truncated.size() / 2);
  const std::string wb = "application/vnd.openxmlformats-officedocument.spreadsheetml";
  const std::string odf_encrypted =
      "<manifest:file-entry manifest:full-path=\"content.xml\"><manifest:encryption-data/>"
      "</manifest:file-entry>";
  const std::vector<std::uint8_t> drawing =
      Zip(Office("visio/document.xml", "application/vnd.ms-visio.drawing.main+xml",
                 {{"visio/document.xml", "<VisioDocument/>"}}));
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::optional<Reason> reason = std::nullopt;  // none: read as `format`, with `links`
    Format format = Format::Word;
    std::size_t links = 0;
    // "pipe" or "folder" in the place of the file; "read-only"; or the file a word processor
    // keeps beside a document it has open.
    std::string how = "";
  };
  std::vector<Case> cases = {
      {"template by its type.docx", Zip(Workbook({}, wb + ".template.main+xml")), std::nullopt,
       Format::Excel},
      {"no type: by the root element.xlsx", Zip(Standard(Body(""), "")), {}},
      {"text.docx", {'h', 'e', 'l', 'l', 'o'}, Reason::NotZip},
      {"empty.docx", {}, Reason::NotZip},
      {"truncated.docx", truncated, Reason::NotZip},
      {"twin.docx", Twin("word/a.xml"), Reason::NotZip},
      {"twin other case.docx", Twin("WORD/A.XML"), Reason::NotZip},
      {"old.doc", compound, Reason::LegacyBinary},
      {"locked.docx", encrypted, Reason::Encrypted},
      {"plainzip.docx", Zip({{"a.txt", "x"}}), Reason::NotZip},
      {"badxml.docx", Zip(Standard("<w:document><w:body>", "")), Reason::BadXml},
      {"badrels.docx", Zip(Standard(Body(""), "<Relationships><")), Reason::BadXml},
      {"dtd.docx",
       Zip(Standard(
           "<!DOCTYPE w [<!ENTITY e \"x\">]><w:document " + std::string(kNamespaces) + "/>", "")),
       Reason::BadXml},
      // The same refusals in every family.
      {"old.xls", workbook97, Reason::LegacyBinary},
      {"badslide.pptx", Zip(Presentation({{"ppt/slides/slide1.xml", "<p:sld><"}, slide_rels})),
       Reason::BadXml},
      {"badlink.xlsx",
       Zip(Workbook(
           {{"xl/_rels/workbook.xml.rels", Rels({{"rId1", std::string(kRelBase) + "externalLink",
                                                  "externalLinks/externalLink1.xml", false}})},
            {"xl/externalLinks/externalLink1.xml", "<externalLink><externalBook"}})),
       Reason::BadXml},
      {"dtd.pptx",
       Zip(Presentation(
           {{"ppt/slides/slide1.xml", Xml("p:sld", "")},
            {slide_rels.first, "<!DOCTYPE r [<!ENTITY e \"x\">]>" + slide_rels.second}})),
       Reason::BadXml},
      {"nomain.xlsx",
       Zip(Office("xl/gone.xml", wb + ".sheet.main+xml",
                  {{"xl/workbook.xml", Xml("workbook", "")}})),
       Reason::UnknownFormat},
      {"no main part.docx", Zip({{"[Content_Types].xml", "<Types/>"}, {"_rels/.rels", Rels({})}}),
       Reason::UnknownFormat},
      {"drawing.pptx", drawing, Reason::UnknownFormat},
      {"binary.xlsb", Zip(Workbook({}, "application/vnd.ms-excel.sheet.binary.macroEnabled.main")),
       Reason::UnknownFormat},
      {"chart.odc",
       Zip({{"mimetype", "application/vnd.oasis.opendocument.chart"}, {"content.xml", "<a/>"}}),
       Reason::UnknownFormat},
      {"nocontent.odt",
       Zip({{"mimetype", "application/vnd.oasis.opendocument.text"}, {"styles.xml", "<a/>"}}),
       Reason::Unreadable},
      {"bad.odt", Odf("<office:document-content"), Reason::BadXml},
      {"dtd.odt", Odf("<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"b\">]><x>&a;</x>"),
       Reason::BadXml},
      {"badobject.odt", Odf(Content(Image("../a.png")), {{"Object 1/styles.xml", "<a><b></a>"}}),
       Reason::BadXml},
      {"encrypted.odt", Odf("\x93\x11garbage", {}, odf_encrypted), Reason::Encrypted},
      // A part that expands beyond what is read into memory.
      {"huge.odt", Odf(Content(std::string(2 << 20, ' '))), Reason::TooLarge},
      {"pipe.docx", {}, Reason::NotRegular, Format::Word, 0, "pipe"},
      {"folder.docx", {}, Reason::NotRegular, Format::Word, 0, "folder"},
      {"report.docx", Broken(), Reason::ReadOnly, Format::Word, 0, "read-only"},
      {"quarterly-report.docx", Broken(), Reason::Locked, Format::Word, 0, "~$arterly-report.docx"},
      {"short.docx", Broken(), Reason::Locked, Format::Word, 0, "~$short.docx"},
      {"letters.docx", Broken(), Reason::Locked, Format::Word, 0, "~$etters.docx"},
      {"planning.docx", Broken(), Reason::Locked, Format::Word, 0, "~$anning.docx"},
      {"open.docx", Broken(), Reason::Locked, Format::Word, 0, ".~lock.open.docx#"},
  };
  for (const char* kind : {"text", "spreadsheet", "presentation", "graphics"})
    for (const char* suffix : {"", "-template"}) {
      std::string type = std::string("application/vnd.oasis.opendocument.") + kind + suffix;
      Case c{std::string(kind) + suffix + ".od", Odf(Content(Image("../b.png")), {}, "", type)};
      c.format = Format::OpenDocument;
      c.links = 1;
      cases.push_back(c);
    }
  RepairOptions small;
  small.limits.max_part = 1 << 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string host = root + "/" + c.name;
    if (c.how == "pipe") {
      // A pipe nobody writes to would wait for ever if it were opened for reading.
      ASSERT_EQ(mkfifo(host.c_str(), 0644), 0);
    } else if (c.how == "folder") {
      mkdir(host.c_str(), 0755);
    } else {
      Write(c.name, c.bytes);
      if (c.how == "read-only") chmod(host.c_str(), 0444);
      if (c.how.starts_with("~$") || c.how.starts_with(".~lock.")) Write(c.how, "owner");
    }
    DocumentResult r = Fix(c.name, small);
    if (!c.reason) {
      ASSERT_FALSE(r.error.has_value()) << r.error->what();
      EXPECT_EQ(r.format, c.format);
      EXPECT_EQ(r.links.size(), c.links);
      continue;
    }
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->reason(), *c.reason) << r.error->what();
    if (c.how != "pipe" && c.how != "folder") {
      EXPECT_EQ(Bytes(c.name), c.bytes);
    }
  }
  DocumentResult gone = Fix("vanished.docx");
  ASSERT_TRUE(gone.error.has_value());
  EXPECT_EQ(gone.error->reason(), Reason::Vanished);
}

// A bomb is refused by the limits, each of which still allows its own value.
TEST_F(DocfileSafety, APackageBeyondALimitIsRefused) {
  const std::string body = Body(std::string(2000, ' '));
  Write("big.docx", Zip(Standard(body, "",
                                 {{"word/media/a.bin", std::string(1 << 20, 0)},
                                  {"word/media/b.bin", std::string(1 << 20, 0)}})));
  struct Case {
    std::uint64_t Limits::*limit;
    std::uint64_t value;
    bool refused;
  };
  const Case cases[] = {
      {&Limits::max_expanded, 1500 << 10, true},   // the entries together, not one alone
      {&Limits::max_part, body.size() - 1, true},  // a part parsed, not the media
      {&Limits::max_part, body.size(), false},
      {&Limits::max_entries, 4, true},  // [Content_Types].xml, _rels/.rels, the body, a, b
      {&Limits::max_entries, 5, false},
  };
  for (const Case& c : cases) {
    RepairOptions options;
    options.limits.*c.limit = c.value;
    DocumentResult r = Fix("big.docx", options);
    EXPECT_EQ(r.error.has_value(), c.refused) << c.value;
    if (c.refused && r.error) {
      EXPECT_EQ(r.error->reason(), Reason::TooLarge) << c.value;
    }
  }
}

TEST_F(DocfileSafety, AFailureAtAnyStepOfTheWriteLeavesTheOriginal) {
  // The last: someone else saves the document while its repaired copy is written.
  for (const char* step : {"write", "attributes", "backup", "rename", "saved meanwhile"}) {
    SCOPED_TRACE(step);
    bool saved = std::string(step) == "saved meanwhile";
    Write("doc.docx", Broken());
    std::vector<std::uint8_t> original = Bytes("doc.docx");
    store.fault = [&](const char* now) {
      if (saved && std::string(now) == "attributes") {
        original.assign({'s', 'a', 'v', 'e', 'd'});
        Write("doc.docx", original);
      }
      if (std::string(now) == step) throw DocError(Reason::WriteFailed, "disk full");
    };
    DocumentResult r = Fix("doc.docx", backed);
    store.fault = nullptr;
    ASSERT_TRUE(r.error.has_value());
    EXPECT_EQ(r.error->reason(), saved ? Reason::Changed : Reason::WriteFailed);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(Bytes("doc.docx"), original);
    // Neither the temporary file nor a backup is left behind.
    std::set<std::string> left;
    for (auto& e : std::filesystem::directory_iterator(root)) left.insert(e.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"doc.docx", "new"}));
  }
}

TEST_F(DocfileSafety, ARepairKeepsPermissionsAttributesAndOptionallyTimesAndTheOriginal) {
  for (bool keep_times : {false, true}) {
    std::vector<std::uint8_t> original = Broken();
    Write("doc.docx", original);
    std::string host = root + "/doc.docx";
    chmod(host.c_str(), 0640);
    // Where a Samba server keeps a file's DOS attributes; the name is free in user space.
    ASSERT_EQ(setxattr(host.c_str(), "user.DOSATTRIB", "\x01\x02", 2, 0), 0) << strerror(errno);
    struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
    utimensat(AT_FDCWD, host.c_str(), times, 0);
    std::remove((host + ".bak").c_str());
    RepairOptions options;
    options.backup = true;
    store.keep_times = keep_times;
    DocumentResult r = Fix("doc.docx", options);
    store.keep_times = false;
    ASSERT_FALSE(r.error.has_value()) << r.error->what();
    EXPECT_TRUE(r.written);
    EXPECT_EQ(r.backup, Win("doc.docx.bak"));
    struct stat st;
    ASSERT_EQ(stat(host.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    char value[8] = {};
    EXPECT_EQ(getxattr(host.c_str(), "user.DOSATTRIB", value, sizeof value), 2) << keep_times;
    EXPECT_EQ(std::string(value, 2), "\x01\x02");
    // The content changed: by default the time says so; asked, the old time stays.
    if (keep_times) {
      EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
      EXPECT_EQ(st.st_mtim.tv_nsec, 500);
    } else {
      EXPECT_GT(st.st_mtim.tv_sec, time(nullptr) - 60);
    }
    EXPECT_EQ(Bytes("doc.docx.bak"), original);
    EXPECT_TRUE(Has(EntryData(Bytes("doc.docx"), "word/_rels/document.xml.rels"),
                    "file://" + root + "/new/a.png"));
  }
  // A second repair keeps the first backup and adds another.
  Write("doc.docx", Broken());
  EXPECT_EQ(Fix("doc.docx", backed).backup, Win("doc.docx.bak2"));
}

TEST_F(DocfileSafety, ALinkedDocumentIsRepairedWhereItLies) {
  Shell("mkdir real");
  Write("real/doc.docx", Broken());
  ASSERT_EQ(symlink((root + "/real/doc.docx").c_str(), (root + "/link.docx").c_str()), 0);
  // Opened through the link, a word processor keeps its owner file beside the link.
  Write("~$link.docx", "owner");
  DocumentResult locked = Fix("link.docx", backed);
  ASSERT_TRUE(locked.error.has_value());
  EXPECT_EQ(locked.error->reason(), Reason::Locked);
  std::remove((root + "/~$link.docx").c_str());
  DocumentResult r = Fix("link.docx", backed);
  ASSERT_FALSE(r.error.has_value()) << r.error->what();
  struct stat st;
  ASSERT_EQ(lstat((root + "/link.docx").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
  EXPECT_TRUE(
      Has(EntryData(Bytes("real/doc.docx"), "word/_rels/document.xml.rels"), root + "/new/a.png"));
  EXPECT_EQ(r.backup, Win("real/doc.docx.bak"));
}

TEST_F(DocfileSafety, ANameNearTheLengthLimitIsStillRepaired) {
  std::string name = std::string(240, 'n') + ".docx";  // 245 bytes of 255
  Write(name, Broken());
  DocumentResult r = Fix(name);
  ASSERT_FALSE(r.error.has_value()) << r.error->what();
  EXPECT_TRUE(r.written);
  // The temporary name it used is still one a later run recognises.
  EXPECT_TRUE(IsRepairTempName("." + std::string(241, 'n') + ".ravel-Ab12Cd"));
  EXPECT_FALSE(IsRepairTempName(".doc.docx.ravel-Ab1"));
  EXPECT_FALSE(IsRepairTempName("doc.docx"));
  EXPECT_FALSE(IsRepairTempName("doc.docx.ravel-Ab12Cd"));  // not hidden: a user's file
}

TEST_F(DocfileSafety, ADocumentSavedBetweenSurveyAndRepairIsLeftAlone) {
  std::string host = root + "/doc.docx";
  Write("doc.docx", Broken());
  RepairOptions options;
  options.write.posix_host = true;
  Repairer repairer(store, fs, options);
  std::set<std::string> wanted;
  DocumentResult surveyed = repairer.Survey(Win("doc.docx"), wanted);
  ASSERT_TRUE(surveyed.read_as.has_value());
  EXPECT_EQ(wanted, std::set<std::string>{"a.png"});
  // Saved by someone else in the meantime: same size, same time, other bytes.
  struct stat before;
  stat(host.c_str(), &before);
  std::string edited = Read("doc.docx");
  std::size_t at = edited.find("word/media/keep.bin");
  ASSERT_NE(at, std::string::npos);
  edited[at + 11] = 'K';  // the entry's name, in its local header only
  Write("doc.docx", edited);
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  utimensat(AT_FDCWD, host.c_str(), times, 0);
  FoundNames found{{"a.png", {Win("new/a.png")}}};
  DocumentResult r = repairer.Repair(Win("doc.docx"), &found, &*surveyed.read_as);
  ASSERT_TRUE(r.error.has_value());
  EXPECT_EQ(r.error->reason(), Reason::Changed);
  EXPECT_EQ(Read("doc.docx"), edited);
  // Unchanged, it is repaired.
  Write("doc.docx", Broken());
  surveyed = repairer.Survey(Win("doc.docx"), wanted);
  r = repairer.Repair(Win("doc.docx"), &found, &*surveyed.read_as);
  EXPECT_TRUE(r.written) << (r.error ? r.error->what() : "");
}

}  // namespace
}  // namespace ravel::docfile
