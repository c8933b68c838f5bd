#include "win32/common/ComMessageFilter.h"

#include <utility>

namespace ravel::win {

namespace {
thread_local bool refused_for_good = false;
}  // namespace

bool TakeRefusedForGood() {
  return std::exchange(refused_for_good, false);
}

BusyRetryFilter::BusyRetryFilter(DWORD patience_ms, std::function<void(bool)> notice)
    : patience_ms_(patience_ms), notice_(std::move(notice)) {}

void BusyRetryFilter::Register() {
  if (!registered_) registered_ = SUCCEEDED(CoRegisterMessageFilter(this, &previous_));
}

BusyRetryFilter::~BusyRetryFilter() {
  if (registered_) {
    IMessageFilter* ours = nullptr;
    CoRegisterMessageFilter(previous_, &ours);
    if (previous_) previous_->Release();
  }
}

HRESULT BusyRetryFilter::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
    *ppv = static_cast<IMessageFilter*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

DWORD BusyRetryFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) {
  return SERVERCALL_ISHANDLED;
}

DWORD BusyRetryFilter::RetryRejectedCall(HTASK, DWORD tick_count, DWORD reject_type) {
  // A call refused outright will not be taken later: only "busy, retry later" is retried.
  if (reject_type == SERVERCALL_RETRYLATER && tick_count < patience_ms_) {
    if (notice_) notice_(true);
    return 100;
  }
  refused_for_good = reject_type != SERVERCALL_RETRYLATER;
  return static_cast<DWORD>(-1);
}

// Keyboard and mouse wait; paint and other default handling go on.
DWORD BusyRetryFilter::MessagePending(HTASK, DWORD, DWORD) {
  return PENDINGMSG_WAITDEFPROCESS;
}

}  // namespace ravel::win
