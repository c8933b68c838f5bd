// The preview, the viewer, the splash, About and Info as real windows in this process, over
// real picture files: what the user sees and what clicks do.
#include <gtest/gtest.h>

#include "win32/gui/Win.h"
// (after windows.h)
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "../relink_support.h"
#include "app/Form_Main.h"
#include "info/DL_Info.h"
#include "info/frmSplash.h"
#include "preview/wPictureViewer.h"
#include "win32/common/ComPtr.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"
#include "win32/gui/Dpi.h"
#include "win32/gui/InfoWindows.h"
#include "win32/gui/MainWindow.h"
#include "win32/gui/Win32Host.h"
#include "win32/gui/WinPicture.h"
#include "win_support.h"

using namespace ravel;
using namespace ravel::wintest;
using M = win::MainWindow;

namespace {

std::string FixturePicture(const std::string& name) {
  return WindowsPath(std::string(RAVEL_FIXTURES) + "/pictures/" + name);
}
std::string ExamplesFolder() {
  return WindowsPath(RAVEL_EXAMPLES);
}

// How many pixels of the middle row of a window's client area are neither black nor white.
int GreysInTheMiddleRow(HWND h) {
  UpdateWindow(h);
  RECT rc;
  GetClientRect(h, &rc);
  HDC dc = GetDC(h);
  int greys = 0;
  for (int x = 0; x < rc.right; ++x) {
    int v = GetRValue(GetPixel(dc, x, rc.bottom / 2));
    greys += v > 20 && v < 235;
  }
  ReleaseDC(h, dc);
  return greys;
}

// The colour at the middle of a window's client area, as painted on the screen.
COLORREF MiddleColour(HWND h) {
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  RECT rc;
  GetClientRect(h, &rc);
  HDC dc = GetDC(h);
  COLORREF c = GetPixel(dc, rc.right / 2, rc.bottom / 2);
  ReleaseDC(h, dc);
  return c;
}

class InfoWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                             ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    word.Open("Report.doc", ExamplesFolder());
    form = std::make_unique<Form_Main>(g, word, fs, host);
    window = std::make_unique<M>(*form, host);
    ASSERT_TRUE(window->Create());
    host.SetShowMain([this] { window->Show(SW_SHOWNORMAL); });
  }
  void TearDown() override {
    host.DestroyWindows();
    window.reset();
    form.reset();
  }
  int AddItem(const std::string& source) {
    int n = ++g.ItemCount;
    g.Item(n).SourcePath = source;
    form->ListView_IS.Add({source, "Picture", "True", "False", "False", "False"});
    return n;
  }
  // A release over row n; its picture is read beside the window and arrives by a message.
  void Release(int n) {
    form->ListView_IS.SetCurrent(n);
    form->ListView_IS_MouseUp();
    EXPECT_TRUE(PumpUntil([&] { return !form->LoadingPictures(); }));
  }
  // "&Show" pressed, and its picture arrived.
  void ClickShow() {
    SendMessageW(window->Child(M::kCommand1), BM_CLICK, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !form->LoadingPictures(); }));
  }

  win::ComInit com;
  Globals g;
  test::OneDocumentWord word;
  win::Win32FileSystem fs;
  win::Win32Host host;
  std::unique_ptr<Form_Main> form;
  std::unique_ptr<M> window;
};

TEST_F(InfoWindowsTest, ThePreviewShowsTheNewestReleasedRowsPictureAndKeepsItOnFailure) {
  window->Show(SW_SHOWNORMAL);
  int red = AddItem(FixturePicture("red.png"));
  int notes = AddItem(FixturePicture("notes.gif"));
  int stripes = AddItem(FixturePicture("stripes.png"));
  int logo = AddItem("pictures\\brand\\logo.gif");  // beneath the document's folder
  HWND image = window->Child(M::kImageView);

  Release(red);
  auto before = win::ImagePictureOf(image);
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(before->WidthHimetric(), MulDiv(40, 2540, 96));
  EXPECT_EQ(MiddleColour(image), RGB(0xD0, 0x20, 0x20));
  EXPECT_FALSE(host.ScreenHourglass());
  Release(notes);
  EXPECT_EQ(win::ImagePictureOf(image), before) << "no picture: the old one stays";

  // A picture taking its time: the previous one stays a moment, then the notice.
  form->xImgedit.SetLoading(true);
  EXPECT_FALSE(win::ImageShowsLoading(image));
  EXPECT_TRUE(PumpUntil([&] { return win::ImageShowsLoading(image); }));
  EXPECT_EQ(MiddleColour(image) & 0xFFFFFF, GetSysColor(COLOR_WINDOW) & 0xFFFFFF)
      << "no picture beneath the notice";
  form->xImgedit.SetLoading(false);
  EXPECT_FALSE(win::ImageShowsLoading(image));
  EXPECT_EQ(MiddleColour(image), RGB(0xD0, 0x20, 0x20)) << "nothing came: the picture is back";

  // Two rows released before either picture has come: only the second shows.
  form->ListView_IS.SetCurrent(stripes);
  form->ListView_IS_MouseUp();
  EXPECT_TRUE(form->LoadingPictures());
  EXPECT_EQ(win::ImagePictureOf(image), before) << "nothing read on the window's thread";
  Release(logo);
  auto shown = win::ImagePictureOf(image);
  ASSERT_NE(shown, nullptr);
  EXPECT_NE(shown, before);
  EXPECT_NE(shown->WidthHimetric(), MulDiv(40, 2540, 96)) << "not the stripes (40 x 30)";
  EXPECT_FALSE(win::ImageShowsLoading(image));
}

TEST_F(InfoWindowsTest, TheViewerIsSizedFromThePictureResizesAndClosesOnADoubleClick) {
  window->Show(SW_SHOWNORMAL);
  AddItem(FixturePicture("red.gif"));
  form->ListView_IS.SetCurrent(1);
  ClickShow();
  HWND viewer = host.ViewerHandle();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(IsWindowVisible(viewer));
  EXPECT_EQ(GetWindow(viewer, GW_OWNER), nullptr);
  EXPECT_EQ(Text(viewer), "") << "an absolute source leaves the caption empty";
  // 40 x 30 pixels are 1058 x 794 hundredths of a millimetre, taken as twips.
  UINT dpi = win::DpiOf(viewer);
  RECT r;
  GetWindowRect(viewer, &r);
  // (The system keeps a captioned window at least SM_CXMIN x SM_CYMIN.)
  EXPECT_NEAR(r.right - r.left,
              std::max<int>(MulDiv(1058, static_cast<int>(dpi), 1440), GetSystemMetrics(SM_CXMIN)),
              1);
  EXPECT_NEAR(r.bottom - r.top,
              std::max<int>(MulDiv(794, static_cast<int>(dpi), 1440), GetSystemMetrics(SM_CYMIN)),
              1);

  SetWindowPos(viewer, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
  HWND image = GetDlgItem(viewer, win::ViewerWindow::kImage);
  RECT client, inner;
  GetClientRect(viewer, &client);
  GetClientRect(image, &inner);
  EXPECT_NEAR(inner.right, client.right, 1);
  EXPECT_NEAR(inner.bottom, client.bottom, 1);
  EXPECT_EQ(MiddleColour(image), RGB(0xD0, 0x20, 0x20));

  ShowWindow(viewer, SW_MINIMIZE);
  ShowWindow(viewer, SW_RESTORE);
  GetClientRect(image, &inner);
  EXPECT_NEAR(inner.right, client.right, 1) << "restored, the picture fills it again";

  // "&Show" again while it is open: the same window.
  ClickShow();
  EXPECT_EQ(host.ViewerHandle(), viewer);
  // A relative source: the same window, captioned with the resolved path.
  AddItem("pictures\\brand\\logo.gif");
  form->ListView_IS.SetCurrent(2);
  ClickShow();
  EXPECT_EQ(host.ViewerHandle(), viewer);
  EXPECT_EQ(Text(viewer), ExamplesFolder() + "\\pictures\\brand\\logo.gif");
  SetWindowPos(viewer, nullptr, 0, 0, 480, 360, SWP_NOMOVE | SWP_NOZORDER);

  // Dragging the frame: quick drafts of whole pixels; the filtered picture when it ends.
  AddItem(FixturePicture("stripes.png"));
  form->ListView_IS.SetCurrent(3);
  ClickShow();
  EXPECT_GT(GreysInTheMiddleRow(image), 20) << "filtered";
  SendMessageW(viewer, WM_ENTERSIZEMOVE, 0, 0);
  SetWindowPos(viewer, nullptr, 0, 0, 530, 400, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(GreysInTheMiddleRow(image), 0) << "a draft while dragged";
  SendMessageW(viewer, WM_EXITSIZEMOVE, 0, 0);
  EXPECT_GT(GreysInTheMiddleRow(image), 20) << "filtered at the end";

  SendMessageW(image, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(viewer); }));
  EXPECT_EQ(form->Viewer(), nullptr);
  EXPECT_TRUE(IsWindow(window->Handle())) << "the main window stays";
}

TEST_F(InfoWindowsTest, TheSplashShowsItsTextsAsControlsAndAClickOnTheFrameHandsOver) {
  frmSplash splash(*form);
  splash.Form_Load();
  EXPECT_FALSE(IsWindowVisible(window->Handle())) << "loaded, not shown";
  host.ShowSplash(splash);
  HWND s = host.SplashHandle();
  ASSERT_NE(s, nullptr);
  splash.Timer1.Stop();  // only clicks hand over here (the timer has a test of its own)
  EXPECT_TRUE(IsWindowVisible(s));
  EXPECT_EQ(Text(s), "");
  struct Expected {
    int id;
    const char* text;
    const wchar_t* face;
    int points;  // rounded
    bool bold, underline;
  };
  using S = win::SplashWindow;
  const Expected expected[] = {
      {S::kProductName, "Ravelmend", L"Arial", 32, true, false},
      {S::kVersion, "Version 1.2.1 Built 1030", L"Arial", 12, true, false},
      {S::kPlatform, "Windows 98/2000", L"Arial", 16, true, false},
      {S::kCompanyProduct, "Norquill", L"Arial", 18, true, false},
      {S::kCompany, "Norquill", L"Arial", 8, false, false},
      {S::kLabel5, kWebAddress, L"MS Sans Serif", 8, false, true},  // a link
  };
  UINT dpi = win::DpiOf(s);
  for (const Expected& e : expected) {
    HWND c = GetDlgItem(s, e.id);
    ASSERT_NE(c, nullptr) << e.text;
    wchar_t cls[32] = {};
    GetClassNameW(c, cls, 32);
    EXPECT_STREQ(cls, L"Static") << e.text;
    EXPECT_EQ(Text(c), e.text);
    LOGFONTW lf = FontOf(c);
    EXPECT_STREQ(lf.lfFaceName, e.face) << e.text;
    EXPECT_NEAR(-lf.lfHeight * 72.0 / dpi, e.points, 0.6) << e.text;
    EXPECT_EQ(lf.lfWeight >= FW_BOLD, e.bold) << e.text;
    EXPECT_EQ(lf.lfUnderline != FALSE, e.underline) << e.text;
  }
  auto picture = win::ImagePictureOf(GetDlgItem(s, S::kPicture1));
  ASSERT_NE(picture, nullptr) << "the splash picture from the resources";
  EXPECT_EQ(picture->NaturalSize().cx, 155);
  EXPECT_EQ(picture->NaturalSize().cy, 203);

  // A label is no free area; the frame's free area hands over.
  SendMessageW(GetDlgItem(s, S::kVersion), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(GetDlgItem(s, S::kVersion), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  PumpUntil([] { return false; }, 100);
  EXPECT_TRUE(IsWindow(s));
  RECT rc;
  GetClientRect(s, &rc);
  SendMessageW(s, WM_LBUTTONUP, 0, MAKELPARAM(rc.right - 10, 8));
  EXPECT_TRUE(PumpUntil([&] { return !IsWindow(s); }));
  EXPECT_TRUE(IsWindowVisible(window->Handle()));
  EXPECT_EQ(Text(window->Handle()), "Ravelmend");
}

TEST_F(InfoWindowsTest, AboutAndInfoAreModalOverTheMainWindowAndCloseAsAsked) {
  window->Show(SW_SHOWNORMAL);
  HWND main = window->Handle();
  // About: noted, still open longer than the start's two seconds, then clicked.
  bool main_disabled = false, open_later = false;
  EXPECT_EQ(AnswerDialog(
                win::SplashWindow::kClassName, nullptr,
                [&](HWND about) {
                  main_disabled = !IsWindowEnabled(main);
                  std::this_thread::sleep_for(std::chrono::milliseconds(2600));
                  open_later = IsWindow(about) != FALSE;
                  PostMessageW(about, WM_LBUTTONUP, 0, MAKELPARAM(300, 8));
                },
                [&] { SendMessageW(main, WM_COMMAND, MAKEWPARAM(M::kMenuAbout, 0), 0); }),
            "");
  EXPECT_TRUE(open_later) << "still open after 2.6 seconds";
  EXPECT_TRUE(main_disabled);
  EXPECT_TRUE(IsWindowEnabled(main));

  // The "Info" label, clicked on its text.
  using I = win::InfoWindow;
  HWND owner = nullptr;
  std::string frame, label5;
  LONG weight = 0;
  bool picture = false;
  HWND info_label = window->Child(M::kLabel2);
  RECT lr;
  GetWindowRect(info_label, &lr);
  SetCursorPos(lr.left + 3, lr.top + 3);
  EXPECT_EQ(AnswerDialog(
                I::kClassName, nullptr,
                [&](HWND info) {
                  owner = GetWindow(info, GW_OWNER);
                  frame = Text(GetDlgItem(info, I::kFrame1));
                  label5 = Text(GetDlgItem(info, I::kLabel5));
                  weight = FontOf(GetDlgItem(info, I::kLabel3)).lfWeight;
                  picture = win::ImagePictureOf(GetDlgItem(info, I::kPicture1)) != nullptr;
                  PostMessageW(GetDlgItem(info, IDOK), BM_CLICK, 0, 0);
                },
                [&] {
                  SendMessageW(main, WM_COMMAND, MAKEWPARAM(M::kLabel2, STN_CLICKED),
                               reinterpret_cast<LPARAM>(info_label));
                }),
            "");
  EXPECT_EQ(owner, main);
  EXPECT_EQ(frame, "Tips for using Microsoft Word's Link-Image Feature");
  EXPECT_EQ(label5, "This limitation/bug is caused by Microsoft Word !");
  EXPECT_GE(weight, FW_BOLD);
  EXPECT_TRUE(picture);
  EXPECT_TRUE(IsWindowEnabled(main));
}

}  // namespace

namespace {

int VisibleWindowsOfThisThread() {
  int n = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM lp) -> BOOL {
        if (IsWindowVisible(h)) ++*reinterpret_cast<int*>(lp);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&n));
  return n;
}

TEST(ShellOpen, ATargetNothingOpensShowsNothingAndReturns) {
  win::ComInit com;
  win::Win32Host host;
  int before = VisibleWindowsOfThisThread();
  host.ShellOpen("C:\\Ravelmend Tests\\no such file.ravelmend-nothing");
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(VisibleWindowsOfThisThread(), before) << "no error box of the shell's";
}

}  // namespace
