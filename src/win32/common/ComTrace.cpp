#include "win32/common/ComTrace.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "win32/common/Utf.h"

namespace ravel::win {

namespace {

nlohmann::json JsonOf(const Value& v) {
  struct J {
    nlohmann::json operator()(std::monostate) const { return nullptr; }
    nlohmann::json operator()(bool b) const { return b; }
    nlohmann::json operator()(std::int32_t i) const { return i; }
    nlohmann::json operator()(float f) const { return f; }
    nlohmann::json operator()(double d) const { return d; }
    nlohmann::json operator()(const std::string& s) const { return s; }
    nlohmann::json operator()(const WObjectPtr& o) const {
      if (!o) return nlohmann::json::object({{"object", false}});
      return nlohmann::json::object({{"object", true}});
    }
  };
  return std::visit(J{}, v);
}

std::string Hex(HRESULT hr) {
  char t[16];
  std::snprintf(t, sizeof t, "0x%08lX", static_cast<unsigned long>(hr));
  return t;
}

}  // namespace

std::shared_ptr<ComTrace> ComTrace::Open(const std::string& path) {
  std::FILE* f = _wfopen(Widen(path).c_str(), L"ab");
  if (!f) return nullptr;
  return std::shared_ptr<ComTrace>(new ComTrace(f));
}

ComTrace::~ComTrace() {
  std::fclose(f_);
}

std::string ComTrace::ValueText(const Value& v) {
  // Texts from Word may hold anything: broken UTF-8 is replaced, never thrown.
  return JsonOf(v).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void ComTrace::Write(const Call& c) {
  using nlohmann::json;
  json line = json::object();
  line["at"] =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
  line["object"] = c.object.empty() ? std::string("Global") : std::string(c.object);
  line["member"] = std::string(c.member);
  line["access"] = std::string(c.access);
  json args = json::array();
  if (c.args)
    for (const Value& v : *c.args) args.push_back(JsonOf(v));
  line["args"] = std::move(args);
  if (FAILED(c.hr)) {
    line["hresult"] = Hex(c.hr);
    if (!c.description.empty() || !c.source.empty())
      line["error"] = {{"description", std::string(c.description)},
                       {"source", std::string(c.source)},
                       {"scode", Hex(c.scode)}};
  } else if (c.result) {
    line["result"] = JsonOf(*c.result);
  }
  if (c.retries) line["busy_retries"] = c.retries;
  line["ms"] = c.ms;
  std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  std::fwrite(text.data(), 1, text.size(), f_);
  std::fflush(f_);
}

}  // namespace ravel::win
