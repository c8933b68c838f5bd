// The journal of a fix run: an SQLite database holding, per document, what it was when it
// was read (a hash of its bytes), what the repair wrote (the hash of the new bytes) and the
// records reported for it. Every outcome is its own transaction, and the intent to replace
// a document is recorded before the replacement, so a run killed at any instant is resumed
// by running it again: a document whose bytes are what the journal says it left is done,
// one whose replacement was recorded but whose bytes are the repaired ones is done too, and
// only the others are read and repaired.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ravel::batch {

class Db;

struct JournalEntry {
  std::string path;   // the key: Windows form
  std::string shown;  // as reported
  std::string state;  // "started", "done", "planned" (a dry run), "failed"
  std::uint64_t before = 0;
  std::optional<std::uint64_t> after;  // the bytes written, when the repair wrote
  std::string outcome;                 // JSON: {"document": ..., "links": [...]} (kept deflated)
  std::int64_t run = 0;
  std::string at;  // UTC, when recorded
};

class Journal {
 public:
  // Opens (creating with `create`) the journal; throws DbError with the reason.
  Journal(const std::string& file, bool create);
  ~Journal();

  // A run of the command: its arguments and its plan (what decides how a document is
  // repaired: the rules, the search, the way targets are written); returns the run's
  // number. Throws DbError when the journal's runs followed another plan: their documents
  // would be counted done by rules that are no longer asked for.
  std::int64_t BeginRun(const std::string& command, const std::string& plan, bool dry_run);
  void EndRun(int status);

  std::optional<JournalEntry> Find(const std::string& path);
  // Before a document is replaced: what it is and what it is about to become.
  void Started(const std::string& path, const std::string& shown, std::uint64_t before,
               std::uint64_t after, const std::string& outcome);
  // Its outcome, once known. `written`: the replacement recorded by Started happened.
  void Finished(const std::string& path, const std::string& shown, const std::string& state,
                std::uint64_t hash, bool written, const std::string& outcome);
  // Every document, in path order.
  void ForEach(const std::function<void(const JournalEntry&)>& each);

  // Whether a document with these bytes needs nothing more from a run (dry or not).
  static bool IsDone(const JournalEntry& e, std::uint64_t hash, bool dry_run);

 private:
  std::mutex mutex_;  // documents finish on several threads
  std::unique_ptr<Db> db_;
  std::int64_t run_ = 0;
};

// Every document of the journals of several runs, in path order; one held by several
// journals is given once (the latest record) with the number of journals holding it. Throws
// DbError for a file that is no journal.
void MergeJournals(const std::vector<std::string>& files,
                   const std::function<void(const JournalEntry&, std::size_t copies)>& each);

// A test's way to stop the process as kill -9 would, at a chosen instant:
// RAVELMEND_BATCH_KILL=POINT:N ends the process the N-th time POINT is reached.
void KillPoint(const char* point);

}  // namespace ravel::batch
