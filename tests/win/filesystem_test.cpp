// The Win32 file system adapter on a real temporary tree, driven through the walk itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "../relink_support.h"
#include "relink/FileOP.h"
#include "relink/TextCompare.h"
#include "relink/Walker.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"

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
  void TearDown() override { Remove(root); }

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
  static void Remove(const std::string& folder) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(win::WidePath(folder + "\\*").c_str(), &d);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::string name = Narrow(d.cFileName);
        if (name == "." || name == "..") continue;
        std::string p = folder + "\\" + name;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Remove(p);
        else
          DeleteFileW(win::WidePath(p).c_str());
      } while (FindNextFileW(h, &d));
      FindClose(h);
    }
    RemoveDirectoryW(win::WidePath(folder).c_str());
  }

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
  EXPECT_EQ(host.pumps, static_cast<int>(folders.size()));
  EXPECT_EQ(g.WalkDepth, 0);
}

TEST_F(Win32Fs, AFolderThatCannotBeListedIsSkippedAndTheProgressGoesOn) {
  int a = Select("a.gif");
  std::vector<std::string> folders, expected;
  Expected(root, "a.gif", folders, expected);
  // The folder vanishes between its parent's listing and its own.
  host.on_pump = [&] {
    if (folders.at(static_cast<std::size_t>(host.pumps - 1)) == Path("gone")) Remove(Path("gone"));
  };
  std::erase(expected, Path("gone\\a.gif"));
  main.ProgressBar_main.SetMax(100);
  Walk(root);
  EXPECT_EQ(Found(a), expected);
  EXPECT_EQ(main.ProgressBar_main.Value(), 4);  // pics, Ärger, gone, last
  EXPECT_EQ(g.WalkDepth, 0);
}

// Passes the real adapter's answers through, but above the tree shows only the entries on
// the way down to it, so a walk from the drive's root stays inside the tree.
class TowardsTree : public FileSystem {
 public:
  TowardsTree(FileSystem& real, std::string tree) : real_(real), tree_(std::move(tree)) {}
  bool CanOpenForReading(const std::string& path) override { return real_.CanOpenForReading(path); }
  std::optional<FolderId> IdOf(const std::string& folder) override { return real_.IdOf(folder); }
  std::unique_ptr<DirListing> List(const std::string& pattern) override {
    std::unique_ptr<DirListing> listing = real_.List(pattern);
    std::string folder = pattern.substr(0, pattern.rfind('\\'));
    if (!listing || !IsAbove(folder)) return listing;
    return std::make_unique<Filtered>(std::move(listing), *this, folder);
  }

 private:
  bool IsAbove(const std::string& folder) const {
    return tree_.size() > folder.size() && EqualNoCase(tree_.substr(0, folder.size()), folder) &&
           tree_[folder.size()] == '\\';
  }
  struct Filtered : DirListing {
    Filtered(std::unique_ptr<DirListing> l, TowardsTree& t, std::string f)
        : inner(std::move(l)), owner(t), folder(std::move(f)) {}
    bool Next(DirEntry& out) override {
      while (inner->Next(out)) {
        std::string path = folder + "\\" + out.name;
        if (out.name == "." || out.name == ".." || EqualNoCase(path, owner.tree_) ||
            owner.IsAbove(path))
          return true;
      }
      return false;
    }
    std::unique_ptr<DirListing> inner;
    TowardsTree& owner;
    std::string folder;
  };
  FileSystem& real_;
  std::string tree_;
};

// The drive the tree lies on, searched from its root: no "." and ".." there, and one
// backslash after the colon in every path found.
TEST_F(Win32Fs, ADriveRootIsSearchedAsSuch) {
  ASSERT_EQ(root[1], ':');
  std::string drive = root.substr(0, 2);
  EXPECT_TRUE(FolderExists(fs, drive + "\\"));
  auto listing = fs.List(drive + "\\*.*");
  ASSERT_NE(listing, nullptr);
  DirEntry e;
  while (listing->Next(e)) EXPECT_TRUE(e.name != "." && e.name != "..") << e.name;
  EXPECT_EQ(fs.IdOf(drive), fs.IdOf(drive + "\\"));

  TowardsTree towards(fs, root);
  Form_Main from_drive(g, word, towards, host);
  int n = Select("A.GIF");
  g.FoundPaths.assign(2, FoundRow{});
  g.FoundPaths[1][0].assign(1, '0');
  SearchFiles(from_drive, drive + "\\");
  std::vector<std::string> folders, expected;
  Expected(root, "a.gif", folders, expected);
  EXPECT_EQ(Found(n), expected);
  EXPECT_EQ(expected.front().rfind(drive + "\\", 0), 0u);
  EXPECT_EQ(expected.front().find("\\\\"), std::string::npos);
  EXPECT_EQ(g.WalkDepth, 0);
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

  // A link this Wine makes itself, where it can.
  std::string link = Path("pics\\sub\\up");
  CreateSymbolicLinkW(Widen(link).c_str(), Widen(root).c_str(),
                      SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  DWORD attributes = GetFileAttributesW(Widen(link).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    std::cout << "[ NOTE     ] this Wine makes no symbolic links; only the host's were walked\n";
    return;
  }
  int a = Select("a.gif");
  Walk(root);
  EXPECT_EQ(Found(a).size(), 5u);  // as without the link
  RemoveDirectoryW(Widen(link).c_str());
}

}  // namespace
}  // namespace ravel
