#include "info/SharedFunctions.h"

#include "app/Host.h"

namespace ravel {

void OpenWithShell(Host& host, const std::string& target) {
  try {
    host.ShellOpen(target);
  } catch (...) {
    // Without a browser nothing opens, and nothing fails.
  }
}

}  // namespace ravel
