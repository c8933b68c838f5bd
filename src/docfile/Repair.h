// Listing and repairing the links of documents: the decisions per link and the safe write
// per document. A run that repairs many documents asks for all missing file names at once
// (Survey), has them searched in one walk, then repairs each document (Repair). Between the
// two only a fingerprint per document is kept, so memory does not grow with the corpus.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "docfile/Document.h"
#include "docfile/Store.h"
#include "relink/FileSystem.h"

namespace ravel::docfile {

enum class LinkState {
  Ok,          // the file is there
  Missing,     // the file is not there (listing only)
  NotAFile,    // a web address or another target that is no file
  Fixed,       // repaired (or, in a dry run, would be)
  Mapped,      // rewritten by a prefix rule to a file that could not be checked here
  Ambiguous,   // the name was found at several places; left as it was
  NotFound,    // the name was not found; left as it was
  Unreadable,  // the file is there but cannot be read (no access); left as it was
};

const char* LinkStateName(LinkState state);  // "ok", "missing", ...

struct LinkResult {
  Link link;
  bool exists = false;
  LinkState state = LinkState::Ok;
  std::string new_target;               // Fixed, Mapped
  std::string new_path;                 // Fixed, Mapped
  std::string via;                      // "map" or "search"
  std::vector<std::string> candidates;  // Ambiguous
};

// What a document was when the survey read it: its stamp and a hash of its bytes.
struct Fingerprint {
  Stamp stamp;
  std::uint64_t hash = 0;
  bool operator==(const Fingerprint&) const = default;
};

struct DocumentResult {
  std::string path;                    // Windows form
  std::optional<Format> format;        // set when the document was read
  std::optional<Fingerprint> read_as;  // set when the document was read
  std::vector<LinkResult> links;
  std::optional<DocError> error;
  bool written = false;
  std::string backup;
};

struct PrefixRule {
  std::string from, to;  // Windows form
};

struct RepairOptions {
  std::vector<PrefixRule> rules;
  WriteOptions write;
  bool dry_run = false;
  bool backup = false;
  // The prefix rules also move links whose files are still there (a migration planned
  // before the old server goes away).
  bool rewrite_existing = false;
  // The kinds of link a run reports and repairs; empty: every kind.
  std::set<LinkKind> kinds;
  Limits limits;
  std::uint64_t max_file = 4ull << 30;
  // Called just before a repaired document replaces the original, with the hash of the
  // bytes about to be written (a journal records the intent first).
  std::function<void(const DocumentResult& result, std::uint64_t after)> before_replace;
};

// Where each wanted name was found: lower-case name -> every full path.
using FoundNames = std::map<std::string, std::vector<std::string>>;

class Repairer {
 public:
  Repairer(DocStore& store, FileSystem& fs, RepairOptions options);

  DocumentResult List(const std::string& path);
  // Lists the document and adds to `wanted` the (lower-case) names of the files its links
  // still miss once the prefix rules are applied.
  DocumentResult Survey(const std::string& path, std::set<std::string>& wanted);
  // Decides every link and writes the document when a link changes (not in a dry run).
  // `found` is null when no search was made. With `surveyed`, the document is read again
  // and left alone unless it is still what the survey read.
  DocumentResult Repair(const std::string& path, const FoundNames* found,
                        const Fingerprint* surveyed = nullptr);
  // Per prefix rule, in the order given: the links it applied to during the repairs.
  const std::vector<std::size_t>& RuleUses() const { return rule_uses_; }

 private:
  // Whether a link's file is there: Ok, Missing or Unreadable.
  LinkState StateOf(const std::string& path);
  bool Exists(const std::string& path) { return StateOf(path) == LinkState::Ok; }
  // The path after the prefix rules; `rule` gets the index of the rule applied.
  std::optional<std::string> Mapped(const std::string& path, std::size_t* rule = nullptr) const;
  std::unique_ptr<Document> Open(const std::string& path, DocumentResult& result, Stamp& stamp);
  void Describe(const Document& doc, DocumentResult& result);
  bool Wanted(const Link& link) const;
  // Drops the links of kinds the run leaves out, once every decision is made.
  void Narrow(DocumentResult& result) const;

  DocStore& store_;
  FileSystem& fs_;
  RepairOptions options_;
  std::map<std::string, LinkState> exists_;
  std::map<std::string, bool> folder_gone_;
  std::vector<std::size_t> rule_uses_;
};

// FNV-1a over the bytes: cheap beside parsing, and enough to notice a changed document.
std::uint64_t HashBytes(const std::vector<std::uint8_t>& bytes);

// The folder part of a Windows-form path, without the trailing backslash.
std::string FolderOfPath(const std::string& path);
// The name part of a Windows-form path.
std::string NameOfPath(const std::string& path);

}  // namespace ravel::docfile
