// Owners of the engine's handles: a statement is finalized, and a database
// closed, when its owner goes, whichever way the code leaves.
#pragma once

#include <sqlite3.h>

#include <memory>

namespace qz::access::sqlite {

// Owns one prepared statement.
struct FinalizeStatement {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// Owns one database connection. Closing waits for statements still held
// elsewhere (sqlite3_close_v2): the cursors finalize their own. It stands
// for the sqlite3* that nearly every call of the engine takes.
class Database {
 public:
  Database() = default;
  ~Database() { reset(); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  operator sqlite3*() const { return db_; }
  void reset(sqlite3* db = nullptr) {
    if (db_) sqlite3_close_v2(db_);
    db_ = db;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace qz::access::sqlite
