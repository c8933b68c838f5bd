// Safe repair of documents on disk: bad input reported by reason and left alone, a failure
// at any step of the write leaving the original untouched, times, permissions and backups.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "docfile/PosixStore.h"
#include "docfile/Repair.h"
#include "docfile_support.h"
#include "posix/PosixFileSystem.h"

namespace ravel::docfile {
namespace {

using namespace test;

class DocfileSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ravel-docfile-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    mkdir((root + "/new").c_str(), 0755);
    Write("new/a.png", "png");
  }
  void TearDown() override { std::system(("rm -rf '" + root + "'").c_str()); }

  void Write(const std::string& rel, const std::string& data) {
    std::ofstream(root + "/" + rel, std::ios::binary) << data;
  }
  void Write(const std::string& rel, const std::vector<std::uint8_t>& data) {
    Write(rel, std::string(data.begin(), data.end()));
  }
  std::string Read(const std::string& rel) {
    std::ifstream in(root + "/" + rel, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string Win(const std::string& rel) {
    std::string out = "Z:" + root + "/" + rel;
    for (char& c : out)
      if (c == '/') c = '\\';
    return out;
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

  std::string root;
  PosixFileSystem fs;
  PosixStore store{fs};
};

TEST_F(DocfileSafety, BadInputIsReportedByReasonAndLeftAlone) {
  std::vector<std::uint8_t> compound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  compound.resize(2048);
  std::vector<std::uint8_t> encrypted = compound;
  const char16_t name[] = u"EncryptedPackage";
  for (std::size_t i = 0; name[i] != 0; ++i) encrypted[600 + 2 * i] = static_cast<uint8_t>(name[i]);
  std::vector<std::uint8_t> truncated = Broken();
  truncated.resize(truncated.size() / 2);
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    Reason reason;
  };
  const Case cases[] = {
      {"text.docx", {'h', 'e', 'l', 'l', 'o'}, Reason::NotZip},
      {"empty.docx", {}, Reason::NotZip},
      {"truncated.docx", truncated, Reason::NotZip},
      {"old.doc", compound, Reason::LegacyBinary},
      {"locked.docx", encrypted, Reason::Encrypted},
      {"plainzip.docx", Zip({{"a.txt", "x"}}), Reason::NotZip},
      {"badxml.docx", Zip(Standard("<w:document><w:body>", "")), Reason::BadXml},
      {"badrels.docx", Zip(Standard(Body(""), "<Relationships><")), Reason::BadXml},
      {"dtd.docx",
       Zip(Standard(
           "<!DOCTYPE w [<!ENTITY e \"x\">]><w:document " + std::string(kNamespaces) + "/>", "")),
       Reason::BadXml},
      {"bomb.docx", Zip(Standard(Body(std::string(70 << 20, ' ')), "")), Reason::TooLarge},
  };
  for (const Case& c : cases) {
    Write(c.name, c.bytes);
    DocumentResult r = Fix(c.name);
    ASSERT_TRUE(r.error.has_value()) << c.name;
    EXPECT_EQ(r.error->reason(), c.reason) << c.name << ": " << r.error->what();
    EXPECT_EQ(Read(c.name), std::string(c.bytes.begin(), c.bytes.end())) << c.name;
  }
  DocumentResult gone = Fix("vanished.docx");
  ASSERT_TRUE(gone.error.has_value());
  EXPECT_EQ(gone.error->reason(), Reason::Vanished);
}

TEST_F(DocfileSafety, APackageExpandingBeyondTheLimitIsRefused) {
  Write("big.docx", Zip(Standard(Body(""), "",
                                 {{"word/media/a.bin", std::string(1 << 20, 0)},
                                  {"word/media/b.bin", std::string(1 << 20, 0)}})));
  RepairOptions options;
  options.limits.max_expanded = 1500 << 10;
  DocumentResult r = Fix("big.docx", options);
  ASSERT_TRUE(r.error.has_value());
  EXPECT_EQ(r.error->reason(), Reason::TooLarge);
}

TEST_F(DocfileSafety, AFailureAtAnyStepOfTheWriteLeavesTheOriginal) {
  for (const char* step : {"write", "attributes", "backup", "rename"}) {
    std::vector<std::uint8_t> original = Broken();
    Write("doc.docx", original);
    store.fault = [&](const char* now) {
      if (std::string(now) == step) throw DocError(Reason::WriteFailed, "disk full");
    };
    RepairOptions options;
    options.backup = true;
    DocumentResult r = Fix("doc.docx", options);
    store.fault = nullptr;
    ASSERT_TRUE(r.error.has_value()) << step;
    EXPECT_FALSE(r.written);
    EXPECT_EQ(Read("doc.docx"), std::string(original.begin(), original.end())) << step;
    // Neither the temporary file nor a backup is left behind.
    std::string listing;
    FILE* ls = popen(("ls -A '" + root + "'").c_str(), "r");
    char buf[256];
    while (fgets(buf, sizeof buf, ls)) listing += buf;
    pclose(ls);
    EXPECT_EQ(listing, "doc.docx\nnew\n") << step;
  }
}

TEST_F(DocfileSafety, ARepairKeepsTimesAndPermissionsAndOptionallyTheOriginal) {
  std::vector<std::uint8_t> original = Broken();
  Write("doc.docx", original);
  chmod((root + "/doc.docx").c_str(), 0640);
  struct timespec times[2] = {{1000000000, 0}, {1234567890, 500}};
  utimensat(AT_FDCWD, (root + "/doc.docx").c_str(), times, 0);
  RepairOptions options;
  options.backup = true;
  DocumentResult r = Fix("doc.docx", options);
  ASSERT_FALSE(r.error.has_value()) << r.error->what();
  EXPECT_TRUE(r.written);
  EXPECT_EQ(r.backup, Win("doc.docx.bak"));
  struct stat st;
  ASSERT_EQ(stat((root + "/doc.docx").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500);
  EXPECT_EQ(Read("doc.docx.bak"), std::string(original.begin(), original.end()));
  std::string repaired = Read("doc.docx");
  std::string rels = EntryData(std::vector<std::uint8_t>(repaired.begin(), repaired.end()),
                               "word/_rels/document.xml.rels");
  EXPECT_NE(rels.find("file://" + root + "/new/a.png"), std::string::npos) << rels;
  // A second repair keeps the first backup and adds another.
  Write("doc.docx", original);
  r = Fix("doc.docx", options);
  EXPECT_EQ(r.backup, Win("doc.docx.bak2"));
}

TEST_F(DocfileSafety, ReadOnlyAndLockedDocumentsAreNotWritten) {
  struct Case {
    const char* name;
    const char* owner_file;  // beside the document while a word processor has it open
    bool read_only;
    Reason reason;
  };
  const Case cases[] = {
      {"report.docx", nullptr, true, Reason::ReadOnly},
      {"quarterly-report.docx", "~$arterly-report.docx", false, Reason::Locked},
      {"short.docx", "~$short.docx", false, Reason::Locked},
      {"letters.docx", "~$etters.docx", false, Reason::Locked},
      {"open.docx", ".~lock.open.docx#", false, Reason::Locked},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> original = Broken();
    Write(c.name, original);
    if (c.owner_file) Write(c.owner_file, "owner");
    if (c.read_only) chmod((root + "/" + c.name).c_str(), 0444);
    DocumentResult r = Fix(c.name);
    ASSERT_TRUE(r.error.has_value()) << c.name;
    EXPECT_EQ(r.error->reason(), c.reason) << c.name;
    EXPECT_EQ(Read(c.name), std::string(original.begin(), original.end())) << c.name;
  }
}

TEST_F(DocfileSafety, ADocumentChangedSinceItWasReadIsNotReplaced) {
  std::vector<std::uint8_t> original = Broken();
  Write("doc.docx", original);
  store.fault = [&](const char* step) {
    if (std::string(step) == "attributes") Write("doc.docx", "someone else saved this");
  };
  DocumentResult r = Fix("doc.docx");
  ASSERT_TRUE(r.error.has_value());
  EXPECT_EQ(r.error->reason(), Reason::Changed);
  EXPECT_EQ(Read("doc.docx"), "someone else saved this");
}

TEST_F(DocfileSafety, ADryRunWritesNothing) {
  std::vector<std::uint8_t> original = Broken();
  Write("doc.docx", original);
  RepairOptions options;
  options.dry_run = true;
  DocumentResult r = Fix("doc.docx", options);
  ASSERT_EQ(r.links.size(), 1u);
  EXPECT_EQ(r.links[0].state, LinkState::Fixed);
  EXPECT_EQ(r.links[0].new_target, "file://" + root + "/new/a.png");
  EXPECT_FALSE(r.written);
  EXPECT_EQ(Read("doc.docx"), std::string(original.begin(), original.end()));
}

}  // namespace
}  // namespace ravel::docfile
