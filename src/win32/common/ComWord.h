// The Word port over real COM: late-bound IDispatch by member name, no type library and no
// DISPIDs compiled in, so any Word version answers. COM must be joined apartment-threaded on
// the calling thread first (ComInit in ComPtr.h) and stay joined while any object lives.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "inventory/WordPort.h"
#include "win32/common/ComPtr.h"

namespace ravel::win {

// Word's application-global class.
extern const CLSID kWordGlobalClsid;

// DISPIDs by object kind and member name. With real Word every lookup is a cross-process
// round trip, so each is asked once for the run, failures included. One thread only.
class DispIdCache {
 public:
  // Throws WordError when the object does not know the member.
  DISPID Lookup(IDispatch* d, const std::string& kind, std::string_view member);
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

// One object of Word. Its kind is the member path by which it was reached from the global
// object ("ActiveDocument.InlineShapes.Item.LinkFormat"): objects reached the same way are
// of the same class, so they share DISPIDs.
class ComObject : public WObject {
 public:
  ComObject(ComPtr<IDispatch> d, std::shared_ptr<DispIdCache> cache, std::string kind)
      : d_(std::move(d)), cache_(std::move(cache)), kind_(std::move(kind)) {}

  Value Get(std::string_view member, const std::vector<Value>& args = {}) override;
  void Put(std::string_view member, const Value& v) override;
  Value Call(std::string_view method, const std::vector<Value>& args = {}) override;

  IDispatch* Dispatch() const { return d_.get(); }
  const std::string& Kind() const { return kind_; }

 private:
  Value Invoke(std::string_view member, WORD flags, const std::vector<Value>& args);

  ComPtr<IDispatch> d_;
  std::shared_ptr<DispIdCache> cache_;
  std::string kind_;
};

class ComWord : public WordApp {
 public:
  // Another class id serves tests that need a class nobody registered.
  explicit ComWord(const CLSID& clsid = kWordGlobalClsid);
  // Created on first use and kept; while creation fails, each use tries again and throws
  // WordError("Microsoft Word is not available: ...").
  WObjectPtr Global() override;
  // GetIDsOfNames calls this adapter made.
  long NameLookups() const { return cache_->Lookups(); }

 private:
  CLSID clsid_;
  std::shared_ptr<DispIdCache> cache_;
  WObjectPtr global_;
};

}  // namespace ravel::win
