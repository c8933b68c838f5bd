#include "win32/common/ComWord.h"

#include <cstring>

#include "win32/common/ComValue.h"
#include "win32/common/Utf.h"

namespace ravel::win {

// {000209F0-0000-0000-C000-000000000046}
const CLSID kWordGlobalClsid = {
    0x000209F0, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Owns the texts a failing Invoke hands back.
struct ExcepInfo : EXCEPINFO {
  ExcepInfo() { std::memset(static_cast<EXCEPINFO*>(this), 0, sizeof(EXCEPINFO)); }
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;
  ~ExcepInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
};

[[noreturn]] void ThrowFailure(HRESULT hr, ExcepInfo& ei, UINT arg_err, std::string_view member,
                               std::size_t nargs) {
  if (hr == DISP_E_EXCEPTION) {
    if (ei.pfnDeferredFillIn) {
      ei.pfnDeferredFillIn(&ei);
      ei.pfnDeferredFillIn = nullptr;
    }
    HRESULT code = ei.scode;
    if (code == 0) code = ei.wCode ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, ei.wCode) : hr;
    std::wstring_view desc(ei.bstrDescription ? ei.bstrDescription : L"",
                           SysStringLen(ei.bstrDescription));
    // Word's own words reach the user unchanged.
    throw WordError(desc.empty() ? SystemMessage(code) : Narrow(desc), code);
  }
  std::string text = SystemMessage(hr) + " (" + std::string(member);
  if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && arg_err < nargs)
    text += ", argument " + std::to_string(nargs - arg_err);
  throw WordError(text + ")", hr);
}

IDispatch* DispatchOf(const WObjectPtr& o) {
  auto* c = dynamic_cast<ComObject*>(o.get());
  if (!c)
    throw WordError("Type mismatch: only Word's own objects can be passed to Word",
                    DISP_E_TYPEMISMATCH);
  IDispatch* d = c->Dispatch();
  if (d) d->AddRef();
  return d;
}

}  // namespace

DISPID DispIdCache::Lookup(IDispatch* d, const std::string& kind, std::string_view member) {
  std::string key = LowerAscii(kind + '|' + std::string(member));
  auto it = map_.find(key);
  if (it == map_.end()) {
    std::wstring name = Widen(member);
    LPOLESTR names[1] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    ++lookups_;
    HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    it = map_.emplace(std::move(key), Entry{id, hr}).first;
  }
  if (FAILED(it->second.hr))
    throw WordError(SystemMessage(it->second.hr) + " (" + std::string(member) + ")", it->second.hr);
  return it->second.id;
}

Value ComObject::Get(std::string_view member, const std::vector<Value>& args) {
  return Invoke(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args);
}

Value ComObject::Call(std::string_view method, const std::vector<Value>& args) {
  return Invoke(method, DISPATCH_METHOD, args);
}

void ComObject::Put(std::string_view member, const Value& v) {
  Invoke(member, DISPATCH_PROPERTYPUT, {v});
}

Value ComObject::Invoke(std::string_view member, WORD flags, const std::vector<Value>& args) {
  DISPID id = cache_->Lookup(d_.get(), kind_, member);

  // Automation takes the arguments last to first.
  const std::size_t n = args.size();
  VariantArray argv(n);
  for (std::size_t i = 0; i < n; ++i) ToVariant(args[i], &argv[n - 1 - i], DispatchOf);

  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = argv.data();
  params.cArgs = static_cast<UINT>(n);
  const bool put = flags == DISPATCH_PROPERTYPUT;
  if (put) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }

  Variant result;
  ExcepInfo ei;
  UINT arg_err = 0;
  HRESULT hr = d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                          put ? nullptr : result.get(), &ei, &arg_err);
  if (FAILED(hr)) ThrowFailure(hr, ei, arg_err, member, n);
  if (put) return std::monostate{};

  std::string child = kind_.empty() ? std::string(member) : kind_ + '.' + std::string(member);
  return ValueOf(*result.get(), [&](IDispatch* d) -> WObjectPtr {
    if (!d) return nullptr;
    return std::make_shared<ComObject>(ComPtr<IDispatch>(d), cache_, child);
  });
}

ComWord::ComWord(const CLSID& clsid) : clsid_(clsid), cache_(std::make_shared<DispIdCache>()) {}

WObjectPtr ComWord::Global() {
  if (!global_) {
    ComPtr<IDispatch> d;
    HRESULT hr = CoCreateInstance(clsid_, nullptr, CLSCTX_SERVER, IID_IDispatch, d.put_void());
    if (FAILED(hr) || !d)
      throw WordError(
          "Microsoft Word is not available: " + SystemMessage(FAILED(hr) ? hr : E_NOINTERFACE),
          FAILED(hr) ? hr : E_NOINTERFACE);
    global_ = std::make_shared<ComObject>(std::move(d), cache_, std::string());
  }
  return global_;
}

}  // namespace ravel::win
