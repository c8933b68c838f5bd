// IDispatch over an object of the Word stand-in, so that a client reaches the stand-in through
// real COM exactly as it reaches Word: by member name, with DISPIDs from one process-wide
// table, errors as DISP_E_EXCEPTION with Word's description.
#pragma once

#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "inventory/WordPort.h"

namespace ravel::wordsim {

// Objects, class factory references and server locks alive in this process.
void ModuleAddRef();
void ModuleRelease();
long ModuleRefs();

// GetIDsOfNames calls answered so far, all objects together.
long NameLookups();
// Variant type of the last value put into `member` (any object), or -1 when none was.
int LastPutType(const wchar_t* member);

// Members whose names start with this are the stand-in's own, for the tests that drive it:
// they pass no gate and are not counted as lookups.
inline constexpr wchar_t kControlPrefix[] = L"StandIn";
bool IsControlName(const wchar_t* name);

// Asked before every other incoming call (lookups too, with no member name): S_OK lets it
// through, a failure is the call's answer (a busy Word's RPC_E_SERVERCALL_RETRYLATER). None:
// every call passes.
void SetCallGate(std::function<HRESULT(const std::string& member)> gate);
// Answers the stand-in's own members on any object: true when `name` was one of them.
using ControlHandler =
    std::function<bool(const std::string& name, const std::vector<Value>& args, Value* result)>;
void SetControlHandler(ControlHandler handler);

class StandInDispatch final : public IDispatch {
 public:
  // A new wrapper with one reference for the caller. `keep` holds what the object lives in
  // (the stand-in Word) for as long as any wrapper of it exists.
  static IDispatch* Create(WObjectPtr obj, std::shared_ptr<void> keep);
  // The object behind one of our wrappers; null for anybody else's IDispatch.
  static WObjectPtr ObjectOf(IDispatch* d);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* arg_err) override;

 private:
  StandInDispatch(WObjectPtr obj, std::shared_ptr<void> keep);
  ~StandInDispatch();

  std::atomic<ULONG> refs_{1};
  WObjectPtr obj_;
  std::shared_ptr<void> keep_;
};

}  // namespace ravel::wordsim
