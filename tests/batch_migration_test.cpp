// The batch command at the scale of a migration: rule lists, web addresses as targets, the
// spreadsheet report, journals that let a killed run go on, shards and the name index. The
// journal's tests run the command as a process of its own and stop it as kill -9 would.
#include <sys/stat.h>
#include <unistd.h>

#include "batch/RuleFile.h"
#include "batch/Shard.h"
#include "batch_support.h"
#include "docfile/Targets.h"

namespace ravel::batch {
namespace {

using namespace docfile::test;

// Every form a spreadsheet exports is read; a bad line is named by its number.
TEST(RuleFile, EveryFormASpreadsheetExportsIsReadAndABadLineIsNamed) {
  struct Case {
    std::string bytes;
    std::vector<std::pair<std::string, std::string>> rules;
    std::size_t line = 0;  // of the bad line, with part of its message
    const char* message = "";
  };
  const std::pair<std::string, std::string> pq = {"P:\\", "\\\\fs01\\projects\\"};
  const Case cases[] = {
      {"P:\\\t\\\\fs01\\projects\\\n", {pq}},
      {"# moved in May\r\n\r\nP:\\|\\\\fs01\\projects\\\r\n", {pq}},
      {"\xEF\xBB\xBFOld,New\r\nP:\\,\\\\fs01\\projects\\\r\n", {pq}},  // header, BOM
      {"P:\\;\\\\fs01\\projects\\", {pq}},
      {"P:\\=\\\\fs01\\projects\\", {pq}},  // as --map takes it
      {"\"C:\\a,b\",\"D:\\say \"\"hi\"\"\",,\n", {{"C:\\a,b", "D:\\say \"hi\""}}},
      {"  C:\\x  \t  https://e.example/Shared Documents  \n",
       {{"C:\\x", "https://e.example/Shared Documents"}}},
      // UTF-16 as Excel's "Unicode Text" writes it, and big-endian.
      {std::string("\xFF\xFE"
                   "C\0:\0\\\0\xFC\0\t\0D\0:\0\\\0",
                   18),
       {{"C:\\\xC3\xBC", "D:\\"}}},
      {std::string("\xFE\xFF\0C\0:\0|\0D\0:", 12), {{"C:", "D:"}}},
      {"C:\\a\tD:\\b\n# fine\nC:\\only\n", {}, 3, "no OLD and NEW"},
      {"C:\\a,D:\\b,E:\\c\n", {}, 1, "3 cells"},
      {"\n\"C:\\a,D:\\b\n", {}, 2, "quote is not closed"},
      {"C:\\a\t\n", {}, 1, "NEW is empty"},
      {"C:\\a|D:\\b\nC:\\\xE9t\xE9|D:\\\n", {}, 2, "not UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    try {
      std::vector<std::pair<std::string, std::string>> got;
      for (const RuleLine& r : ParseRuleFile(c.bytes)) got.emplace_back(r.from, r.to);
      EXPECT_EQ(got, c.rules);
      EXPECT_EQ(c.line, 0u) << "accepted";
    } catch (const RuleFileError& e) {
      EXPECT_EQ(e.line, c.line) << e.message;
      EXPECT_TRUE(Has(e.message, c.message));
    }
  }
}

TEST(WebTargets, AddressesAreWrittenAsOfficeWritesThem) {
  struct Case {
    const char *base, *rest, *address;
  };
  const Case cases[] = {
      {"https://e.sharepoint.com/sites/p/Shared Documents", "Plans\\a b.png",
       "https://e.sharepoint.com/sites/p/Shared%20Documents/Plans/a%20b.png"},
      {"https://e.sharepoint.com/sites/p/Shared%20Documents/", "100% #1?.png",
       "https://e.sharepoint.com/sites/p/Shared%20Documents/100%25%20%231%3F.png"},
      {"https://contoso-my.sharepoint.com/personal/u/Documents", "\xC3\xBC.png",
       "https://contoso-my.sharepoint.com/personal/u/Documents/%C3%BC.png"},
      {"http://intranet/x", "", "http://intranet/x"},
  };
  for (const Case& c : cases) EXPECT_EQ(docfile::WebAddress(c.base, c.rest), c.address);
}

TEST(Shards, EveryDocumentIsInExactlyOneShareOnEveryHost) {
  for (const char* bad : {"0/3", "4/3", "1"}) EXPECT_FALSE(ParseShard(bad)) << bad;
  for (const char* key : {"a/b.docx", "Report 2024.docx", "x/y/z.docm"}) {
    int in = 0;
    for (unsigned k = 1; k <= 3; ++k) in += InShard(key, {k, 3});
    EXPECT_EQ(in, 1) << key;
    // Separators and case do not move a document to another share.
    std::string other = key;
    for (char& c : other) c = c == '/' ? '\\' : static_cast<char>(std::toupper(c));
    for (unsigned k = 1; k <= 3; ++k) EXPECT_EQ(InShard(key, {k, 3}), InShard(other, {k, 3}));
  }
}

class Migration : public test::BatchFolder {
 protected:
  void SetUp() override {
    BatchFolder::SetUp();
    Shell("mkdir -p docs/sub new/a new/b");
  }
};

TEST_F(Migration, RuleListsJoinTheCommandLineRulesAndABadLineWritesNothing) {
  Write("new/a/one.png", "png");
  Write("new/b/two.png", "png");
  Doc("docs/d.docx",
      {"P:\\pics\\one.png", "file:///Q:/two.png", "P:\\pics\\deep\\x.png", "P:\\plans\\a.png",
       "\\\\fs01\\projects\\b c.png", "file://fs01/projects/x/d.png"});
  std::string before = Read("docs/d.docx");
  Write("bad.txt", "P:\\pics\t" + root + "/new/a\nQ:\\ -> nowhere\n");
  EXPECT_EQ(Run({"fix", "--map-file", "bad.txt", "docs"}), 2);
  EXPECT_TRUE(Has(err.str(), "bad.txt: line 2: no OLD and NEW"));
  EXPECT_EQ(Read("docs/d.docx"), before);
  // The longest match wins, whichever source the rule came from; drives become shares, and
  // shares web addresses. Where the search beside the rules finds no file, the rule stands.
  Write("rules.csv", "\xEF\xBB\xBF\"P:\\pics\",\"" + root + "/new/a\"\r\nQ:\\,\"" + root +
                         "/new/b\"\r\nP:\\,\\\\fs02\\plans\\\r\n\\\\fs01\\projects,"
                         "https://example.sharepoint.com/sites/projects/Shared Documents\r\n");
  EXPECT_EQ(Run({"fix", "--map-file", "rules.csv", "--map", "P:\\pics\\deep=R:\\deep", "--root",
                 "new", "docs", "--json"}),
            1);
  const std::string web = "https://example.sharepoint.com/sites/projects/Shared%20Documents/";
  EXPECT_EQ(
      Column("new_target"),
      (Strings{root + "/new/a/one.png", "file://" + root + "/new/b/two.png", "R:\\deep\\x.png",
               "\\\\fs02\\plans\\plans\\a.png", web + "b%20c.png", web + "x/d.png"}));
  EXPECT_EQ(Column("state"), (Strings{"fixed", "fixed", "mapped", "mapped", "mapped", "mapped"}));
  std::string rels = RelsOf("docs/d.docx");
  EXPECT_TRUE(Has(rels, "Target=\"" + web + "b%20c.png\""));
  // One OLD mapped to two places cannot be meant.
  Write("twice.txt", "P:\\pics|D:\\a\nP:\\Pics\\|D:\\b\n");
  EXPECT_EQ(Run({"fix", "--map-file", "twice.txt", "docs"}), 2);
  EXPECT_TRUE(Has(err.str(), "twice.txt line 2"));
  // And back: a share to a drive letter.
  Doc("docs/e.docx", {"\\\\fs02\\plans\\x.png"});
  EXPECT_EQ(Run({"fix", "--map", "\\\\fs02\\plans\\=P:\\", "docs/e.docx", "--json"}), 1);
  EXPECT_EQ(Column("new_target"), Strings{"P:\\x.png"});
}

TEST_F(Migration, TheSpreadsheetHoldsEveryColumnOfTheJsonRecords) {
  Write("new/a/one.png", "png");
  Doc("docs/d.docx",
      {"file:///old/one.png", "/old/g\xC3\xBCnter, &quot;q&quot;.png", "=cmd|x.png", "@x.png"});
  Write("docs/bad.docx", "not a zip");
  ASSERT_EQ(Run({"fix", "--root", "new", "docs", "--dry-run", "--json", "--csv", "out.csv"}), 2)
      << err.str();
  std::vector<nlohmann::json> records;
  for (const char* type : {"document", "link"})
    for (nlohmann::json& j : Records(type)) records.push_back(j);
  // Python's csv module, as a script reading the sheet would.
  ASSERT_EQ(
      Shell("python3 -c 'import csv,json,sys\n"
            "rows=list(csv.DictReader(open(\"out.csv\",encoding=\"utf-8-sig\",newline=\"\")))\n"
            "json.dump(rows,open(\"rows.json\",\"w\"))\n"
            "s=dict(csv.reader(open(\"out.summary.csv\",encoding=\"utf-8-sig\",newline=\"\")))\n"
            "json.dump(s,open(\"summary.json\",\"w\"))'"),
      0);
  EXPECT_TRUE(Read("out.csv").starts_with("\xEF\xBB\xBFtype,document,"));
  nlohmann::json rows = nlohmann::json::parse(Read("rows.json"));
  ASSERT_EQ(rows.size(), 5u) << out.str();
  EXPECT_EQ(rows[0]["type"], "document");
  EXPECT_EQ(rows[0]["reason"], records[0]["reason"]);
  EXPECT_EQ(rows[0]["message"], records[0]["error"]);
  for (std::size_t i = 1; i < 5; ++i) {
    const nlohmann::json& link = records[i];
    for (auto it = link.begin(); it != link.end(); ++it) {
      ASSERT_TRUE(rows[i].contains(it.key())) << it.key();
      std::string want = it->is_string() ? it->get<std::string>() : it->is_null() ? "" : it->dump();
      // A cell a spreadsheet would run as a formula starts with an apostrophe.
      if (want.find_first_of("=@") == 0) want = "'" + want;
      if (it.key() != "candidates") {
        EXPECT_EQ(rows[i][it.key()], want) << it.key();
      }
    }
  }
  EXPECT_EQ(rows[1]["state"], "fixed");
  nlohmann::json summary = nlohmann::json::parse(Read("summary.json"));
  EXPECT_EQ(summary["documents"], "2");
  EXPECT_EQ(summary["states.fixed"], "1");
  EXPECT_EQ(summary["exit_status"], "2");
}

TEST_F(Migration, AnIndexServesTheSearchAndAFileGoneSinceIsNeverLinked) {
  for (const char* f : {"new/a/one.png", "new/a/two.png", "new/b/two.png", "new/b/three.png"})
    Write(f, "png");
  Doc("docs/d.docx", {"/old/one.png", "/old/two.png", "/old/three.png"});
  ASSERT_EQ(Run({"fix", "--root", "new", "docs", "--dry-run", "--json"}), 1);
  auto walked = Records("link");
  ASSERT_EQ(Run({"index", "--root", "new", "--output", "names.db"}), 0);
  EXPECT_TRUE(Has(out.str(), "4 files in 2 folders"));
  ASSERT_EQ(Run({"fix", "--index", "names.db", "docs", "--dry-run", "--json"}), 1);
  EXPECT_EQ(Records("link"), walked);
  // Gone since: a name found twice is found once now, one found once not at all.
  Shell("rm new/b/two.png new/b/three.png");
  ASSERT_EQ(Run({"fix", "--index", "names.db", "docs", "--json"}), 1);
  EXPECT_EQ(Column("state"), (Strings{"fixed", "fixed", "not-found"}));
  EXPECT_EQ(Column("new_file").at(1), root + "/new/a/two.png");
  EXPECT_EQ(Summary()["gone_since_index"], 2);
  EXPECT_TRUE(Has(RelsOf("docs/d.docx"), "Target=\"/old/three.png\""));
  // Another machine sees the indexed tree elsewhere: --root says where.
  Shell("mv new moved && mkdir -p docs2");
  Doc("docs2/e.docx", {"/old/three.png", "/old/one.png"});
  EXPECT_EQ(Run({"fix", "--index", "names.db", "docs2"}), 2);
  EXPECT_TRUE(Has(err.str(), "give --root where this machine sees it"));
  ASSERT_EQ(Run({"fix", "--index", "names.db", "--root", "moved", "docs2", "--json"}), 1);
  EXPECT_EQ(Records("link")[1]["new_file"], root + "/moved/a/one.png");
  EXPECT_EQ(Run({"fix", "--index", "docs/d.docx", "docs"}), 2);
}

// The documents of a journal test: each needs a repair by the rule.
constexpr int kDocs = 6;
const char kRule[] = "--map=/old=/new";

struct Files {
  std::map<std::string, std::string> bytes;
  std::map<std::string, ino_t> inodes;
};

class Journaled : public Migration {
 protected:
  void MakeDocs() {
    for (int i = 0; i < kDocs; ++i)
      Doc("docs/d" + std::to_string(i) + ".docx",
          {"/old/p" + std::to_string(i) + ".png", "/old/q.png"});
  }
  Files Snapshot() {
    Files f;
    for (int i = 0; i < kDocs; ++i) {
      std::string rel = "docs/d" + std::to_string(i) + ".docx";
      f.bytes[rel] = Read(rel);
      struct stat st {};
      stat((root + "/" + rel).c_str(), &st);
      f.inodes[rel] = st.st_ino;
    }
    return f;
  }
  // The command as a process; `kill` names the instant it is stopped at.
  int Process(const std::string& args, const std::string& kill = "") {
    std::string env = kill.empty() ? "" : "RAVELMEND_BATCH_KILL=" + kill + " ";
    return Shell(env + "'" RAVELMEND_BATCH_EXE "' " + args + " >stdout.txt 2>>log.txt");
  }
};

TEST_F(Journaled, AKilledRunResumesWithoutLosingOrRewritingADocument) {
  MakeDocs();
  Files original = Snapshot();
  ASSERT_EQ(Process(std::string("fix ") + kRule + " docs"), 1);  // mapped: not checked here
  Files reference = Snapshot();
  struct Case {
    const char* kill;
    const char* jobs;
    int repaired;  // documents repaired when it is killed; -1: depends on the threads
  };
  // Killed with the intent recorded and the document not yet replaced; replaced and not yet
  // recorded; recorded; at the first and at a later document, on one thread and on two.
  const Case cases[] = {{"replace:1", "1", 0}, {"replace:4", "2", -1}, {"record:1", "1", 1},
                        {"record:5", "2", -1}, {"done:3", "1", 3},     {"done:6", "2", 6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kill);
    Shell("rm -f j.db* dry.db*");
    for (auto& [rel, bytes] : original.bytes) Write(rel, bytes);
    std::string args = std::string("fix ") + kRule + " --jobs " + c.jobs + " --journal j.db docs";
    ASSERT_EQ(Process(args, c.kill), 137) << Read("log.txt");
    Files killed = Snapshot();
    int repaired = 0;
    for (auto& [rel, bytes] : killed.bytes) repaired += bytes == reference.bytes[rel];
    if (c.repaired >= 0) {
      EXPECT_EQ(repaired, c.repaired);
      // A dry run meanwhile counts only what was recorded done: an unconfirmed replacement
      // is looked at again.
      Shell("for f in j.db*; do cp \"$f\" \"dry${f#j}\"; done");
      Run({"fix", kRule, "--dry-run", "--journal", "dry.db", "docs", "--json"});
      EXPECT_EQ(Summary()["done_earlier"], std::string(c.kill).starts_with("done") ? repaired : 0);
    }
    EXPECT_EQ(Process(args + " --json --csv resumed.csv"), 1) << Read("log.txt");
    Files resumed = Snapshot();
    for (auto& [rel, bytes] : resumed.bytes) EXPECT_TRUE(bytes == reference.bytes[rel]) << rel;
    for (auto& [rel, bytes] : killed.bytes)
      if (bytes == reference.bytes[rel]) {
        EXPECT_EQ(resumed.inodes[rel], killed.inodes[rel]) << rel << " was written twice";
      }
    out.str(Read("stdout.txt"));
    const nlohmann::json all{{"documents", kDocs}, {"states", {{"mapped", 2 * kDocs}}}};
    EXPECT_TRUE(SummaryHas(all));
    EXPECT_TRUE(SummaryHas({{"written", kDocs - repaired}}));
    EXPECT_EQ(Records("link").size(), 2u * kDocs);
    // The journal alone tells the whole story.
    ASSERT_EQ(Run({"report", "--journal", "j.db", "--json"}), 1);
    EXPECT_TRUE(SummaryHas(all));
    EXPECT_TRUE(SummaryHas({{"written", kDocs}, {"unfinished", 0}}));
  }
}

TEST_F(Journaled, ADryRunRecordsThePlanAndTheRealRunStillWrites) {
  MakeDocs();
  Files before = Snapshot();
  ASSERT_EQ(Run({"fix", kRule, "--dry-run", "--journal", "j.db", "docs", "--json"}), 1);
  EXPECT_EQ(Snapshot().bytes, before.bytes);
  ASSERT_EQ(Run({"fix", kRule, "--dry-run", "--journal", "j.db", "docs", "--json"}), 1);
  EXPECT_EQ(Summary()["done_earlier"], kDocs);
  ASSERT_EQ(Run({"report", "--journal", "j.db", "--json"}), 1);
  EXPECT_TRUE(SummaryHas({{"planned", kDocs}, {"written", 0}}));
  ASSERT_EQ(Run({"fix", kRule, "--journal", "j.db", "docs", "--json"}), 1);
  EXPECT_EQ(Summary()["written"], kDocs);
  // A document changed since it was done is done again.
  Doc("docs/d2.docx", {"/old/again.png"});
  ASSERT_EQ(Run({"fix", kRule, "--journal", "j.db", "docs", "--json"}), 1);
  EXPECT_TRUE(SummaryHas({{"written", 1}, {"done_earlier", kDocs - 1}}));
  // Other rules with the same journal would count documents done by the old ones.
  EXPECT_EQ(Run({"fix", "--map=/old=/elsewhere", "--journal", "j.db", "docs"}), 2);
  EXPECT_TRUE(Has(err.str(), "a journal of another plan"));
}

TEST_F(Journaled, ThreeShardsCoverEveryDocumentOnce) {
  constexpr int kMany = 40;
  for (int i = 0; i < kMany; ++i)
    Doc("docs/sub/s" + std::to_string(i) + ".docx", {"/old/x" + std::to_string(i) + ".png"});
  ASSERT_EQ(Shell(std::string("for k in 1 2 3; do '" RAVELMEND_BATCH_EXE "' fix ") + kRule +
                  " --shard $k/3 --journal j$k.db docs >out$k.txt 2>&1 & done; wait"),
            0);
  std::size_t total = 0;
  for (const char* j : {"j1.db", "j2.db", "j3.db"}) {
    ASSERT_EQ(Run({"report", "--journal", j, "--json"}), 1) << err.str();
    std::size_t n = Summary()["documents"];
    EXPECT_GT(n, 0u) << j;
    total += n;
  }
  EXPECT_EQ(total, static_cast<std::size_t>(kMany));
  ASSERT_EQ(Run({"report", "--journal", "j1.db", "j2.db", "j3.db", "--json"}), 1) << err.str();
  EXPECT_TRUE(SummaryHas({{"documents", kMany}, {"duplicates", 0}, {"written", kMany}}));
  // A document in two journals is named.
  ASSERT_EQ(Run({"report", "--journal", "j1.db", "j1.db"}), 2);
  EXPECT_TRUE(Has(err.str(), "in 2 journals"));
  EXPECT_EQ(Run({"report", "--journal", "nothing.db"}), 2);
}

}  // namespace
}  // namespace ravel::batch
