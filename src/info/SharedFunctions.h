// Opening the maker's web site (and any other target) with the shell's default action.
#pragma once

#include <string>

namespace ravel {

class Host;

// No verb, no parameters, no working folder, a normal window; the shell's answer is not
// examined and nothing is reported.
void OpenWithShell(Host& host, const std::string& target);

}  // namespace ravel
