// The window's document file over the Win32 store: a file that another program holds open
// without sharing it (as Word holds the documents it has open) is not written, and the user
// is told to relink it in Word; once it is free, the save goes through with its backup.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/Form_Main.h"
#include "docfile_support.h"
#include "filedoc/FileDocument.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"
#include "win32/batch/Win32Store.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"

namespace ravel {
namespace {

using namespace docfile::test;

std::string ReadAll(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(unreadable)";
  std::string data(GetFileSize(h, nullptr), '\0');
  DWORD got = 0;
  ReadFile(h, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
  CloseHandle(h);
  return data;
}

void WriteAll(const std::wstring& path, const std::string& data) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD put = 0;
  WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
  CloseHandle(h);
}

TEST(FileDocumentWin, AFileHeldOpenIsNotWrittenUntilItIsFree) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring dir =
      std::wstring(temp) + L"ravel-filedoc-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(dir.c_str(), nullptr);
  CreateDirectoryW((dir + L"\\moved").c_str(), nullptr);
  WriteAll(dir + L"\\moved\\a.png", "png");
  std::vector<std::uint8_t> bytes =
      Zip(Standard(Body(Inline("rId1")), Rels({{"rId1", kImageType, "file:///C:/gone/a.png"}})));
  std::string original(bytes.begin(), bytes.end());
  std::wstring doc = dir + L"\\Report.docx";
  WriteAll(doc, original);

  Globals g;
  auto word = std::make_shared<sim::SimWord>();
  win::Win32FileSystem fs;
  sim::ScriptedHost host;
  docfile::Win32Store store;
  Form_Main main(g, *word, fs, host);
  main.OpenFile = [&](const std::string& path) {
    return std::make_unique<FileDocument>(path, store);
  };
  main.OpenDocumentFile(win::Narrow(doc));
  ASSERT_EQ(g.ItemCount, 1);
  main.ListView_IS.SetSelected(1, true);
  main.NewRootPath = win::Narrow(dir + L"\\moved");
  main.Check_relpath.SetValue(0);
  main.Command_Set_Click();
  ASSERT_TRUE(g.Item(1).Changed);

  HANDLE held = CreateFileW(doc.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  main.Command_Save_Click();
  CloseHandle(held);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("Relink it in Word"), std::string::npos) << host.boxes[0].text;
  EXPECT_EQ(ReadAll(doc), original);
  EXPECT_TRUE(g.Item(1).Changed);

  main.Command_Save_Click();
  EXPECT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(ReadAll(doc + L".bak"), original);
  std::string now = ReadAll(doc);
  std::string rels =
      EntryData(std::vector<std::uint8_t>(now.begin(), now.end()), "word/_rels/document.xml.rels");
  EXPECT_NE(rels.find("moved/a.png"), std::string::npos) << rels;
  EXPECT_EQ(main.ListView_IS.Cell(1, 2), "True");

  for (const wchar_t* f : {L"\\Report.docx", L"\\Report.docx.bak", L"\\moved\\a.png"})
    DeleteFileW((dir + f).c_str());
  RemoveDirectoryW((dir + L"\\moved").c_str());
  RemoveDirectoryW(dir.c_str());
}

}  // namespace
}  // namespace ravel
