// WordStandIn.dll: the Word stand-in as an in-process COM server under Word's class id. A
// client's CoCreateInstance gets the Application of a stand-in Word loaded from the fixture
// that RAVELMEND_WORD_FIXTURE names (a Windows path, or a Linux path that Wine reaches as Z:).
#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>
#include <olectl.h>

#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "sim/SimWord.h"
#include "win32/common/ComWord.h"
#include "win32/common/Utf.h"
#include "win32/wordsim/StandInDispatch.h"

namespace {

using ravel::sim::SimWord;
using namespace ravel::wordsim;

HMODULE g_module = nullptr;

const wchar_t kServerKey[] = L"CLSID\\{000209F0-0000-0000-C000-000000000046}\\InprocServer32";
const wchar_t kClassKey[] = L"CLSID\\{000209F0-0000-0000-C000-000000000046}";

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
  return word;
}

class ClassFactory final : public IClassFactory {
 public:
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
  // One static factory: its references only keep the module loaded.
  ULONG STDMETHODCALLTYPE AddRef() override {
    ModuleAddRef();
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ModuleRelease();
    return 1;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      std::shared_ptr<SimWord> word = LoadWord();
      IDispatch* app = StandInDispatch::Create(word->Global(), word);
      HRESULT hr = app->QueryInterface(riid, ppv);
      app->Release();
      return hr;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock)
      ModuleAddRef();
    else
      ModuleRelease();
    return S_OK;
  }
};

ClassFactory g_factory;

std::wstring ModulePath() {
  std::wstring p(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(g_module, p.data(), static_cast<DWORD>(p.size()));
    if (n == 0) return {};
    if (n < p.size()) {
      p.resize(n);
      return p;
    }
    p.resize(p.size() * 2);
  }
}

LONG SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(clsid, ravel::win::kWordGlobalClsid)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow() {
  return ModuleRefs() == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() {
  std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  LONG a = SetText(key, nullptr, path);
  LONG b = SetText(key, L"ThreadingModel", L"Apartment");
  RegCloseKey(key);
  return a == ERROR_SUCCESS && b == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

// Removes the registration only when it names this DLL: a real Word's stays untouched.
HRESULT WINAPI DllUnregisterServer() {
  wchar_t registered[4096] = {};
  LONG size = sizeof registered - sizeof(wchar_t);
  if (RegQueryValueW(HKEY_CLASSES_ROOT, kServerKey, registered, &size) != ERROR_SUCCESS)
    return S_OK;
  if (CompareStringOrdinal(registered, -1, ModulePath().c_str(), -1, TRUE) != CSTR_EQUAL)
    return S_OK;
  if (RegDeleteKeyW(HKEY_CLASSES_ROOT, kServerKey) != ERROR_SUCCESS) return SELFREG_E_CLASS;
  RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);  // only when nothing else is left under it
  return S_OK;
}

// For the tests: GetIDsOfNames calls answered, and the variant type of the last value put
// into a member (-1 when none was).
long WINAPI WordStandInLookupCount() {
  return NameLookups();
}

int WINAPI WordStandInLastPutType(const wchar_t* member) {
  try {
    return LastPutType(member);
  } catch (...) {
    return -1;
  }
}

}  // extern "C"
