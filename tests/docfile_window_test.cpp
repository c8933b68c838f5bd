// The window over a document file: read by the engine into the list, relinked by the same
// Dissolve as Word's document, saved as the batch command saves (only link targets, backup
// copy as the option says), refused where the file cannot be written, and asked about before
// unsaved changes are left.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "app/Form_Main.h"
#include "docfile/PosixStore.h"
#include "docfile_folder.h"
#include "docfile_support.h"
#include "filedoc/FileDocument.h"
#include "posix/PosixFileSystem.h"
#include "relink/FileOP.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"

namespace ravel {
namespace {

using namespace docfile::test;

class FileWindow : public docfile::test::ScratchFolder {
 protected:
  FileWindow() : word(std::make_shared<sim::SimWord>()), main(g, *word, fs, host) {
    int doc = word->AddDocument("Letter.doc", "C:\\Word");
    word->SetActive(doc);
    main.OpenFile = [this](const std::string& path) {
      return std::make_unique<FileDocument>(path, store);
    };
  }
  void SetUp() override {
    ScratchFolder::SetUp();
    for (const char* d : {"/doc", "/doc/moved", "/other"}) mkdir((root + d).c_str(), 0755);
    Write("doc/moved/a.png", "png");
    Write("doc/moved/b.png", "png");
    // An in-line picture relative to the document, a floating one by absolute path, both gone.
    original = Zip(Standard(
        Body(Inline("rId1") + Anchor("rId2")),
        Rels({{"rId1", kImageType, "pics/a.png"}, {"rId2", kImageType, "file:///C:/gone/b.png"}}),
        {{"word/media/keep.bin", std::string(2000, 'k')}}));
    Write("doc/Report.docx", original);
  }
  bool Exists(const std::string& rel) { return access((root + "/" + rel).c_str(), F_OK) == 0; }
  // Opens the document with both pictures listed and dissolves them into doc\moved.
  void OpenAndDissolve() {
    g.ItemCount = 0;  // what an earlier case left pending is not asked about
    main.Check_ShowHiddenObjects.SetValue(1);
    main.OpenDocumentFile(Win("doc/Report.docx"));
    ASSERT_EQ(g.ItemCount, 2);
    for (int i = 1; i <= 2; ++i) main.ListView_IS.SetSelected(i, true);
    main.NewRootPath = Win("doc/moved");
    main.Command_Set_Click();
  }

  Globals g;
  PosixFileSystem fs;
  docfile::PosixStore store{fs};
  sim::ScriptedHost host;
  std::shared_ptr<sim::SimWord> word;
  Form_Main main;
  std::vector<std::uint8_t> original;
};

TEST_F(FileWindow, ListsTheFilesLinksAndGoesBackToWordWithInit) {
  main.OpenDocumentFile(Win("doc/Report.docx"));
  EXPECT_EQ(main.Text_DocumentName.Text(), "Report.docx");
  EXPECT_EQ(main.Text_NewDestPath.Text(), Win("doc"));
  EXPECT_EQ(main.Caption.Text(), "Ravelmend - " + Win("doc/Report.docx"));
  // The floating picture follows "Support hidden Objects".
  ASSERT_EQ(g.ItemCount, 1);
  EXPECT_EQ(g.Item(1).SourcePath, Win("doc/pics/a.png"));
  EXPECT_EQ(main.ListView_IS.RowOf(1).cells,
            (std::array<std::string, 6>{ShortenForList(Win("doc/pics/a.png")), "Picture", "False",
                                        "False", "N/A", "False"}));
  main.Check_ShowHiddenObjects.SetValue(1);
  main.Check_ShowHiddenObjects_Click();
  ASSERT_EQ(g.ItemCount, 2);
  EXPECT_EQ(main.Text_DocumentName.Text(), "Report.docx");  // read again, not Word's
  EXPECT_EQ(g.Item(2).SourcePath, "C:\\gone\\b.png");
  EXPECT_TRUE(g.Item(2).Hidden);
  // A file's stored copies are not the window's to change.
  main.ListView_IS.SetCurrent(1);
  main.Check_SID.SetValue(1);
  main.Check_SID_Click();
  EXPECT_FALSE(g.Item(1).Changed);
  EXPECT_EQ(main.Check_SID.Value(), 0);

  main.Command_Init_Click();
  EXPECT_EQ(main.Text_DocumentName.Text(), "Letter.doc - No LinkedObjects Found");
  EXPECT_EQ(main.Caption.Text(), "Ravelmend");
  EXPECT_TRUE(host.boxes.size() == 1);  // only the hidden-objects notice

  // A file that is no document keeps the list shown before.
  Write("other/notes.docx", "just text");
  main.OpenDocumentFile(Win("other/notes.docx"));
  ASSERT_EQ(host.boxes.size(), 2u);
  EXPECT_EQ(host.boxes[1].text.rfind("Ravelmend cannot open notes.docx:", 0), 0u);
  EXPECT_EQ(main.Text_DocumentName.Text(), "Letter.doc - No LinkedObjects Found");
  EXPECT_TRUE(main.Source().FilePath().empty());
  // Changes to Word's document are Word's to save: leaving never asks.
  g.ItemCount = 1;
  g.Item(1).Changed = true;
  main.Command_Exit_Click();
  EXPECT_TRUE(host.ended);
  EXPECT_EQ(host.boxes.size(), 2u);
}

// A save writes only the targets, keeps a backup as asked and reads the file again; a file
// that cannot be written is left as it was, with a message, and nothing in the list is lost.
TEST_F(FileWindow, SaveWritesOnlyTheTargetsOrLeavesTheFileWithAMessage) {
  struct Case {
    const char* name;
    int backup;
    std::function<void()> after_open = [] {};
    const char* says = nullptr;  // where the save is refused
  };
  const Case cases[] = {
      {"with a backup", 1},
      {"without", 0},
      {"open in Word", 1, [&] { Write("doc/~$Report.docx", "owner"); }, "Relink it in Word"},
      {"read-only", 1, [&] { chmod((root + "/doc/Report.docx").c_str(), 0444); }, "is read-only"},
      {"changed on disk", 1, [&] { Write("doc/Report.docx", "saved by someone else, longer"); },
       "changed on disk"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Shell("chmod 644 doc/Report.docx; rm -f doc/Report.docx.bak 'doc/~$Report.docx'");
    Write("doc/Report.docx", original);
    host.boxes.clear();
    main.mnuBackup.SetValue(c.backup);
    main.Check_relpath.SetValue(1);
    OpenAndDissolve();
    // Relative to the document where the option asks, but never for a floating picture.
    EXPECT_EQ(g.Item(1).SourcePath, "moved\\a.png");
    EXPECT_EQ(g.Item(2).SourcePath, Win("doc/moved/b.png"));
    main.ListView_IS.SetSelected(2, false);
    c.after_open();
    std::string before = Read("doc/Report.docx");
    main.Command_Save_Click();
    if (c.says) {
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].title, "Save Operation");
      EXPECT_TRUE(Has(host.boxes[0].text, c.says));
      EXPECT_EQ(Read("doc/Report.docx"), before);
      EXPECT_FALSE(Exists("doc/Report.docx.bak"));
      // Nothing lost: the new sources stay in the list, ready for another try.
      EXPECT_TRUE(g.Item(1).Changed);
      EXPECT_EQ(g.Item(1).SourcePath, "moved\\a.png");
      EXPECT_EQ(main.Label_ProgressBar.Text(), "Idle");
      continue;
    }
    std::vector<std::uint8_t> now = Bytes("doc/Report.docx");
    std::string rels = EntryData(now, "word/_rels/document.xml.rels");
    EXPECT_TRUE(Has(rels, "Target=\"moved/a.png\""));
    EXPECT_TRUE(Has(rels, "file:///C:/gone/b.png"));  // not selected
    for (const char* entry : {"word/document.xml", "word/media/keep.bin", "[Content_Types].xml"})
      EXPECT_EQ(EntryData(now, entry), EntryData(original, entry)) << entry;
    EXPECT_EQ(Exists("doc/Report.docx.bak"), c.backup == 1);
    if (c.backup == 1) {
      EXPECT_EQ(Bytes("doc/Report.docx.bak"), original);
    }
    // Read again: the list shows what the file now holds, nothing pending.
    ASSERT_EQ(g.ItemCount, 2);
    EXPECT_EQ(g.Item(1).SourcePath, Win("doc/moved/a.png"));
    EXPECT_EQ(main.ListView_IS.Cell(1, 2), "True");
    EXPECT_FALSE(g.Item(1).Changed);
    EXPECT_EQ(main.Label_ProgressBar.Text().rfind("Saved 1 link to Report.docx", 0), 0u)
        << main.Label_ProgressBar.Text();
    EXPECT_TRUE(host.boxes.empty());
  }
}

TEST_F(FileWindow, LeavingUnsavedChangesAsksAndDoesWhatTheAnswerSays) {
  struct Way {
    const char* name;
    std::function<void()> leave;
    std::function<bool()> left;
  };
  const Way ways[] = {
      {"Exit button", [&] { main.Command_Exit_Click(); }, [&] { return host.ended; }},
      {"close box", [&] { main.Form_Unload(); }, [&] { return host.ended; }},
      {"menu Exit", [&] { main.mnuExit_Click(); }, [&] { return host.ended; }},
      {"hidden objects switched",
       [&] {
         main.Check_ShowHiddenObjects.SetValue(0);
         main.Check_ShowHiddenObjects_Click();
       },
       [&] { return main.Check_ShowHiddenObjects.Value() == 0 && g.ItemCount == 1; }},
      {"Init", [&] { main.Command_Init_Click(); },
       [&] { return main.Source().FilePath().empty(); }},
      {"another file",
       [&] {
         host.document_answers.push_back(Win("other/Second.docx"));
         main.mnuOpen_Click();
       },
       [&] { return main.Text_DocumentName.Text() == "Second.docx"; }},
  };
  Write("other/Second.docx", original);
  for (const Way& way : ways) {
    for (int answer : {kIdCancel, kIdNo, kIdYes}) {
      SCOPED_TRACE(std::string(way.name) + " " + std::to_string(answer));
      Write("doc/Report.docx", original);
      host.ended = g.StopRequested = false;
      host.boxes.clear();
      OpenAndDissolve();
      host.box_answers = {answer};
      way.leave();
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_EQ(host.boxes[0].text, "Save changes to Report.docx?");
      EXPECT_EQ(host.boxes[0].style, kMbYesNoCancel | kMbIconQuestion);
      EXPECT_EQ(way.left(), answer != kIdCancel);
      EXPECT_EQ(Bytes("doc/Report.docx") != original, answer == kIdYes);
    }
  }
}

}  // namespace
}  // namespace ravel
