// The ravelmend-batch command on real folders: arguments and exit status, finding the
// documents, one search for all of them, the table and the JSON report, dry runs.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "batch_support.h"

namespace ravel::batch {
namespace {

using namespace docfile::test;

template <typename Body>
void AsOrdinaryUser(Body body) {
  bool root = geteuid() == 0;
  ASSERT_TRUE(!root || seteuid(65534) == 0);
  body();
  ASSERT_TRUE(!root || seteuid(0) == 0);
}

class BatchCommand : public test::BatchFolder {
 protected:
  void SetUp() override {
    BatchFolder::SetUp();
    Shell("mkdir -p docs/sub pics/a/deep pics/b");
    for (const char* f : {"pics/a/deep/one.png", "pics/a/two.png", "pics/b/TWO.png",
                          "pics/b/three.png", "here.png"})
      Write(f, "png");
  }
};

TEST_F(BatchCommand, ExitStatusTellsWhetherEveryLinkResolves) {
  Doc("docs/good.docx", {"file://" + root + "/here.png"});
  Doc("docs/sub/broken.docx", {"file:///gone/one.png"});
  Write("docs/sub/bad.docx", "not a zip");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;          // part of the message on stderr
    bool named_file = false;  // a file named by an option is missing or wrong: no usage text
  };
  const Case cases[] = {
      {{"list", "docs/good.docx"}, 0, ""},
      {{"list", "docs/good.docx", "docs/sub/broken.docx"}, 1, ""},
      // A run of some kinds: the missing picture is not among the templates.
      {{"list", "--kinds", "templates,dde", "docs/sub/broken.docx"}, 0, ""},
      {{"list", "--kinds", "picture,workbook", "docs/sub/broken.docx"}, 0, ""},
      {{"list", "--kinds=Inline Picture,templates", "docs/sub/broken.docx"}, 1, ""},
      {{"list", "--kinds", "inline_picture", "docs/sub/broken.docx"}, 1, ""},
      {{"fix", "--kinds", "hyperlinks", "--map", "/gone=/x", "docs/sub/broken.docx"}, 0, ""},
      {{"list", "--kinds", "bogus", "docs"}, 2, "--kinds: no kind of link is named 'bogus'"},
      {{"list", "docs"}, 2, "docs/sub/bad.docx: not an Office document"},
      {{"fix", "--root", "pics", "docs/sub/broken.docx", "--dry-run"}, 0, ""},
      {{"fix", "--root", "nowhere", "docs/good.docx"}, 2, "--root nowhere: no such folder"},
      {{"list", "docs/none.docx"}, 2, "docs/none.docx: no such file or folder"},
      {{}, 2, "a command is needed"},
      {{"lsit", "docs"}, 2, "unknown command 'lsit'"},
      {{"list"}, 2, "no document or folder given"},
      {{"list", "--frobnicate", "docs"}, 2, "unknown option '--frobnicate'"},
      {{"list", "--root", "pics", "docs"}, 2, "belong to fix"},
      {{"fix", "docs"}, 2, "fix needs --root DIR, --index FILE or --map OLD=NEW"},
      {{"fix", "--map-file", "none.txt", "docs"}, 2, "--map-file none.txt: ", true},
      {{"fix", "--map", "a=b", "--shard", "3/2", "docs"}, 2, "--shard needs K/N"},
      {{"list", "--journal", "j.db", "docs"}, 2, "belong to fix"},
      {{"fix", "--map", "a=https://x/y", "--index", "none.db", "docs"}, 2, "none.db: ", true},
      {{"fix", "--map", "https://x/y=a", "docs"}, 2, "OLD is a web address", true},
      {{"index", "--root", "pics"}, 2, "index needs --root DIR --output FILE"},
      {{"report", "docs"}, 2, "report needs --journal FILE"},
      {{"fix", "--map", "nothing", "docs"}, 2, "--map needs OLD=NEW"},
      {{"fix", "--map", "=/x", "docs"}, 2, "--map needs OLD=NEW"},
      {{"fix", "--map", "/x=", "docs"}, 2, "--map needs OLD=NEW"},
      {{"fix", "docs", "--root"}, 2, "--root needs a value"},
      {{"--help"}, 0, ""},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    EXPECT_EQ(Run(c.args), c.status) << line << "\n" << err.str();
    EXPECT_TRUE(Has(err.str(), c.err)) << line;
    bool usage = c.status == 2 && !c.named_file &&
                 std::string(c.err).find("such") == std::string::npos &&
                 std::string(c.err).find("docx") == std::string::npos;
    EXPECT_EQ(err.str().find("Try 'ravelmend-batch --help'") != std::string::npos, usage) << line;
  }
  Run({"--help"});
  EXPECT_TRUE(Has(out.str(), "usage: ravelmend-batch list"));
}

TEST_F(BatchCommand, FoldersAreSearchedForOfficeDocuments) {
  // Each is a word processing package: one under another family's name is read as what it
  // is, and legacy binary files are named.
  for (const char* name : {"docs/a.docx", "docs/A.docx", "docs/b.DOCM", "docs/sub/c.dotx",
                           "docs/sub/d.dotm", "docs/~$a.docx", "docs/e.doc", "docs/f.odt",
                           "docs/g.docx.bak", "docs/h.XLS", "docs/sub/i.pps", "docs/j.pptx"})
    Doc(name, {"file://" + root + "/here.png"});
  // Named twice, processed once; the legacy document is named, not passed over in silence.
  EXPECT_EQ(Run({"list", "--json", "docs/sub/d.dotm", "docs/"}), 1) << err.str();
  std::vector<std::string> skipped;
  for (const nlohmann::json& j : Records("skipped"))
    skipped.push_back(j["path"].get<std::string>() + " " + j["reason"].get<std::string>());
  EXPECT_EQ(Column("document"),
            (Strings{"docs/sub/d.dotm", "docs/A.docx", "docs/a.docx", "docs/b.DOCM", "docs/f.odt",
                     "docs/j.pptx", "docs/sub/c.dotx"}));
  std::sort(skipped.begin(), skipped.end());
  EXPECT_EQ(skipped, (Strings{"docs/e.doc needs-word", "docs/h.XLS needs-office",
                              "docs/sub/i.pps needs-office"}));
}

TEST_F(BatchCommand, OneSearchServesEveryDocumentAndNeverGuesses) {
  Doc("docs/one.docx", {"file:///old/x/one.png", "file:///old/x/two.png"});
  Doc("docs/sub/two.docx",
      {"file:///old/y/three.png", "file:///old/y/four.png", "file://" + root + "/here.png"});
  std::string two_before = Read("docs/sub/two.docx");
  walk = false;
  EXPECT_EQ(Run({"fix", "--root", "pics", "docs"}), 1) << err.str();
  EXPECT_EQ(counting.lists[Win("pics/*.*")], 1);  // one walk of the tree for all
  EXPECT_TRUE(Has(RelsOf("docs/one.docx"), "file://" + root + "/pics/a/deep/one.png"));
  // two.png is also TWO.png elsewhere: reported with both places, left as it was.
  EXPECT_TRUE(Has(RelsOf("docs/one.docx"), "file:///old/x/two.png"));
  EXPECT_TRUE(Has(RelsOf("docs/sub/two.docx"), "file://" + root + "/pics/b/three.png"));
  std::string report = out.str();
  EXPECT_TRUE(Has(report, "    candidate: " + root + "/pics/a/two.png"));
  EXPECT_TRUE(Has(report, "    candidate: " + root + "/pics/b/TWO.png"));
  EXPECT_TRUE(Has(report, "not-found"));
  EXPECT_TRUE(
      Has(report,
          "2 documents, 5 links: 1 ok, 2 fixed, 1 ambiguous, 1 not-found, 2 documents written"));
  EXPECT_NE(Read("docs/sub/two.docx"), two_before);
}

TEST_F(BatchCommand, TheTableIsAligned) {
  // A missing file beside one that is there.
  Doc("docs/a.docx", {"file://" + root + "/gone.png", "file://" + root + "/here.png"});
  Run({"list", "docs/a.docx"});
  std::istringstream lines(out.str());
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 4u) << out.str();
  for (const char* column : {"FORMAT", "PART", "KIND", "EXISTS", "STORED", "TARGET", "FILE"}) {
    std::size_t at = rows[0].find(column);
    ASSERT_NE(at, std::string::npos);
    for (int r : {1, 2}) {
      EXPECT_NE(rows[r][at], ' ') << column << "\n" << out.str();
      EXPECT_EQ(rows[r][at - 1], ' ') << column << "\n" << out.str();
    }
  }
  EXPECT_EQ(rows[3], "1 document, 2 links: 1 ok, 1 missing");
}

TEST_F(BatchCommand, PrefixRulesComeFirstAndWorkWithoutASearch) {
  Doc("docs/a.docx", {"file:///old/share/a/deep/one.png", "file:///old/share/b/three.png",
                      "\\\\oldserver\\share\\x.png"});
  std::string before = Read("docs/a.docx");
  EXPECT_EQ(Run({"fix", "--json", "--dry-run", "--map", "/old/share=" + root + "/pics", "--map",
                 "\\\\oldserver\\share=\\\\newserver\\share", "docs/a.docx"}),
            1);
  EXPECT_EQ(Read("docs/a.docx"), before);
  // The new server cannot be seen from here: written as the rule says, reported as such.
  EXPECT_EQ(Column("state"), (Strings{"fixed", "fixed", "mapped"}));
  EXPECT_EQ(Column("new_target"),
            (Strings{"file://" + root + "/pics/a/deep/one.png",
                     "file://" + root + "/pics/b/three.png", "\\\\newserver\\share\\x.png"}));
  EXPECT_EQ(Column("new_file").at(1), root + "/pics/b/three.png");
  EXPECT_EQ(Column("via"), (Strings{"map", "map", "map"}));
  EXPECT_EQ(Column("format").at(0), "word");
  EXPECT_EQ(Column("dry_run").at(2), "true");
  EXPECT_EQ(Column("written").at(2), "false");
}

// Relative where the file lies beneath the document; a document that fails does not stop
// the run.
TEST_F(BatchCommand, RelativeTargetsAndADocumentThatFails) {
  Shell("mkdir docs/pics");
  Write("docs/pics/five.png", "png");
  Doc("docs/a.docx", {"file:///old/three.png"});
  Doc("docs/b.docx", {"file:///old/five.png", "file:///old/three.png"});
  chmod((root + "/docs/a.docx").c_str(), 0444);
  EXPECT_EQ(Run({"fix", "--relative", "--root", ".", "docs"}), 2) << out.str();
  EXPECT_TRUE(Has(err.str(), "docs/a.docx: the file is read-only"));
  std::string rels = RelsOf("docs/b.docx");
  EXPECT_TRUE(Has(rels, "Target=\"pics/five.png\""));
  EXPECT_TRUE(Has(rels, "Target=\"file://" + root + "/pics/b/three.png\""));
}

TEST_F(BatchCommand, NothingIsPassedOverInSilence) {
  chmod(root.c_str(), 0755);
  Doc("docs/a.docx", {"file://" + root + "/here.png"});
  Doc("docs/sub/b.docx", {"file://" + root + "/here.png"});
  Write("docs/old.doc", "legacy");
  // Left by a repair that was killed: named, and otherwise harmless.
  Write("docs/.a.docx.ravel-Ab12Cd", "half");
  ASSERT_EQ(mkfifo((root + "/docs/pipe.docx").c_str(), 0644), 0);
  Shell("mkdir -m 700 docs/locked");
  Doc("docs/locked/c.docx", {"file://" + root + "/here.png"});
  ASSERT_EQ(symlink("..", (root + "/docs/sub/up").c_str()), 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> named;  // on stderr
  };
  const Case cases[] = {
      {{"list", "docs/a.docx"}, 0, {"docs/.a.docx.ravel-Ab12Cd: a temporary file left"}},
      {{"list", "docs"},
       2,
       {"docs/old.doc: needs Word", "docs/pipe.docx: passed over: a named pipe",
        root + "/docs/locked: folder not entered: permission denied",
        root + "/docs/sub/up: folder not entered: a link back to",
        "docs/.a.docx.ravel-Ab12Cd: a temporary file left"}},
  };
  for (const Case& c : cases) {
    AsOrdinaryUser([&] { EXPECT_EQ(Run(c.args), c.status) << c.args.back() << err.str(); });
    for (const std::string& n : c.named) EXPECT_TRUE(Has(err.str(), n)) << n;
  }
  EXPECT_TRUE(Has(out.str(),
                  "2 documents, 2 links: 2 ok, 2 files passed over, 2 folders not entered, 1 "
                  "leftover temporary file"));
}

TEST_F(BatchCommand, AFolderDeeperThanAPathCanBeLongIsWalked) {
  // Thirty levels of 200-character names: 6,000 characters, beyond what one path may hold.
  // (cd -P: step by step, never the whole path at once.)
  std::string name(200, 'd');
  Doc("docs/a.docx", {"file:///gone/deep.png"});
  ASSERT_EQ(Shell("cd docs && for i in $(seq 30); do mkdir " + name + " && cd -P " + name +
                  " || exit 1; done; cp '" + root + "/docs/a.docx' deep.docx"),
            0);
  EXPECT_EQ(Run({"list", "--json", "docs"}), 1) << err.str();
  std::vector<nlohmann::json> links = Records("link");
  ASSERT_EQ(links.size(), 2u) << out.str() << err.str();
  EXPECT_TRUE(links[1]["document"].get<std::string>().ends_with(name + "/deep.docx"));
  EXPECT_EQ(links[1]["target"], "file:///gone/deep.png");
  Shell("cd docs && mv " + name + " gone && rm -rf gone 2>/dev/null; true");
}

TEST_F(BatchCommand, ATargetThatCannotBeReadIsNotRelinked) {
  chmod(root.c_str(), 0755);
  Shell("mkdir -m 700 private");
  Write("private/three.png", "png");  // also found as pics/b/three.png
  Doc("docs/a.docx", {"file://" + root + "/private/three.png"});
  AsOrdinaryUser([&] {
    EXPECT_EQ(Run({"list", "--json", "docs/a.docx"}), 1);
    EXPECT_EQ(Column("state"), Strings{"unreadable"});
    EXPECT_EQ(Run({"fix", "--json", "--dry-run", "--root", "pics", "docs/a.docx"}), 1);
    EXPECT_EQ(Column("state"), Strings{"unreadable"});
    EXPECT_EQ(Column("new_target"), Strings{"null"});
  });
}

TEST_F(BatchCommand, ControlCharactersReachNoTerminal) {
  // A target that would retitle the terminal, in a document whose name clears the screen.
  Doc("docs/\x1b[2Jx.docx", {"file:///old/\x1b]0;owned\x07"
                             "a\x7F.png",
                             "file:///old/\xC2\x9B"
                             "31mb.png"});
  EXPECT_EQ(Run({"list", "docs"}), 1);
  std::string shown = out.str() + err.str();
  for (unsigned char c : shown) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c != 0x7F)) << int(c);
  EXPECT_EQ(shown.find("\xC2\x9B"), std::string::npos);
  EXPECT_TRUE(Has(shown, "docs/\\x1B[2Jx.docx"));
  EXPECT_TRUE(Has(shown, "file:///old/\\x1B]0;owned\\x07a\\x7F.png"));
  EXPECT_TRUE(Has(shown, "file:///old/\\xC2\\x9B31mb.png"));
  // JSON keeps the text itself, escaped the JSON way.
  Run({"list", "--json", "docs"});
  EXPECT_EQ(Records("link")[0]["target"],
            "file:///old/\x1b]0;owned\x07"
            "a\x7F.png");
}

TEST_F(BatchCommand, JsonRecordsHaveOneShape) {
  Doc("docs/a.docx", {"file://" + root + "/here.png", "file:///old/three.png"});
  Write("docs/b.docx", Zip(Standard(Body(""), "")));
  Write("docs/c.docx", "not a zip");
  std::set<std::string> shape;
  for (const Strings& args :
       {Strings{"list", "--json", "--all", "docs"},
        Strings{"fix", "--json", "--all", "--dry-run", "--root", "pics", "docs"}}) {
    EXPECT_EQ(Run(args), 2);
    std::vector<nlohmann::json> all = Records();
    ASSERT_FALSE(all.empty());
    for (const nlohmann::json& j : Records("link")) {
      std::set<std::string> keys;
      for (auto& [k, v] : j.items()) keys.insert(k);
      if (shape.empty()) shape = keys;
      EXPECT_EQ(keys, shape) << j.dump();
    }
    std::vector<nlohmann::json> docs = Records("document");
    ASSERT_EQ(docs.size(), 2u) << out.str();
    EXPECT_EQ(docs[0]["document"], "docs/b.docx");
    EXPECT_EQ(docs[0]["links"], 0);
    EXPECT_EQ(docs[0]["error"], nullptr);
    EXPECT_EQ(docs[1]["reason"], "not-zip");
    EXPECT_EQ(all.back()["type"], "summary");
    EXPECT_TRUE(SummaryHas({{"documents", 3}, {"links", 2}, {"errors", 1}, {"exit_status", 2}}));
  }
  EXPECT_TRUE(shape.count("new_target") && shape.count("candidates") && shape.count("backup"));
  // A package with two entries of one name is refused when it is only listed.
  Write("docs/twin.docx", Twin("word/a.xml"));
  EXPECT_EQ(Run({"list", "docs/twin.docx"}), 2);
  EXPECT_TRUE(
      Has(err.str(), "docs/twin.docx: damaged package: the entry word/a.xml appears twice"));
}

TEST_F(BatchCommand, AMigrationMovesLinksWhoseFilesAreStillThere) {
  Shell("mkdir -p newpics/b");
  Write("newpics/b/three.png", "png");
  Doc("docs/a.docx", {"file://" + root + "/pics/b/three.png", "file:///old/share/a/two.png"});
  std::string moved = "file://" + root + "/newpics/b/three.png";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> states;
    std::string new_target;  // of the first link: "null" for none
    std::string unmatched;   // on stderr
  };
  const Case cases[] = {
      // Without the option, links whose files are there stay as they are.
      {{"--map", "pics=newpics"}, 1, {"ok", "not-found"}, "null", "--map pics=newpics: matched no"},
      {{"--map", "pics=newpics", "--rewrite-existing"}, 1, {"fixed", "not-found"}, moved, ""},
      // Prefixes as file URIs, as targets are written.
      {{"--map", "file://" + root + "/pics=file://" + root + "/newpics", "--rewrite-existing",
        "--map", "file:///old/share=file://" + root + "/pics", "--map", "/nowhere=/else"},
       0,
       {"fixed", "fixed"},
       moved,
       "--map /nowhere=/else: matched no link"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"fix", "--json", "--dry-run"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("docs/a.docx");
    EXPECT_EQ(Run(args), c.status) << c.args[1] << err.str();
    EXPECT_EQ(Column("state"), c.states) << c.args[1];
    EXPECT_EQ(Column("new_target").at(0), c.new_target) << c.args[1];
    EXPECT_EQ(Summary()["unmatched_maps"].empty(), c.unmatched.empty()) << out.str();
    if (!c.unmatched.empty()) {
      std::vector<std::string> table = args;
      table.erase(table.begin() + 1);  // --json
      Run(table);
      EXPECT_TRUE(Has(err.str(), c.unmatched));
      // The dry run's table says what a run would do.
      EXPECT_EQ(out.str().find("would fix") != std::string::npos, c.states[0] == "fixed");
    }
  }
  EXPECT_EQ(Run({"fix", "--rewrite-existing", "--root", "pics", "docs"}), 2);
  EXPECT_TRUE(Has(err.str(), "--rewrite-existing belongs to fix with --map"));
}

TEST_F(BatchCommand, DocumentsOnSeveralThreadsAreReportedInTheirOrder) {
  for (int d = 0; d < 24; ++d)
    Doc("docs/d" + std::to_string(d) + ".docx",
        {"file:///old/three.png", "file:///old/x" + std::to_string(d) + ".png",
         "file://" + root + "/here.png"});
  std::vector<std::string> args{"fix", "--json", "--dry-run", "--root", "pics", "docs"};
  ASSERT_EQ(Run(args), 1);
  std::string one = out.str();
  args.push_back("--jobs=4");
  ASSERT_EQ(Run(args), 1);
  EXPECT_EQ(out.str(), one);
  EXPECT_EQ(Run({"fix", "-j", "3", "--root", "pics", "docs"}), 1);
  EXPECT_TRUE(Has(out.str(),
                  "24 documents, 72 links: 24 ok, 24 fixed, 24 not-found, 24 documents written"));
  for (int d = 0; d < 24; ++d)
    EXPECT_TRUE(Has(RelsOf("docs/d" + std::to_string(d) + ".docx"), root + "/pics/b/three.png"));
  EXPECT_EQ(Run({"list", "--jobs", "0", "docs"}), 2);
  EXPECT_TRUE(Has(err.str(), "--jobs needs a number"));
}

}  // namespace
}  // namespace ravel::batch
