// One module per format family: where a family's links are in its package and how their
// targets are rewritten. The Document keeps what every family shares (the package, the
// choice of family by the package's content, the write-back of changed parts).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "docfile/Document.h"
#include "docfile/Package.h"
#include "docfile/Targets.h"

namespace ravel::docfile {

class Family {
 public:
  virtual ~Family() = default;
  // Appends the package's links to `links`: `part`, `part_kind`, `kind`, `target` exactly as
  // stored, `parsed` read against `folder` (the document's folder, Windows form) as the
  // family resolves relative targets, `stored`, `rewritable`. Throws DocError.
  virtual void Read(const Package& package, const std::string& folder,
                    std::vector<Link>& links) = 0;
  // Points link `i` (its index in what Read appended; `link` is that entry) at `path`
  // (absolute, Windows form) in every place that names it, each in the form it had, and
  // updates `link.target` and `link.parsed`.
  virtual void Retarget(std::size_t i, Link& link, const std::string& path,
                        const WriteOptions& options) = 0;
  // The parts changed by Retarget, serialized in their own encoding (name -> data).
  virtual std::map<std::string, std::string> Changed() const = 0;
};

// The family of a zip package, by its content. Throws DocError: UnknownFormat for a package
// of no family read here (never read as a word processing document).
Format DetectFormat(const Package& package);

std::unique_ptr<Family> MakeWordFamily();
std::unique_ptr<Family> MakeExcelFamily();
std::unique_ptr<Family> MakePowerPointFamily();
std::unique_ptr<Family> MakeOpenDocumentFamily();

}  // namespace ravel::docfile
