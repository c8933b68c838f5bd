// VARIANT <-> Value, shared by the adapter to Word and the stand-in's COM server. The two
// sides differ only in how an object crosses: each passes its own wrapping function.
#pragma once

#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>

#include <functional>
#include <string>

#include "inventory/WordPort.h"
#include "win32/common/ComPtr.h"

namespace ravel::win {

// Turns an incoming IDispatch (borrowed; may be null) into an object of this side.
using WrapDispatch = std::function<WObjectPtr(IDispatch*)>;
// Turns an object into an IDispatch with a reference for the receiver (null stays null).
using UnwrapObject = std::function<IDispatch*(const WObjectPtr&)>;

// VT_BOOL, the integer types (to Long), VT_R4, VT_R8, VT_BSTR, VT_DISPATCH (and VT_UNKNOWN
// answering IDispatch), VT_EMPTY, VT_NULL and an omitted argument (VT_ERROR
// DISP_E_PARAMNOTFOUND); VT_BYREF of these is read through. An unsigned value beyond a Long,
// and VT_CY, VT_DATE, VT_DECIMAL, VT_I8, VT_UI8, become Double. Anything else throws
// WordError with DISP_E_TYPEMISMATCH.
Value ValueOf(const VARIANT& v, const WrapDispatch& wrap);

// Fills `out`, which must be empty (VT_EMPTY), with the value. monostate gives VT_EMPTY.
void ToVariant(const Value& v, VARIANT* out, const UnwrapObject& unwrap);

// The system's text for an HRESULT, without the trailing line break; "Error 0x8..." when the
// system has none.
std::string SystemMessage(HRESULT hr);

}  // namespace ravel::win
