// The real program and the real (Wine) registry: options changed and the window closed are
// there at the next start; the menu's Exit leaves them as they were; the splash comes first.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "settings/Registry32.h"
#include "sim/ScriptedHost.h"
#include "win32/common/AdvapiRegistry.h"
#include "win32/common/Utf.h"
#include "win32/gui/MainWindow.h"
#include "win_support.h"

namespace {

using ravel::win::Narrow;

const char* const kProduct = "Software\\Norquill\\Ravelmend";
const char* const kSettings = "Software\\Norquill\\Ravelmend\\Settings";

// A setting as stored, or "(missing)".
std::string Stored(const char* key, const char* name) {
  char buf[64] = {};
  DWORD size = sizeof buf, type = 0;
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return "(missing)";
  LONG s = RegQueryValueExA(k, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
  RegCloseKey(k);
  if (s != ERROR_SUCCESS || type != REG_SZ) return "(missing)";
  return std::string(buf);
}

HWND VisibleWindowOf(DWORD pid, const wchar_t* cls) {
  return ravel::wintest::VisibleWindowOf(pid, [cls](HWND h) {
    wchar_t name[64] = {};
    GetClassNameW(h, name, 64);
    return lstrcmpW(name, cls) == 0;
  });
}

class Started {
 public:
  Started() {
    SetEnvironmentVariableW(L"RAVELMEND_WORD_FIXTURE", nullptr);
    DWORD error = 0;
    started_ = ravel::wintest::StartProgram(ravel::wintest::BuildFolder() + L"\\Ravelmend.exe", pi_,
                                            error);
  }
  ~Started() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
    WaitForSingleObject(pi_.hProcess, 10000);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  Started(const Started&) = delete;
  Started& operator=(const Started&) = delete;

  // Waits for the splash, then for the main window; records whether the splash came first.
  HWND MainWindow() {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end &&
           WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
      if (VisibleWindowOf(pi_.dwProcessId, L"RavelmendSplash") != nullptr) splash_seen = true;
      if (HWND m = VisibleWindowOf(pi_.dwProcessId, ravel::win::MainWindow::kClassName)) return m;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    return nullptr;
  }
  long WaitForExit() {
    if (WaitForSingleObject(pi_.hProcess, 20000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }
  bool Ok() const { return started_; }
  bool splash_seen = false;

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
};

HWND CheckBox(HWND main, const char* caption) {
  return FindWindowExW(main, nullptr, L"Button", ravel::win::Widen(caption).c_str());
}
bool Checked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

const char* const kPreview = "Preview";
const char* const kRelative = "Set SourcePaths relatively from Document, if possible";
const char* const kHidden = "Support hidden Objects";

TEST(SettingsProgram, OptionsLeftAtCloseAreThereAtTheNextStartButNotAfterTheMenusExit) {
  {
    ravel::sim::ScriptedHost quiet;
    ravel::win::AdvapiRegistry api;
    ravel::Registry32 reg(api, quiet);
    reg.DeleteRegistryKeyTree(ravel::kHkeyCurrentUser, kProduct, 0);
  }
  {
    Started first;
    ASSERT_TRUE(first.Ok());
    HWND main = first.MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(first.splash_seen) << "the splash comes before the main window";
    // First run: the defaults were written, the boxes show them.
    EXPECT_EQ(Stored(kProduct, "Version"), "1.2.0");
    EXPECT_EQ(Stored(kSettings, "Preview"), "1");
    EXPECT_TRUE(Checked(CheckBox(main, kPreview)));
    EXPECT_TRUE(Checked(CheckBox(main, kRelative)));
    EXPECT_FALSE(Checked(CheckBox(main, kHidden)));
    SendMessageW(CheckBox(main, kPreview), BM_CLICK, 0, 0);
    SendMessageW(CheckBox(main, kRelative), BM_CLICK, 0, 0);
    EXPECT_FALSE(Checked(CheckBox(main, kPreview)));
    EXPECT_EQ(Stored(kSettings, "Preview"), "1") << "written at the end only";
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitForExit(), 0);
  }
  EXPECT_EQ(Stored(kSettings, "Preview"), "0");
  EXPECT_EQ(Stored(kSettings, "Rel_Path"), "0");
  EXPECT_EQ(Stored(kSettings, "Support_Hidden_Objects"), "0");
  {
    Started second;
    HWND main = second.MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(Checked(CheckBox(main, kPreview)));
    EXPECT_FALSE(Checked(CheckBox(main, kRelative)));
    EXPECT_FALSE(Checked(CheckBox(main, kHidden)));
    // Ticked again, then left through the menu's Exit: not stored.
    SendMessageW(CheckBox(main, kPreview), BM_CLICK, 0, 0);
    EXPECT_TRUE(Checked(CheckBox(main, kPreview)));
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(ravel::win::MainWindow::kMenuExit, 0), 0);
    EXPECT_EQ(second.WaitForExit(), 0);
  }
  EXPECT_EQ(Stored(kSettings, "Preview"), "0");
  {
    // The Exit button stores them.
    Started third;
    HWND main = third.MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(Checked(CheckBox(main, kPreview)));
    SendMessageW(CheckBox(main, kPreview), BM_CLICK, 0, 0);
    PostMessageW(FindWindowExW(main, nullptr, L"Button", L"&Exit"), BM_CLICK, 0, 0);
    EXPECT_EQ(third.WaitForExit(), 0);
  }
  EXPECT_EQ(Stored(kSettings, "Preview"), "1");
  // Without its settings under a valid version, the boxes start unticked; the end of the
  // session (log off, shut down), which sends no WM_CLOSE, stores them and heals the key.
  RegDeleteKeyA(HKEY_CURRENT_USER, kSettings);
  {
    Started fourth;
    HWND main = fourth.MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(Checked(CheckBox(main, kPreview)));
    EXPECT_FALSE(Checked(CheckBox(main, kRelative)));
    SendMessageW(CheckBox(main, kPreview), BM_CLICK, 0, 0);
    SendMessageW(CheckBox(main, kRelative), BM_CLICK, 0, 0);
    EXPECT_TRUE(SendMessageW(main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(Stored(kSettings, "Rel_Path"), "(missing)") << "nothing yet";
    SendMessageW(main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(fourth.WaitForExit(), 0);
  }
  EXPECT_EQ(Stored(kProduct, "Version"), "1.2.0");
  EXPECT_EQ(Stored(kSettings, "Preview"), "1");
  EXPECT_EQ(Stored(kSettings, "Support_Hidden_Objects"), "0");
  EXPECT_EQ(Stored(kSettings, "Rel_Path"), "1");
}

TEST(SettingsProgram, AnotherVersionsKeyIsReplacedAndTheProgramStillStarts) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &k, nullptr),
            ERROR_SUCCESS);
  DWORD one = 1;
  RegSetValueExA(k, "Preview", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
  RegCloseKey(k);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kProduct, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(k, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("0.9"), 4);
  RegCloseKey(k);
  {
    Started run;
    HWND main = run.MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(Checked(CheckBox(main, kPreview)));
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(ravel::win::MainWindow::kMenuExit, 0), 0);
    EXPECT_EQ(run.WaitForExit(), 0);
  }
  EXPECT_EQ(Stored(kProduct, "Version"), "1.2.0");
  EXPECT_EQ(Stored(kSettings, "Preview"), "1") << "the defaults, as text";
}

}  // namespace
