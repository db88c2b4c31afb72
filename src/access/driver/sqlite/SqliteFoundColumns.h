// The result columns already found by name in one kept statement, so that
// the next query through the same statement finds them again without
// comparing the names SQLite holds. They stay valid while SQLite has not
// prepared the statement again: a change of schema may move or rename the
// columns, and then they are found afresh.
//
// The columns as found also have an identity, unique in the process: a
// later query through the same statement, not prepared again since, has
// the same identity, and no other result ever has it. A row mapping keeps
// the positions it found under it (Cursor::ColumnsIdentity).
#pragma once

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qz::access::sqlite {

class FoundColumns {
 public:
  // Forgets every column found if statement was prepared again since they
  // were found.
  void Check(sqlite3_stmt* statement) {
    const int reprepared = sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_REPREPARE, 0);
    if (reprepared == reprepared_ && identity_ != 0) return;
    found_.clear();
    next_ = 0;
    reprepared_ = reprepared;
    identity_ = NewIdentity();
  }

  // The identity of the columns as Check last found them; 0 before.
  uint64_t identity() const { return identity_; }

  // The position found for column, named exactly so, or -1. Columns are
  // asked for in the same order on every query: the one after the last
  // found is tried first.
  int Find(std::wstring_view column) {
    if (next_ < found_.size() && found_[next_].first == column) return found_[next_++].second;
    for (size_t i = 0; i < found_.size(); ++i)
      if (found_[i].first == column) {
        next_ = i + 1;
        return found_[i].second;
      }
    return -1;
  }

  void Remember(std::wstring_view column, int position) {
    if (found_.size() >= kCapacity) return;
    found_.emplace_back(std::wstring(column), position);
    next_ = found_.size();
  }

  // For the next query: its first column is asked for first.
  void Rewind() { next_ = 0; }

 private:
  static uint64_t NewIdentity() {
    static std::atomic<uint64_t> last{0};
    return ++last;
  }

  static constexpr size_t kCapacity = 64;
  std::vector<std::pair<std::wstring, int>> found_;
  size_t next_ = 0;
  int reprepared_ = 0;
  uint64_t identity_ = 0;
};

}  // namespace qz::access::sqlite
