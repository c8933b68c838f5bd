// The one error type of the document engine: a message fit to show next to the document's
// name, and a reason code that reports and tests can rely on.
#pragma once

#include <stdexcept>
#include <string>

namespace ravel::docfile {

enum class Reason {
  NotZip,
  Encrypted,
  LegacyBinary,
  BadXml,
  TooLarge,
  Unreadable,
  ReadOnly,
  Locked,
  Vanished,
  Changed,
  WriteFailed,
  NotRegular,     // a pipe, device or folder under a document's name: passed over
  UnknownFormat,  // a zip package of no family the engine reads
};

class DocError : public std::runtime_error {
 public:
  DocError(Reason reason, const std::string& message)
      : std::runtime_error(message), reason_(reason) {}
  Reason reason() const { return reason_; }

 private:
  Reason reason_;
};

// A short stable name of the reason ("not-zip", "encrypted", ...) for scripts.
const char* ReasonName(Reason reason);

}  // namespace ravel::docfile
