// The one-walk name search: what it finds, in which order, its hooks, links and faults.
#include <gtest/gtest.h>

#include <stdexcept>

#include "relink/NameSearch.h"
#include "sim/MemoryFileSystem.h"

namespace ravel {
namespace {

using V = std::vector<std::string>;
// Where pic.gif lies in the fixture's tree, in walk order.
const V kPics{"C:\\R\\a\\pic.gif", "C:\\R\\a\\deep\\PIC.gif", "C:\\R\\Pic.GIF"};

class NameSearch : public ::testing::Test {
 protected:
  NameSearch() {
    fs.AddFile("C:\\R\\Pic.GIF");
    fs.AddFile("C:\\R\\a\\pic.gif");
    fs.AddFile("C:\\R\\a\\deep\\PIC.gif");
    fs.AddFile("C:\\R\\a\\Ölbild.png");
    fs.AddFile("C:\\R\\b\\other.png");
    fs.AddFile("C:\\R\\b\\ΣΊΣΥΦΟΣ.jpg");
    fs.SetOrder("C:\\R", {"a", "Pic.GIF", "b"});
  }
  sim::MemoryFileSystem fs;
};

TEST_F(NameSearch, FindsEveryLocationOfEveryNameInWalkOrder) {
  struct Case {
    const char* what;
    V names;
    std::vector<V> found;
  } cases[] = {
      {"one name, any case, pre-order in listing order", {"PIC.gif"}, {kPics}},
      {"equal names each get every location; a missing name gets none",
       {"pic.gif", "none.gif", "pIC.GIF"},
       {kPics, {}, kPics}},
      {"letters beyond ASCII fold too",
       {"ölbild.PNG", "σίσυφος.JPG"},
       {{"C:\\R\\a\\Ölbild.png"}, {"C:\\R\\b\\ΣΊΣΥΦΟΣ.jpg"}}},
      {"an empty name matches nothing, a folder's name neither", {"", "deep", "a"}, {{}, {}, {}}},
      {"no names: the walk still runs", {}, {}},
  };
  for (const Case& c : cases) {
    NameSearchResult r = SearchNames(fs, "C:\\R", c.names);
    EXPECT_EQ(r.found, c.found) << c.what;
    EXPECT_FALSE(r.stopped) << c.what;
    EXPECT_EQ(r.folders, 4u) << c.what;  // R, a, deep, b
    EXPECT_EQ(r.files, 6u) << c.what;
  }
  EXPECT_EQ(fs.open_listings, 0);
}

TEST_F(NameSearch, KeepsEveryLocationUnlessACapIsAsked) {
  for (int k = 1; k <= 45; ++k) fs.AddFile("D:\\f" + std::to_string(k) + "\\x.gif");
  EXPECT_EQ(SearchNames(fs, "D:\\", {"x.gif"}).found[0].size(), 45u);
  NameSearchOptions capped;
  capped.max_per_name = 30;
  V found = SearchNames(fs, "D:", {"x.gif"}, capped).found[0];
  ASSERT_EQ(found.size(), 30u);
  EXPECT_EQ(found.front(), "D:\\f1\\x.gif");  // a drive root: one backslash after the colon
  EXPECT_EQ(found.back(), "D:\\f30\\x.gif");
}

TEST_F(NameSearch, RootsAreTrimmedAndAnEmptyRootIsSearchedAsNothing) {
  int folders = 0;
  NameSearchOptions count;
  count.on_folder = [&](std::string_view, int) { return ++folders, true; };
  EXPECT_EQ(SearchNames(fs, "C:\\R\\\\", {"other.png"}, count).found,
            std::vector<V>{{"C:\\R\\b\\other.png"}});
  folders = 0;
  NameSearchResult r = SearchNames(fs, "\\\\", {"other.png"}, count);
  EXPECT_EQ(r.found, std::vector<V>{{}});
  EXPECT_EQ(folders, 0);
  EXPECT_EQ(fs.list_calls, 4);  // only the first search listed anything
}

// The hooks see the walk as it happens: each folder before its listing (also one that
// cannot be listed or was seen before), each file with its full path.
TEST_F(NameSearch, HooksSeeEveryFolderBeforeItIsListedAndEveryFile) {
  fs.AddFolder("C:\\R\\b\\locked");
  fs.DenyListing("C:\\R\\b\\locked");
  fs.AddLink("C:\\R\\b\\again", "C:\\R\\a");
  V events;
  NameSearchOptions options;
  options.on_folder = [&](std::string_view folder, int depth) {
    events.push_back(std::to_string(depth) + " " + std::string(folder));
    return true;
  };
  options.on_file = [&](std::string_view path) { events.push_back("  " + std::string(path)); };
  NameSearchResult r = SearchNames(fs, "C:\\R", {"pic.gif"}, options);
  EXPECT_EQ(events, (V{"0 C:\\R", "1 C:\\R\\a", "  C:\\R\\a\\pic.gif", "2 C:\\R\\a\\deep",
                       "  C:\\R\\a\\deep\\PIC.gif", "  C:\\R\\a\\Ölbild.png", "  C:\\R\\Pic.GIF",
                       "1 C:\\R\\b", "  C:\\R\\b\\other.png", "  C:\\R\\b\\ΣΊΣΥΦΟΣ.jpg",
                       "2 C:\\R\\b\\locked", "2 C:\\R\\b\\again"}));
  EXPECT_EQ(r.folders, 4u);  // neither the locked folder nor the second way into a
}

TEST_F(NameSearch, AFolderHookThatSaysNoEndsTheSearchAtOnceWithWhatWasFound) {
  struct Case {
    std::string refuse;
    V found;
    std::size_t files;
  } cases[] = {
      {"C:\\R", {}, 0},
      {"C:\\R\\a\\deep", {"C:\\R\\a\\pic.gif"}, 1},
      {"C:\\R\\b", kPics, 4},
  };
  for (const Case& c : cases) {
    NameSearchOptions options;
    int after = 0;
    bool refused = false;
    options.on_folder = [&](std::string_view folder, int) {
      if (refused) ++after;
      refused = refused || folder == c.refuse;
      return !refused;
    };
    NameSearchResult r = SearchNames(fs, "C:\\R", {"pic.gif"}, options);
    EXPECT_TRUE(r.stopped) << c.refuse;
    EXPECT_EQ(r.found, std::vector<V>{c.found}) << c.refuse;
    EXPECT_EQ(r.files, c.files) << c.refuse;
    EXPECT_EQ(after, 0) << c.refuse;
    EXPECT_EQ(fs.open_listings, 0) << c.refuse;
  }
}

TEST_F(NameSearch, AFaultBelowARootFolderGivesUpThatFolderOnlyAndOneAtTheRootEndsTheSearch) {
  fs.AddFile("C:\\R\\a\\later\\pic.gif");
  fs.AddFile("C:\\R\\c\\pic.gif");
  fs.ThrowWhileListing("C:\\R\\a\\deep");
  EXPECT_EQ(SearchNames(fs, "C:\\R", {"pic.gif"}).found,
            (std::vector<V>{{"C:\\R\\a\\pic.gif", "C:\\R\\Pic.GIF", "C:\\R\\c\\pic.gif"}}));
  EXPECT_EQ(fs.open_listings, 0);

  // A hook's exception counts the same.
  NameSearchOptions options;
  options.on_file = [](std::string_view path) {
    if (path == "C:\\R\\Pic.GIF") throw std::runtime_error("status");
  };
  fs.ThrowWhileListing("C:\\R\\b");  // never reached: the root's own entry failed first
  EXPECT_EQ(SearchNames(fs, "C:\\R", {"pic.gif"}, options).found,
            std::vector<V>{{"C:\\R\\a\\pic.gif"}});
  fs.ThrowWhileListing("C:\\R");
  EXPECT_EQ(SearchNames(fs, "C:\\R", {"pic.gif"}).found, std::vector<V>{{}});
  EXPECT_EQ(fs.open_listings, 0);
}

// A link back to an ancestor would make the walk endless; a second way into a folder
// already searched would report its files twice. Both must hold whatever the file system
// tells of a folder's identity and wherever it tells it.
TEST_F(NameSearch, EntersNoFolderTwiceThroughLinksWhateverTheIdentitiesAre) {
  using Ids = sim::MemoryFileSystem::Ids;
  fs.AddLink("C:\\R\\a\\up", "C:\\R");
  fs.AddLink("C:\\R\\a\\deep\\self", "C:\\R\\a\\deep");
  fs.AddLink("C:\\R\\z", "C:\\R\\a");
  fs.AddFile("E:\\Elsewhere\\pic.gif");
  fs.AddLink("C:\\R\\e", "E:\\Elsewhere");
  V all = kPics;
  all.push_back("C:\\R\\e\\pic.gif");
  for (Ids ids : {Ids::Numbers, Ids::ListedNumbers, Ids::FinalPaths}) {
    for (bool in_listing : {true, false}) {
      fs.ids = ids;
      fs.ids_in_listings = in_listing;
      NameSearchResult r = SearchNames(fs, "C:\\R", {"pic.gif"});
      std::string what = std::to_string(static_cast<int>(ids)) + (in_listing ? " listed" : "");
      EXPECT_EQ(r.found, std::vector<V>{all}) << what;
      EXPECT_EQ(r.folders, 5u) << what;  // R, a, deep, b, e
      EXPECT_EQ(fs.open_listings, 0);
    }
  }
  // Nothing tells folders apart: the links are not followed, the tree is still searched.
  fs.ids = Ids::None;
  NameSearchResult r = SearchNames(fs, "C:\\R", {"pic.gif"});
  EXPECT_EQ(r.found, std::vector<V>{kPics});
  EXPECT_EQ(r.folders, 4u);

  // Folders are one only when the whole identity agrees: ids whose lower halves coincide,
  // and equal numbers on two volumes, are different folders.
  fs.SetFileId("C:\\R\\a", 7, 1);
  fs.SetFileId("C:\\R\\b", 7, 2);
  fs.AddFile("F:\\Same\\pic.gif");
  fs.SetFileId("F:\\Same", 7, 1);  // a's whole id, but on another volume
  fs.AddLink("C:\\R\\b\\to-f", "F:\\Same");
  fs.AddFile("C:\\R\\b\\pic.gif");
  for (Ids ids : {Ids::Numbers, Ids::ListedNumbers}) {
    fs.ids = ids;
    V want = kPics;
    want.insert(want.end(), {"C:\\R\\b\\to-f\\pic.gif", "C:\\R\\b\\pic.gif", "C:\\R\\e\\pic.gif"});
    EXPECT_EQ(SearchNames(fs, "C:\\R", {"pic.gif"}).found, std::vector<V>{want})
        << static_cast<int>(ids);
  }
}

}  // namespace
}  // namespace ravel
