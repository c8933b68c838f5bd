#include "sim/SimObject.h"

#include <algorithm>
#include <cctype>

namespace ravel::sim {

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

void ThrowNoMember(std::string_view member) {
  throw WordError("Object doesn't support this property or method: " + std::string(member), 438);
}

void SimContext::Check(const std::string& object, std::string_view member, Access access) {
  NoCaseLess less;
  auto same = [&](std::string_view a, std::string_view b) { return !less(a, b) && !less(b, a); };
  for (Fault& f : faults) {
    if (f.spent || f.access != access || !same(f.object, object) || !same(f.member, member))
      continue;
    if (f.once) f.spent = true;
    throw WordError(f.description, -2146822347);
  }
}

bool SimContext::Succeeded(std::string_view call) const {
  for (std::size_t k = 0; k < log.size(); ++k)
    if (log[k] == call && !log_failed[k]) return true;
  return false;
}

void SimContext::MarkFailed() {
  if (logging && !log_failed.empty()) log_failed.back() = true;
}

void SimContext::Enter(const std::string& object, std::string_view member, Access access,
                       const Value& put) {
  ++calls;
  ++calls_by_member[std::string(member)];
  std::string call = object + "." + std::string(member) +
                     (access == Access::Put    ? "="
                      : access == Access::Call ? "()"
                                               : "");
  if (logging) {
    log.push_back(call);
    log_values.push_back(put);
    log_failed.push_back(false);
  }
  if (on_call) on_call(call);
  for (CountedFault& f : counted_faults) {
    if (f.spent || calls <= f.after) continue;
    if (f.once) f.spent = true;
    if (f.cancel) throw OperationCancelled();
    throw WordError(f.description, -2147023170);  // 0x800706BE, a call that did not arrive
  }
  Check(object, member, access);
}

const Value& SimObject::At(std::string_view name) const {
  auto it = props_.find(name);
  if (it == props_.end()) ThrowNoMember(name);
  return it->second;
}

void SimObject::Erase(std::string_view name) {
  auto it = props_.find(name);
  if (it != props_.end()) props_.erase(it);
}

Value SimObject::Invoke(std::string_view member, const std::vector<Value>& args, Access access) {
  auto ctx = ctx_;  // a call may relabel or drop this object
  try {
    ctx->Enter(label_, member, access);
    std::string label = label_;  // a method may relabel this object
    if (auto m = methods_.find(member); m != methods_.end()) {
      auto self = shared_from_this();  // a method may drop the last outside reference
      Value out = m->second(*this, args);
      if (ctx->on_done) ctx->on_done(label, member, access);
      return out;
    }
    if (auto p = props_.find(member); p != props_.end() && args.empty()) return p->second;
    ThrowNoMember(member);
  } catch (...) {
    ctx->MarkFailed();
    throw;
  }
}

Value SimObject::Get(std::string_view member, const std::vector<Value>& args) {
  return Invoke(member, args, Access::Get);
}

Value SimObject::Call(std::string_view method, const std::vector<Value>& args) {
  return Invoke(method, args, Access::Call);
}

void SimObject::Put(std::string_view member, const Value& v) {
  auto ctx = ctx_;
  try {
    std::string label = label_;
    PutChecked(member, v);
    if (ctx->on_done) ctx->on_done(label, member, Access::Put);
  } catch (...) {
    ctx->MarkFailed();
    throw;
  }
}

void SimObject::PutChecked(std::string_view member, const Value& v) {
  ctx_->Enter(label_, member, Access::Put, v);
  auto p = props_.find(member);
  if (p == props_.end() || std::holds_alternative<WObjectPtr>(p->second)) ThrowNoMember(member);
  // Word keeps a property's own type: a Single stays a Single whatever the client sent.
  const Value old = p->second;
  Value stored = v;
  if (std::holds_alternative<float>(old) && !std::holds_alternative<float>(v))
    stored = static_cast<float>(AsNumber(v));
  else if (std::holds_alternative<std::int32_t>(old) && !std::holds_alternative<std::int32_t>(v))
    stored = AsLong(v);
  else if (std::holds_alternative<bool>(old) && !std::holds_alternative<bool>(v))
    stored = AsBool(v);
  else if (std::holds_alternative<std::string>(old) && !std::holds_alternative<std::string>(v))
    throw WordError("Type mismatch", -2147352571);
  p->second = std::move(stored);
  if (on_put_) on_put_(*this, member, old, p->second);
}

}  // namespace ravel::sim
