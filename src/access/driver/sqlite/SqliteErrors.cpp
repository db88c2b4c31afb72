#include "access/driver/sqlite/SqliteErrors.h"

#include "access/driver/sqlite/SqliteConnection.h"
#include "platform/TextEncoding.h"

namespace qz::access::sqlite {
namespace {

// What "database is locked" means, by the engine's extended code. Every
// write of ours begins its transaction as a writer, so the first is what
// one of ours meets; the second only a caller's own read-then-write.
const char* BusyReason(int extended_code) {
  if (extended_code == SQLITE_BUSY_SNAPSHOT)
    return " (another connection wrote since this transaction began reading; begin it as a writer)";
  return " (another connection kept it locked for longer than this one waits, the busy timeout)";
}

}  // namespace

void RaiseEngineError(const std::string& message, int extended_code) {
  const char* reason = (extended_code & 0xff) == SQLITE_BUSY ? BusyReason(extended_code) : "";
  CQZDBException::Raise(platform::Utf8ToWide(message + reason), "", extended_code);
}

void SqliteConnection::RaiseError(int code, const char* doing) {
  std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  if (doing && *doing) message = std::string(doing) + ": " + message;
  RaiseEngineError(message, db_ ? sqlite3_extended_errcode(db_) : code);
}

void SqliteConnection::RaisePrepareError(int code) {
  if (code == kSecondStatement) RaiseSecondStatement();
  if (code == kNoStatement) RaiseNoStatement();
  RaiseError(code, "");
}

}  // namespace qz::access::sqlite
