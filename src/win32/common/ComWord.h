// The Word port over real COM: late-bound IDispatch by member name, no type library and no
// DISPIDs compiled in, so any Word version answers. COM must be joined apartment-threaded on
// the calling thread first (ComInit in ComPtr.h) and stay joined while any object lives.
//
// Word is another process: a running Word is taken from the Running Object Table, a busy
// Word's rejected calls are tried again for a bounded time, and a Word that went away is let
// go until the user asks to look again.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "inventory/WordPort.h"
#include "win32/common/ComPtr.h"

namespace ravel::win {

class ComTrace;

// Word's application-global class and its Application class (Word.Application).
extern const CLSID kWordGlobalClsid;
extern const CLSID kWordApplicationClsid;

// Word rejected the call because it is busy (a dialog open, a long repagination).
bool IsBusyAnswer(HRESULT hr);
// The server is gone: Word quit or crashed, its objects are dead.
bool IsGoneAnswer(HRESULT hr);

// DISPIDs by object kind and member name. With real Word every lookup is a cross-process
// round trip, so each is asked once for the run. A member Word does not know stays unknown;
// a lookup that failed for another reason (Word busy or gone) is asked again next time.
class DispIdCache {
 public:
  // Throws WordError when the lookup fails.
  DISPID Lookup(const std::function<HRESULT(DISPID*)>& ask, const std::string& kind,
                std::string_view member);
  // GetIDsOfNames calls made so far.
  long Lookups() const { return lookups_; }

 private:
  struct Entry {
    DISPID id;
    HRESULT hr;
  };
  std::unordered_map<std::string, Entry> map_;
  long lookups_ = 0;
};

// What the objects reached from one attached Word share.
struct ComSession {
  DispIdCache cache;
  // Set by the first call that finds the server gone.
  bool lost = false;
  // How long a call Word rejects as busy is tried again before it fails.
  std::chrono::milliseconds patience{30000};
  // Told true while a call waits for a busy Word, false after every call (so it must be
  // cheap when nothing changes).
  std::function<void(bool)> busy_notice;
  // Asked when a call has waited its patience out: true to wait once more, false to stop
  // (the call throws OperationCancelled). Without it the call fails with Word's answer.
  std::function<bool()> busy_ask;
  std::shared_ptr<ComTrace> trace;

  // Runs `call` until Word takes it, the patience is spent (and the user, asked, chooses to
  // stop) or it fails otherwise. A call Word refuses for good fails at once. While it waits
  // the window keeps painting.
  HRESULT WhileBusy(const std::function<HRESULT()>& call, int* retries = nullptr);
};

// One object of Word. Its kind is the member path by which it was reached from the global
// object ("ActiveDocument.InlineShapes.Item.LinkFormat"): objects reached the same way are
// of the same class, so they share DISPIDs.
class ComObject : public WObject {
 public:
  ComObject(ComPtr<IDispatch> d, std::shared_ptr<ComSession> session, std::string kind)
      : d_(std::move(d)), session_(std::move(session)), kind_(std::move(kind)) {}

  // In `args` a monostate is an omitted argument: it goes as VT_ERROR DISP_E_PARAMNOTFOUND.
  Value Get(std::string_view member, const std::vector<Value>& args = {}) override;
  void Put(std::string_view member, const Value& v) override;
  Value Call(std::string_view method, const std::vector<Value>& args = {}) override;

  IDispatch* Dispatch() const { return d_.get(); }
  const std::string& Kind() const { return kind_; }

 private:
  Value Invoke(std::string_view member, WORD flags, const std::vector<Value>& args);

  ComPtr<IDispatch> d_;
  std::shared_ptr<ComSession> session_;
  std::string kind_;
};

class ComWord : public WordApp {
 public:
  // Other class ids serve tests that need classes nobody registered.
  explicit ComWord(const CLSID& global = kWordGlobalClsid,
                   const CLSID& application = kWordApplicationClsid);
  // Quits a Word this object started when it shows no document and no window, so that no
  // hidden Word is left behind; a Word the user runs is left alone.
  ~ComWord() override;
  ComWord(const ComWord&) = delete;
  ComWord& operator=(const ComWord&) = delete;

  // The running Word from the Running Object Table, else a Word started through the
  // application-global class; kept. While none can be had, each use tries again and throws
  // WordError("Microsoft Word is not available: ..."). Once Word has gone away it throws
  // until LookAgain.
  WObjectPtr Global() override;
  // The user asks for Word again (&Init): a Word that went away is looked for anew, and a
  // Word this object started that shows nothing gives way to one the user started since.
  void LookAgain() override;

  // GetIDsOfNames calls this adapter made.
  long NameLookups() const { return lookups_before_ + session_->cache.Lookups(); }
  // Whether the Word held now was started by this object.
  bool StartedWord() const { return global_ && started_; }
  void SetBusyNotice(std::function<void(bool)> notice);
  void SetBusyPatience(std::chrono::milliseconds patience);
  void SetBusyAsk(std::function<bool()> ask);
  void SetTrace(std::shared_ptr<ComTrace> trace);

 private:
  void Attach();
  void NewSession();
  // Visible is false and no document is open (read through Application).
  bool ShowsNothing();
  void QuitIfShowsNothing();

  CLSID global_clsid_;
  CLSID app_clsid_;
  std::shared_ptr<ComSession> session_;
  long lookups_before_ = 0;
  WObjectPtr global_;
  bool started_ = false;
  bool gone_ = false;
};

}  // namespace ravel::win
