// The preview of the selected item's picture and the picture viewer, over the fake loader.
#include <gtest/gtest.h>

#include "preview/PictureSize.h"
#include "preview/Resample.h"
#include "preview/wPictureViewer.h"
#include "relink_support.h"

namespace ravel {
namespace {

using sim::PathOf;
using Ints = std::vector<int>;

class Preview : public ::testing::Test {
 protected:
  Preview() {
    h.fs.AddFile("C:\\Pics\\abs.gif");
    h.fs.AddFile("C:\\Docs\\pics\\a.gif");
    h.fs.AddFile("C:\\Pics\\notes.gif");  // a text file named like a picture
    h.host.pictures.Add("C:\\Pics\\abs.gif", 5000, 2000);
    h.host.pictures.Add("C:\\Docs\\pics\\a.gif", 300, 400);
    abs = h.AddItem("abs.gif", "C:\\Pics\\abs.gif");
    rel = h.AddItem("a.gif", "pics\\a.gif");
    gone = h.AddItem("gone.gif", "D:\\Nowhere\\gone.gif");
    notes = h.AddItem("notes.gif", "C:\\Pics\\notes.gif");
  }
  std::string Shown() { return PathOf(h.main.xImgedit.GetPicture()); }
  // A release over row n, then (unless held) the picture's arrival on the window thread.
  void Release(int n, bool settle = true) {
    h.main.ListView_IS.SetCurrent(n);
    h.main.ListView_IS_MouseUp();
    if (settle) Settle();
  }
  // Runs the window thread's side until no picture is being read.
  void Settle() {
    while (h.main.LoadingPictures()) {
      h.host.TakePostedArrival();
      h.main.PicturesArrived();
    }
  }
  test::Harness h;
  int abs, rel, gone, notes;
};

// The preview and the viewer ("&Show") find the picture the same way.
TEST_F(Preview, ResolvesTheSourceAndFallsBackAsItShould) {
  struct Step {
    const char* label;
    int* item;
    bool word_open;
    std::string shown;  // after the step
    bool failed;        // the picture and its stretching stay as they were
  };
  const Step steps[] = {
      {"absolute, without Word", &abs, false, "C:\\Pics\\abs.gif", false},
      {"relative to the document", &rel, true, "C:\\Docs\\pics\\a.gif", false},
      {"not a picture keeps the old one", &notes, true, "C:\\Docs\\pics\\a.gif", true},
      {"relative, no document: the old one stays", &rel, false, "C:\\Docs\\pics\\a.gif", true},
      {"found nowhere blanks it", &gone, true, "", false},
  };
  for (const Step& s : steps) {
    s.word_open ? h.word.Open("Report.doc", "C:\\Docs") : h.word.CloseAll();
    h.host.hourglass_calls.clear();
    h.main.xImgedit.SetStretch(false);
    Release(*s.item);
    EXPECT_EQ(Shown(), s.shown) << s.label;
    EXPECT_EQ(h.main.xImgedit.Stretch(), !s.failed) << s.label;
    std::size_t viewers = h.host.viewers_shown.size();
    h.main.Command1_Click();
    Settle();
    EXPECT_EQ(h.host.viewers_shown.size() - viewers, s.failed || s.shown.empty() ? 0u : 1u)
        << s.label;
    EXPECT_EQ(h.host.hourglass_calls, (std::vector<bool>{true, false, true, false})) << s.label;
  }
  EXPECT_TRUE(h.host.boxes.empty()) << "failures are silent";
  test::Harness empty;
  empty.main.Command1_Click();
  empty.main.xImgedit_DblClick();
  EXPECT_TRUE(empty.host.viewers_shown.empty());
}

TEST_F(Preview, OnlyAMouseReleaseWithPreviewTickedRefreshesIt) {
  h.main.Check_preview.SetValue(0);
  Release(abs);
  EXPECT_EQ(Shown(), "");
  EXPECT_TRUE(h.host.hourglass_calls.empty());
  h.main.Check_preview.SetValue(1);
  EXPECT_EQ(Shown(), "") << "ticking it shows nothing until the next release";
  h.main.ListView_IS.SetCurrent(abs);
  h.main.ListView_IS_ItemClick();  // a move by keyboard
  EXPECT_EQ(Shown(), "");
  h.main.ListView_IS_MouseUp();
  Settle();
  EXPECT_EQ(Shown(), "C:\\Pics\\abs.gif");
  // A file chosen by hand shows at once.
  h.host.file_answers.push_back(std::string("C:\\Docs\\pics\\a.gif"));
  h.main.ListView_IS.SetCurrent(gone);
  h.main.deppxx();
  Settle();
  EXPECT_EQ(Shown(), "C:\\Docs\\pics\\a.gif");
  // Switching it off leaves the last picture in place.
  h.main.Check_preview.SetValue(0);
  Release(rel);
  EXPECT_EQ(Shown(), "C:\\Docs\\pics\\a.gif");
}

// A large picture is read slowly (the loader holds it) and the user moves on meanwhile.
TEST_F(Preview, ARowChangeDuringASlowDecodeShowsTheNewRowAndNeverTheOld) {
  const std::string big_path = "C:\\Pics\\big.jpg";
  h.fs.AddFile(big_path);
  h.host.pictures.Add(big_path, 105833, 79375);
  int big = h.AddItem("big.jpg", big_path);
  struct Case {
    const char* label;
    int* next;  // released while the big picture is read
    bool word_open;
    bool keyboard;      // moved to by keyboard: no picture asked for
    std::string shown;  // once all has arrived
  };
  const Case cases[] = {
      {"another picture", &rel, true, false, "C:\\Docs\\pics\\a.gif"},
      {"a source found nowhere", &gone, true, false, ""},
      {"no picture: the one before the big one stays", &notes, true, false, "C:\\Pics\\abs.gif"},
      {"no document to resolve it: likewise", &rel, false, false, "C:\\Pics\\abs.gif"},
      {"a move by keyboard: likewise", &rel, true, true, "C:\\Pics\\abs.gif"},
  };
  for (const Case& c : cases) {
    h.word.Open("Report.doc", "C:\\Docs");
    Release(abs);
    h.host.pictures.Hold(big_path);
    Release(big, false);
    h.host.pictures.WaitUntilHeld(big_path);
    EXPECT_TRUE(h.main.xImgedit.Loading()) << c.label;
    EXPECT_EQ(Shown(), "C:\\Pics\\abs.gif") << c.label << ": kept beneath the notice";
    auto asked = h.host.pictures.Asked().size();
    Release(big, false);
    EXPECT_EQ(h.host.pictures.Asked().size(), asked) << c.label << ": a second click waits on";
    if (!c.word_open) h.word.CloseAll();
    // The next row's own reading (if any) waits too: the big one's outcome comes first.
    std::string next_path = c.next == &rel ? "C:\\Docs\\pics\\a.gif" : h.g.Item(*c.next).SourcePath;
    h.host.pictures.Hold(next_path);
    h.main.ListView_IS.SetCurrent(*c.next);
    c.keyboard ? h.main.ListView_IS_ItemClick() : h.main.ListView_IS_MouseUp();
    h.host.pictures.Finish(big_path);
    if (c.word_open && c.next != &gone && !c.keyboard)
      h.host.pictures.WaitUntilHeld(next_path);
    else
      h.host.pictures.WaitUntilIdle();
    h.main.PicturesArrived();
    EXPECT_NE(Shown(), big_path) << c.label;
    h.host.pictures.Finish(next_path);
    Settle();
    EXPECT_EQ(Shown(), c.shown) << c.label;
    EXPECT_FALSE(h.main.xImgedit.Loading()) << c.label;
    EXPECT_EQ(h.host.pictures.Abandoned().back(), big_path) << c.label;
  }
  EXPECT_EQ(h.host.pictures.Abandoned().size(), std::size(cases));

  // Left alone, the slow picture arrives and shows.
  h.host.pictures.Hold(big_path);
  Release(big, false);
  h.host.pictures.Finish(big_path);
  Settle();
  EXPECT_EQ(Shown(), big_path);
  EXPECT_EQ(h.host.pictures.WorkersStarted(), 1) << "one worker serves every click";
}

TEST(PreviewExit, EndingTheProgramDuringADecodeAbandonsItAndEndsTheWorkers) {
  // The Exit button, closing the window, the menu's Exit.
  for (auto exit :
       {&Form_Main::Command_Exit_Click, &Form_Main::Form_Unload, &Form_Main::mnuExit_Click}) {
    SCOPED_TRACE(exit == &Form_Main::Form_Unload     ? "window"
                 : exit == &Form_Main::mnuExit_Click ? "menu"
                                                     : "button");
    test::Harness h;
    for (const char* path : {"C:\\Pics\\big.png", "C:\\Pics\\huge.png"}) {
      h.fs.AddFile(path);
      h.host.pictures.Add(path, 317500, 317500);
      h.host.pictures.Hold(path);
      h.AddItem("x.png", path);
    }
    h.main.ListView_IS.SetCurrent(1);
    h.main.ListView_IS_MouseUp();  // the preview reads one
    h.main.ListView_IS.SetCurrent(2);
    h.main.Command1_Click();  // the viewer the other
    h.host.pictures.WaitUntilHeld("C:\\Pics\\big.png");
    h.host.pictures.WaitUntilHeld("C:\\Pics\\huge.png");
    (h.main.*exit)();
    EXPECT_TRUE(h.host.ended);
    EXPECT_EQ(h.host.pictures.Abandoned().size(), 2u);
    EXPECT_EQ(h.host.pictures.WorkersStarted(), 2);
    EXPECT_EQ(h.host.pictures.WorkersEnded(), 2) << "joined before it returned";
    EXPECT_FALSE(h.main.LoadingPictures());
    h.main.ListView_IS_MouseUp();
    EXPECT_EQ(h.host.pictures.WorkersStarted(), 2) << "nothing starts again";
  }
}

class Viewer : public Preview {
 protected:
  wPictureViewer* Open(int n, bool settle = true) {
    h.main.ListView_IS.SetCurrent(n);
    h.main.Command1_Click();
    if (settle) Settle();
    return h.main.Viewer();
  }
};

TEST_F(Viewer, SizesFromThePictureCappedAtTheScreen) {
  struct Case {
    int width, height;  // hundredths of a millimetre
    int screen_w, screen_h;
    int expect_w, expect_h;  // twips
  };
  const Case cases[] = {
      {5000, 2000, 19200, 14400, 5000, 2000},
      {30000, 20000, 19200, 14400, 19200, 14400},
      {19200, 14399, 19200, 14400, 19200, 14399},
      {19201, 14400, 19200, 14400, 19200, 14400},  // equal to the screen: the screen's size
      {100, 30000, 19200, 14400, 100, 14400},
  };
  for (const Case& c : cases) {
    h.host.pictures.Add("C:\\Pics\\abs.gif", c.width, c.height);
    h.host.screen = {c.screen_w, c.screen_h};
    wPictureViewer* v = Open(abs);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ((Ints{v->Me.Width(), v->Me.Height()}), (Ints{c.expect_w, c.expect_h})) << c.width;
    EXPECT_TRUE(v->Me.Visible());
    v->Form_DblClick();
  }
}

TEST_F(Viewer, ARelativeSourceCaptionsItAndAnOpenViewerIsReusedWithItsCaption) {
  wPictureViewer* first = Open(rel);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Me.Text(), "C:\\Docs\\pics\\a.gif");
  EXPECT_EQ(PathOf(first->xImgedit.GetPicture()), "C:\\Docs\\pics\\a.gif");
  wPictureViewer* second = Open(abs);
  EXPECT_EQ(second, first);
  EXPECT_EQ(PathOf(second->xImgedit.GetPicture()), "C:\\Pics\\abs.gif");
  EXPECT_EQ(second->Me.Text(), "C:\\Docs\\pics\\a.gif");
  EXPECT_EQ(h.host.viewers_shown.size(), 2u);
  second->xImgedit_DblClick();
  EXPECT_TRUE(second->Closed());
  EXPECT_FALSE(second->Me.Visible());
  EXPECT_EQ(h.main.Viewer(), nullptr);

  wPictureViewer* fresh = Open(abs);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->Me.Text(), "") << "a viewer loaded anew starts without caption";
}

TEST_F(Viewer, ClosedOrAskedAgainWhileItsPictureIsReadItNeverShowsIt) {
  wPictureViewer* v = Open(abs);
  ASSERT_NE(v, nullptr);
  const std::string slow = "C:\\Docs\\pics\\a.gif";
  h.host.pictures.Hold(slow);
  Open(rel, false);
  h.host.pictures.WaitUntilHeld(slow);
  EXPECT_TRUE(v->xImgedit.Loading());
  EXPECT_EQ(PathOf(v->xImgedit.GetPicture()), "C:\\Pics\\abs.gif") << "until the next arrives";
  // "&Show" on another row: that row's picture, never the slow one.
  Open(abs);
  EXPECT_EQ(PathOf(v->xImgedit.GetPicture()), "C:\\Pics\\abs.gif");
  EXPECT_FALSE(v->xImgedit.Loading());
  h.host.pictures.Finish(slow);
  h.host.pictures.WaitUntilIdle();
  Settle();
  EXPECT_EQ(PathOf(v->xImgedit.GetPicture()), "C:\\Pics\\abs.gif");
  EXPECT_EQ(h.host.pictures.Abandoned(), std::vector<std::string>{slow});

  // Closed while its picture is read: the reading stops, nothing opens.
  h.host.pictures.Hold(slow);
  Open(rel, false);
  h.host.pictures.WaitUntilHeld(slow);
  std::size_t shown = h.host.viewers_shown.size();
  v->Form_DblClick();
  h.host.pictures.WaitUntilIdle();
  h.main.PicturesArrived();
  EXPECT_EQ(h.host.pictures.Abandoned().size(), 2u);
  EXPECT_FALSE(h.main.LoadingPictures());
  EXPECT_EQ(h.host.viewers_shown.size(), shown);
  EXPECT_EQ(h.main.Viewer(), nullptr);
}

TEST_F(Viewer, ResizingFillsTheInnerAreaUnlessMinimised) {
  wPictureViewer* v = Open(abs);
  ASSERT_NE(v, nullptr);
  struct Step {
    int scale_w, scale_h;
    bool minimized;
    int expect_w, expect_h;
  };
  const Step steps[] = {
      {6000, 4000, false, 6000, 4000}, {0, 0, true, 6000, 4000},  // minimised: nothing changes
      {6000, 4000, false, 6000, 4000}, {9000, 3000, false, 9000, 3000},
      {0, 2500, false, 9000, 2500},  // no inner width: the width stays
  };
  for (const Step& s : steps) {
    v->Me.TakeWindowState(s.scale_w, s.scale_h, s.minimized);
    v->Form_Resize();
    const auto& p = v->xImgedit;
    EXPECT_EQ((Ints{p.Width(), p.Height(), p.Left(), p.Top()}),
              (Ints{s.expect_w, s.expect_h, 0, 0}));
  }
}

// --- filtering when a picture is stretched ---

std::uint32_t Grey(int v) {
  auto b = static_cast<std::uint32_t>(v);
  return 0xFF000000u | b << 16 | b << 8 | b;
}
Ints Blues(const PixelImage& image) {
  Ints out;
  for (auto p : image.pixels) out.push_back(static_cast<int>(p & 0xFF));
  return out;
}

TEST(Resample, AveragesWhenShrinkingAndInterpolatesWhenEnlarging) {
  // A one-pixel checkerboard: pixel dropping would give pure black or white.
  PixelImage board{4, 4, {}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) board.pixels.push_back(Grey((x + y) % 2 ? 255 : 0));
  PixelImage half = Resample(board, 2, 2);
  ASSERT_EQ(half.pixels.size(), 4u);
  for (auto p : half.pixels) EXPECT_EQ(p, Grey(128));

  // A thin line stays visible at an eighth of the size.
  PixelImage line{8, 1, {Grey(0), Grey(0), Grey(0), Grey(255), Grey(0), Grey(0), Grey(0), Grey(0)}};
  EXPECT_EQ(Resample(line, 1, 1).pixels, std::vector<std::uint32_t>{Grey(32)});
  // Uneven factors share the boundary pixel.
  PixelImage three{3, 1, {Grey(0), Grey(90), Grey(180)}};
  EXPECT_EQ(Blues(Resample(three, 2, 1)), (Ints{30, 150}));

  PixelImage pair{2, 1, {Grey(0), Grey(255)}};
  EXPECT_EQ(Blues(Resample(pair, 4, 1)), (Ints{0, 64, 191, 255}));

  PixelImage solid{3, 2, std::vector<std::uint32_t>(6, 0x80402010u)};
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {3, 2}, {100, 1}}) {
    PixelImage s = Resample(solid, w, h);
    EXPECT_EQ(s.pixels, std::vector<std::uint32_t>(static_cast<std::size_t>(w * h), 0x80402010u))
        << w << "x" << h << ": every channel, alpha too, unchanged";
  }
  // 21 / 19 * 19 is a little more than 21: the last pixel's share ends at the row's end.
  PixelImage row{21, 1, std::vector<std::uint32_t>(21, 0x80402010u)};
  EXPECT_EQ(Resample(row, 19, 1).pixels, std::vector<std::uint32_t>(19, 0x80402010u));
  // Empty or short input gives an empty image.
  EXPECT_TRUE(Resample(PixelImage{1, 1, {Grey(9)}}, 0, 5).pixels.empty());
  EXPECT_TRUE(Resample(PixelImage{}, 5, 5).pixels.empty());
  EXPECT_TRUE(Resample(PixelImage{4, 4, {Grey(1)}}, 2, 2).pixels.empty());
}

// --- the size a picture file declares, read before any decoder opens it ---

std::vector<std::uint8_t> Bytes(std::initializer_list<int> b) {
  std::vector<std::uint8_t> v;
  for (int x : b) v.push_back(static_cast<std::uint8_t>(x));
  return v;
}

TEST(DeclaredPixelSize, ReadsEachFormatsHeaderAndNothingElse) {
  auto size_of = [](const std::vector<std::uint8_t>& v) {
    auto s = DeclaredPixelSize(v.data(), v.size());
    return s ? std::to_string(s->width) + "x" + std::to_string(s->height) : std::string("none");
  };
  auto png = Bytes({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0,    0,   13, 'I',
                    'H',  'D', 'R', 0,   0,    0x75, 0x30, 0,    0, 0x4E, 0x20});  // 30000 x 20000
  auto gif = Bytes({'G', 'I', 'F', '8', '9', 'a', 0x40, 0x1F, 0x20, 0x03});        // 8000 x 800
  // 16 wide, -1 high: one row, top first.
  auto bmp = Bytes({'B', 'M', 0, 0, 0, 0,    0, 0, 0, 0,    0,    0,    0,
                    0,   40,  0, 0, 0, 0x10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
  // A JPEG whose frame header stands behind a metadata segment and a fill byte.
  auto jpeg =
      Bytes({0xFF, 0xD8, 0xFF, 0xE1, 0,  6, 'E',  'x',  'i',  'f',
             0xFF, 0xFF, 0xC2, 0,    17, 8, 0x0B, 0xB8, 0x0F, 0xA0});  // progressive, 4000 x 3000
  auto jpeg_rst = Bytes({0xFF, 0xD8, 0xFF, 0xD7, 0xFF, 0xC0, 0, 17, 8, 0, 16, 0, 32});  // 32 x 16
  auto jpeg_no_frame = Bytes({0xFF, 0xD8, 0xFF, 0xDA, 0, 2, 0xFF, 0xC0, 0, 17, 8, 1, 1, 1, 1});
  EXPECT_EQ(size_of(png), "30000x20000");
  EXPECT_EQ(size_of(gif), "8000x800");
  EXPECT_EQ(size_of(bmp), "16x1");
  EXPECT_EQ(size_of(jpeg), "4000x3000");
  EXPECT_EQ(size_of(jpeg_rst), "32x16") << "a restart marker has no length";
  EXPECT_EQ(size_of(jpeg_no_frame), "none") << "image data before any frame header";
  for (auto* v : {&png, &gif, &bmp, &jpeg}) {
    std::vector<std::uint8_t> cut(v->begin(), v->end() - 1);
    EXPECT_EQ(size_of(cut), "none") << "a header cut short";
  }
  EXPECT_EQ(size_of(Bytes({'I', 'I', '*', 0, 8, 0, 0, 0})), "none") << "TIFF: left to its decoder";
  EXPECT_EQ(size_of({}), "none");
  EXPECT_GT(PixelSize({30000, 30000}).Count(), kMaxPicturePixels);
  EXPECT_LT(PixelSize({12000, 12000}).Count(), kMaxPicturePixels);
}

}  // namespace
}  // namespace ravel
