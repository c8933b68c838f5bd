#include "app/Globals.h"

namespace ravel {

const char* TextOf(Flag f) {
  switch (f) {
    case Flag::True:
      return "True";
    case Flag::False:
      return "False";
    case Flag::NotApplicable:
      return "N/A";
    case Flag::Empty:
      break;
  }
  return "";
}

}  // namespace ravel
