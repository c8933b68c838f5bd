// The kinds of link a run of ravelmend-batch takes (--kinds), named by group as an
// administrator names what moved, or one by one.
#pragma once

#include <set>
#include <string>

#include "docfile/Document.h"

namespace ravel::batch {

// The kinds a comma-separated list names: groups (pictures, objects, charts, media,
// templates, documents, workbooks, hyperlinks, dde, all) and kinds by their names, without
// regard to case, blanks written as hyphens ("inline-picture"). Throws std::invalid_argument
// with a message for the user.
std::set<docfile::LinkKind> ParseKinds(const std::string& list);

}  // namespace ravel::batch
