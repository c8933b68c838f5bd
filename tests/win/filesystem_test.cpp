// The Win32 file system adapter on a real temporary tree, driven through the walk itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../relink_support.h"
#include "relink/FileOP.h"
#include "relink/Walker.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"
#include "win_case_support.h"

namespace ravel {
namespace {

using win::Narrow;
using win::Widen;
using win::Win32FileSystem;

class Win32Fs : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, tmp), 0u);
    root = Narrow(tmp) + "ravel-fs-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(GetTickCount());
    Dir("");
    Dir("pics");
    Dir("pics\\sub");
    Dir("\xC3\x84rger");  // Ärger
    Dir("gone");
    Dir("last");
    File("pics\\a.gif");
    File("pics\\sub\\A.GIF");
    File("gone\\a.gif");
    File("last\\a.gif");
    File("a.gif");
    File("\xC3\x84rger\\Bild_\xC3\x84\xC3\x96.png");  // Bild_ÄÖ.png
  }
  void TearDown() override { wintest::RemoveTree(win::WidePath(root)); }

  void Dir(const std::string& rel) {
    ASSERT_TRUE(CreateDirectoryW(Widen(Path(rel)).c_str(), nullptr)) << Path(rel);
  }
  void File(const std::string& rel) {
    HANDLE h = CreateFileW(Widen(Path(rel)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << Path(rel);
    DWORD written = 0;
    WriteFile(h, "x", 1, &written, nullptr);
    CloseHandle(h);
  }
  std::string Path(const std::string& rel) const { return rel.empty() ? root : root + "\\" + rel; }
  // The folders in the order the walk enters them and the files named `name` in the order
  // it meets them, straight from the system's own listing.
  static void Expected(const std::string& folder, const std::string& name,
                       std::vector<std::string>& folders, std::vector<std::string>& hits) {
    folders.push_back(folder);
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(Widen(folder + "\\*.*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
      std::string n = Narrow(d.cFileName);
      if (n == "." || n == "..") continue;
      if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        Expected(folder + "\\" + n, name, folders, hits);
      else if (CompareStringOrdinal(d.cFileName, -1, Widen(name).c_str(), -1, TRUE) == CSTR_EQUAL)
        hits.push_back(folder + "\\" + n);
    } while (FindNextFileW(h, &d));
    FindClose(h);
  }

  std::string root;
  Win32FileSystem fs;
  Globals g;
  test::OneDocumentWord word;
  sim::ScriptedHost host;
  Form_Main main{g, word, fs, host};

  int Select(const std::string& file_name) {
    int n = ++g.ItemCount;
    g.Item(n).FileName = file_name;
    g.Item(n).Selected = true;
    return n;
  }
  void Walk(const std::string& from) {
    g.FoundPaths.assign(static_cast<std::size_t>(g.ItemCount) + 1, FoundRow{});
    for (int i = 1; i <= g.ItemCount; ++i)
      g.FoundPaths[static_cast<std::size_t>(i)][0].assign(1, '0');
    g.WalkDepth = 0;
    SearchFiles(main, from);
  }
  std::vector<std::string> Found(int n) const {
    const FoundRow& row = g.FoundPaths.at(static_cast<std::size_t>(n));
    return std::vector<std::string>(row.begin() + 1, row.begin() + 1 + std::stoi(row[0]));
  }
};

TEST_F(Win32Fs, ExistenceAndIdentityOfRealEntries) {
  EXPECT_TRUE(FileExists(fs, Path("pics\\a.gif")));
  EXPECT_TRUE(FileExists(fs, Path("pics\\a.gif") + "\\"));
  EXPECT_FALSE(FileExists(fs, Path("pics")));
  EXPECT_FALSE(FileExists(fs, Path("pics\\none.gif")));
  EXPECT_FALSE(FileExists(fs, ""));
  EXPECT_TRUE(FolderExists(fs, Path("pics")));
  EXPECT_TRUE(FolderExists(fs, Path("PICS") + "\\"));
  EXPECT_FALSE(FolderExists(fs, Path("a.gif")));
  EXPECT_FALSE(FolderExists(fs, Path("nowhere")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  // A folder gone since its parent was listed has no listing (the walk goes on without it).
  EXPECT_EQ(fs.List(Path("nowhere") + "\\*.*"), nullptr);

  // A folder's identity, from its own listing and from IdOf: the same folder gives the same
  // one however it is reached, two folders never give one, and the volume comes from IdOf.
  auto listed_id = [&](const std::string& folder) {
    std::unique_ptr<DirListing> listing = fs.List(folder + "\\*.*");
    EXPECT_NE(listing, nullptr) << folder;
    if (listing == nullptr) return std::optional<FolderId>();
    EXPECT_TRUE(listing->IdWithoutVolume()) << folder;
    return listing->Id();
  };
  std::optional<FolderId> pics = listed_id(Path("pics"));
  ASSERT_TRUE(pics.has_value());
  EXPECT_EQ(pics, listed_id(Path("PICS")));
  EXPECT_NE(pics, listed_id(Path("pics\\sub")));
  EXPECT_NE(pics, listed_id(root));
  std::optional<FolderId> full = fs.IdOf(Path("pics"));
  ASSERT_TRUE(full.has_value());
  EXPECT_NE(full->volume, 0u);
  EXPECT_EQ(full->file, pics->file);
  EXPECT_EQ(full->file_high, pics->file_high);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(full, fs.IdOf(Path("PICS") + "\\"));
  EXPECT_FALSE(full == fs.IdOf(Path("pics\\sub")));
  EXPECT_FALSE(fs.IdOf(Path("a.gif")).has_value());  // a file has no folder's identity
}

TEST_F(Win32Fs, PathsBeyondTheClassicLimitWork) {
  std::string deep = root;
  while (deep.size() < 300) {
    deep += "\\" + std::string(40, 'd');
    ASSERT_TRUE(CreateDirectoryW(win::WidePath(deep).c_str(), nullptr)) << deep.size();
  }
  HANDLE h = CreateFileW(win::WidePath(deep + "\\long.gif").c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(FileExists(fs, deep + "\\long.gif"));
  EXPECT_TRUE(FolderExists(fs, deep));
  int n = Select("LONG.GIF");
  Walk(root);
  EXPECT_EQ(Found(n), std::vector<std::string>{deep + "\\long.gif"});
}

TEST_F(Win32Fs, WalkFindsFilesInTheSystemsListingOrderWithoutCase) {
  int a = Select("A.gif");
  int bild = Select("bild_\xC3\xA4\xC3\xB6.PNG");  // bild_äö.PNG
  std::vector<std::string> folders, expected;
  Expected(root, "a.gif", folders, expected);
  ASSERT_EQ(expected.size(), 5u);
  Walk(root + "\\\\");
  EXPECT_EQ(Found(a), expected);
  EXPECT_EQ(Found(bild),
            std::vector<std::string>{root + "\\\xC3\x84rger\\Bild_\xC3\x84\xC3\x96.png"});
  EXPECT_EQ(g.WalkDepth, 0);
}

// The drive the tree lies on: its root is listed without "." and "..", and is one folder
// however it is written (the walk's joining at a root is checked natively).
TEST_F(Win32Fs, ADriveRootIsListedAsSuch) {
  ASSERT_EQ(root[1], ':');
  std::string drive = root.substr(0, 2);
  EXPECT_TRUE(FolderExists(fs, drive + "\\"));
  auto listing = fs.List(drive + "\\*.*");
  ASSERT_NE(listing, nullptr);
  DirEntry e;
  while (listing->Next(e)) EXPECT_TRUE(e.name != "." && e.name != "..") << e.name;
  EXPECT_EQ(fs.IdOf(drive), fs.IdOf(drive + "\\"));
}

// Links back to the root and sideways into a folder met before, made on the host: each
// folder is entered once, each file reported once.
TEST_F(Win32Fs, ALinkCycleIsCut) {
  std::string tree = "Z:" + std::string(RAVEL_LINK_TREE);
  std::replace(tree.begin(), tree.end(), '/', '\\');
  ASSERT_NE(GetFileAttributesW(Widen(tree + "\\a\\b\\up").c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_NE(GetFileAttributesW(Widen(tree + "\\a\\b\\up").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT,
            0u);
  int pic = Select("pic.gif");
  Walk(tree);
  std::vector<std::string> found = Found(pic);
  std::sort(found.begin(), found.end());  // the host's listing order
  EXPECT_TRUE(found == std::vector<std::string>({tree + "\\a\\b\\pic.gif", tree + "\\pic.gif"}) ||
              found == std::vector<std::string>({tree + "\\again\\pic.gif", tree + "\\pic.gif"}))
      << found.size();
  EXPECT_EQ(g.WalkDepth, 0);
}

}  // namespace
}  // namespace ravel
