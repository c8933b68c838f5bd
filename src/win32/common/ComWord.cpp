#include "win32/common/ComWord.h"

#include "win32/common/ComMessageFilter.h"

#include <chrono>
#include <cstring>

#include "win32/common/ComTrace.h"
#include "win32/common/ComValue.h"
#include "win32/common/Utf.h"

namespace ravel::win {

// {000209F0-0000-0000-C000-000000000046}
const CLSID kWordGlobalClsid = {
    0x000209F0, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {000209FF-0000-0000-C000-000000000046}
const CLSID kWordApplicationClsid = {
    0x000209FF, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

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

// Word's answer to a failed call as the error the port throws: EXCEPINFO's own words when
// Word gave them, the system's text for the HRESULT otherwise.
WordError FailureOf(HRESULT hr, ExcepInfo& ei, UINT arg_err, std::string_view member,
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
    return WordError(desc.empty() ? SystemMessage(code) : Narrow(desc), code);
  }
  std::string text = SystemMessage(hr) + " (" + std::string(member);
  if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND) && arg_err < nargs)
    text += ", argument " + std::to_string(nargs - arg_err);
  return WordError(text + ")", hr);
}

double MsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// Lets the windows of this thread repaint (and nothing else run) for `ms`, as COM's default
// handling of pending messages does while a call waits.
void WaitPainting(std::chrono::milliseconds ms) {
  auto end = std::chrono::steady_clock::now() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_PAINT);
  }
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

DISPID DispIdCache::Lookup(const std::function<HRESULT(DISPID*)>& ask, const std::string& kind,
                           std::string_view member) {
  std::string key = LowerAscii(kind + '|' + std::string(member));
  auto it = map_.find(key);
  if (it != map_.end()) {
    if (FAILED(it->second.hr))
      throw WordError(SystemMessage(it->second.hr) + " (" + std::string(member) + ")",
                      it->second.hr);
    return it->second.id;
  }
  DISPID id = DISPID_UNKNOWN;
  ++lookups_;
  HRESULT hr = ask(&id);
  // Only Word's "no such member" is an answer for the run; anything else may pass.
  if (SUCCEEDED(hr) || hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND)
    map_.emplace(std::move(key), Entry{id, hr});
  if (FAILED(hr)) throw WordError(SystemMessage(hr) + " (" + std::string(member) + ")", hr);
  return id;
}

bool IsBusyAnswer(HRESULT hr) {
  return hr == RPC_E_SERVERCALL_RETRYLATER || hr == RPC_E_CALL_REJECTED;
}

bool IsGoneAnswer(HRESULT hr) {
  return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == RPC_E_SERVER_DIED_DNE ||
         hr == CO_E_OBJNOTCONNECTED || hr == RPC_E_CONNECTION_TERMINATED ||
         hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
         hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
         hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE) ||
         hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF) || hr == CO_E_SERVER_STOPPING;
}

HRESULT ComSession::WhileBusy(const std::function<HRESULT()>& call, int* retries) {
  auto start = std::chrono::steady_clock::now();
  bool waiting = false;
  int tries = 0;
  HRESULT hr;
  for (;;) {
    TakeRefusedForGood();
    hr = call();
    // Refused for good (not busy): no wait will change the answer.
    if (!IsBusyAnswer(hr) || TakeRefusedForGood()) break;
    if (std::chrono::steady_clock::now() - start >= patience) {
      if (!busy_ask) break;
      // As Office's own busy dialog: try again for another while, or stop the operation.
      if (!busy_ask()) {
        if (busy_notice) busy_notice(false);
        throw OperationCancelled();
      }
      start = std::chrono::steady_clock::now();
      continue;
    }
    if (!waiting && busy_notice) busy_notice(true);
    waiting = true;
    ++tries;
    WaitPainting(std::chrono::milliseconds(100));
  }
  // Also after a wait COM's message filter did on its own (the notice is idempotent).
  if (busy_notice) busy_notice(false);
  if (retries) *retries = tries;
  return hr;
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
  ComSession& session = *session_;
  const auto started = std::chrono::steady_clock::now();
  const bool put = flags == DISPATCH_PROPERTYPUT;
  const char* access = put ? "put" : flags == DISPATCH_METHOD ? "call" : "get";
  auto trace_failure = [&](HRESULT hr, const WordError& e, int retries, const char* how) {
    if (IsGoneAnswer(hr)) session.lost = true;
    if (session.trace)
      session.trace->Write({kind_, member, how, &args, nullptr, hr, "", e.Description(), e.Code(),
                            retries, MsSince(started)});
  };

  DISPID id = DISPID_UNKNOWN;
  try {
    id = session.cache.Lookup(
        [&](DISPID* out) {
          std::wstring name = Widen(member);
          LPOLESTR names[1] = {name.data()};
          return session.WhileBusy(
              [&] { return d_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, out); });
        },
        kind_, member);
  } catch (const WordError& e) {
    trace_failure(e.Code(), e, 0, "lookup");
    throw;
  }

  // Automation takes the arguments last to first; an omitted one is VT_ERROR
  // DISP_E_PARAMNOTFOUND, as Word expects it (a put always has its value).
  const std::size_t n = args.size();
  VariantArray argv(n);
  for (std::size_t i = 0; i < n; ++i) {
    VARIANT& v = argv[n - 1 - i];
    if (!put && std::holds_alternative<std::monostate>(args[i])) {
      v.vt = VT_ERROR;
      v.scode = DISP_E_PARAMNOTFOUND;
    } else {
      ToVariant(args[i], &v, DispatchOf);
    }
  }

  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = argv.data();
  params.cArgs = static_cast<UINT>(n);
  if (put) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }

  Variant result;
  ExcepInfo ei;
  UINT arg_err = 0;
  int retries = 0;
  HRESULT hr = session.WhileBusy(
      [&] {
        return d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                          put ? nullptr : result.get(), &ei, &arg_err);
      },
      &retries);
  if (FAILED(hr)) {
    WordError e = FailureOf(hr, ei, arg_err, member, n);
    if (session.trace) {
      std::wstring_view src(ei.bstrSource ? ei.bstrSource : L"", SysStringLen(ei.bstrSource));
      if (IsGoneAnswer(hr)) session.lost = true;
      session.trace->Write({kind_, member, access, &args, nullptr, hr, Narrow(src), e.Description(),
                            e.Code(), retries, MsSince(started)});
    } else if (IsGoneAnswer(hr)) {
      session.lost = true;
    }
    throw e;
  }
  if (put) {
    if (session.trace)
      session.trace->Write(
          {kind_, member, access, &args, nullptr, hr, "", "", S_OK, retries, MsSince(started)});
    return std::monostate{};
  }

  std::string child = kind_.empty() ? std::string(member) : kind_ + '.' + std::string(member);
  Value r = ValueOf(*result.get(), [&](IDispatch* d) -> WObjectPtr {
    if (!d) return nullptr;
    return std::make_shared<ComObject>(ComPtr<IDispatch>(d), session_, child);
  });
  if (session.trace)
    session.trace->Write(
        {kind_, member, access, &args, &r, hr, "", "", S_OK, retries, MsSince(started)});
  return r;
}

ComWord::ComWord(const CLSID& global, const CLSID& application)
    : global_clsid_(global), app_clsid_(application), session_(std::make_shared<ComSession>()) {}

ComWord::~ComWord() {
  try {
    QuitIfShowsNothing();
  } catch (...) {
    // Ending must not fail because Word did.
  }
}

void ComWord::NewSession() {
  auto next = std::make_shared<ComSession>();
  next->patience = session_->patience;
  next->busy_notice = session_->busy_notice;
  next->busy_ask = session_->busy_ask;
  next->trace = session_->trace;
  lookups_before_ += session_->cache.Lookups();
  session_ = std::move(next);
}

void ComWord::SetBusyNotice(std::function<void(bool)> notice) {
  session_->busy_notice = std::move(notice);
}

void ComWord::SetBusyAsk(std::function<bool()> ask) {
  session_->busy_ask = std::move(ask);
}

void ComWord::SetBusyPatience(std::chrono::milliseconds patience) {
  session_->patience = patience;
}

void ComWord::SetTrace(std::shared_ptr<ComTrace> trace) {
  session_->trace = std::move(trace);
}

void ComWord::Attach() {
  const auto started = std::chrono::steady_clock::now();
  ComPtr<IDispatch> d;
  // The Word the user runs first: it holds the document the user works on.
  ComPtr<IUnknown> running;
  HRESULT hr = GetActiveObject(app_clsid_, nullptr, running.put());
  if (SUCCEEDED(hr) && running) d = running.As<IDispatch>(IID_IDispatch);
  bool started_word = false;
  if (!d) {
    hr = CoCreateInstance(global_clsid_, nullptr, CLSCTX_SERVER, IID_IDispatch, d.put_void());
    if (SUCCEEDED(hr) && !d) hr = E_NOINTERFACE;
    started_word = SUCCEEDED(hr);
  }
  if (session_->trace) {
    Value how = std::string(started_word ? "started" : d ? "running" : "none");
    session_->trace->Write({"", "", "attach", nullptr, d ? &how : nullptr, d ? S_OK : hr, "",
                            d ? "" : SystemMessage(hr), hr, 0, MsSince(started)});
  }
  if (!d) throw WordError("Microsoft Word is not available: " + SystemMessage(hr), hr);
  global_ = std::make_shared<ComObject>(std::move(d), session_, std::string());
  started_ = started_word;
}

WObjectPtr ComWord::Global() {
  if (session_->lost) {
    // Word went away: its objects are dead, and a new Word is looked for only when the user
    // asks (a Word started in the middle of an operation would not hold its document).
    global_.reset();
    NewSession();
    gone_ = true;
  }
  if (gone_)
    throw WordError("Microsoft Word is not available: " + SystemMessage(RPC_E_DISCONNECTED),
                    RPC_E_DISCONNECTED);
  if (!global_) Attach();
  return global_;
}

void ComWord::LookAgain() {
  gone_ = false;
  if (session_->lost) {
    global_.reset();
    NewSession();
    return;
  }
  // A hidden, empty Word of our own would stand in front of the user's in the table.
  if (global_ && started_ && ShowsNothing()) {
    QuitIfShowsNothing();
    global_.reset();
    NewSession();  // another Word, perhaps of another version: its own DISPIDs
  }
}

bool ComWord::ShowsNothing() {
  try {
    WObjectPtr app = AsObject(global_->Get("Application"));
    if (AsBool(app->Get("Visible"))) return false;
    return AsLong(AsObject(app->Get("Documents"))->Get("Count")) == 0;
  } catch (const WordError&) {
    return false;  // unsure: leave Word as it is
  }
}

void ComWord::QuitIfShowsNothing() {
  if (!global_ || !started_ || session_->lost || !ShowsNothing()) return;
  WObjectPtr app = AsObject(global_->Get("Application"));
  try {
    app->Call("Quit");
  } catch (const WordError& e) {
    // Word may go before it answers: that is the quit we asked for.
    if (!IsGoneAnswer(e.Code())) throw;
  }
  started_ = false;
}

}  // namespace ravel::win
