#include "win32/wordsim/StandInDispatch.h"

#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "win32/common/ComPtr.h"
#include "win32/common/ComValue.h"
#include "win32/common/Utf.h"

namespace ravel::wordsim {

namespace {

std::atomic<long> g_module_refs{0};
std::atomic<long> g_lookups{0};
std::function<HRESULT(const std::string&)> g_gate;
ControlHandler g_control;

HRESULT Gate(const std::string& member = {}) {
  return g_gate ? g_gate(member) : S_OK;
}

// Answers QueryInterface only on our own wrappers, so an incoming object can be unwrapped.
// {6F1E2A4C-5B7D-4C3E-9A8F-2D1B0C9E8F71}
const IID kIidStandIn = {
    0x6f1e2a4c, 0x5b7d, 0x4c3e, {0x9a, 0x8f, 0x2d, 0x1b, 0x0c, 0x9e, 0x8f, 0x71}};

std::wstring Lower(const wchar_t* s) {
  std::wstring w(s ? s : L"");
  if (!w.empty()) CharLowerBuffW(w.data(), static_cast<DWORD>(w.size()));
  return w;
}

// Names compare without case, as automation compares them; a new name gets the next id.
class NameTable {
 public:
  DISPID IdOf(const wchar_t* name) {
    std::wstring key = Lower(name);
    std::lock_guard<std::mutex> lock(m_);
    auto it = ids_.find(key);
    if (it != ids_.end()) return it->second;
    names_.push_back(win::Narrow(name));
    DISPID id = static_cast<DISPID>(names_.size());
    ids_.emplace(std::move(key), id);
    return id;
  }
  bool NameOf(DISPID id, std::string* name) {
    std::lock_guard<std::mutex> lock(m_);
    if (id < 1 || static_cast<std::size_t>(id) > names_.size()) return false;
    *name = names_[static_cast<std::size_t>(id) - 1];
    return true;
  }
  void NotePut(const std::string& member, VARTYPE vt) {
    std::wstring key = Lower(win::Widen(member).c_str());
    std::lock_guard<std::mutex> lock(m_);
    put_types_[key] = vt;
  }
  int PutType(const wchar_t* member) {
    std::wstring key = Lower(member);
    std::lock_guard<std::mutex> lock(m_);
    auto it = put_types_.find(key);
    return it == put_types_.end() ? -1 : it->second;
  }

 private:
  std::mutex m_;
  std::map<std::wstring, DISPID> ids_;
  std::vector<std::string> names_;  // id - 1 -> the spelling first seen
  std::map<std::wstring, VARTYPE> put_types_;
};

NameTable& Names() {
  static NameTable table;
  return table;
}

// A WordError's code as automation wants it: a failing HRESULT. Word's own error numbers
// (438, 5941, ...) are carried in the control facility, as Visual Basic does.
HRESULT ScodeOf(std::int32_t code) {
  if (code < 0) return static_cast<HRESULT>(code);
  if (code > 0 && code <= 0xFFFF) return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, code);
  return E_FAIL;
}

HRESULT Fail(EXCEPINFO* excep, const std::string& description, HRESULT scode) {
  if (!excep) return scode;
  std::memset(excep, 0, sizeof *excep);
  excep->bstrSource = SysAllocString(L"Microsoft Word");
  std::wstring w = win::Widen(description);
  excep->bstrDescription = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
  excep->scode = scode;
  return DISP_E_EXCEPTION;
}

WObjectPtr Unwrap(IDispatch* d) {
  if (!d) return nullptr;
  WObjectPtr o = StandInDispatch::ObjectOf(d);
  if (!o) throw WordError("Type mismatch: not an object of this Word", DISP_E_TYPEMISMATCH);
  return o;
}

}  // namespace

void ModuleAddRef() {
  ++g_module_refs;
}
void ModuleRelease() {
  --g_module_refs;
}
long ModuleRefs() {
  return g_module_refs;
}
long NameLookups() {
  return g_lookups;
}
int LastPutType(const wchar_t* member) {
  return Names().PutType(member);
}
bool IsControlName(const wchar_t* name) {
  const std::size_t n = std::char_traits<wchar_t>::length(kControlPrefix);
  return name && std::wcslen(name) >= n && std::wcsncmp(name, kControlPrefix, n) == 0;
}
void SetCallGate(std::function<HRESULT(const std::string&)> gate) {
  g_gate = std::move(gate);
}
void SetControlHandler(ControlHandler handler) {
  g_control = std::move(handler);
}

StandInDispatch::StandInDispatch(WObjectPtr obj, std::shared_ptr<void> keep)
    : obj_(std::move(obj)), keep_(std::move(keep)) {
  ModuleAddRef();
}

StandInDispatch::~StandInDispatch() {
  ModuleRelease();
}

IDispatch* StandInDispatch::Create(WObjectPtr obj, std::shared_ptr<void> keep) {
  return new StandInDispatch(std::move(obj), std::move(keep));
}

WObjectPtr StandInDispatch::ObjectOf(IDispatch* d) {
  win::ComPtr<StandInDispatch> self;
  if (!d || FAILED(d->QueryInterface(kIidStandIn, self.put_void())) || !self) return nullptr;
  return self->obj_;
}

HRESULT StandInDispatch::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, kIidStandIn)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG StandInDispatch::AddRef() {
  return ++refs_;
}

ULONG StandInDispatch::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT StandInDispatch::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT StandInDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT StandInDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                       DISPID* ids) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  bool control = true;
  for (UINT i = 0; i < count; ++i) control = control && IsControlName(names[i]);
  if (!control) {
    if (HRESULT hr = Gate(); FAILED(hr)) return hr;
    ++g_lookups;
  }
  try {
    for (UINT i = 0; i < count; ++i) ids[i] = Names().IdOf(names[i]);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT StandInDispatch::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!params || (params->cArgs && !params->rgvarg)) return E_INVALIDARG;
  const UINT n = params->cArgs;
  UINT at = 0;  // rgvarg index being converted, for DISP_E_TYPEMISMATCH
  try {
    std::string name;
    if (!Names().NameOf(id, &name)) return DISP_E_MEMBERNOTFOUND;
    const bool control = IsControlName(win::Widen(name).c_str());
    if (!control)
      if (HRESULT hr = Gate(name); FAILED(hr)) return hr;

    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
          params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
        return DISP_E_PARAMNOTFOUND;
      if (n != 1) return DISP_E_BADPARAMCOUNT;
      Value v = win::ValueOf(params->rgvarg[0], Unwrap);
      at = n;
      Names().NotePut(name, params->rgvarg[0].vt);
      obj_->Put(name, v);
      return S_OK;
    }
    if (params->cNamedArgs) return DISP_E_NONAMEDARGS;
    if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return E_INVALIDARG;

    // The client fills them last to first. Word takes an omitted argument only as VT_ERROR
    // DISP_E_PARAMNOTFOUND; an empty variant is a value it cannot use.
    std::vector<Value> args(n);
    for (UINT i = 0; i < n; ++i) {
      at = n - 1 - i;
      if (params->rgvarg[at].vt == VT_EMPTY)
        throw WordError("Type mismatch: an empty argument", DISP_E_TYPEMISMATCH);
      args[i] = win::ValueOf(params->rgvarg[at], Unwrap);
    }
    at = n;
    Value r;
    if (!(control && g_control && g_control(name, args, &r)))
      r = (flags & DISPATCH_PROPERTYGET) ? obj_->Get(name, args) : obj_->Call(name, args);
    if (result) {
      win::Variant out;
      win::ToVariant(r, out.get(), [this](const WObjectPtr& o) { return Create(o, keep_); });
      VariantInit(result);
      out.detach(result);
    }
    return S_OK;
  } catch (const WordError& e) {
    if (e.Code() == DISP_E_TYPEMISMATCH && at < n) {
      if (arg_err) *arg_err = at;
      return DISP_E_TYPEMISMATCH;
    }
    return Fail(excep, e.Description(), ScodeOf(e.Code()));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    return Fail(excep, e.what(), E_FAIL);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace ravel::wordsim
