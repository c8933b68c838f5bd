#include "win32/common/ComValue.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>

#include "win32/common/Utf.h"

namespace ravel::win {

namespace {

[[noreturn]] void Mismatch(VARTYPE vt) {
  char text[96];
  std::snprintf(text, sizeof text, "Type mismatch: a value of variant type %u cannot be used",
                static_cast<unsigned>(vt));
  throw WordError(text, DISP_E_TYPEMISMATCH);
}

Value Unsigned(std::uint64_t u) {
  if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    return static_cast<std::int32_t>(u);
  return static_cast<double>(u);
}

// Values Word's object model does not use but a server may still send: kept as numbers.
Value AsDouble(const VARIANT& v) {
  Variant d;
  if (FAILED(VariantChangeType(d.get(), const_cast<VARIANT*>(&v), 0, VT_R8))) Mismatch(v.vt);
  return d->dblVal;
}

// Windows' own texts for the codes a Word call meets most, for systems that lack them.
const char* KnownText(HRESULT hr) {
  switch (hr) {
    case REGDB_E_CLASSNOTREG:
      return "Class not registered";
    case CO_E_SERVER_EXEC_FAILURE:
      return "Server execution failed";
    case CO_E_NOTINITIALIZED:
      return "CoInitialize has not been called.";
    case RPC_E_DISCONNECTED:
      return "The object invoked has disconnected from its clients.";
    case RPC_E_SERVERCALL_RETRYLATER:
      return "The message filter indicated that the application is busy.";
    case DISP_E_UNKNOWNNAME:
      return "Unknown name.";
    case DISP_E_MEMBERNOTFOUND:
      return "Member not found.";
    case DISP_E_PARAMNOTFOUND:
      return "Parameter not found.";
    case DISP_E_TYPEMISMATCH:
      return "Type mismatch.";
    case DISP_E_BADPARAMCOUNT:
      return "Invalid number of parameters.";
    case DISP_E_EXCEPTION:
      return "Exception occurred.";
    case DISP_E_BADINDEX:
      return "Invalid index.";
    case DISP_E_OVERFLOW:
      return "Out of present range.";
    default:
      return nullptr;
  }
}

}  // namespace

Value ValueOf(const VARIANT& in, const WrapDispatch& wrap) {
  if (in.vt & VT_BYREF) {
    if (in.vt & VT_ARRAY) Mismatch(in.vt);
    Variant direct;
    if (FAILED(VariantCopyInd(direct.get(), const_cast<VARIANT*>(&in)))) Mismatch(in.vt);
    return ValueOf(*direct.get(), wrap);
  }
  switch (in.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return std::monostate{};
    case VT_ERROR:
      if (in.scode == DISP_E_PARAMNOTFOUND) return std::monostate{};
      Mismatch(in.vt);
    case VT_BOOL:
      return in.boolVal != VARIANT_FALSE;
    case VT_I1:
      return std::int32_t{in.cVal};
    case VT_UI1:
      return std::int32_t{in.bVal};
    case VT_I2:
      return std::int32_t{in.iVal};
    case VT_UI2:
      return std::int32_t{in.uiVal};
    case VT_I4:
      return std::int32_t{in.lVal};
    case VT_INT:
      return std::int32_t{in.intVal};
    case VT_UI4:
      return Unsigned(in.ulVal);
    case VT_UINT:
      return Unsigned(in.uintVal);
    case VT_R4:
      return in.fltVal;
    case VT_R8:
      return in.dblVal;
    case VT_CY:
    case VT_DATE:
    case VT_DECIMAL:
    case VT_I8:
    case VT_UI8:
      return AsDouble(in);
    case VT_BSTR:
      return Narrow({in.bstrVal ? in.bstrVal : L"", SysStringLen(in.bstrVal)});
    case VT_DISPATCH:
      return wrap(in.pdispVal);
    case VT_UNKNOWN: {
      if (!in.punkVal) return wrap(nullptr);
      ComPtr<IDispatch> d;
      if (FAILED(in.punkVal->QueryInterface(IID_IDispatch, d.put_void()))) Mismatch(in.vt);
      return wrap(d.get());
    }
    default:
      Mismatch(in.vt);
  }
}

void ToVariant(const Value& v, VARIANT* out, const UnwrapObject& unwrap) {
  struct Fill {
    VARIANT* out;
    const UnwrapObject& unwrap;
    void operator()(std::monostate) const { out->vt = VT_EMPTY; }
    void operator()(bool b) const {
      out->vt = VT_BOOL;
      out->boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    }
    void operator()(std::int32_t i) const {
      out->vt = VT_I4;
      out->lVal = i;
    }
    void operator()(float f) const {
      out->vt = VT_R4;
      out->fltVal = f;
    }
    void operator()(double d) const {
      out->vt = VT_R8;
      out->dblVal = d;
    }
    void operator()(const std::string& s) const {
      std::wstring w = Widen(s);
      BSTR b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
      if (!b) throw std::bad_alloc();
      out->vt = VT_BSTR;
      out->bstrVal = b;
    }
    void operator()(const WObjectPtr& o) const {
      // Set the pointer only once it exists, so a throwing unwrap leaves `out` empty.
      IDispatch* d = o ? unwrap(o) : nullptr;
      out->vt = VT_DISPATCH;
      out->pdispVal = d;
    }
  };
  std::visit(Fill{out, unwrap}, v);
}

std::string SystemMessage(HRESULT hr) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring w(text ? text : L"", n);
  if (text) LocalFree(text);
  while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ')) w.pop_back();
  if (!w.empty()) return Narrow(w);
  if (const char* known = KnownText(hr)) return known;
  char code[32];
  std::snprintf(code, sizeof code, "Error 0x%08lX", static_cast<unsigned long>(hr));
  return code;
}

}  // namespace ravel::win
