// The UI thread's message filter: COM asks it what to do when Word rejects a call because it
// is busy. It has the call tried again every 100 ms for a bounded time, telling the program
// while it waits, and lets pending paint messages through so the window stays drawn.
#pragma once

#include <windows.h>
// (the OLE headers need windows.h first)
#include <objidl.h>

#include <functional>

namespace ravel::win {

// Whether the last call of this thread was refused for good by the server (not merely busy);
// clears the mark. A call failing with RPC_E_CALL_REJECTED is then no busy answer.
bool TakeRefusedForGood();

class BusyRetryFilter final : public IMessageFilter {
 public:
  // `patience_ms`: how long since the call began a rejected call is still tried again.
  // `notice(true)` at each retry; the adapter (ComSession) says when Word answers again.
  explicit BusyRetryFilter(DWORD patience_ms = 30000, std::function<void(bool)> notice = {});
  // Registered for the calling thread for the object's lifetime; the previous filter is put
  // back at the end.
  void Register();
  ~BusyRetryFilter();
  BusyRetryFilter(const BusyRetryFilter&) = delete;
  BusyRetryFilter& operator=(const BusyRetryFilter&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override;
  // SERVERCALL_RETRYLATER within the patience: retry after 100 ms; otherwise cancel (-1),
  // and the call fails with RPC_E_CALL_REJECTED. A call Word refuses for good
  // (SERVERCALL_REJECTED) is cancelled at once and marked so (TakeRefusedForGood).
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK callee, DWORD tick_count,
                                            DWORD reject_type) override;
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override;

 private:
  DWORD patience_ms_;
  std::function<void(bool)> notice_;
  bool registered_ = false;
  IMessageFilter* previous_ = nullptr;
};

}  // namespace ravel::win
