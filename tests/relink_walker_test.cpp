// The file search walker over the memory file system: what it visits, in which order, what
// it records, and how it copes with links, deep trees, failures and a stop request.
#include <pthread.h>

#include <gtest/gtest.h>

#include "relink/Walker.h"
#include "relink_support.h"

namespace ravel {
namespace {

using test::Harness;
using test::Recorder;
using V = std::vector<std::string>;

class Walker : public ::testing::Test {
 protected:
  // Every walk, however it ends, leaves no depth counted and no listing open.
  void Walk(const std::string& root) {
    h.ResetFound();
    SearchFiles(h.main, root);
    EXPECT_EQ(h.g.WalkDepth, 0);
    EXPECT_EQ(h.fs.open_listings, 0);
  }
  Harness h;
};

// Listing order, not name order, decides: pre-order, depth-first, descending at once.
TEST_F(Walker, VisitsPreOrderInListingOrderAndRecordsHitsInThatOrder) {
  h.fs.AddFile("C:\\R\\z\\deep\\a.gif");
  h.fs.AddFile("C:\\R\\z\\a.gif");
  h.fs.AddFile("C:\\R\\a.gif");
  h.fs.AddFile("C:\\R\\y\\a.gif");
  h.fs.AddFile("C:\\R\\y\\other.png");
  h.fs.SetOrder("C:\\R", {"z", "a.gif", "y"});
  h.fs.SetOrder("C:\\R\\z", {"deep", "a.gif"});
  int a = h.AddItem("a.gif", "X:\\old\\a.gif");
  Recorder status;
  h.main.Label_ProgressBar.SetPeer(&status);

  Walk("C:\\R");

  EXPECT_EQ(h.Found(a),
            (V{"C:\\R\\z\\deep\\a.gif", "C:\\R\\z\\a.gif", "C:\\R\\a.gif", "C:\\R\\y\\a.gif"}));
  EXPECT_EQ(status.texts,
            (V{"Dissolving Paths...C:\\R\\z\\deep\\a.gif", "Dissolving Paths...C:\\R\\z\\a.gif",
               "Dissolving Paths...C:\\R\\a.gif", "Dissolving Paths...C:\\R\\y\\a.gif",
               "Dissolving Paths...C:\\R\\y\\other.png"}));
}

TEST_F(Walker, KeepsTheFirstThirtyLocationsOfAnItem) {
  for (int k = 1; k <= 35; ++k) h.fs.AddFile("C:\\R\\f" + std::to_string(k) + "\\pic.gif");
  h.fs.AddFile("C:\\S\\pic.gif");
  int a = h.AddItem("pic.gif", "");
  // A second walk appends after the locations the row holds, up to the cap.
  Walk("C:\\S");
  SearchFiles(h.main, "C:\\R");
  V found = h.Found(a);
  ASSERT_EQ(found.size(), 30u);
  EXPECT_EQ(h.g.FoundPaths[static_cast<std::size_t>(a)][0], "30");
  EXPECT_EQ(found.front(), "C:\\S\\pic.gif");
  EXPECT_EQ(found.back(), "C:\\R\\f29\\pic.gif");
}

TEST_F(Walker, MatchesNamesWithoutCaseForEverySelectedItemOnly) {
  h.fs.AddFile("C:\\R\\Pic.Gif");
  h.fs.AddFile("C:\\R\\s\\PIC.gif");
  h.fs.AddFile("C:\\R\\s\\Ölbild.PNG");
  int upper = h.AddItem("PIC.GIF", "X:\\PIC.GIF");
  int unselected = h.AddItem("pic.gif", "X:\\pic.gif", false);
  int lower = h.AddItem("pic.gif", "X:\\b\\pic.gif");
  int empty = h.AddItem("", "Paint.Picture");
  int umlaut = h.AddItem("ölbild.png", "X:\\ölbild.png");
  Walk("C:\\R\\\\\\");  // trailing backslashes: one before each name all the same
  V both{"C:\\R\\Pic.Gif", "C:\\R\\s\\PIC.gif"};
  EXPECT_EQ((std::vector<V>{h.Found(upper), h.Found(lower), h.Found(unselected), h.Found(empty),
                            h.Found(umlaut)}),
            (std::vector<V>{both, both, {}, {}, {"C:\\R\\s\\Ölbild.PNG"}}));
}

// With room to spare, every value the walk sets shows: one per root folder, none for the
// folders below them, and one for a folder that cannot be listed or read (the walk goes on
// past it). With too little, the bar keeps the last value it could take; a root without
// subfolders leaves it alone.
TEST_F(Walker, ProgressCountsRootFoldersAndKeepsItsValueBeyondTheMaximum) {
  for (const char* f :
       {"C:\\R\\a\\x\\y\\n.gif", "C:\\R\\b\\n.gif", "C:\\R\\c\\n.gif", "C:\\S\\n.gif",
        "C:\\L\\locked\\n.gif", "C:\\L\\open\\n.gif", "C:\\L\\last\\bad\\n.gif"})
    h.fs.AddFile(f);
  h.fs.DenyListing("C:\\L\\locked");
  h.fs.ThrowWhileListing("C:\\L\\last\\bad");
  int n = h.AddItem("n.gif", "");
  struct Case {
    const char* root;
    int max;
    std::vector<int> values;
    V found;  // none: left to the other rows
  } cases[] = {
      {"C:\\R", 100, {1, 2, 3}, {"C:\\R\\a\\x\\y\\n.gif", "C:\\R\\b\\n.gif", "C:\\R\\c\\n.gif"}},
      {"C:\\R", 3, {1, 2, 3}, {}},
      {"C:\\R", 2, {1, 2}, {}},
      {"C:\\S", 100, {}, {"C:\\S\\n.gif"}},
      {"C:\\L", 100, {1, 2, 3}, {"C:\\L\\open\\n.gif"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.root) + " " + std::to_string(c.max));
    Recorder bar;
    h.main.ProgressBar_main.SetMax(c.max);
    h.main.ProgressBar_main.SetValue(7);
    h.main.ProgressBar_main.SetPeer(&bar);
    Walk(c.root);
    h.main.ProgressBar_main.SetPeer(nullptr);
    EXPECT_EQ(bar.values, c.values);
    EXPECT_EQ(h.main.ProgressBar_main.Value(), c.values.empty() ? 7 : c.values.back());
    if (!c.found.empty()) {
      EXPECT_EQ(h.Found(n), c.found);
    }
  }
}

TEST_F(Walker, StopsAtOnceWhenStopIsRequestedDuringTheWalk) {
  for (const char* f : {"C:\\R\\a\\p.gif", "C:\\R\\b\\p.gif", "C:\\R\\c\\p.gif", "C:\\R\\p.gif"})
    h.fs.AddFile(f);
  h.fs.SetOrder("C:\\R", {"a", "b", "c", "p.gif"});
  int p = h.AddItem("p.gif", "");
  h.host.on_pump = [&] {
    if (h.host.pumps == 3) h.g.StopRequested = true;  // while entering b
  };
  h.main.Label_ProgressBar.SetText("Dissolving Paths...");
  Walk("C:\\R");
  EXPECT_EQ(h.Found(p), V{"C:\\R\\a\\p.gif"});
  EXPECT_EQ(h.host.pumps, 3);
  EXPECT_EQ(h.main.Label_ProgressBar.Text(), "Idle");
  EXPECT_EQ(h.main.ProgressBar_main.Value(), 0);
}

// On a thread whose stack a walk recursing once per level would overflow many times over.
TEST_F(Walker, WalksADeepTreeWithoutRecursion) {
  constexpr int kLevels = 2000;
  std::string path = "C:\\R";
  for (int k = 0; k < kLevels; ++k) path += "\\d";
  h.fs.AddFile(path + "\\deep.gif");
  int a = h.AddItem("DEEP.GIF", "");
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 << 10);
  pthread_t thread;
  using Self = std::remove_pointer_t<decltype(this)>;
  auto walk = [](void* self) -> void* {
    static_cast<Self*>(self)->Walk("C:\\R");
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, walk, this), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(h.Found(a), V{path + "\\deep.gif"});
  EXPECT_GE(h.host.pumps, kLevels) << "events run as the walk goes, not only at its end";
}

}  // namespace
}  // namespace ravel
