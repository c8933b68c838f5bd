// Helpers the Windows-side tests share: paths in Wine's form, window texts, and waiting for
// windows and states with one generous deadline.
#pragma once

#include "win32/gui/Win.h"
// (gtest after windows.h)
#include <gtest/gtest.h>
// (after windows.h)
#include <oleauto.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "inventory/Word.h"
#include "win32/common/ComPtr.h"
#include "win32/common/ComWord.h"
#include "win32/common/Utf.h"

namespace ravel::wintest {

// How long a test waits for a window to come or go, or a state to arrive. A loaded machine
// can slow Wine by seconds; waiting costs nothing once the awaited thing is there. Well below
// ctest's limit for one test, so a timeout ends in the test's own failure, not a kill.
constexpr int kPatienceMs = 30000;

// A path of this (Linux) machine as the program under Wine sees it: Z: maps onto /.
inline std::string WindowsPath(std::string p) {
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

inline std::string Text(HWND h) {
  int n = GetWindowTextLengthW(h);
  std::wstring t(static_cast<std::size_t>(n) + 1, L'\0');
  n = GetWindowTextW(h, t.data(), n + 1);
  t.resize(static_cast<std::size_t>(n));
  return win::Narrow(t);
}

// The font a control draws its text with.
inline LOGFONTW FontOf(HWND h) {
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf;
}

// Holds `key` down (as far as this thread's keyboard state tells) while `act` runs.
inline void WithKeyDown(int key, const std::function<void()>& act) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[key] = 0x80;
  SetKeyboardState(keys);
  act();
  keys[key] = 0;
  SetKeyboardState(keys);
}

// Lets this thread's window messages run until `done` holds or `ms` have passed.
inline bool PumpUntil(const std::function<bool()>& done, int ms = kPatienceMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  MSG msg;
  for (;;) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// From a helper thread (the test's own thread sits in a modal loop): checks `done` until it
// holds or `ms` have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms = kPatienceMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

inline bool WaitGone(HWND h, int ms = kPatienceMs) {
  return WaitFor([&] { return !IsWindow(h); }, ms);
}

// The Word stand-in's COM server reads its document from this fixture (none: no document).
inline void UseFixture(const std::string& windows_path) {
  SetEnvironmentVariableW(L"RAVELMEND_WORD_FIXTURE",
                          windows_path.empty() ? nullptr : win::Widen(windows_path).c_str());
}

// The fixture for one scope.
struct FixtureInUse {
  explicit FixtureInUse(const std::string& windows_path) { UseFixture(windows_path); }
  ~FixtureInUse() { UseFixture(""); }
  FixtureInUse(const FixtureInUse&) = delete;
  FixtureInUse& operator=(const FixtureInUse&) = delete;
};

// The first visible top-level window of process `pid` that `match` accepts, or null.
inline HWND VisibleWindowOf(DWORD pid, const std::function<bool(HWND)>& match) {
  struct Search {
    DWORD pid;
    const std::function<bool(HWND)>& match;
    HWND found;
  } s{pid, match, nullptr};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD owner_pid = 0;
        GetWindowThreadProcessId(h, &owner_pid);
        if (owner_pid != s->pid || !IsWindowVisible(h) || !s->match(h)) return TRUE;
        s->found = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// A visible window of `thread` (of this process) of class `cls` holding a child of class
// `child` (if given), or null when none came in time.
inline HWND WaitForWindow(DWORD thread, const wchar_t* cls, const wchar_t* child = nullptr,
                          int ms = kPatienceMs) {
  HWND found = nullptr;
  WaitFor(
      [&] {
        found = VisibleWindowOf(GetCurrentProcessId(), [&](HWND h) {
          wchar_t name[64] = {};
          GetClassNameW(h, name, 64);
          return GetWindowThreadProcessId(h, nullptr) == thread && lstrcmpW(name, cls) == 0 &&
                 (child == nullptr || FindWindowExW(h, nullptr, child, nullptr) != nullptr);
        });
        return found != nullptr;
      },
      ms);
  return found;
}

// Runs `modal`, which holds this thread in a modal loop, while a second thread waits for this
// thread's dialog of class `cls` (holding a child of class `child`, if given), hands it to
// `act`, which must close it, and waits for it to go. What went wrong, or "".
inline std::string AnswerDialog(const wchar_t* cls, const wchar_t* child,
                                const std::function<void(HWND)>& act,
                                const std::function<void()>& modal) {
  DWORD ui = GetCurrentThreadId();
  std::string trouble;
  std::thread helper([&] {
    HWND dlg = WaitForWindow(ui, cls, child);
    if (dlg != nullptr) act(dlg);
    trouble = dlg == nullptr ? "no dialog came" : WaitGone(dlg) ? "" : "the dialog stayed open";
    if (!trouble.empty()) PostThreadMessageW(ui, WM_QUIT, 0, 0);  // frees the test's thread
  });
  modal();
  helper.join();
  return trouble;
}

// Presses a dialog's button as a click on it notifies the dialog.
inline void Press(HWND dlg, int button) {
  SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dlg, button)));
}

// Word's answer as text with its type: equal lines mean the client saw exactly what the
// stand-in answered.
inline std::string Describe(const Value& v) {
  struct Text {
    std::string operator()(std::monostate) const { return "Empty"; }
    std::string operator()(bool b) const { return b ? "Boolean True" : "Boolean False"; }
    std::string operator()(std::int32_t i) const { return "Long " + std::to_string(i); }
    std::string operator()(float f) const {
      char t[40];
      std::snprintf(t, sizeof t, "Single %.9g", f);
      return t;
    }
    std::string operator()(double d) const {
      char t[40];
      std::snprintf(t, sizeof t, "Double %.17g", d);
      return t;
    }
    std::string operator()(const std::string& s) const { return "String " + s; }
    std::string operator()(const WObjectPtr& o) const { return o ? "Object" : "Nothing"; }
  };
  return std::visit(Text{}, v);
}

// Appends "what = <answer>" or, when Word refuses, "what ! <Word's description>".
inline void Note(std::vector<std::string>& out, const std::string& what,
                 const std::function<Value()>& get) {
  try {
    out.push_back(what + " = " + Describe(get()));
  } catch (const WordError& e) {
    out.push_back(what + " ! " + e.Description());
  }
}

// Starts `exe` with no arguments but its own name. Under a loaded Wine a start can fail at
// once and succeed a moment later, so a few tries are made; the last error is kept when all
// fail.
inline bool StartProgram(const std::wstring& exe, PROCESS_INFORMATION& pi, DWORD& error) {
  std::wstring command = L"\"" + exe + L"\"";
  for (int attempt = 0; attempt < 5; ++attempt) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi) != FALSE)
      return true;
    error = GetLastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return false;
}

// The folder of the running test program, where the program and the stand-in are built.
inline std::wstring BuildFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path);
  return p.substr(0, p.find_last_of(L"\\/"));
}

// Process ids of every running Word stand-in.
inline std::vector<DWORD> StandInProcesses() {
  std::vector<DWORD> out;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return out;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    if (lstrcmpiW(e.szExeFile, L"WordStandIn.exe") == 0) out.push_back(e.th32ProcessID);
  CloseHandle(snap);
  return out;
}

// The Word listed in the Running Object Table, or null.
inline win::ComPtr<IDispatch> RunningWord() {
  win::ComPtr<IUnknown> unk;
  if (FAILED(GetActiveObject(win::kWordApplicationClsid, nullptr, unk.put())) || !unk)
    return nullptr;
  return unk.As<IDispatch>(IID_IDispatch);
}

// A member of the running stand-in, through a connection of the test's own (so the
// program's counts stay untouched): its test members ("StandInLookups", ...) or Word's.
inline Value AskRunningWord(const std::string& member, const std::vector<Value>& args = {}) {
  win::ComInit com;  // for tests whose thread has not joined COM (an answer is no object)
  win::ComPtr<IDispatch> d = RunningWord();
  if (!d) throw WordError("no Word is running");
  win::ComObject app(d, std::make_shared<win::ComSession>(), "");
  return app.Call(member, args);
}

// Ends every stand-in: Quit through the table as a user would, then, for one that does not
// go, its process. Each test starts and ends with none, so no test sees another's Word.
inline void EndStandIns() {
  win::ComInit com;
  for (int i = 0; i < 8 && RunningWord(); ++i) {
    try {
      AskRunningWord("StandInBusy", {Value(0), Value(0), Value(0)});  // calm first
      AskRunningWord("Quit");
    } catch (const WordError&) {
    }
    WaitFor([] { return !RunningWord(); }, 5000);
  }
  WaitFor([] { return StandInProcesses().empty(); }, 5000);
  for (DWORD pid : StandInProcesses()) {
    if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
      TerminateProcess(h, 98);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
  }
}

// A failing Word call's description (and its code), or "(no error)".
inline std::string ErrorOf(const std::function<void()>& f, std::int32_t* code = nullptr) {
  try {
    f();
  } catch (const WordError& e) {
    if (code) *code = e.Code();
    return e.Description();
  }
  return "(no error)";
}

// A test that talks to the stand-in through COM: no fixture and no stand-in running before
// or after it.
class StandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(com_.Result()));
    UseFixture("");
    EndStandIns();
  }
  void TearDown() override {
    UseFixture("");
    EndStandIns();
  }
  win::ComInit com_;
};

// No stand-in before and none after the scope.
struct NoStandInsLeft {
  NoStandInsLeft() { EndStandIns(); }
  ~NoStandInsLeft() { EndStandIns(); }
  NoStandInsLeft(const NoStandInsLeft&) = delete;
  NoStandInsLeft& operator=(const NoStandInsLeft&) = delete;
};

// Starts the stand-in as a user starts Word (with the fixture this process has set) and
// waits until it is listed in the Running Object Table and serving.
inline bool StartWordAsUser() {
  std::wstring exe = BuildFolder() + L"\\WordStandIn.exe";
  PROCESS_INFORMATION pi{};
  DWORD error = 0;
  if (!StartProgram(exe, pi, error)) return false;
  std::wstring ready = L"Local\\WordStandInReady-" + std::to_wstring(pi.dwProcessId);
  bool ok = WaitFor([&] {
    HANDLE e = OpenEventW(SYNCHRONIZE, FALSE, ready.c_str());
    if (!e) return WaitForSingleObject(pi.hProcess, 0) != WAIT_TIMEOUT;  // ended: give up
    bool set = WaitForSingleObject(e, 0) == WAIT_OBJECT_0;
    CloseHandle(e);
    return set;
  });
  ok = ok && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return ok;
}

}  // namespace ravel::wintest
