// The real program: Ravelmend.exe started beside this test, with the Word stand-in serving a
// fixture through COM and the real (Wine) registry holding its settings. Its windows are
// inspected from outside, by Win32 calls alone, as any other program sees them.
#include <gtest/gtest.h>

#include <windows.h>
// (after windows.h)
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "win32/common/Utf.h"
#include "win32/gui/MainWindow.h"
#include "win_support.h"

namespace {

using namespace ravel::wintest;
using ravel::Value;
using ravel::win::Narrow;
using ravel::win::Widen;

// A control's text, asked of its own process (GetWindowText would not ask it). A program
// starved by a loaded machine answers late, not never: the limit only bounds a hang.
std::string TextOf(HWND h) {
  wchar_t buf[1024] = {};
  DWORD_PTR got = 0;
  SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, kPatienceMs,
                      &got);
  return Narrow(buf);
}

std::string ClassOf(HWND h) {
  wchar_t buf[64] = {};
  GetClassNameW(h, buf, 64);
  return Narrow(buf);
}

struct ChildInfo {
  HWND hwnd;
  std::string cls, text;
  LONG style;
};

// The main window's direct children, found by class and text.
struct Controls {
  explicit Controls(HWND main) {
    EnumChildWindows(
        main,
        [](HWND h, LPARAM lp) -> BOOL {
          if (GetParent(h) == GetAncestor(h, GA_ROOT))
            reinterpret_cast<Controls*>(lp)->all.push_back(
                {h, ClassOf(h), TextOf(h), GetWindowLongW(h, GWL_STYLE)});
          return TRUE;
        },
        reinterpret_cast<LPARAM>(this));
  }
  // The first of class `cls` (and text `text`, when given), or null.
  const ChildInfo* Find(const std::string& cls, const char* text = nullptr) const {
    for (const auto& c : all)
      if (c.cls == cls && (text == nullptr || c.text == text)) return &c;
    return nullptr;
  }
  HWND Get(const std::string& cls, const char* text = nullptr) const {
    const ChildInfo* c = Find(cls, text);
    return c != nullptr ? c->hwnd : nullptr;
  }
  HWND Button(const char* text) const { return Get("Button", text); }
  HWND List() const { return Get("SysListView32"); }
  HWND Status() const { return Get("Static", "Idle"); }
  std::vector<ChildInfo> all;
};

LRESULT Rows(HWND list) {
  return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
}

// Memory in the program's address space, for the list, header and tree messages that carry a
// pointer.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, std::size_t size)
      : process_(process),
        mem_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~RemoteBuffer() {
    if (mem_ != nullptr) VirtualFreeEx(process_, mem_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  void* At(std::size_t offset) const { return static_cast<char*>(mem_) + offset; }
  bool Write(std::size_t offset, const void* data, std::size_t n) {
    return WriteProcessMemory(process_, At(offset), data, n, nullptr) != FALSE;
  }
  bool Read(std::size_t offset, void* data, std::size_t n) const {
    return ReadProcessMemory(process_, At(offset), data, n, nullptr) != FALSE;
  }
  explicit operator bool() const { return mem_ != nullptr; }

 private:
  HANDLE process_;
  void* mem_;
};

// The text the program copies into the item `item` (an LVITEMW, HDITEMW or TVITEMW) when
// sent `msg`: the item and its text buffer live in the program's memory.
template <class Item>
std::string RemoteText(HANDLE process, HWND h, UINT msg, WPARAM w, Item item) {
  constexpr std::size_t kTextAt = 512;
  constexpr int kTextMax = 1024;
  RemoteBuffer buf(process, kTextAt + kTextMax * sizeof(wchar_t));
  if (!buf) return "(no memory)";
  item.pszText = static_cast<LPWSTR>(buf.At(kTextAt));
  item.cchTextMax = kTextMax;
  buf.Write(0, &item, sizeof item);
  SendMessageW(h, msg, w, reinterpret_cast<LPARAM>(buf.At(0)));
  std::wstring text(kTextMax, L'\0');
  buf.Read(kTextAt, text.data(), kTextMax * sizeof(wchar_t));
  return Narrow(text.c_str());
}

std::string ListCell(HANDLE process, HWND list, int row, int col) {
  LVITEMW lvi{};
  lvi.iSubItem = col;
  return RemoteText(process, list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), lvi);
}

// The text of a tree's selected item.
std::string TreeCaretText(HANDLE process, HWND tree) {
  TVITEMW tvi{};
  tvi.mask = TVIF_TEXT;
  tvi.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  return tvi.hItem == nullptr ? "" : RemoteText(process, tree, TVM_GETITEMW, 0, tvi);
}

std::vector<std::string> HeaderTexts(HANDLE process, HWND list) {
  std::vector<std::string> out;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  for (int i = 0, n = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)); i < n; ++i) {
    HDITEMW hd{};
    hd.mask = HDI_TEXT;
    out.push_back(RemoteText(process, header, HDM_GETITEMW, static_cast<WPARAM>(i), hd));
  }
  return out;
}

// Selects every row, as Ctrl+A does.
void SelectAllRows(HANDLE process, HWND list) {
  RemoteBuffer buf(process, sizeof(LVITEMW));
  LVITEMW lvi{};
  lvi.stateMask = lvi.state = LVIS_SELECTED;
  buf.Write(0, &lvi, sizeof lvi);
  SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(buf.At(0)));
}

struct Start {
  // The user's Word, started before, runs on (else every Word is ended first).
  bool keep_words = false;
  // How long a call waits for a busy Word before the user is asked (empty: Office's 30 s).
  const wchar_t* busy_patience_ms = nullptr;
};

class Program {
 public:
  // Starts the program; the stand-in serves `fixture` (a file in tests/fixtures), or no
  // document at all when it is empty.
  explicit Program(const std::string& fixture, Start start = {}) {
    std::wstring var =
        fixture.empty() ? L"" : Widen(WindowsPath(std::string(RAVEL_FIXTURES) + "/" + fixture));
    // The program's Word is its own: none of another test's is running.
    if (!start.keep_words) EndStandIns();
    SetEnvironmentVariableW(L"RAVELMEND_WORD_FIXTURE", var.empty() ? nullptr : var.c_str());
    SetEnvironmentVariableW(L"RAVELMEND_BUSY_PATIENCE_MS", start.busy_patience_ms);
    started_ = StartProgram(BuildFolder() + L"\\Ravelmend.exe", pi_, start_error_);
    SetEnvironmentVariableW(L"RAVELMEND_WORD_FIXTURE", nullptr);
    SetEnvironmentVariableW(L"RAVELMEND_BUSY_PATIENCE_MS", nullptr);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(pi_.hProcess, 99);
      WaitForSingleObject(pi_.hProcess, 10000);
    }
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
    EndStandIns();
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  HANDLE Process() const { return pi_.hProcess; }
  // Why no main window came.
  std::string Why() const {
    return started_ ? "no window \"Ravelmend\""
                    : "CreateProcessW failed with error " + std::to_string(start_error_);
  }

  // Its visible top-level window that `match` accepts, once shown; null when none came or
  // the program ended.
  HWND WaitForWindow(const std::function<bool(HWND)>& match, int ms = kPatienceMs) {
    HWND found = nullptr;
    if (started_)
      WaitFor(
          [&] {
            found = VisibleWindowOf(pi_.dwProcessId, match);
            return found != nullptr || WaitForSingleObject(pi_.hProcess, 0) != WAIT_TIMEOUT;
          },
          ms);
    return found;
  }
  // Its visible window of that caption.
  HWND WaitForWindow(const char* caption) {
    return WaitForWindow([caption](HWND h) { return Text(h) == caption; });
  }
  // Its main window, captioned "Ravelmend" and owned by none; notes whether the splash came
  // first. Shown once the document is read: a start with Word's start under load gets twice
  // the usual limit.
  HWND WaitForMainWindow() {
    return WaitForWindow(
        [this](HWND h) {
          splash_seen = splash_seen || ClassOf(h) == "RavelmendSplash";
          return Text(h) == "Ravelmend" && GetWindow(h, GW_OWNER) == nullptr;
        },
        2 * kPatienceMs);
  }

  // The exit code once the program has ended, or -1 if it still runs after `ms`.
  long WaitForExit(int ms = kPatienceMs) {
    if (WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }

  bool splash_seen = false;

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  DWORD start_error_ = 0;
};

TEST(GuiProgram, ShowsTheDocumentsLinksInItsControlsReadsAgainAtInitAndEndsAtExit) {
  Program p("gui-three-links.json");
  HWND main = p.WaitForMainWindow();
  ASSERT_NE(main, nullptr) << p.Why();
  Controls c(main);

  struct Expected {
    const char* cls;
    const char* text;
    LONG kind;  // BS_* for buttons, -1: any
  };
  const Expected expected[] = {
      {"Button", "Document Name", BS_GROUPBOX},
      {"Button", "New Source Root-Path", BS_GROUPBOX},
      {"Button", "InlineShapes", BS_GROUPBOX},
      {"Button", "Hidden Links", BS_GROUPBOX},
      {"Button", "Image", BS_GROUPBOX},
      {"Button", "Set SourcePaths relatively from Document, if possible", BS_AUTOCHECKBOX},
      {"Button", "Store in Document (SID)", BS_AUTOCHECKBOX},
      {"Button", "Locked", BS_AUTOCHECKBOX},
      {"Button", "Support hidden Objects", BS_AUTOCHECKBOX},
      {"Button", "Preview", BS_AUTOCHECKBOX},
      {"Button", "&Choose", BS_PUSHBUTTON},
      {"Button", "&Show", BS_PUSHBUTTON},
      {"Button", "&Init", BS_PUSHBUTTON},
      {"Button", "&Dissolve", BS_PUSHBUTTON},
      {"Button", "&Save", BS_PUSHBUTTON},
      {"Button", "&Exit", BS_PUSHBUTTON},
      {"Static", "Info", -1},
      {"Static", "Idle", -1},
      {"Static", ravel::kWebAddress, -1},
      {"Static",
       "Any operation (Set, Save, etc.) will only be applicated on selected List items, "
       "indicated as highlighted blue.",
       -1},
      {"Static",
       "Linked images, formatted as 'not in line with text' (i.e. abo- ve or behind), are "
       "hidden in the 'edit-links'-dialog of MS- Word. Ravelmend can try to by-pass this bug "
       "to let you freely edit this Linked-Objects like any other.                     See "
       "'hidden' column above to identify such objects.",
       -1},
      {"Edit", "Window Test.doc", -1},
      {"Edit", "Please be Patient...", -1},
  };
  for (const auto& e : expected) {
    const ChildInfo* found = c.Find(e.cls, e.text);
    ASSERT_NE(found, nullptr) << e.cls << " \"" << e.text << "\"";
    EXPECT_EQ(e.kind < 0 ? e.kind : found->style & BS_TYPEMASK, e.kind) << e.text;
  }
  // Idle: the patience text is hidden, the commands usable, the progress at 0.
  EXPECT_FALSE(IsWindowVisible(c.Get("Edit", "Please be Patient...")));
  for (const char* b : {"&Init", "&Save", "&Dissolve"}) EXPECT_TRUE(IsWindowEnabled(c.Button(b)));
  EXPECT_EQ(SendMessageW(c.Get("msctls_progress32"), PBM_GETPOS, 0, 0), 0);

  // The list: report view, several rows selectable, six columns, a row per link.
  const ChildInfo* list = c.Find("SysListView32");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_EQ(list->style & LVS_SINGLESEL, 0);
  EXPECT_NE(list->style & LVS_SHOWSELALWAYS, 0);
  EXPECT_NE(SendMessageW(list->hwnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT, 0);
  EXPECT_EQ(HeaderTexts(p.Process(), list->hwnd),
            (std::vector<std::string>{"File", "Type", "Exist", "SID", "Locked", "hidden"}));
  ASSERT_EQ(Rows(list->hwnd), 3);
  EXPECT_EQ(ListCell(p.Process(), list->hwnd, 0, 0), "C:\\Old\\Pictures\\first.gif");
  EXPECT_EQ(ListCell(p.Process(), list->hwnd, 0, 2), "False");
  EXPECT_EQ(ListCell(p.Process(), list->hwnd, 0, 4), "True");
  EXPECT_EQ(ListCell(p.Process(), list->hwnd, 2, 1), "Excel.Sheet.8");
  // The first row is the current and selected one.
  EXPECT_EQ(SendMessageW(list->hwnd, LVM_GETITEMSTATE, 0, LVIS_SELECTED | LVIS_FOCUSED),
            LVIS_SELECTED | LVIS_FOCUSED);
  // A menu bar. (Wine keeps menus to their process, so its entries are checked in-process.)
  EXPECT_NE(GetMenu(main), nullptr);

  SendMessageW(c.Button("&Init"), BM_CLICK, 0, 0);
  EXPECT_EQ(Rows(list->hwnd), 3);
  EXPECT_EQ(TextOf(c.Status()), "Idle");
  EXPECT_TRUE(IsWindowEnabled(c.Button("&Init")));
  PostMessageW(c.Button("&Exit"), BM_CLICK, 0, 0);
  EXPECT_EQ(p.WaitForExit(), 0);
}

TEST(GuiProgram, WithoutADocumentItSaysSoAndClosesFromTheFrame) {
  Program p("");
  HWND main = p.WaitForMainWindow();
  ASSERT_NE(main, nullptr) << p.Why();
  Controls c(main);
  EXPECT_NE(c.Get("Edit", "No Document Available"), nullptr);
  EXPECT_EQ(Rows(c.List()), 0);
  for (const char* b : {"&Init", "&Save", "&Dissolve"}) EXPECT_TRUE(IsWindowEnabled(c.Button(b)));

  // Alt+F4 on the frame.
  PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(p.WaitForExit(), 0);
  // The hidden Word the program started to look for a document ends with it.
  EXPECT_TRUE(WaitFor([] { return StandInProcesses().empty(); })) << "a Word process is left";
}

// Word is busy when the user presses &Init: the status line says so while the program waits,
// the window goes on answering, and the list comes once Word takes the calls again.
TEST(GuiProgram, ABusyWordIsWaitedForWithTheStatusLineSayingSo) {
  // A patience beyond the test's own limits: "Server Busy" does not ask in between.
  Program p("gui-three-links.json", {.keep_words = false, .busy_patience_ms = L"600000"});
  HWND main = p.WaitForMainWindow();
  ASSERT_NE(main, nullptr) << p.Why();
  Controls c(main);
  HWND status = c.Status();

  // Busy until the test has seen the wait: on a loaded machine that may take seconds.
  AskRunningWord("StandInBusy", {Value(0), Value(600000), Value(0)});
  PostMessageW(c.Button("&Init"), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitFor([&] {
    return TextOf(status) == "Microsoft Word is busy - waiting for it...";
  })) << TextOf(status);
  DWORD_PTR answered = 0;
  EXPECT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kPatienceMs, &answered), 0)
      << "the window stopped answering";
  AskRunningWord("StandInBusy", {Value(0), Value(0), Value(0)});
  EXPECT_TRUE(WaitFor([&] { return TextOf(status) == "Idle" && Rows(c.List()) == 3; }))
      << TextOf(status);
  EXPECT_GT(ravel::AsLong(AskRunningWord("StandInRejected")), 0);
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.WaitForExit(), 0);
}

// The program runs before Word: no document; the user starts Word and presses &Init.
TEST(GuiProgram, StartedBeforeWordItFindsWordAtInit) {
  Program p("");
  HWND main = p.WaitForMainWindow();
  ASSERT_NE(main, nullptr) << p.Why();
  Controls c(main);
  ASSERT_EQ(Rows(c.List()), 0);

  FixtureInUse fixture(WindowsPath(std::string(RAVEL_FIXTURES) + "/gui-three-links.json"));
  ASSERT_TRUE(StartWordAsUser());
  SendMessageW(c.Button("&Init"), BM_CLICK, 0, 0);
  EXPECT_EQ(Rows(c.List()), 3);
  EXPECT_EQ(Controls(main).Get("Edit", "No Document Available"), nullptr);
  // The empty Word the program had started is gone; the user's runs on after the program.
  EXPECT_TRUE(WaitFor([] { return StandInProcesses().size() == 1; }));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.WaitForExit(), 0);
  EXPECT_EQ(StandInProcesses().size(), 1u);
}

// A hidden Word without a document that the user started (another program did, or a macro
// hid it) runs on after the program: only a Word the program started itself is quit.
TEST(GuiProgram, AHiddenEmptyWordOfTheUserRunsOnAfterTheProgram) {
  ravel::win::ComInit com;
  NoStandInsLeft clean;
  ASSERT_TRUE(StartWordAsUser());
  ravel::win::ComObject(RunningWord(), std::make_shared<ravel::win::ComSession>(), "")
      .Put("Visible", Value(false));
  Program p("", {.keep_words = true, .busy_patience_ms = nullptr});
  HWND main = p.WaitForMainWindow();
  ASSERT_NE(main, nullptr) << p.Why();
  EXPECT_NE(Controls(main).Get("Edit", "No Document Available"), nullptr);
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(p.WaitForExit(), 0);
  EXPECT_TRUE(RunningWord()) << "the user's Word was quit";
  EXPECT_EQ(StandInProcesses().size(), 1u);
}

// The floating pictures' sources and names in the running Word's document, sorted.
std::vector<std::string> FloatingSources() {
  ravel::win::ComWord word;  // the running Word: left running
  ravel::Shapes shapes = ravel::ActiveDocument(word).FloatingShapes();
  std::vector<std::string> out;
  for (int i = 1, n = shapes.Count(); i <= n; ++i)
    out.push_back(shapes.Item(i).Name() + " " + shapes.Item(i).Link().SourceFullName());
  std::sort(out.begin(), out.end());
  return out;
}

// Word stays busy beyond the patience in the middle of a save of three floating pictures,
// re-created one after the other: "Server Busy" asks. The user closes Word's dialog and
// chooses Retry (the save completes) or Cancel (the picture in progress stays as it was, the
// ones not reached keep their sources, the list is read again). The user's way all along:
// the hidden pictures allowed, "&Choose" the document's folder, all rows, "&Dissolve",
// "&Save". One case per test, each within ctest's limit for one test.
struct BusySave {
  int button;
  const char* status;
  int moved;  // pictures relinked, from the first
};

void PrintTo(const BusySave& c, std::ostream* os) {
  *os << c.status;
}

class GuiProgramBusySave : public ::testing::TestWithParam<BusySave> {};

TEST_P(GuiProgramBusySave, ServerBusyAsksAndTheAnswerIsHeld) {
  const BusySave& b = GetParam();
  ravel::win::ComInit com;
  const std::string moved_to = WindowsPath(RAVEL_FIXTURES) + "\\pictures\\";
  const char* const files[] = {"red.gif", "red.png", "red.jpg"};
  std::vector<std::string> sources;  // name and source, as FloatingSources gives them
  for (int k = 0; k < 3; ++k)
    sources.push_back("P" + std::to_string(k + 1) + " " +
                      (k < b.moved ? moved_to : std::string("C:\\Old\\")) + files[k]);

  Program p("gui-busy-save.json", {.keep_words = false, .busy_patience_ms = L"500"});
  HWND main = p.WaitForMainWindow();
  ASSERT_NE(main, nullptr) << p.Why();
  Controls c(main);
  HWND list = c.List();
  auto idle = [&] { return TextOf(c.Status()) == "Idle"; };

  PostMessageW(c.Button("Support hidden Objects"), BM_CLICK, 0, 0);
  HWND notice = p.WaitForWindow("Support hidden Objects");
  ASSERT_NE(notice, nullptr);
  PostMessageW(GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return Rows(list) == 3 && idle(); })) << Rows(list);

  PostMessageW(c.Button("&Choose"), BM_CLICK, 0, 0);
  HWND browser = p.WaitForWindow(
      [](HWND h) { return FindWindowExW(h, nullptr, WC_TREEVIEWW, nullptr) != nullptr; });
  ASSERT_NE(browser, nullptr);
  HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
  // The document's folder, as a user clicks down the tree to it (the browser opens there,
  // but its tree may still be filling under load).
  const std::wstring folder = Widen(WindowsPath(RAVEL_FIXTURES));
  RemoteBuffer path(p.Process(), (folder.size() + 1) * sizeof(wchar_t));
  ASSERT_TRUE(path.Write(0, folder.c_str(), (folder.size() + 1) * sizeof(wchar_t)));
  int polls = 0;
  ASSERT_TRUE(WaitFor(
      [&] {
        if (TreeCaretText(p.Process(), tree) == "fixtures") return true;
        if (polls++ % 50 == 0)
          SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.At(0)));
        return false;
      },
      2 * kPatienceMs))
      << TreeCaretText(p.Process(), tree);
  PostMessageW(GetDlgItem(browser, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !IsWindow(browser); }));

  SelectAllRows(p.Process(), list);
  PostMessageW(c.Button("&Dissolve"), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] {
    return idle() && ListCell(p.Process(), list, 0, 0).ends_with("pictures\\red.gif") &&
           ListCell(p.Process(), list, 2, 0).ends_with("pictures\\red.jpg");
  })) << ListCell(p.Process(), list, 0, 0);

  // Busy once the second picture has been added, before its size and place are given, until
  // the test calms it.
  AskRunningWord("StandInBusyAfterMember",
                 {Value(std::string("AddPicture")), Value(2), Value(600000)});
  PostMessageW(c.Button("&Save"), BM_CLICK, 0, 0);
  HWND ask = p.WaitForWindow("Server Busy");
  ASSERT_NE(ask, nullptr) << TextOf(c.Status());
  if (const char* hold = std::getenv("RAVEL_SHOWCASE_MS")) {  // for the question's screenshot
    std::printf("showcase: busy-dialog\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(hold)));
  }
  AskRunningWord("StandInBusy", {Value(0), Value(0), Value(0)});
  PostMessageW(GetDlgItem(ask, b.button), BM_CLICK, 0, 0);
  ASSERT_TRUE(WaitFor([&] {
    return !IsWindow(ask) && TextOf(c.Status()) == b.status && IsWindowEnabled(c.Button("&Save"));
  })) << TextOf(c.Status());

  EXPECT_EQ(FloatingSources(), sources);
  // The list shows the document as it now is, in any row order; a long path is shortened
  // in its middle.
  ASSERT_EQ(Rows(list), 3);
  for (int r = 0; r < 3; ++r) {
    std::string row = ListCell(p.Process(), list, r, 0);
    std::size_t cut = row.find("...");
    std::string tail = cut == std::string::npos ? row : row.substr(cut + 3);
    EXPECT_TRUE(std::any_of(sources.begin(), sources.end(), [&](const std::string& s) {
      return s.ends_with(tail);
    })) << row;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, GuiProgramBusySave,
    ::testing::Values(BusySave{IDRETRY, "Idle", 3},
                      BusySave{IDCANCEL, "Save stopped while Microsoft Word was busy", 1}),
    [](const auto& info) {
      return std::string(info.param.button == IDRETRY ? "Retry" : "Cancel");
    });

// --- the options, kept in the registry from one start to the next ---

const char* const kProduct = "Software\\Norquill\\Ravelmend";
const char* const kSettings = "Software\\Norquill\\Ravelmend\\Settings";
const char* const kPreview = "Preview";
const char* const kRelative = "Set SourcePaths relatively from Document, if possible";
const char* const kHidden = "Support hidden Objects";

// A setting as stored, or "(missing)".
std::string Stored(const char* key, const char* name) {
  char buf[64] = {};
  DWORD size = sizeof buf, type = 0;
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return "(missing)";
  LONG s = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(k);
  return s == ERROR_SUCCESS && type == REG_SZ ? std::string(buf) : "(missing)";
}

// One start of the program without a document: the option boxes start as `ticked` says (for
// Preview, relative paths, hidden objects), the boxes named in `click` are clicked, and `end`
// ends the program.
void RunOnce(const std::vector<bool>& ticked, const std::vector<const char*>& click,
             const std::function<void(HWND)>& end, bool splash_first = false) {
  Program p("");
  HWND main = p.WaitForMainWindow();
  ASSERT_NE(main, nullptr) << p.Why();
  EXPECT_TRUE(p.splash_seen || !splash_first) << "the splash comes before the main window";
  Controls c(main);
  const char* const boxes[] = {kPreview, kRelative, kHidden};
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(SendMessageW(c.Button(boxes[i]), BM_GETCHECK, 0, 0) == BST_CHECKED, ticked[i])
        << boxes[i];
  for (const char* box : click) SendMessageW(c.Button(box), BM_CLICK, 0, 0);
  end(main);
  EXPECT_EQ(p.WaitForExit(), 0);
}

void PostMenuExit(HWND main) {
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(ravel::win::MainWindow::kMenuExit, 0), 0);
}

TEST(SettingsProgram, OptionsLeftAtCloseAreThereAtTheNextStartButNotAfterTheMenusExit) {
  RegDeleteTreeA(HKEY_CURRENT_USER, kProduct);
  // First run: the defaults are written at once, the boxes show them; changes are written at
  // the end only.
  RunOnce(
      {true, true, false}, {kPreview, kRelative},
      [](HWND main) {
        EXPECT_EQ(Stored(kProduct, "Version"), "1.2.0");
        EXPECT_EQ(Stored(kSettings, "Preview"), "1") << "written at the end only";
        PostMessageW(main, WM_CLOSE, 0, 0);
      },
      true);
  EXPECT_EQ(Stored(kSettings, "Preview"), "0");
  EXPECT_EQ(Stored(kSettings, "Rel_Path"), "0");
  EXPECT_EQ(Stored(kSettings, "Support_Hidden_Objects"), "0");
  // Ticked again, then left through the menu's Exit: not stored.
  RunOnce({false, false, false}, {kPreview}, PostMenuExit);
  EXPECT_EQ(Stored(kSettings, "Preview"), "0");
  // The Exit button stores them.
  RunOnce({false, false, false}, {kPreview},
          [](HWND main) { PostMessageW(Controls(main).Button("&Exit"), BM_CLICK, 0, 0); });
  EXPECT_EQ(Stored(kSettings, "Preview"), "1");
  // Without its settings under a valid version, the boxes start unticked; the end of the
  // session (log off, shut down), which sends no WM_CLOSE, stores them and heals the key.
  RegDeleteKeyA(HKEY_CURRENT_USER, kSettings);
  RunOnce({false, false, false}, {kPreview, kRelative}, [](HWND main) {
    EXPECT_TRUE(SendMessageW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(Stored(kSettings, "Rel_Path"), "(missing)") << "nothing yet";
    SendMessageW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  });
  EXPECT_EQ(Stored(kProduct, "Version"), "1.2.0");
  EXPECT_EQ(Stored(kSettings, "Preview"), "1");
  EXPECT_EQ(Stored(kSettings, "Support_Hidden_Objects"), "0");
  EXPECT_EQ(Stored(kSettings, "Rel_Path"), "1");
}

// Another version's key is replaced by the defaults, as text, and the program still starts.
TEST(SettingsProgram, AnotherVersionsKeyIsReplacedAndTheProgramStillStarts) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k,
                            nullptr),
            ERROR_SUCCESS);
  DWORD zero = 0;  // another type, and not the default
  RegSetValueExA(k, "Preview", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), sizeof zero);
  RegCloseKey(k);
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kProduct, "Version", REG_SZ, "0.9", 4),
            ERROR_SUCCESS);
  RunOnce({true, true, false}, {}, PostMenuExit);
  EXPECT_EQ(Stored(kProduct, "Version"), "1.2.0");
  EXPECT_EQ(Stored(kSettings, "Preview"), "1");
}

}  // namespace
