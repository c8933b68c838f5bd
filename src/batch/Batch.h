// ravelmend-batch: lists and repairs the links of many .docx files without Word. The
// command reads its arguments, finds the documents, runs the engine and reports; the host
// (main) supplies the file system, the store, the streams and the path conventions.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "docfile/Store.h"
#include "docfile/Walk.h"
#include "relink/FileSystem.h"

namespace ravel::batch {

struct Host {
  FileSystem& fs;
  docfile::DocStore& store;
  std::ostream& out;
  std::ostream& err;
  bool progress = false;    // stderr is a terminal: keep a progress line on it
  bool posix_host = false;  // paths are shown and written in the host's form
  // A path as the user typed it -> absolute Windows form.
  std::function<std::string(const std::string&)> absolute;
  // A Windows-form path -> the form shown to the user.
  std::function<std::string(const std::string&)> display;
  // Walks folders where the host has its own walk; null: through `fs`.
  docfile::TreeWalker* walker = nullptr;
  // `fs` and `store` may be used from several threads at once; only then are documents
  // read and repaired on `jobs` threads (or as many as --jobs says).
  bool parallel = false;
  unsigned jobs = 1;
};

// Exit status: 0 every link resolves, 1 some are left unresolved or ambiguous, 2 a usage
// error or a document that could not be processed.
int Run(const std::vector<std::string>& args, Host& host);

extern const char kUsage[];

}  // namespace ravel::batch
