// The whole road through real COM: the sample document read from the stand-in's COM server,
// relinked beneath its pictures folder, saved, and the server's document compared with the
// document expected afterwards; also with Word busy, and with Word ending, meanwhile.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "relink/MoreLinksFound.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"
#include "win32/common/ComTrace.h"
#include "win32/common/ComWord.h"
#include "win32/common/Win32FileSystem.h"
#include "win_support.h"
#include "word_snapshot.h"

using namespace ravel;
using namespace ravel::wintest;

namespace {

const std::string kSample = WindowsPath(std::string(RAVEL_EXAMPLES) + "/sample-document.json");
const std::string kExpected = WindowsPath(std::string(RAVEL_FIXTURES) + "/sample-after-save.json");

// The sample served by the stand-in, read by the main window over real COM and the real file
// system; the chooser the dissolve shows twice is answered with brand\stamp.gif and
// 2023\map.png.
class SaveThroughCom : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.Result()));
    // RAVELMEND_TRACE=FILE keeps the trace of the road, to be read as the program writes it.
    if (const char* trace = std::getenv("RAVELMEND_TRACE"))
      word.SetTrace(win::ComTrace::Open(trace));
    host.on_modal = [this](MoreLinksFound& d) {
      ++modal;
      const auto& entries = d.List_moreLinksFound.Entries();
      auto it = std::find_if(entries.begin(), entries.end(), [](const std::string& e) {
        return e.find("brand\\stamp.gif") != std::string::npos ||
               e.find("2023\\map.png") != std::string::npos;
      });
      ASSERT_NE(it, entries.end());
      d.List_moreLinksFound.SetListIndex(static_cast<int>(it - entries.begin()));
      d.List_moreLinksFound_Click();
      d.Command_OK_Click();
    };
  }

  // Word started, `before_read` run, the document listed with its hidden objects.
  void Read(const std::function<void()>& before_read) {
    word.Global();
    before_read();
    main.Check_ShowHiddenObjects.SetValue(1);
    main.Form_Load();
    ASSERT_EQ(g.ItemCount, 12);
  }

  // The README's road: the pictures folder as the new root, every row dissolved, `between`
  // run, every row saved.
  void DissolveAndSave(const std::function<void()>& between) {
    main.NewRootPath = sim::FixtureDirOf(kSample) + "\\pictures";
    main.Text_NewDestPath.SetText(main.NewRootPath);
    for (int i = 1; i <= main.ListView_IS.Count(); ++i) main.ListView_IS.SetSelected(i, true);
    main.Command_Set_Click();
    between();
    for (int i = 1; i <= main.ListView_IS.Count(); ++i) main.ListView_IS.SetSelected(i, true);
    main.Command_Save_Click();
  }

  // The road with Word's moods armed by `before_read` and `before_save` (after the dissolve)
  // ends in the expected document, each item once, nothing skipped.
  void RoadEndsInTheExpectedDocument(const std::function<void()>& before_read,
                                     const std::function<void()>& before_save) {
    ASSERT_NO_FATAL_FAILURE(Read(before_read));
    DissolveAndSave(before_save);
    EXPECT_EQ(modal, 2);
    EXPECT_TRUE(host.boxes.empty());

    // The list read again: every source found, nothing pending, the root shown again.
    ASSERT_EQ(g.ItemCount, 12);
    for (int i = 1; i <= g.ItemCount; ++i) {
      EXPECT_EQ(main.ListView_IS.Cell(i, 2), "True") << g.Item(i).SourcePath;
      EXPECT_FALSE(g.Item(i).Changed);
    }
    EXPECT_EQ(main.Label_ProgressBar.Text(), "Idle");
    EXPECT_EQ(main.Text_NewDestPath.Text(), main.NewRootPath);

    auto expected =
        sim::LoadWordFixtureFile(kExpected, {{"FIXTURE_DIR", sim::FixtureDirOf(kSample)}});
    auto got = Snapshot(word), want = Snapshot(*expected);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]);
  }

  win::ComInit com_;
  NoStandInsLeft clean_;
  FixtureInUse fixture_{kSample};
  win::ComWord word;
  win::Win32FileSystem fs;
  sim::ScriptedHost host;
  Globals g;
  Form_Main main{g, word, fs, host};
  int modal = 0;
};

TEST_F(SaveThroughCom, TheSampleRelinkedAndSavedEqualsTheExpectedDocument) {
  RoadEndsInTheExpectedDocument([] {}, [] {});
}

// Word busy for 3 s as the read begins and again in the middle of the save (40 calls in):
// its rejected calls are tried again until it takes them, so the result is the same.
TEST_F(SaveThroughCom, AWordBusyAtTheReadAndInTheSaveGivesTheSameDocument) {
  RoadEndsInTheExpectedDocument(
      [] {
        AskRunningWord("StandInBusy", {Value(0), Value(3000), Value(0)});
      },
      [] {
        AskRunningWord("StandInBusy", {Value(40), Value(3000), Value(0)});
      });
  EXPECT_GT(AsLong(AskRunningWord("StandInRejected")), 2) << "Word was busy at both moments";
}

// Word ends in the middle of the save (40 calls in, as when it crashes or the user quits
// it): the save ends without a crash, the list says there is no document, no Word is started
// behind the user's back, and &Init lists the document once Word is back.
TEST_F(SaveThroughCom, WordEndingInTheMiddleOfTheSaveIsFoundAgainAtInit) {
  ASSERT_NO_FATAL_FAILURE(Read([] {}));
  const std::string name = main.Text_DocumentName.Text();
  DissolveAndSave([] { AskRunningWord("StandInExitAfter", {Value(40)}); });

  EXPECT_EQ(main.Label_ProgressBar.Text(), "Idle");
  EXPECT_EQ(main.Text_DocumentName.Text(), "No Document Available");
  EXPECT_EQ(g.ItemCount, 0);
  EXPECT_TRUE(main.Command_Init.Enabled());
  EXPECT_TRUE(StandInProcesses().empty()) << "a Word was started meanwhile";

  // Word is back (the sample as it was): &Init finds it.
  ASSERT_TRUE(StartWordAsUser());
  main.Command_Init_Click();
  EXPECT_EQ(main.Text_DocumentName.Text(), name);
  EXPECT_EQ(g.ItemCount, 12);
  EXPECT_EQ(main.Label_ProgressBar.Text(), "Idle");
}

}  // namespace
