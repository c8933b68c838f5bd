// The one port to Word's automation object model. Objects are reached late-bound, by member
// name, exactly as automation reaches them: the COM adapter forwards each call to IDispatch,
// the stand-in answers from memory. Typed access on top of it is in Word.h.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ravel {

class WObject;
using WObjectPtr = std::shared_ptr<WObject>;

// A value as Word hands it over, kept in its own type (Long, Single, Double, Boolean, String,
// object) so that what is read can be written back unchanged. monostate: empty or omitted.
using Value =
    std::variant<std::monostate, bool, std::int32_t, float, double, std::string, WObjectPtr>;

// Every failing Word call throws this, carrying Word's own description of the error.
class WordError : public std::runtime_error {
 public:
  explicit WordError(const std::string& description, std::int32_t code = 0)
      : std::runtime_error(description), code_(code) {}
  const char* Description() const { return what(); }
  std::int32_t Code() const { return code_; }

 private:
  std::int32_t code_;
};

// The user chose to stop waiting for a busy Word: the operation under way ends at once. Not
// a failing call: nothing passes it over.
class OperationCancelled : public std::runtime_error {
 public:
  OperationCancelled() : std::runtime_error("Stopped while Microsoft Word was busy.") {}
};

class WObject {
 public:
  virtual ~WObject() = default;
  // Property get; args for parameterised properties such as Item(index).
  virtual Value Get(std::string_view member, const std::vector<Value>& args = {}) = 0;
  virtual void Put(std::string_view member, const Value& v) = 0;
  virtual Value Call(std::string_view method, const std::vector<Value>& args = {}) = 0;
};

// Word's application-global object: created on first use and kept for the run.
class WordApp {
 public:
  virtual ~WordApp() = default;
  virtual WObjectPtr Global() = 0;
  // The user asks to look at Word again (&Init): an adapter whose Word went away may look
  // for one anew. Nothing to do for a Word that cannot go away.
  virtual void LookAgain() {}
};

// Conversions that throw WordError when Word answered another type than expected.
std::int32_t AsLong(const Value& v);
bool AsBool(const Value& v);  // automation Booleans: any non-zero number is true
std::string AsText(const Value& v);
WObjectPtr AsObject(const Value& v);
double AsNumber(const Value& v);
// Values equal as Word would compare them (numbers across types, texts exactly).
bool SameValue(const Value& a, const Value& b);

}  // namespace ravel
