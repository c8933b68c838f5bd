#include "batch/Index.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "batch/Search.h"
#include "batch/Sqlite.h"
#include "relink/TextCompare.h"

namespace ravel::batch {

IndexStats BuildIndex(FileSystem& fs, docfile::TreeWalker* walker, const std::string& root,
                      const std::string& file, const docfile::WalkHooks& hooks) {
  std::string temp = file + ".ravel-new";
  std::u8string wide_temp(temp.begin(), temp.end()), wide_file(file.begin(), file.end());
  std::error_code ec;
  std::filesystem::remove(std::filesystem::path(wide_temp), ec);
  IndexStats stats;
  {
    Db db(temp, false, true);
    db.Exec(
        "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"
        "CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT);"
        "CREATE TABLE folders(id INTEGER PRIMARY KEY, path TEXT);"
        // The lower-case name is the key; `name` is kept only where its case differs (else
        // it is empty: the columns of a key are never null).
        "CREATE TABLE files(key TEXT, folder INTEGER, name TEXT,"
        " PRIMARY KEY(key, folder, name)) WITHOUT ROWID;"
        "BEGIN;");
    Stmt meta(db, "INSERT INTO meta VALUES(?, ?)");
    meta.Bind(1, std::string("root")).Bind(2, root).Run();
    Stmt add_folder(db, "INSERT INTO folders VALUES(?, ?)");
    Stmt add_file(db, "INSERT OR IGNORE INTO files VALUES(?, ?, ?)");
    std::map<std::string, std::int64_t> ids;  // the folders of the walk's current stretch
    std::string last_folder;
    std::int64_t last_id = 0;
    docfile::WalkHooks walk = hooks;
    walk.on_file = [&](const std::string& folder, const std::string& name) {
      if (folder != last_folder) {
        std::string rest;
        docfile::StartsWithFolder(folder, root, &rest);
        auto it = ids.find(rest);
        if (it == ids.end()) {
          // Folders come one after the other: only the few recent ones are looked up.
          if (ids.size() > 4096) ids.clear();
          last_id = static_cast<std::int64_t>(++stats.folders);
          add_folder.Bind(1, last_id).Bind(2, rest).Run();
          ids.emplace(rest, last_id);
        } else {
          last_id = it->second;
        }
        last_folder = folder;
      }
      std::string key = LowerCase(name);
      add_file.Bind(1, key).Bind(2, last_id);
      add_file.Bind(3, key == name ? std::string() : name);
      add_file.Run();
      ++stats.files;
    };
    WalkFiles(fs, walker, root, walk);
    Stmt count(db, "INSERT INTO meta VALUES('files', ?)");
    count.Bind(1, std::to_string(stats.files)).Run();
    db.Exec("COMMIT;");
  }
  std::filesystem::rename(std::filesystem::path(wide_temp), std::filesystem::path(wide_file), ec);
  if (ec) throw DbError(file + ": " + ec.message());
  return stats;
}

NameIndex::NameIndex(const std::string& file) : db_(std::make_unique<Db>(file, true, false)) {
  Stmt q(*db_, "SELECT value FROM meta WHERE key = 'root'");
  if (!q.Step()) throw DbError(file + ": not an index of this program");
  root_ = q.Text(0);
  q.Reset();
}

NameIndex::~NameIndex() = default;

docfile::FoundNames NameIndex::Find(const std::set<std::string>& names, const std::string& root) {
  docfile::FoundNames found;
  Stmt q(*db_,
         "SELECT folders.path, coalesce(nullif(files.name, ''), files.key) FROM files"
         " JOIN folders ON folders.id = files.folder WHERE files.key = ?");
  std::string base = root;
  while (base.size() > 1 && base.back() == '\\') base.pop_back();
  for (const std::string& name : names) {
    q.Bind(1, name);
    while (q.Step()) {
      std::string folder = q.Text(0);
      found[name].push_back(base + (folder.empty() ? "" : "\\" + folder) + "\\" + q.Text(1));
    }
  }
  for (auto& [name, paths] : found) std::sort(paths.begin(), paths.end());
  return found;
}

}  // namespace ravel::batch
