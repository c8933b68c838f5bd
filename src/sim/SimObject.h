// The building block of the Word stand-in: an automation object held in memory, with named
// properties and methods, fault injection per object and member, and a count of calls.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/WordPort.h"

namespace ravel::sim {

enum class Access { Get, Put, Call };

// One injected failure: the call `member` of kind `access` on the object labelled `object`
// throws WordError(description) once or every time.
struct Fault {
  std::string object;
  std::string member;
  Access access = Access::Get;
  bool once = false;
  std::string description = "The requested member of the collection does not exist.";
  bool spent = false;
};

// Member names compare without case, as automation compares them.
struct NoCaseLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};

// A failure by position in the stream of calls: once `after` calls have been made, the next
// call fails (once), or every later call does (always), whatever object it goes to.
struct CountedFault {
  long after = 0;
  bool once = true;
  std::string description = "The remote procedure call failed.";
  bool spent = false;
  // Not Word failing but the user stopping the wait for a busy Word (what the COM adapter
  // throws when the user cancels its busy dialog).
  bool cancel = false;
};

// Shared by all objects of one stand-in Word: injected faults and the call count.
struct SimContext {
  std::vector<Fault> faults;
  std::vector<CountedFault> counted_faults;
  long calls = 0;
  std::map<std::string, long, NoCaseLess> calls_by_member;
  // With `logging` on, every client call as "label.member" (get), "label.member=" (put) or
  // "label.member()" (method), in order.
  // Beside each entry: the value a put sent (as the client sent it, before Word converts
  // it) and whether the call failed, so tests can tell what really happened.
  bool logging = false;
  std::vector<std::string> log;
  std::vector<Value> log_values;
  std::vector<bool> log_failed;
  // Runs at every client call, before any fault, with the call as the log writes it: lets a
  // test act in Word at an exact point (switch documents, rename a shape).
  std::function<void(const std::string& call)> on_call;
  // Runs after every client call that succeeded, with the object's label: the stand-in
  // marks a document changed as Word does.
  std::function<void(const std::string& object, std::string_view member, Access access)> on_done;
  void Reset() {
    calls = 0;
    calls_by_member.clear();
    log.clear();
    log_values.clear();
    log_failed.clear();
  }
  // Whether the logged call was made and did not fail.
  bool Succeeded(std::string_view call) const;
  // Counts the call and throws when a fault matches; marks a one-time fault spent.
  void Enter(const std::string& object, std::string_view member, Access access,
             const Value& put = {});
  void MarkFailed();
  void Check(const std::string& object, std::string_view member, Access access);
};

class SimObject : public WObject, public std::enable_shared_from_this<SimObject> {
 public:
  using Method = std::function<Value(SimObject& self, const std::vector<Value>& args)>;
  // Runs after a put has stored `v`; `old` is the value it replaced.
  using PutHook = std::function<void(SimObject& self, std::string_view member, const Value& old,
                                     const Value& v)>;

  SimObject(std::shared_ptr<SimContext> ctx, std::string label)
      : ctx_(std::move(ctx)), label_(std::move(label)) {}

  // Counted calls, as a client makes them. A property is read by Get or by Call (automation
  // lets a client invoke a property as a method and get a method as a property).
  Value Get(std::string_view member, const std::vector<Value>& args = {}) override;
  void Put(std::string_view member, const Value& v) override;
  Value Call(std::string_view method, const std::vector<Value>& args = {}) override;

  // Model-side access: neither counted nor subject to faults.
  bool Has(std::string_view name) const { return props_.count(name) != 0; }
  const Value& At(std::string_view name) const;
  void Set(const std::string& name, Value v) { props_[name] = std::move(v); }
  void Erase(std::string_view name);
  void Define(const std::string& name, Method m) { methods_[name] = std::move(m); }
  void OnPut(PutHook h) { on_put_ = std::move(h); }
  const std::map<std::string, Value, NoCaseLess>& Props() const { return props_; }

  const std::string& Label() const { return label_; }
  void SetLabel(std::string l) { label_ = std::move(l); }
  SimContext& Context() { return *ctx_; }
  const std::shared_ptr<SimContext>& ContextPtr() const { return ctx_; }

 private:
  Value Invoke(std::string_view member, const std::vector<Value>& args, Access access);
  void PutChecked(std::string_view member, const Value& v);

  std::shared_ptr<SimContext> ctx_;
  std::string label_;
  std::map<std::string, Value, NoCaseLess> props_;
  std::map<std::string, Method, NoCaseLess> methods_;
  PutHook on_put_;
};

using SimObjectPtr = std::shared_ptr<SimObject>;

// The error Word gives for a member an object does not have.
[[noreturn]] void ThrowNoMember(std::string_view member);

}  // namespace ravel::sim
