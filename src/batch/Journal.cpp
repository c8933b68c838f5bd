#include "batch/Journal.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <map>

#include "batch/Sqlite.h"

#include <zlib.h>

namespace ravel::batch {

namespace {

std::string Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

auto Signed(std::uint64_t v) {
  return static_cast<std::int64_t>(v);
}

// The records of a document as kept: deflated JSON (a fraction of its size: the keys
// repeat), after its length in four bytes.
std::string Pack(const std::string& text) {
  uLongf size = compressBound(static_cast<uLong>(text.size()));
  std::string out(4 + size, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((text.size() >> (8 * i)) & 0xFF);
  if (compress2(reinterpret_cast<Bytef*>(out.data() + 4), &size,
                reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
                Z_BEST_SPEED) != Z_OK)
    throw DbError("cannot compress a document's records");
  out.resize(4 + size);
  return out;
}

// Empty for what cannot be unpacked: the records are then missing, the counts not.
std::string Unpack(const std::string& packed) {
  if (packed.size() < 4) return {};
  uLongf size = 0;
  for (int i = 0; i < 4; ++i)
    size |= static_cast<uLongf>(static_cast<unsigned char>(packed[i])) << (8 * i);
  if (size > (64u << 20)) return {};
  std::string out(size, '\0');
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                 reinterpret_cast<const Bytef*>(packed.data() + 4),
                 static_cast<uLong>(packed.size() - 4)) != Z_OK)
    return {};
  out.resize(size);
  return out;
}

}  // namespace

Journal::Journal(const std::string& file, bool create)
    : db_(std::make_unique<Db>(file, false, create)) {
  // WAL: each commit is one append, and a process killed mid-commit leaves the last
  // committed state. NORMAL sync survives a killed process; only a power cut may lose the
  // last outcomes, which the resumed run then finds in the documents' bytes.
  db_->Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
  db_->Exec(
      "CREATE TABLE IF NOT EXISTS runs(id INTEGER PRIMARY KEY, command TEXT, plan TEXT,"
      " dry_run INTEGER,"
      " started TEXT, finished TEXT, status INTEGER);"
      "CREATE TABLE IF NOT EXISTS documents(path TEXT PRIMARY KEY, shown TEXT, state TEXT,"
      " before INTEGER, after INTEGER, outcome BLOB, run INTEGER, at TEXT);");
}

Journal::~Journal() = default;

std::int64_t Journal::BeginRun(const std::string& command, const std::string& plan, bool dry_run) {
  std::lock_guard<std::mutex> lock(mutex_);
  Stmt last_plan(*db_, "SELECT plan, command FROM runs ORDER BY id DESC LIMIT 1");
  if (last_plan.Step()) {
    std::string before = last_plan.Text(0), was = last_plan.Text(1);
    last_plan.Reset();
    if (before != plan)
      throw DbError(db_->path() + ": a journal of another plan (" + was +
                    "); a run with other rules or another search needs a journal of its own");
  }
  Stmt(*db_, "INSERT INTO runs(command, plan, dry_run, started) VALUES(?, ?, ?, ?)")
      .Bind(1, command)
      .Bind(2, plan)
      .Bind(3, std::int64_t{dry_run})
      .Bind(4, Now())
      .Run();
  Stmt last(*db_, "SELECT last_insert_rowid()");
  run_ = last.Step() ? last.Int(0) : 0;
  last.Reset();
  return run_;
}

void Journal::EndRun(int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  Stmt(*db_, "UPDATE runs SET finished = ?, status = ? WHERE id = ?")
      .Bind(1, Now())
      .Bind(2, std::int64_t{status})
      .Bind(3, run_)
      .Run();
}

std::optional<JournalEntry> Journal::Find(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  Stmt q(
      *db_,
      "SELECT path, shown, state, before, after, outcome, run, at FROM documents WHERE path = ?");
  q.Bind(1, path);
  if (!q.Step()) return std::nullopt;
  JournalEntry e{q.Text(0),    q.Text(1),         q.Text(2), static_cast<std::uint64_t>(q.Int(3)),
                 std::nullopt, Unpack(q.Blob(5)), q.Int(6),  q.Text(7)};
  if (!q.IsNull(4)) e.after = static_cast<std::uint64_t>(q.Int(4));
  q.Reset();
  return e;
}

void Journal::Started(const std::string& path, const std::string& shown, std::uint64_t before,
                      std::uint64_t after, const std::string& outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  Stmt(*db_,
       "INSERT OR REPLACE INTO documents(path, shown, state, before, after, outcome, run, at)"
       " VALUES(?, ?, 'started', ?, ?, ?, ?, ?)")
      .Bind(1, path)
      .Bind(2, shown)
      .Bind(3, Signed(before))
      .Bind(4, Signed(after))
      .BindBlob(5, Pack(outcome))
      .Bind(6, run_)
      .Bind(7, Now())
      .Run();
}

void Journal::Finished(const std::string& path, const std::string& shown, const std::string& state,
                       std::uint64_t hash, bool written, const std::string& outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (written) {
    // The bytes before and after are those Started recorded.
    Stmt(*db_, "UPDATE documents SET state = ?, outcome = ?, run = ?, at = ? WHERE path = ?")
        .Bind(1, state)
        .BindBlob(2, Pack(outcome))
        .Bind(3, run_)
        .Bind(4, Now())
        .Bind(5, path)
        .Run();
    return;
  }
  Stmt(*db_,
       "INSERT OR REPLACE INTO documents(path, shown, state, before, after, outcome, run, at)"
       " VALUES(?, ?, ?, ?, NULL, ?, ?, ?)")
      .Bind(1, path)
      .Bind(2, shown)
      .Bind(3, state)
      .Bind(4, Signed(hash))
      .BindBlob(5, Pack(outcome))
      .Bind(6, run_)
      .Bind(7, Now())
      .Run();
}

void Journal::ForEach(const std::function<void(const JournalEntry&)>& each) {
  std::lock_guard<std::mutex> lock(mutex_);
  Stmt q(*db_,
         "SELECT path, shown, state, before, after, outcome, run, at FROM documents ORDER BY path");
  while (q.Step()) {
    JournalEntry e{q.Text(0),    q.Text(1),         q.Text(2), static_cast<std::uint64_t>(q.Int(3)),
                   std::nullopt, Unpack(q.Blob(5)), q.Int(6),  q.Text(7)};
    if (!q.IsNull(4)) e.after = static_cast<std::uint64_t>(q.Int(4));
    each(e);
  }
}

bool Journal::IsDone(const JournalEntry& e, std::uint64_t hash, bool dry_run) {
  // A replacement recorded as started that did happen: the document holds the new bytes.
  if (e.state == "started") return !dry_run && e.after && *e.after == hash;
  if (e.state == "done") return hash == (e.after ? *e.after : e.before);
  // A dry run's plan is done for a dry run only; a real run still has to write it.
  if (e.state == "planned") return dry_run && hash == e.before;
  return false;
}

void MergeJournals(const std::vector<std::string>& files,
                   const std::function<void(const JournalEntry&, std::size_t copies)>& each) {
  // Merged in a private temporary database, on disk: memory stays small however many
  // documents the journals hold.
  Db merged("", false, true);
  merged.Exec(
      "CREATE TABLE d(path TEXT, shown TEXT, state TEXT, before INTEGER, after INTEGER,"
      " outcome BLOB, run INTEGER, at TEXT, source INTEGER)");
  for (std::size_t i = 0; i < files.size(); ++i) {
    {
      Db check(files[i], true, false);
      Stmt q(check, "SELECT count(*) FROM documents");
      q.Step();
      q.Reset();
    }
    Stmt(merged, "ATTACH DATABASE ? AS j").Bind(1, files[i]).Run();
    Stmt(merged,
         "INSERT INTO d SELECT path, shown, state, before, after, outcome, run, at, ?"
         " FROM j.documents")
        .Bind(1, static_cast<std::int64_t>(i))
        .Run();
    merged.Exec("DETACH DATABASE j");
  }
  merged.Exec("CREATE INDEX d_order ON d(path, at, source)");
  Stmt q(merged,
         "SELECT path, shown, state, before, after, outcome, run, at FROM d"
         " ORDER BY path, at, source");
  std::optional<JournalEntry> last;
  std::size_t copies = 0;
  while (q.Step()) {
    JournalEntry e{q.Text(0),    q.Text(1),         q.Text(2), static_cast<std::uint64_t>(q.Int(3)),
                   std::nullopt, Unpack(q.Blob(5)), q.Int(6),  q.Text(7)};
    if (!q.IsNull(4)) e.after = static_cast<std::uint64_t>(q.Int(4));
    if (last && last->path != e.path) {
      each(*last, copies);
      copies = 0;
    }
    last = std::move(e);
    ++copies;
  }
  if (last) each(*last, copies);
}

void KillPoint(const char* point) {
  static const char* wanted = std::getenv("RAVELMEND_BATCH_KILL");
  if (wanted == nullptr) return;
  static std::mutex mutex;
  static std::map<std::string, int> reached;
  std::string s = wanted;
  std::size_t colon = s.find(':');
  if (colon == std::string::npos || s.substr(0, colon) != point) return;
  std::lock_guard<std::mutex> lock(mutex);
  if (++reached[point] == std::atoi(s.c_str() + colon + 1)) std::_Exit(137);
}

}  // namespace ravel::batch
