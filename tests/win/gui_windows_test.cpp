// The windows in this process, driven through Win32 messages as a user's actions arrive
// (clicks, keys, notifications): the main window's peers and handlers, the duplicate
// location chooser run modally, and the shell's folder browser. The core forms' state is
// read back afterwards.
#include <gtest/gtest.h>

#include "win32/gui/Win.h"
// (after windows.h)
#include <commctrl.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/Form_Main.h"
#include "app/Globals.h"
#include "relink/FileOP.h"
#include "relink/MoreLinksFound.h"
#include "relink/TextCompare.h"
#include "sim/MemoryFileSystem.h"
#include "sim/SimWord.h"
#include "win32/common/ComPtr.h"
#include "win32/common/Utf.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/MainWindow.h"
#include "win32/gui/MoreLinksFoundWindow.h"
#include "win32/gui/Win32Host.h"
#include "win_support.h"

using namespace ravel;
using namespace ravel::wintest;
using M = win::MainWindow;
using D = win::MoreLinksFoundWindow;

namespace {

const std::string kThreeLinks = WindowsPath(std::string(RAVEL_FIXTURES) + "/gui-three-links.json");
const std::string kSample = WindowsPath(std::string(RAVEL_EXAMPLES) + "/sample-document.json");

std::string CellText(HWND list, int row, int col) {
  wchar_t buf[512] = {};
  LVITEMW lvi{};
  lvi.iSubItem = col;
  lvi.pszText = buf;
  lvi.cchTextMax = 512;
  SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&lvi));
  return win::Narrow(buf);
}

// The item numbers the real rows carry, top to bottom.
std::vector<int> ItemNumbers(HWND list) {
  std::vector<int> out;
  int n = ListView_GetItemCount(list);
  for (int i = 0; i < n; ++i) {
    LVITEMW lvi{};
    lvi.mask = LVIF_PARAM;
    lvi.iItem = i;
    ListView_GetItem(list, &lvi);
    out.push_back(static_cast<int>(lvi.lParam));
  }
  return out;
}

int RowOfItem(HWND list, int item) {
  auto items = ItemNumbers(list);
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i] == item) return static_cast<int>(i);
  return -1;
}

UINT RowState(HWND list, int row) {
  return ListView_GetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED);
}

// A folder of the tests' own beneath C:\Ravelmend Tests, removed (when empty) afterwards. Not
// beneath the user's folders, which Wine links to the host's home.
struct TestFolder {
  explicit TestFolder(const std::wstring& name) : path(std::wstring(kRoot) + L"\\" + name) {
    CreateDirectoryW(kRoot, nullptr);
    CreateDirectoryW(path.c_str(), nullptr);
    // Wine's folder browser finds the start folder by comparing item ids that hold each
    // folder's access time; a first read moving it between two steps would lose the way.
    // Linux (relatime) moves an access time that is not later than the write and change
    // times; one ahead of both stays.
    Settle(path.c_str());
    Settle(kRoot);
  }
  static void Settle(const wchar_t* folder) {
    HANDLE h = CreateFileW(folder, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    ULARGE_INTEGER now{};
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    now.LowPart = ft.dwLowDateTime;
    now.HighPart = ft.dwHighDateTime;
    auto hours_from_now = [&](int hours) {
      ULARGE_INTEGER t{};
      t.QuadPart = now.QuadPart + static_cast<ULONGLONG>(hours) * 36000000000ULL;  // 100 ns
      return FILETIME{t.LowPart, t.HighPart};
    };
    FILETIME accessed = hours_from_now(1), written = hours_from_now(-1);
    SetFileTime(h, nullptr, &accessed, &written);
    CloseHandle(h);
  }
  ~TestFolder() {
    RemoveDirectoryW(path.c_str());
    RemoveDirectoryW(kRoot);
  }
  static constexpr const wchar_t* kRoot = L"C:\\Ravelmend Tests";
  std::wstring path;
};

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                             ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
  }
  void TearDown() override {
    window.reset();
    form.reset();
  }

  // The main window over the stand-in Word with the fixture's document (none: no document
  // open), loaded as at start-up and shown.
  void Open(const std::string& fixture) {
    word = fixture.empty() ? std::make_shared<sim::SimWord>() : sim::LoadWordFixtureFile(fixture);
    form = std::make_unique<Form_Main>(*g, *word, fs, host);
    window = std::make_unique<M>(*form, host);
    ASSERT_TRUE(window->Create());
    form->Form_Load();
    window->Show(SW_SHOWNORMAL);
    PumpUntil([] { return false; }, 50);
  }
  HWND Child(int id) const { return window->Child(id); }
  HWND List() const { return Child(M::kListViewIS); }
  // The real rows as the core holds them: each row's texts, found by its item number.
  void ExpectRowsMirrorTheCore() {
    HWND list = List();
    ASSERT_EQ(ListView_GetItemCount(list), form->ListView_IS.Count());
    EXPECT_EQ(ItemNumbers(list), form->ListView_IS.Order());
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
      int item = ItemNumbers(list)[static_cast<std::size_t>(row)];
      for (int col = 0; col < ListView::kColumns; ++col)
        EXPECT_EQ(CellText(list, row, col), form->ListView_IS.Cell(item, col))
            << "row " << row << " column " << col;
    }
  }

  // The memory file system, telling the test each time a folder is listed.
  struct WatchedFileSystem : sim::MemoryFileSystem {
    std::unique_ptr<DirListing> List(const std::string& pattern) override {
      if (on_list) on_list();
      return MemoryFileSystem::List(pattern);
    }
    std::function<void()> on_list;
  };

  win::ComInit com;
  std::unique_ptr<Globals> g = std::make_unique<Globals>();
  std::shared_ptr<sim::SimWord> word;
  WatchedFileSystem fs;
  win::Win32Host host;
  std::unique_ptr<Form_Main> form;
  std::unique_ptr<M> window;
};

// --- the main window ---

TEST_F(GuiTest, ListRowsFollowTheCoreInDisplayOrderAndCarryTheirItemNumbers) {
  Open(kThreeLinks);
  ASSERT_EQ(g->ItemCount, 3);
  ExpectRowsMirrorTheCore();
  EXPECT_EQ(ListView_GetExtendedListViewStyle(List()), form->ListView_IS.ExtendedStyle());

  // A click on the "Type" header, as the mouse gives it: the rows take the new order.
  HWND header = ListView_GetHeader(List());
  RECT r{};
  Header_GetItemRect(header, 1, &r);
  LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(header, WM_LBUTTONUP, 0, at);
  EXPECT_EQ(ItemNumbers(List()), (std::vector<int>{3, 1, 2}));  // "Excel..." before "Picture"
  ExpectRowsMirrorTheCore();

  // A row the core changes after sorting changes where it stands, not at its item's position.
  form->ListView_IS.SetCell(2, 2, "True");
  ExpectRowsMirrorTheCore();

  // A new read rebuilds the rows.
  SendMessageW(Child(M::kCommandInit), BM_CLICK, 0, 0);
  ExpectRowsMirrorTheCore();
}

TEST_F(GuiTest, SelectionTheCurrentRowAndItsCheckBoxesGoBothWays) {
  Open(kThreeLinks);
  HWND list = List();
  // Start-up made the first row current and selected.
  EXPECT_EQ(RowState(list, 0), static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));

  // Another row selected without moving the focus: the core learns it, no handler runs.
  ListView_SetItemState(list, 2, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_TRUE(form->ListView_IS.Selected(3));
  EXPECT_TRUE(form->ListView_IS.Selected(1));
  EXPECT_EQ(form->ListView_IS.Current(), 1);
  EXPECT_EQ(Text(Child(M::kTextPath)), "");

  // The down arrow moves the focus: row 2 becomes current (and alone selected), and the
  // item click syncs the path and the check boxes with it.
  SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
  SendMessageW(list, WM_KEYUP, VK_DOWN, 0);
  EXPECT_EQ(form->ListView_IS.Current(), 2);
  EXPECT_TRUE(form->ListView_IS.Selected(2));
  EXPECT_FALSE(form->ListView_IS.Selected(1));
  EXPECT_FALSE(form->ListView_IS.Selected(3));
  EXPECT_EQ(Text(Child(M::kTextPath)), "C:\\Old\\Pictures\\Zweites Bild.png");
  EXPECT_EQ(SendMessageW(Child(M::kCheckSID), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(Child(M::kCheckLinkLocked), BM_GETCHECK, 0, 0), BST_UNCHECKED);

  // Ticking a box updates the core, then runs its handler (tested with the core), which sees
  // the new value: the row's SID cell follows.
  SendMessageW(Child(M::kCheckSID), BM_CLICK, 0, 0);
  EXPECT_EQ(form->Check_SID.Value(), 1);
  EXPECT_EQ(CellText(List(), RowOfItem(List(), 2), 3), "True");

  SendMessageW(Child(M::kCheckSID), BM_CLICK, 0, 0);
  EXPECT_EQ(form->Check_SID.Value(), 0);
  EXPECT_EQ(CellText(List(), RowOfItem(List(), 2), 3), "False");

  // A box without a handler still tells the core its value.
  SendMessageW(Child(M::kCheckRelpath), BM_CLICK, 0, 0);
  EXPECT_EQ(form->Check_relpath.Value(), 0);

  // The program setting a value is no click: the box follows, the item stays unchanged.
  g->Item(2).Changed = false;
  form->Check_SID.SetValue(1);
  EXPECT_EQ(SendMessageW(Child(M::kCheckSID), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(g->Item(2).Changed);

  SendMessageW(list, WM_KEYDOWN, VK_UP, 0);
  SendMessageW(list, WM_KEYUP, VK_UP, 0);
  EXPECT_EQ(form->ListView_IS.Current(), 1);
  EXPECT_EQ(SendMessageW(Child(M::kCheckLinkLocked), BM_GETCHECK, 0, 0), BST_CHECKED);

  // Ctrl+A selects every row.
  WithKeyDown(VK_CONTROL, [&] { SendMessageW(list, WM_KEYDOWN, 'A', 0); });
  for (int item = 1; item <= 3; ++item) EXPECT_TRUE(form->ListView_IS.Selected(item)) << item;

  // The core's own changes reach the list.
  form->ListView_IS.SetSelected(2, false);
  form->ListView_IS.SetCurrent(3);
  EXPECT_EQ(RowState(list, 1) & LVIS_SELECTED, 0u);
  EXPECT_EQ(RowState(list, 2) & LVIS_FOCUSED, static_cast<UINT>(LVIS_FOCUSED));
  EXPECT_EQ(RowState(list, 0) & LVIS_FOCUSED, 0u);
}

TEST_F(GuiTest, BusyStateLocksCommandsShowsPatienceAboveTheListAndTheHourglass) {
  Open(kThreeLinks);
  HWND pbp = Child(M::kTextPBP);
  RECT r{};
  GetWindowRect(pbp, &r);
  POINT mid{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ScreenToClient(window->Handle(), &mid);
  auto topmost_at_mid = [&] {
    return ChildWindowFromPointEx(window->Handle(), mid, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
  };
  EXPECT_FALSE(IsWindowVisible(pbp));
  EXPECT_EQ(topmost_at_mid(), List());

  form->LockButtons();
  EXPECT_TRUE(IsWindowVisible(pbp));
  EXPECT_EQ(Text(pbp), "Please be Patient...");
  EXPECT_EQ(topmost_at_mid(), pbp);
  for (int id : {M::kCommandInit, M::kCommandSave, M::kCommandSet})
    EXPECT_FALSE(IsWindowEnabled(Child(id))) << id;
  for (int id : {M::kCommandChoose, M::kCommandExit, M::kCheckSID, M::kListViewIS})
    EXPECT_TRUE(IsWindowEnabled(Child(id))) << id;
  auto cursor_set = [&] {
    return SendMessageW(window->Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(List()),
                        MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)) != 0;
  };
  EXPECT_TRUE(cursor_set());
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));

  form->ReleaseButtons();
  EXPECT_FALSE(IsWindowVisible(pbp));
  for (int id : {M::kCommandInit, M::kCommandSave, M::kCommandSet})
    EXPECT_TRUE(IsWindowEnabled(Child(id))) << id;
  EXPECT_FALSE(cursor_set());
}

// The status text changes with every file of a walk and the bar with every root folder;
// the window shows the newest state at each event pump (once per folder, just before the
// folder is listed; paced to one write per frame interval, here none) and the final state
// when the operation ends, not each change.
TEST_F(GuiTest, StatusTextAndProgressShowTheNewestStateAtEachPumpAndAtTheEnd) {
  win::Peer::SetFrameInterval(0);
  Open(kThreeLinks);
  HWND label = Child(M::kLabelProgressBar);
  HWND bar = Child(M::kProgressBarMain);
  auto position = [&] { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); };
  for (const char* f : {"C:\\Moved\\x.png", "C:\\Moved\\a\\first.gif", "C:\\Moved\\a\\y.png",
                        "C:\\Moved\\b\\c\\z.png", "C:\\Moved\\d\\Zweites Bild.png"})
    fs.AddFile(f);
  struct Seen {
    std::string core, window;
    int core_value, window_value;
  };
  std::vector<Seen> seen;
  fs.on_list = [&] {
    seen.push_back(
        {form->Label_ProgressBar.Text(), Text(label), form->ProgressBar_main.Value(), position()});
  };
  for (int i = 1; i <= 2; ++i) form->ListView_IS.SetSelected(i, true);
  form->NewRootPath = "C:\\Moved";
  form->Command_Set_Click();

  // The walk lists the root and its folders a, b, c, d last; the listings before it, which
  // check and count the root, follow no pump.
  ASSERT_GE(seen.size(), 5u);
  for (std::size_t k = seen.size() - 5; k < seen.size(); ++k) {
    EXPECT_EQ(seen[k].window, seen[k].core) << k;
    EXPECT_EQ(seen[k].window_value, seen[k].core_value) << k;
  }
  // The walk had got as far as the last file of c when it listed d.
  EXPECT_EQ(seen.back().window, "Dissolving Paths...C:\\Moved\\b\\c\\z.png");
  EXPECT_EQ(seen.back().window_value, 3);
  EXPECT_EQ(Text(label), "Idle");
  EXPECT_EQ(position(), 0);
  EXPECT_EQ(CellText(List(), RowOfItem(List(), 1), 0), "C:\\Moved\\a\\first.gif");

  // Between pumps, changes wait, and a pump within the frame interval lets them wait on;
  // the end of an operation shows them whatever the interval.
  form->LockButtons();
  form->Label_ProgressBar.SetText("Dissolving Paths...one");
  form->Label_ProgressBar.SetText("Dissolving Paths...two");
  form->ProgressBar_main.SetValue(4);
  EXPECT_EQ(Text(label), "Idle");
  host.PumpEvents();
  EXPECT_EQ(Text(label), "Dissolving Paths...two");
  EXPECT_EQ(position(), 4);
  win::Peer::SetFrameInterval(600000);
  form->Label_ProgressBar.SetText("Saving Information to Document Object...");
  form->ProgressBar_main.SetValue(1);
  host.PumpEvents();
  EXPECT_EQ(Text(label), "Dissolving Paths...two");
  EXPECT_EQ(position(), 4);
  form->ReleaseButtons();
  EXPECT_EQ(Text(label), "Saving Information to Document Object...");
  EXPECT_EQ(position(), 1);
  win::Peer::SetFrameInterval(16);
}

TEST_F(GuiTest, CoreTimersTickAsWindowTimers) {
  Open("");  // no document: the double-click's chooser then has nothing to do
  EXPECT_EQ(Text(Child(M::kTextDocumentName)), "No Document Available");
  form->Timer1.SetInterval(300);
  form->LockButtons();
  form->Text_PBP.SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(Child(M::kTextPBP)));
  // Timer1's tick, not before its interval, shows the patience text again.
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(Child(M::kTextPBP)) != FALSE; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(280));
  form->ReleaseButtons();

  // A double-click on the list starts the 10 ms timer, whose tick switches it off again.
  SendMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 40));
  SendMessageW(List(), WM_LBUTTONUP, 0, MAKELPARAM(20, 40));
  EXPECT_TRUE(form->Timer_dblclickFAKE.Enabled());
  EXPECT_TRUE(PumpUntil([&] { return !form->Timer_dblclickFAKE.Enabled(); }));
}

TEST_F(GuiTest, CaptionsAndStatusTextsFitTheirControls) {
  Open(kThreeLinks);
  // "" when the control's text fits it, else what it needs and has.
  auto misfit = [&](HWND h) -> std::string {
    wchar_t cls[32] = {};
    GetClassNameW(h, cls, 32);
    LONG style = GetWindowLongW(h, GWL_STYLE);
    RECT room{};
    GetClientRect(h, &room);
    UINT format = DT_CALCRECT | DT_NOPREFIX;
    if (lstrcmpiW(cls, L"Static") == 0) {
      format |= DT_WORDBREAK;
    } else if (lstrcmpiW(cls, L"Button") == 0) {
      format &= ~static_cast<UINT>(DT_NOPREFIX);
      LONG kind = style & BS_TYPEMASK;
      // Room the control keeps for itself: the box of a check box, a push button's edges.
      if (kind == BS_AUTOCHECKBOX) room.right -= MulDiv(20, win::DpiOf(h), 96);
      if (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON) room.right -= 8;
      if (kind == BS_GROUPBOX) room.right -= 16;
    } else {
      return "";
    }
    std::wstring text = win::Widen(Text(h));
    if (text.empty()) return "";
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    RECT need{0, 0, room.right, 0};
    DrawTextW(dc, text.c_str(), -1, &need, format);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    if (need.right <= room.right && need.bottom <= room.bottom) return "";
    return win::Narrow(text) + ": needs " + std::to_string(need.right) + "x" +
           std::to_string(need.bottom) + ", has " + std::to_string(room.right) + "x" +
           std::to_string(room.bottom);
  };
  // As shown at start, then with each of the longest texts the operations show.
  for (const char* status : {"", "Reading Document Inlineshape Information...",
                             "Dissolving Paths...", "Saving Information to Document Object..."}) {
    if (*status != '\0') form->Label_ProgressBar.SetText(status);
    win::Peer::ShowDeferred();  // what the next pump or the operation's end would show
    for (HWND h = GetWindow(window->Handle(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
      EXPECT_EQ(misfit(h), "");
  }
}

TEST_F(GuiTest, ExitButtonEndsTheProgramAtOnce) {
  Open(kThreeLinks);
  HWND main = window->Handle();
  SendMessageW(Child(M::kCommandExit), BM_CLICK, 0, 0);
  EXPECT_TRUE(g->StopRequested);
  EXPECT_TRUE(host.Ending());
  EXPECT_FALSE(IsWindow(main));
  MSG msg;
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
  // The core may go on changing its controls: nothing is left to mirror into.
  form->Label_ProgressBar.SetText("Idle");
  form->ListView_IS.Clear();
}

TEST_F(GuiTest, TabAndMnemonicsWorkThroughTheEventPump) {
  Open(kThreeLinks);
  SetForegroundWindow(window->Handle());
  SetFocus(List());
  ASSERT_EQ(GetFocus(), List());
  auto press = [&](UINT msg, WPARAM key) {
    PostMessageW(GetFocus(), msg, key, 0);
    host.PumpEvents();
  };
  // Tab goes on in layout order, skipping what takes no focus; Shift+Tab comes back.
  press(WM_KEYDOWN, VK_TAB);
  EXPECT_EQ(GetFocus(), Child(M::kTextPath));
  press(WM_KEYDOWN, VK_TAB);
  EXPECT_EQ(GetFocus(), Child(M::kCheckSID));
  WithKeyDown(VK_SHIFT, [&] { press(WM_KEYDOWN, VK_TAB); });
  EXPECT_EQ(GetFocus(), Child(M::kTextPath));

  // Alt+I presses "&Init": the read empties the path box.
  form->Text_Path.SetText("C:\\Old\\Pictures\\first.gif");
  press(WM_SYSCHAR, 'i');
  EXPECT_EQ(form->Text_Path.Text(), "");
  EXPECT_EQ(Text(Child(M::kTextPath)), "");
}

TEST_F(GuiTest, ANewDpiPlacesAndLettersEveryControlAgain) {
  Open(kThreeLinks);
  HWND list = List();
  auto width_of = [](HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r.right - r.left;
  };
  auto font_height = [](HWND h) { return std::abs(FontOf(h).lfHeight); };
  // The preview: its frame 3975 x 2520 twips, the picture 3735 x 1920 twips at 120, 240 in
  // it, its scroll bar inside the picture's border (shown, doing nothing).
  auto preview_at = [&](UINT dpi) {
    auto px = [dpi](int twips) { return MulDiv(twips, static_cast<int>(dpi), 1440); };
    RECT frame{}, picture{};
    GetWindowRect(Child(M::kFrameImage), &frame);
    GetWindowRect(Child(M::kImageView), &picture);
    // Frame width and height, picture width and height, the picture's place in the frame.
    EXPECT_EQ((std::vector<LONG>{frame.right - frame.left, frame.bottom - frame.top,
                                 picture.right - picture.left, picture.bottom - picture.top,
                                 picture.left - frame.left, picture.top - frame.top}),
              (std::vector<LONG>{px(3975), px(2520), px(3735), px(1920), px(120), px(240)}))
        << dpi;
    SCROLLBARINFO bar{};
    bar.cbSize = sizeof bar;
    ASSERT_TRUE(GetScrollBarInfo(Child(M::kImageView), OBJID_VSCROLL, &bar));
    EXPECT_FALSE(bar.rgstate[0] & STATE_SYSTEM_INVISIBLE) << dpi;
    EXPECT_TRUE(bar.rgstate[0] & STATE_SYSTEM_UNAVAILABLE) << dpi;
    EXPECT_TRUE(bar.rcScrollBar.left >= picture.left && bar.rcScrollBar.right <= picture.right &&
                bar.rcScrollBar.top >= picture.top && bar.rcScrollBar.bottom <= picture.bottom)
        << dpi;
  };
  UINT dpi = win::DpiOf(window->Handle());
  ASSERT_EQ(width_of(list), win::Scale(548, dpi));
  preview_at(dpi);
  int text_height = font_height(Child(M::kLabel1));
  int column_width = ListView_GetColumnWidth(list, 0);

  UINT wider = dpi * 3 / 2;
  RECT r{};
  GetWindowRect(window->Handle(), &r);
  SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(wider, wider),
               reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(width_of(list), win::Scale(548, wider));
  RECT client{};
  GetClientRect(window->Handle(), &client);
  EXPECT_EQ(client.right, win::Scale(584, wider));
  preview_at(wider);
  EXPECT_GT(font_height(Child(M::kLabel1)), text_height);
  EXPECT_EQ(font_height(Child(M::kCommandInit)), font_height(Child(M::kLabel1)));
  EXPECT_GT(ListView_GetColumnWidth(list, 0), column_width);
}

TEST_F(GuiTest, TheListHasItsToolTipAndTheLinkLabelsLookLikeLinks) {
  Open(kThreeLinks);
  HWND tip = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM lp) -> BOOL {
        wchar_t cls[64] = {};
        GetClassNameW(h, cls, 64);
        if (lstrcmpW(cls, TOOLTIPS_CLASSW) != 0) return TRUE;
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&tip));
  ASSERT_NE(tip, nullptr);
  wchar_t text[128] = {};
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = window->Handle();
  ti.uId = reinterpret_cast<UINT_PTR>(List());
  ti.lpszText = text;
  SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&ti));
  EXPECT_EQ(win::Narrow(text), "Double-Click to change file/path manually");

  for (int id : {M::kLabel2, M::kLabel5}) {
    EXPECT_TRUE(FontOf(Child(id)).lfUnderline) << id;
    HDC dc = GetDC(Child(id));
    SendMessageW(window->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(Child(id)));
    COLORREF color = GetTextColor(dc);
    ReleaseDC(Child(id), dc);
    EXPECT_GT(GetBValue(color), GetRValue(color) + 100) << id;  // blue
  }
  EXPECT_FALSE(FontOf(Child(M::kLabel1)).lfUnderline);
  EXPECT_EQ(Text(Child(M::kLabel5)), kWebAddress);
}

// A message box's title, text and owner, noted before OK is pressed.
struct BoxSeen {
  std::string title, text;
  HWND owner = nullptr;
  void operator()(HWND box) {
    title = Text(box);
    owner = GetWindow(box, GW_OWNER);
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
      wchar_t cls[32] = {};
      GetClassNameW(c, cls, 32);
      if (lstrcmpiW(cls, L"Static") == 0 && !Text(c).empty()) text = Text(c);
    }
    Press(box, IDOK);
  }
};

TEST_F(GuiTest, MessageBoxesAreOwnedByTheMainWindowAndTitled) {
  Open(kThreeLinks);
  BoxSeen seen;
  int pressed = 0;
  ASSERT_EQ(
      AnswerDialog(
          L"#32770", nullptr, std::ref(seen),
          [&] { pressed = host.MessageBox("Something to say.", "", kMbOk | kMbIconInformation); }),
      "");
  EXPECT_EQ(pressed, IDOK);
  EXPECT_EQ(seen.title, "Ravelmend");
  EXPECT_EQ(seen.text, "Something to say.");
  EXPECT_EQ(seen.owner, window->Handle());

  // Ticking "Support hidden Objects": the notice, then a read that lists the hidden items.
  BoxSeen notice;
  ASSERT_EQ(AnswerDialog(L"#32770", nullptr, std::ref(notice),
                         [&] { SendMessageW(Child(M::kCheckShowHiddenObjects), BM_CLICK, 0, 0); }),
            "");
  EXPECT_EQ(notice.title, "Support hidden Objects");
  EXPECT_NE(notice.text.find("See 'Info' for detailed information."), std::string::npos);
  EXPECT_EQ(form->Check_ShowHiddenObjects.Value(), 1);
  ExpectRowsMirrorTheCore();
}

TEST_F(GuiTest, FileDialogStartsInTheFolderWithTheNamePresetAndGivesTheFullPath) {
  Open(kThreeLinks);
  TestFolder folder(L"Files");
  std::wstring file = folder.path + L"\\Bild ä.gif";
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  auto open = [&](int button, std::string* preset) {
    std::optional<std::string> result;
    EXPECT_EQ(AnswerDialog(
                  L"#32770", nullptr,
                  [&](HWND dlg) {
                    // The name box: a combo box's edit (1148) in newer dialogs, an edit (1152)
                    // in older; filled once the dialog has initialised.
                    HWND name = GetDlgItem(dlg, 1148);
                    if (name != nullptr && FindWindowExW(name, nullptr, L"Edit", nullptr))
                      name = FindWindowExW(name, nullptr, L"Edit", nullptr);
                    if (name == nullptr) name = GetDlgItem(dlg, 1152);
                    WaitFor([&] { return !(*preset = Text(name)).empty(); });
                    Press(dlg, button);
                  },
                  [&] { result = host.OpenFileDialog(win::Narrow(folder.path), "Bild ä.gif"); }),
              "");
    return result;
  };
  wchar_t before[MAX_PATH] = {}, after[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  std::string preset;
  auto chosen = open(IDOK, &preset);
  GetCurrentDirectoryW(MAX_PATH, after);
  // The chosen folder is not left as the current one (it could then not be removed).
  EXPECT_EQ(win::Narrow(after), win::Narrow(before));
  EXPECT_EQ(preset, "Bild ä.gif");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_TRUE(EqualNoCase(*chosen, win::Narrow(file))) << *chosen;
  EXPECT_FALSE(open(IDCANCEL, &preset).has_value());
  DeleteFileW(file.c_str());
}

TEST_F(GuiTest, MenuFileHoldsItsEntriesAndExitEndsWithoutStopping) {
  Open(kThreeLinks);
  HMENU bar = GetMenu(window->Handle());
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  auto text = [](HMENU m, UINT pos) {
    wchar_t buf[64] = {};
    GetMenuStringW(m, pos, buf, 64, MF_BYPOSITION);
    return win::Narrow(buf);
  };
  EXPECT_EQ(text(bar, 0), "File");
  HMENU file = GetSubMenu(bar, 0);
  // Its entries, a separator where none is named.
  const char* const entries[] = {"&Open Document File...\tCtrl+O",
                                 "&Keep a Backup Copy (.bak)",
                                 nullptr,
                                 "Online-Help",
                                 "About",
                                 nullptr,
                                 "Exit"};
  ASSERT_EQ(GetMenuItemCount(file), 7);
  for (UINT i = 0; i < 7; ++i) {
    EXPECT_EQ(text(file, i), entries[i] != nullptr ? entries[i] : "");
    EXPECT_EQ((GetMenuState(file, i, MF_BYPOSITION) & MF_SEPARATOR) != 0, entries[i] == nullptr);
  }

  // The backup option toggles, and its check mark follows when the menu opens.
  for (int expect : {0, 1}) {
    SendMessageW(window->Handle(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(file, 1), 0), 0);
    EXPECT_EQ(form->mnuBackup.Value(), expect);
    SendMessageW(window->Handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_EQ((GetMenuState(file, 1, MF_BYPOSITION) & MF_CHECKED) != 0, expect == 1);
  }

  // "About" shows the splash modally until it is clicked; "Exit" ends at once. ("Online-Help"
  // would start a browser: its window tests are elsewhere.)
  UINT_PTR click = SetTimer(nullptr, 0, 300, [](HWND, UINT, UINT_PTR, DWORD) {
    if (HWND about = FindWindowW(L"RavelmendSplash", nullptr))
      PostMessageW(about, WM_LBUTTONUP, 0, 0);
  });
  SendMessageW(window->Handle(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(file, 4), 0), 0);
  KillTimer(nullptr, click);
  EXPECT_FALSE(host.Ending());
  EXPECT_EQ(FindWindowW(L"RavelmendSplash", nullptr), nullptr);
  HWND main = window->Handle();
  SendMessageW(main, WM_COMMAND, MAKEWPARAM(GetMenuItemID(file, 6), 0), 0);
  EXPECT_TRUE(host.Ending());
  EXPECT_FALSE(IsWindow(main));
  EXPECT_FALSE(g->StopRequested);
}

// --- the duplicate location chooser ---

class ChooserTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    Open(kSample);
    form->Check_relpath.SetValue(0);
    for (int n = 1; n <= g->ItemCount; ++n)
      if (EqualNoCase(g->Item(n).FileName, "map.png")) item = n;
    ASSERT_GT(item, 0);
    std::string dir = sim::FixtureDirOf(kSample);
    locations = {dir + "\\pictures\\2023\\map.png", dir + "\\pictures\\archive\\map.png",
                 "C:\\Users\\Anna\\Documents\\Projects\\Quarterly Reports\\Older Versions\\"
                 "Drafts sent to the printer in spring\\map.png"};
    g->FoundPaths.assign(static_cast<std::size_t>(g->ItemCount) + 1, FoundRow{});
    FoundRow& row = g->FoundPaths[static_cast<std::size_t>(item)];
    row[0] = std::to_string(locations.size());
    for (std::size_t i = 0; i < locations.size(); ++i) row[i + 1] = locations[i];
    NewDialog();
    old_source = g->Item(item).SourcePath;
  }
  void NewDialog() {
    dialog = std::make_unique<MoreLinksFound>(*form);
    dialog->ItemIndex = item;
    for (const auto& l : locations) dialog->List_moreLinksFound.AddItem(ShortenForDisplay(l));
  }

  // Shows the dialog modally; `act` runs once the window is up and must close it. What went
  // wrong, or "".
  std::string Run(const std::function<void(HWND)>& act) {
    return AnswerDialog(D::kClassName, nullptr, act, [&] { host.ShowModal(*dialog); });
  }

  static void Choose(HWND dlg, int index, WORD notification) {
    HWND list = GetDlgItem(dlg, D::kList);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(D::kList, notification),
                 reinterpret_cast<LPARAM>(list));
  }

  int item = 0;
  std::vector<std::string> locations;
  std::unique_ptr<MoreLinksFound> dialog;
  std::string old_source;
};

TEST_F(ChooserTest, TheClickedEntryShowsWholeAndOkTakesIt) {
  HWND owner = nullptr;
  bool main_enabled = true;
  std::vector<std::string> entries;
  int highlighted = -2, lines = 0;
  std::string shown_path;
  ASSERT_EQ(
      Run([&](HWND dlg) {
        owner = GetWindow(dlg, GW_OWNER);
        main_enabled = IsWindowEnabled(window->Handle()) != FALSE;
        HWND list = GetDlgItem(dlg, D::kList);
        for (int i = 0, n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); i < n; ++i) {
          wchar_t buf[512] = {};
          SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
          entries.push_back(win::Narrow(buf));
        }
        highlighted = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
        Choose(dlg, 2, LBN_SELCHANGE);
        HWND text = GetDlgItem(dlg, D::kTextPath);
        shown_path = Text(text);
        lines = static_cast<int>(SendMessageW(text, EM_GETLINECOUNT, 0, 0));
        SendMessageW(GetDlgItem(dlg, D::kCommandOK), BM_CLICK, 0, 0);
      }),
      "");
  EXPECT_EQ(owner, window->Handle());
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(IsWindowEnabled(window->Handle()));
  ASSERT_EQ(entries.size(), locations.size());
  for (std::size_t i = 0; i < locations.size(); ++i)
    EXPECT_EQ(entries[i], ShortenForDisplay(locations[i]));
  EXPECT_EQ(highlighted, -1);

  // Beyond 97 characters the path breaks onto a second line.
  EXPECT_EQ(shown_path, BreakAfter(locations[2], 97, "\r\n"));
  EXPECT_GE(lines, 2);
  EXPECT_TRUE(dialog->Closed());
  EXPECT_EQ(g->Item(item).SourcePath, locations[2]);
  EXPECT_TRUE(g->Item(item).Changed);
  EXPECT_EQ(CellText(List(), RowOfItem(List(), item), 0), ShortenForList(locations[2]));
  EXPECT_EQ(CellText(List(), RowOfItem(List(), item), 2), "True");
}

TEST_F(ChooserTest, EveryOtherWayOutLeavesTheItemAndADoubleClickTakesTheEntry) {
  bool open_after_ok = false;
  const std::function<void(HWND)> ways_out[] = {
      [&](HWND dlg) {  // OK with nothing highlighted keeps it open; then Cancel
        SendMessageW(GetDlgItem(dlg, D::kCommandOK), BM_CLICK, 0, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        open_after_ok = IsWindow(dlg) && IsWindowVisible(dlg);
        SendMessageW(GetDlgItem(dlg, D::kCommandCancel), BM_CLICK, 0, 0);
      },
      [&](HWND dlg) {  // the frame closed
        Choose(dlg, 0, LBN_SELCHANGE);
        SendMessageW(dlg, WM_CLOSE, 0, 0);
      },
      [&](HWND dlg) {  // Esc, as the keyboard gives it
        Choose(dlg, 0, LBN_SELCHANGE);
        PostMessageW(GetDlgItem(dlg, D::kList), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(GetDlgItem(dlg, D::kList), WM_KEYUP, VK_ESCAPE, 0);
      },
  };
  for (const auto& way : ways_out) {
    NewDialog();
    ASSERT_EQ(Run(way), "");
    EXPECT_TRUE(dialog->Closed());
    EXPECT_EQ(g->Item(item).SourcePath, old_source);
    EXPECT_FALSE(g->Item(item).Changed);
    EXPECT_TRUE(IsWindowEnabled(window->Handle()));
  }
  EXPECT_TRUE(open_after_ok);

  NewDialog();
  EXPECT_EQ(Run([&](HWND dlg) { Choose(dlg, 1, LBN_DBLCLK); }), "");
  EXPECT_EQ(g->Item(item).SourcePath, locations[1]);
}

TEST_F(ChooserTest, ClosingTheMainWindowMeanwhileEndsBothWithoutAChoice) {
  HWND main = window->Handle();
  ASSERT_EQ(Run([&](HWND dlg) {
              Choose(dlg, 1, LBN_SELCHANGE);
              // As the Exit button would, through the main window's close.
              SendMessageW(main, WM_CLOSE, 0, 0);
            }),
            "");
  EXPECT_TRUE(host.Ending());
  EXPECT_TRUE(g->StopRequested);
  EXPECT_FALSE(IsWindow(main));
  EXPECT_TRUE(dialog->Closed());
  EXPECT_EQ(g->Item(item).SourcePath, old_source);
  // Any further question of the ending program is answered at once, unasked.
  MoreLinksFound next(*form);
  next.ItemIndex = item;
  host.ShowModal(next);
  EXPECT_TRUE(next.Closed());
  EXPECT_FALSE(host.BrowseForFolder("Choose new source root path:", "C:\\", 1).has_value());
}

// --- the shell's folder browser ---

TEST_F(GuiTest, FolderBrowserOpensAtTheStartFolderAndGivesTheChoice) {
  Open(kThreeLinks);
  TestFolder folder(L"Browse Here");
  std::string start = win::Narrow(folder.path);

  // Answers the browser once its tree shows the start folder selected. The tree fills and
  // selects while the dialog comes up, which under Wine on a loaded machine can take seconds.
  auto browse = [&](int button, std::string* selected, std::string* prompt) {
    std::optional<std::string> result;
    EXPECT_EQ(AnswerDialog(
                  L"#32770", WC_TREEVIEWW,
                  [&](HWND dlg) {
                    HWND tree = FindWindowExW(dlg, nullptr, WC_TREEVIEWW, nullptr);
                    auto caret_text = [&] {
                      wchar_t buf[MAX_PATH] = {};
                      TVITEMW tvi{};
                      tvi.mask = TVIF_TEXT;
                      tvi.hItem = TreeView_GetSelection(tree);
                      tvi.pszText = buf;
                      tvi.cchTextMax = MAX_PATH;
                      if (tvi.hItem != nullptr) TreeView_GetItem(tree, &tvi);
                      return win::Narrow(buf);
                    };
                    WaitFor([&] { return (*selected = caret_text()) == "Browse Here"; });
                    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
                      if (Text(c) == "Choose new source root path:") *prompt = Text(c);
                    Press(dlg, button);
                  },
                  [&] { result = host.BrowseForFolder("Choose new source root path:", start, 1); }),
              "");
    return result;
  };

  std::string selected, prompt;
  auto chosen = browse(IDOK, &selected, &prompt);
  EXPECT_EQ(selected, "Browse Here") << "the start folder was never selected";
  EXPECT_EQ(prompt, "Choose new source root path:");
  ASSERT_TRUE(chosen.has_value());
  EXPECT_TRUE(EqualNoCase(*chosen, start)) << *chosen;

  selected.clear();
  EXPECT_FALSE(browse(IDCANCEL, &selected, &prompt).has_value());
  EXPECT_EQ(selected, "Browse Here");
}

}  // namespace
