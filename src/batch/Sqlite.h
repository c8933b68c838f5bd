// A thin hold on SQLite for the journal and the name index: a connection and prepared
// statements that finalize themselves, and errors as exceptions naming the file.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace ravel::batch {

struct DbError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Db {
 public:
  // `path` is UTF-8 (SQLite turns it into a wide path on Windows).
  Db(const std::string& path, bool read_only, bool create);
  ~Db();
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;
  void Exec(const char* sql);
  sqlite3* handle() const { return db_; }
  [[noreturn]] void Fail(const std::string& what) const;
  const std::string& path() const { return path_; }

 private:
  sqlite3* db_ = nullptr;
  std::string path_;
};

class Stmt {
 public:
  Stmt(Db& db, const char* sql);
  ~Stmt();
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  Stmt& Bind(int i, const std::string& text);
  Stmt& Bind(int i, std::int64_t value);
  Stmt& BindNull(int i);
  Stmt& BindBlob(int i, const std::string& bytes);
  // True while there is a row; resets itself at the end.
  bool Step();
  // Runs a statement that returns no rows, and makes it ready to run again.
  void Run();
  // Ends a query read only in part, so the statement can be bound again.
  void Reset();
  std::string Text(int column) const;
  std::int64_t Int(int column) const;
  bool IsNull(int column) const;
  std::string Blob(int column) const;

 private:
  Db& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace ravel::batch
