#include "batch/Sqlite.h"

#include <sqlite3.h>

namespace ravel::batch {

Db::Db(const std::string& path, bool read_only, bool create) : path_(path) {
  int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (create && !read_only) flags |= SQLITE_OPEN_CREATE;
  if (sqlite3_open_v2(path.c_str(), &db_, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
    std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw DbError(path + ": " + why);
  }
  // Another process (a shard, a report) may hold the file for a moment.
  sqlite3_busy_timeout(db_, 10000);
}

Db::~Db() {
  sqlite3_close_v2(db_);
}

void Db::Fail(const std::string& what) const {
  throw DbError(path_ + ": " + what + ": " + sqlite3_errmsg(db_));
}

void Db::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string why = message != nullptr ? message : "failed";
    sqlite3_free(message);
    throw DbError(path_ + ": " + why);
  }
}

Stmt::Stmt(Db& db, const char* sql) : db_(db) {
  if (sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK)
    db.Fail("not a journal or index of this program");
}

Stmt::~Stmt() {
  sqlite3_finalize(stmt_);
}

Stmt& Stmt::Bind(int i, const std::string& text) {
  sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Stmt& Stmt::Bind(int i, std::int64_t value) {
  sqlite3_bind_int64(stmt_, i, value);
  return *this;
}

Stmt& Stmt::BindBlob(int i, const std::string& bytes) {
  sqlite3_bind_blob(stmt_, i, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  return *this;
}

Stmt& Stmt::BindNull(int i) {
  sqlite3_bind_null(stmt_, i);
  return *this;
}

bool Stmt::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  sqlite3_reset(stmt_);
  if (rc != SQLITE_DONE) db_.Fail("cannot be read or written");
  return false;
}

void Stmt::Run() {
  while (Step()) {
  }
  sqlite3_clear_bindings(stmt_);
}

void Stmt::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

std::string Stmt::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  return text == nullptr
             ? std::string()
             : std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::int64_t Stmt::Int(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

std::string Stmt::Blob(int column) const {
  const void* data = sqlite3_column_blob(stmt_, column);
  return data == nullptr
             ? std::string()
             : std::string(static_cast<const char*>(data),
                           static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)));
}

bool Stmt::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

}  // namespace ravel::batch
