// The whole road through real COM: the sample document read from the stand-in's COM server,
// relinked beneath its pictures folder, saved, and the server's document compared with the
// document expected afterwards. Also the main window after that save, for its screenshot.
#include <gtest/gtest.h>

#include "win32/gui/Win.h"
// (after windows.h)
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/Form_Main.h"
#include "inventory/Inventory.h"
#include "inventory/Word.h"
#include "relink/MoreLinksFound.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"
#include "win32/common/ComPtr.h"
#include "win32/common/ComTrace.h"
#include "win32/common/ComWord.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"
#include "win32/gui/MainWindow.h"
#include "win32/gui/MoreLinksFoundWindow.h"
#include "win32/gui/Win32Host.h"
#include "win_support.h"

using namespace ravel;
using namespace ravel::wintest;
using D = ravel::win::MoreLinksFoundWindow;

namespace {

const std::string kSample = WindowsPath(std::string(RAVEL_EXAMPLES) + "/sample-document.json");
const std::string kExpected = WindowsPath(std::string(RAVEL_FIXTURES) + "/sample-after-save.json");

// What the save reads and writes, of every shape of the active document, with Word's types.
std::vector<std::string> Snapshot(WordApp& word) {
  std::vector<std::string> out;
  auto note = [&](const std::string& what, const std::function<Value()>& get) {
    Note(out, what, get);
  };
  const char* common[] = {"Type",
                          "AlternativeText",
                          "LockAspectRatio",
                          "Height",
                          "Width",
                          "LinkFormat.SourceFullName",
                          "LinkFormat.SavePictureWithDocument",
                          "LinkFormat.Type",
                          "PictureFormat.ColorType",
                          "PictureFormat.Brightness",
                          "PictureFormat.Contrast",
                          "PictureFormat.CropBottom",
                          "PictureFormat.CropLeft",
                          "PictureFormat.CropRight",
                          "PictureFormat.CropTop"};
  const char* in_line[] = {"ScaleHeight", "ScaleWidth"};
  const char* floating[] = {"Name",
                            "Left",
                            "Top",
                            "RelativeHorizontalPosition",
                            "RelativeVerticalPosition",
                            "LockAnchor",
                            "Visible",
                            "PictureFormat.TransparentBackground",
                            "WrapFormat.AllowOverlap",
                            "WrapFormat.DistanceBottom",
                            "WrapFormat.DistanceLeft",
                            "WrapFormat.DistanceRight",
                            "WrapFormat.DistanceTop",
                            "WrapFormat.Side",
                            "WrapFormat.Type",
                            "Line.Visible",
                            "Fill.ForeColor"};
  auto member = [](const WObjectPtr& shape, const std::string& path) {
    std::string_view p = path;
    WObjectPtr obj = shape;
    if (auto dot = p.find('.'); dot != std::string_view::npos) {
      obj = AsObject(shape->Get(p.substr(0, dot)));
      p = p.substr(dot + 1);
    }
    return obj->Get(p);
  };
  note("Name", [&] { return Value(ActiveDocument(word).Name()); });
  for (bool is_floating : {false, true}) {
    Document doc = ActiveDocument(word);
    Shapes shapes = is_floating ? doc.FloatingShapes() : doc.InlineShapes();
    int n = shapes.Count();
    for (int i = 1; i <= n; ++i) {
      std::string at =
          std::string(is_floating ? "Shapes(" : "InlineShapes(") + std::to_string(i) + ").";
      WObjectPtr shape = shapes.Item(i).Object();
      for (const char* m : common) note(at + m, [&] { return member(shape, m); });
      if (is_floating)
        for (const char* m : floating) note(at + m, [&] { return member(shape, m); });
      else
        for (const char* m : in_line) note(at + m, [&] { return member(shape, m); });
    }
  }
  return out;
}

int EntryContaining(MoreLinksFound& d, const std::string& part) {
  const auto& entries = d.List_moreLinksFound.Entries();
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].find(part) != std::string::npos) return static_cast<int>(i);
  return -1;
}

// The README's road on a main window: hidden objects listed, the pictures folder as the new
// root, every row dissolved, `between` run, every row saved.
void DissolveAndSave(Form_Main& main, const std::function<void()>& between) {
  main.NewRootPath = sim::FixtureDirOf(kSample) + "\\pictures";
  main.Text_NewDestPath.SetText(main.NewRootPath);
  for (int i = 1; i <= main.ListView_IS.Count(); ++i) main.ListView_IS.SetSelected(i, true);
  main.Command_Set_Click();
  between();
  for (int i = 1; i <= main.ListView_IS.Count(); ++i) main.ListView_IS.SetSelected(i, true);
  main.Command_Save_Click();
}

// The chooser, shown twice by the dissolve, answered with brand\stamp.gif and 2023\map.png.
void AnswerChoosers(sim::ScriptedHost& host, int& modal) {
  host.on_modal = [&modal](MoreLinksFound& d) {
    ++modal;
    int i = EntryContaining(d, "brand\\stamp.gif");
    if (i < 0) i = EntryContaining(d, "2023\\map.png");
    ASSERT_GE(i, 0);
    d.List_moreLinksFound.SetListIndex(i);
    d.List_moreLinksFound_Click();
    d.Command_OK_Click();
  };
}

// The road on the sample with Word's moods armed by `before_read` (after the stand-in is
// there, before the first read) and `before_save` (after the dissolve); checks the end state
// against the expected document, each item once, nothing skipped.
void RoadEndsInTheExpectedDocument(const std::function<void()>& before_read,
                                   const std::function<void()>& before_save, long* rejected) {
  win::ComInit com;
  ASSERT_TRUE(SUCCEEDED(com.Result()));
  NoStandInsLeft clean;
  FixtureInUse fixture(kSample);
  win::ComWord word;
  // RAVELMEND_TRACE=FILE keeps the trace of the road, to be read as the program writes it.
  if (const char* trace = std::getenv("RAVELMEND_TRACE")) word.SetTrace(win::ComTrace::Open(trace));
  word.Global();  // Word is started
  before_read();
  win::Win32FileSystem fs;
  sim::ScriptedHost host;
  Globals g;
  Form_Main main(g, word, fs, host);
  main.Check_ShowHiddenObjects.SetValue(1);
  main.Form_Load();
  ASSERT_EQ(g.ItemCount, 12);
  int modal = 0;
  AnswerChoosers(host, modal);
  auto save_start = std::chrono::steady_clock::now();
  long calls_read = AsLong(AskRunningWord("StandInCalls")), calls_before_save = 0;
  DissolveAndSave(main, [&] {
    before_save();
    calls_before_save = AsLong(AskRunningWord("StandInCalls"));
    save_start = std::chrono::steady_clock::now();
  });
  long calls_after = AsLong(AskRunningWord("StandInCalls"));
  std::printf(
      "Word calls through COM: read %ld (%.1f per item), save and re-read %ld (%.1f per "
      "item)\n",
      calls_read, calls_read / 12.0, calls_after - calls_before_save,
      (calls_after - calls_before_save) / 12.0);
  // A figure for the notes, not a limit.
  std::printf(
      "save of the sample (save and re-read): %.1f ms\n",
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - save_start)
          .count());
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
  if (rejected) *rejected = AsLong(AskRunningWord("StandInRejected"));
}

TEST(SaveThroughCom, TheSampleRelinkedAndSavedEqualsTheExpectedDocument) {
  RoadEndsInTheExpectedDocument([] {}, [] {}, nullptr);
}

// Word busy for 3 s as the read begins and again in the middle of the save (40 calls in):
// its rejected calls are tried again until it takes them, so the result is the same.
TEST(SaveThroughCom, AWordBusyAtTheReadAndInTheSaveGivesTheSameDocument) {
  long rejected = 0;
  RoadEndsInTheExpectedDocument(
      [] {
        AskRunningWord("StandInBusy", {Value(0), Value(3000), Value(0)});
      },
      [] {
        AskRunningWord("StandInBusy", {Value(40), Value(3000), Value(0)});
      },
      &rejected);
  EXPECT_GT(rejected, 2) << "Word was busy at both moments";
}

// Word ends in the middle of the save (40 calls in, as when it crashes or the user quits
// it): the save ends without a crash, the list says there is no document, no Word is started
// behind the user's back, and &Init lists the document once Word is back.
TEST(SaveThroughCom, WordEndingInTheMiddleOfTheSaveIsFoundAgainAtInit) {
  win::ComInit com;
  ASSERT_TRUE(SUCCEEDED(com.Result()));
  NoStandInsLeft clean;
  FixtureInUse fixture(kSample);
  win::ComWord word;
  win::Win32FileSystem fs;
  sim::ScriptedHost host;
  Globals g;
  Form_Main main(g, word, fs, host);
  main.Check_ShowHiddenObjects.SetValue(1);
  main.Form_Load();
  ASSERT_EQ(g.ItemCount, 12);
  const std::string name = main.Text_DocumentName.Text();
  int modal = 0;
  AnswerChoosers(host, modal);
  DissolveAndSave(main, [] { AskRunningWord("StandInExitAfter", {Value(40)}); });

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

// The main window over the stand-in through COM after the same road, the chooser answered in
// its real window; shown afterwards and held open for scripts/screenshot.sh when
// RAVEL_SHOWCASE_MS is set.
TEST(SaveThroughCom, TheMainWindowAfterTheSave) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                           ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  win::ComInit com;
  NoStandInsLeft clean;
  FixtureInUse fixture(kSample);
  win::ComWord word;
  win::Win32FileSystem fs;
  win::Win32Host host;
  Globals g;
  Form_Main main(g, word, fs, host);
  win::MainWindow window(main, host);
  ASSERT_TRUE(window.Create());
  main.Check_ShowHiddenObjects.SetValue(1);
  main.Form_Load();
  // The chooser, shown modally by the dissolve, answered as the user would from a second
  // thread: brand\stamp.gif and 2023\map.png.
  DWORD ui = GetCurrentThreadId();
  int answered = 0;
  std::thread answer([&] {
    for (int k = 0; k < 2; ++k) {
      HWND dlg = WaitForWindow(ui, D::kClassName);
      if (dlg == nullptr) {
        PostThreadMessageW(ui, WM_QUIT, 0, 0);  // frees the test's thread
        return;
      }
      HWND list = GetDlgItem(dlg, D::kList);
      int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
      for (int i = 0; i < n; ++i) {
        wchar_t buf[512] = {};
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        std::string entry = win::Narrow(buf);
        if (entry.ends_with("brand\\stamp.gif") || entry.ends_with("2023\\map.png")) {
          SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
          SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(D::kList, LBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(list));
        }
      }
      SendMessageW(GetDlgItem(dlg, D::kCommandOK), BM_CLICK, 0, 0);
      ++answered;
      WaitFor([&] { return !IsWindow(dlg) || !IsWindowVisible(dlg); });
    }
  });
  DissolveAndSave(main, [] {});
  answer.join();
  EXPECT_EQ(answered, 2);
  // Shown only now: the choosers of the dissolve have come and gone.
  window.Show(SW_SHOWNORMAL);
  EXPECT_EQ(main.Label_ProgressBar.Text(), "Idle");
  EXPECT_TRUE(main.Command_Save.Enabled());
  for (int i = 1; i <= g.ItemCount; ++i)
    EXPECT_EQ(main.ListView_IS.Cell(i, 2), "True") << g.Item(i).SourcePath;
  const char* v = std::getenv("RAVEL_SHOWCASE_MS");
  int ms = v != nullptr ? std::atoi(v) : 0;
  if (ms > 0) {
    // Tells scripts/screenshot.sh that the window now shows the end state.
    std::printf("showcase: after-save\n");
    std::fflush(stdout);
  }
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace
