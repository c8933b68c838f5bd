// How the batch command's hosts turn typed paths into the engine's Windows form and back.
#include <gtest/gtest.h>

#include <utility>

#include "batch/HostPaths.h"

namespace ravel::batch {
namespace {

TEST(HostPaths, PosixPathsLiveOnDriveZAndComeBack) {
  const std::pair<const char*, const char*> cases[] = {
      // typed, in Windows form
      {"docs/a.docx", "Z:\\home\\u\\docs\\a.docx"},
      {"/srv/x y/ü.docx", "Z:\\srv\\x y\\ü.docx"},
      {"C:\\old\\a.png", "C:\\old\\a.png"},
      {"\\\\server\\share\\a.png", "\\\\server\\share\\a.png"},
  };
  for (auto [typed, windows] : cases) EXPECT_EQ(HostToWindows(typed, "/home/u"), windows) << typed;
  EXPECT_EQ(WindowsToHost("Z:\\srv\\x y\\ü.docx"), "/srv/x y/ü.docx");
  EXPECT_EQ(WindowsToHost("z:\\"), "/");
  EXPECT_EQ(WindowsToHost("C:\\old\\a.png"), "C:\\old\\a.png");
  EXPECT_EQ(WindowsToHost("\\\\server\\share\\a.png"), "\\\\server\\share\\a.png");
}

TEST(HostPaths, WindowsPathsLoseOnlyTheLongPathPrefix) {
  const std::pair<const char*, const char*> cases[] = {
      // typed, plain
      {"\\\\?\\C:\\very\\long\\a.docx", "C:\\very\\long\\a.docx"},
      {"\\\\?\\UNC\\server\\share\\a.docx", "\\\\server\\share\\a.docx"},
      {"//?/c:/x/a.docx", "c:\\x\\a.docx"},
      {"C:/Users/me/docs", "C:\\Users\\me\\docs"},
      {"\\\\server\\share", "\\\\server\\share"},
      {"docs\\sub", "docs\\sub"},
      {"\\\\.\\pipe\\x", "\\\\.\\pipe\\x"},
      {"", ""},
  };
  for (auto [typed, plain] : cases) EXPECT_EQ(PlainWindowsPath(typed), plain) << typed;
}

}  // namespace
}  // namespace ravel::batch
