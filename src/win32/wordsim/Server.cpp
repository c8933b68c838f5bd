// WordStandIn.exe: the Word stand-in as a local COM server, as Word is one. It serves Word's
// application-global class and Word's Application class from its own process, puts its
// Application object into the Running Object Table while it runs, and reads its document
// from the fixture that RAVELMEND_WORD_FIXTURE names (a Windows path, or a Linux path that
// Wine reaches as Z:).
//
//   WordStandIn.exe -Embedding   started by COM for a client: invisible, stays until Quit
//   WordStandIn.exe              started by the user: visible, stays until Quit
//   WordStandIn.exe /RegServer   registers both classes and Word.Application for this file
//   WordStandIn.exe /UnregServer removes them where they name this file
//
// Like Word it rejects calls while busy (SERVERCALL_RETRYLATER from its message filter) and
// may go away in the middle of an operation; the tests arm both through the members whose
// names start with "StandIn" (see Control below), and RAVELMEND_WORD_BUSY_MS makes it busy
// from its first call on for that many milliseconds.
#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>
#include <olectl.h>
#include <shellapi.h>

#include <chrono>
#include <cstring>
#include <cwchar>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "sim/SimWord.h"
#include "win32/common/ComWord.h"
#include "win32/common/Utf.h"
#include "win32/wordsim/StandInDispatch.h"

namespace {

using ravel::Value;
using ravel::WordError;
using ravel::sim::SimWord;
using namespace ravel::wordsim;
using Clock = std::chrono::steady_clock;

std::wstring EnvironmentValue(const wchar_t* name) {
  DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring v(n, L'\0');
  n = GetEnvironmentVariableW(name, v.data(), n);
  v.resize(n);
  return v;
}

// Windows form, so the fixture's FIXTURE_DIR is a path the program can open.
std::string WindowsPath(std::string p) {
  if (!p.empty() && p[0] == '/') p = "Z:" + p;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

// Word opens only files that are there; so does the stand-in behind COM.
bool FileIsThere(const std::string& path) {
  DWORD a = GetFileAttributesW(ravel::win::Widen(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// Word reads a picture by its content, not its name: a file that starts like none of the
// common picture formats is one it cannot insert.
bool HoldsPicture(const std::string& path) {
  HANDLE f = CreateFileW(ravel::win::Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  unsigned char head[44] = {};
  DWORD got = 0;
  BOOL ok = ReadFile(f, head, sizeof head, &got, nullptr);
  CloseHandle(f);
  if (!ok) return false;
  auto starts = [&](const char* sig, std::size_t n, std::size_t at = 0) {
    return got >= at + n && std::memcmp(head + at, sig, n) == 0;
  };
  return starts("GIF8", 4) || starts("\x89PNG", 4) || starts("\xFF\xD8\xFF", 3) ||
         starts("BM", 2) || starts("II*", 3) || starts("MM\0*", 4) ||
         starts("\xD7\xCD\xC6\x9A", 4) || starts(" EMF", 4, 40);
}

std::shared_ptr<SimWord> LoadWord() {
  std::wstring var = EnvironmentValue(L"RAVELMEND_WORD_FIXTURE");
  std::shared_ptr<SimWord> word;
  if (var.empty()) {
    word = std::make_shared<SimWord>();
  } else {
    try {
      word = ravel::sim::LoadWordFixtureFile(WindowsPath(ravel::win::Narrow(var)));
    } catch (const std::exception& e) {
      // The program then reads "No Document Available" instead of failing to start.
      std::string message = e.what();
      OutputDebugStringW(ravel::win::Widen("WordStandIn: " + message + "\n").c_str());
      word = std::make_shared<SimWord>();
      const std::string& app = word->Application()->Label();
      word->AddFault(app, "ActiveDocument", ravel::sim::Access::Get, false, message);
      word->AddFault(app, "ActiveDocument", ravel::sim::Access::Call, false, message);
    }
  }
  word->SetFileCheck(FileIsThere);
  word->SetPictureCheck(HoldsPicture);
  // Word resolves a relative file name against its own current folder.
  wchar_t folder[MAX_PATH];
  DWORD n = GetCurrentDirectoryW(MAX_PATH, folder);
  if (n > 0 && n < MAX_PATH) {
    std::wstring f(folder, n);
    if (f.size() > 3 && f.back() == L'\\') f.pop_back();
    word->SetCurrentFolder(ravel::win::Narrow(f));
  }
  return word;
}

// When Word is busy and when it goes away, counted in calls that reached it.
void ExitSuddenly();

class Moods {
 public:
  // Busy once `after` more calls have passed: for `ms` milliseconds from the first call it
  // rejects, or for `calls` rejected calls (whichever is given, not 0).
  // `modal`: it answers as Word with a modal dialog open does, RPC_E_CALL_REJECTED.
  void ArmBusy(long after, long ms, long calls, bool modal = false) {
    busy_answer_ = modal ? RPC_E_CALL_REJECTED : RPC_E_SERVERCALL_RETRYLATER;
    busy_at_ = passed_ + after;
    busy_ms_ = ms;
    busy_calls_ = calls;
    busy_since_.reset();
    watch_left_ = 0;
  }
  // As ArmBusy, busy from the call after the `nth` call of `member` has passed (a moment
  // within an operation, whatever its number of calls).
  void ArmBusyAfterMember(const std::string& member, long nth, long ms) {
    ArmBusy(0, ms, 0);
    busy_at_ = -1;
    watch_member_ = member;
    watch_left_ = nth;
  }
  // Gone (the process ends without answering) once `after` more calls have passed.
  void ArmExit(long after) { exit_at_ = passed_ + after; }

  // The verdict for one incoming call. The message filter asks first; under Wine, which
  // ignores a filter's SERVERCALL_RETRYLATER, the object asks again for the same call, so a
  // verdict given by the filter is handed on instead of being counted twice.
  bool RejectFromFilter() {
    verdict_ = Judge();
    return *verdict_;
  }
  HRESULT FromObject(const std::string& member) {
    bool reject = verdict_ ? *verdict_ : Judge();
    verdict_.reset();
    if (reject) return busy_answer_;
    if (exit_at_ >= 0 && passed_ >= exit_at_) ExitSuddenly();
    ++passed_;
    if (watch_left_ > 0 && lstrcmpiA(member.c_str(), watch_member_.c_str()) == 0 &&
        --watch_left_ == 0)
      busy_at_ = passed_;
    return S_OK;
  }
  long Passed() const { return passed_; }
  long Rejected() const { return rejected_; }

 private:
  bool Judge() {
    if (busy_at_ < 0 || passed_ < busy_at_) return false;
    auto now = Clock::now();
    if (!busy_since_) busy_since_ = now;
    bool busy = busy_calls_ > 0 ? busy_left() > 0
                                : now - *busy_since_ < std::chrono::milliseconds(busy_ms_);
    if (!busy) {
      busy_at_ = -1;
      return false;
    }
    ++rejected_;
    ++busy_rejected_;
    return true;
  }
  long busy_left() const { return busy_calls_ - busy_rejected_; }

  long passed_ = 0;
  long rejected_ = 0;
  long busy_at_ = -1;
  long busy_ms_ = 0;
  long busy_calls_ = 0;
  long busy_rejected_ = 0;
  std::optional<Clock::time_point> busy_since_;
  long exit_at_ = -1;
  std::string watch_member_;
  long watch_left_ = 0;
  std::optional<bool> verdict_;
  HRESULT busy_answer_ = RPC_E_SERVERCALL_RETRYLATER;
};

Moods g_moods;

// What the server registered, so that a sudden exit can take it back first. On Windows the
// system drops a dead server's registrations itself; Wine's keeps them and would hand the
// dead server to the next client.
struct Registrations {
  DWORD global = 0, app = 0, rot = 0;
  bool has_global = false, has_app = false, has_rot = false;
  void Revoke() {
    if (std::exchange(has_rot, false)) RevokeActiveObject(rot, nullptr);
    if (std::exchange(has_app, false)) CoRevokeClassObject(app);
    if (std::exchange(has_global, false)) CoRevokeClassObject(global);
  }
};
Registrations g_registrations;

// Word's own message filter refuses incoming calls while it is busy.
class BusyFilter final : public IMessageFilter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
      *ppv = static_cast<IMessageFilter*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
    return g_moods.RejectFromFilter() ? SERVERCALL_RETRYLATER : SERVERCALL_ISHANDLED;
  }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return ~0u; }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }
};

BusyFilter g_filter;

// As a Word that crashed or was ended: the call in progress gets no answer.
void ExitSuddenly() {
  g_registrations.Revoke();
  ExitProcess(3);
}

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(IDispatch* app) : app_(app) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // Lives as long as the server's main function.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // One Application per process, as Word has: every client gets the same object.
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return app_->QueryInterface(riid, ppv);
  }
  // The server stays until Quit whatever the locks say, as Word started by automation does.
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  IDispatch* app_;
};

// --- registration ---

const wchar_t* const kClassKeys[] = {L"CLSID\\{000209F0-0000-0000-C000-000000000046}",
                                     L"CLSID\\{000209FF-0000-0000-C000-000000000046}"};
const wchar_t kProgIdKey[] = L"Word.Application\\CLSID";
const wchar_t kAppClsidText[] = L"{000209FF-0000-0000-C000-000000000046}";

std::wstring ModulePath() {
  std::wstring p(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, p.data(), static_cast<DWORD>(p.size()));
    if (n == 0) return {};
    if (n < p.size()) {
      p.resize(n);
      return p;
    }
    p.resize(p.size() * 2);
  }
}

// HKEY_CLASSES_ROOT, or for the registration tests a scratch key of the current user
// (RAVELMEND_STANDIN_REGROOT names it) so that the prefix's entries stay untouched.
HKEY RegistrationRoot() {
  std::wstring scratch = EnvironmentValue(L"RAVELMEND_STANDIN_REGROOT");
  if (scratch.empty()) return HKEY_CLASSES_ROOT;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

LONG SetText(HKEY root, const std::wstring& subkey, const std::wstring& text) {
  return RegSetKeyValueW(root, subkey.c_str(), nullptr, REG_SZ, text.c_str(),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring GetText(HKEY root, const std::wstring& subkey) {
  wchar_t text[4096] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  if (RegGetValueW(root, subkey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS)
    return {};
  return text;
}

int Register() {
  std::wstring path = ModulePath();
  HKEY root = RegistrationRoot();
  if (path.empty() || !root) return 1;
  LONG r = ERROR_SUCCESS;
  for (const wchar_t* key : kClassKeys)
    if (LONG e = SetText(root, std::wstring(key) + L"\\LocalServer32", path)) r = e;
  if (LONG e = SetText(root, kProgIdKey, kAppClsidText)) r = e;
  if (root != HKEY_CLASSES_ROOT) RegCloseKey(root);
  return r == ERROR_SUCCESS ? 0 : 1;
}

// Removes only entries that name this file: a real Word's stay untouched.
int Unregister() {
  std::wstring path = ModulePath();
  HKEY root = RegistrationRoot();
  if (path.empty() || !root) return 1;
  bool ours = false;
  for (const wchar_t* key : kClassKeys) {
    std::wstring server = std::wstring(key) + L"\\LocalServer32";
    if (CompareStringOrdinal(GetText(root, server).c_str(), -1, path.c_str(), -1, TRUE) !=
        CSTR_EQUAL)
      continue;
    ours = true;
    RegDeleteKeyW(root, server.c_str());
    RegDeleteKeyW(root, key);  // only when nothing else is left under it
  }
  if (ours && GetText(root, kProgIdKey) == kAppClsidText) {
    RegDeleteKeyW(root, kProgIdKey);
    RegDeleteKeyW(root, L"Word.Application");
  }
  if (root != HKEY_CLASSES_ROOT) RegCloseKey(root);
  return 0;
}

// --- serving ---

long LongArg(const std::vector<Value>& args, std::size_t i) {
  if (i >= args.size()) return 0;
  if (auto* l = std::get_if<std::int32_t>(&args[i])) return *l;
  if (auto* d = std::get_if<double>(&args[i])) return static_cast<long>(*d);
  return 0;
}

// The members tests drive the stand-in by. They pass no busy gate and count as no calls.
bool Control(const std::string& name, const std::vector<Value>& args, Value* result) {
  auto is = [&](const char* n) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(), -1, n, -1) == CSTR_EQUAL;
  };
  if (is("StandInBusy")) {  // (after calls, milliseconds, rejected calls, modal dialog 0/1)
    g_moods.ArmBusy(LongArg(args, 0), LongArg(args, 1), LongArg(args, 2), LongArg(args, 3) != 0);
  } else if (is("StandInBusyAfterMember")) {  // (member, nth call of it, milliseconds)
    const auto* member = args.empty() ? nullptr : std::get_if<std::string>(&args[0]);
    g_moods.ArmBusyAfterMember(member ? *member : "", LongArg(args, 1), LongArg(args, 2));
  } else if (is("StandInExitAfter")) {  // (calls)
    g_moods.ArmExit(LongArg(args, 0));
  } else if (is("StandInCalls")) {
    *result = static_cast<std::int32_t>(g_moods.Passed());
  } else if (is("StandInRejected")) {
    *result = static_cast<std::int32_t>(g_moods.Rejected());
  } else if (is("StandInLookups")) {
    *result = static_cast<std::int32_t>(NameLookups());
  } else if (is("StandInPutType")) {  // (member)
    std::wstring member;
    if (!args.empty())
      if (auto* s = std::get_if<std::string>(&args[0])) member = ravel::win::Widen(*s);
    *result = static_cast<std::int32_t>(LastPutType(member.c_str()));
  } else if (is("StandInProcessId")) {
    *result = static_cast<std::int32_t>(GetCurrentProcessId());
  } else {
    return false;
  }
  return true;
}

int Serve(bool by_automation) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return 1;
  int code = 0;
  {
    std::shared_ptr<SimWord> word = LoadWord();
    // Word started for automation runs hidden and is not under the user's control.
    ravel::sim::SimObjectPtr app = word->Application();
    app->Set("Visible", Value(!by_automation));
    app->Set("UserControl", Value(!by_automation));
    std::weak_ptr<ravel::sim::SimObject> weak_app = app;
    app->Define("Application", [weak_app](ravel::sim::SimObject&, const std::vector<Value>&) {
      return Value(ravel::WObjectPtr(weak_app.lock()));
    });
    // The answer goes back first; the loop ends when the call has returned.
    app->Define("Quit", [](ravel::sim::SimObject&, const std::vector<Value>&) {
      PostQuitMessage(0);
      return Value();
    });
    if (long ms = std::wcstol(EnvironmentValue(L"RAVELMEND_WORD_BUSY_MS").c_str(), nullptr, 10);
        ms > 0)
      g_moods.ArmBusy(0, ms, 0);
    SetCallGate([](const std::string& member) { return g_moods.FromObject(member); });
    SetControlHandler(Control);
    CoRegisterMessageFilter(&g_filter, nullptr);

    IDispatch* dispatch = StandInDispatch::Create(app, word);
    ClassFactory factory(dispatch);
    Registrations& r = g_registrations;
    HRESULT a = CoRegisterClassObject(ravel::win::kWordGlobalClsid, &factory, CLSCTX_LOCAL_SERVER,
                                      REGCLS_MULTIPLEUSE, &r.global);
    HRESULT b = CoRegisterClassObject(ravel::win::kWordApplicationClsid, &factory,
                                      CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &r.app);
    // A running Word is found in the Running Object Table under its Application class. A
    // strong entry: under Wine a weak one cannot be taken once the last client let go.
    HRESULT c = RegisterActiveObject(dispatch, ravel::win::kWordApplicationClsid,
                                     ACTIVEOBJECT_STRONG, &r.rot);
    r.has_global = SUCCEEDED(a);
    r.has_app = SUCCEEDED(b);
    r.has_rot = SUCCEEDED(c);
    if (FAILED(a) || FAILED(b) || FAILED(c)) code = 2;
    // Tells a test that started this Word that it is now listed and serving.
    std::wstring ready = L"Local\\WordStandInReady-" + std::to_wstring(GetCurrentProcessId());
    HANDLE ready_event = CreateEventW(nullptr, TRUE, code == 0, ready.c_str());

    MSG msg;
    while (code == 0 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    r.Revoke();
    // Clients holding objects now see Word gone, as after Word's own Quit.
    CoDisconnectObject(dispatch, 0);
    dispatch->Release();
    SetCallGate(nullptr);
    SetControlHandler(nullptr);
    if (ready_event) CloseHandle(ready_event);
    CoRegisterMessageFilter(nullptr, nullptr);
  }
  CoUninitialize();
  return code;
}

bool HasSwitch(const wchar_t* command, const wchar_t* name) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(command, &argc);
  bool found = false;
  for (int i = 1; argv && i < argc && !found; ++i) {
    const wchar_t* a = argv[i];
    if (*a == L'/' || *a == L'-') found = lstrcmpiW(a + 1, name) == 0;
  }
  LocalFree(argv);
  return found;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const wchar_t* command = GetCommandLineW();
  if (HasSwitch(command, L"RegServer")) return Register();
  if (HasSwitch(command, L"UnregServer")) return Unregister();
  try {
    return Serve(HasSwitch(command, L"Embedding") || HasSwitch(command, L"Automation"));
  } catch (...) {
    return 1;
  }
}
