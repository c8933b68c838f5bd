// How the batch command's hosts turn typed paths into the engine's Windows form and back.
#include <gtest/gtest.h>

#include "batch/HostPaths.h"

namespace ravel::batch {
namespace {

TEST(HostPaths, PosixPathsLiveOnDriveZAndComeBack) {
  struct Case {
    const char* typed;
    const char* windows;
  };
  const Case cases[] = {
      {"docs/a.docx", "Z:\\home\\u\\docs\\a.docx"},
      {"/srv/x y/ü.docx", "Z:\\srv\\x y\\ü.docx"},
      {"C:\\old\\a.png", "C:\\old\\a.png"},
      {"\\\\server\\share\\a.png", "\\\\server\\share\\a.png"},
  };
  for (const Case& c : cases) EXPECT_EQ(HostToWindows(c.typed, "/home/u"), c.windows) << c.typed;
  EXPECT_EQ(WindowsToHost("Z:\\srv\\x y\\ü.docx"), "/srv/x y/ü.docx");
  EXPECT_EQ(WindowsToHost("z:\\"), "/");
  EXPECT_EQ(WindowsToHost("C:\\old\\a.png"), "C:\\old\\a.png");
  EXPECT_EQ(WindowsToHost("\\\\server\\share\\a.png"), "\\\\server\\share\\a.png");
}

TEST(HostPaths, WindowsPathsLoseOnlyTheLongPathPrefix) {
  struct Case {
    const char* typed;
    const char* plain;
  };
  const Case cases[] = {
      {"\\\\?\\C:\\very\\long\\a.docx", "C:\\very\\long\\a.docx"},
      {"\\\\?\\UNC\\server\\share\\a.docx", "\\\\server\\share\\a.docx"},
      {"//?/c:/x/a.docx", "c:\\x\\a.docx"},
      {"C:/Users/me/docs", "C:\\Users\\me\\docs"},
      {"\\\\server\\share", "\\\\server\\share"},
      {"docs\\sub", "docs\\sub"},
      {"\\\\.\\pipe\\x", "\\\\.\\pipe\\x"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PlainWindowsPath(c.typed), c.plain) << c.typed;
}

}  // namespace
}  // namespace ravel::batch
