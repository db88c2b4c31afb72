#include "access/driver/sqlite/SqliteErrors.h"

#include "access/driver/sqlite/SqliteConnection.h"
#include "platform/TextEncoding.h"

namespace qz::access::sqlite {

void SqliteConnection::RaiseError(int code, const char* doing) {
  std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  if (doing && *doing) message = std::string(doing) + ": " + message;
  CQZDBException::Raise(platform::Utf8ToWide(message), "", db_ ? sqlite3_extended_errcode(db_) : code);
}

void SqliteConnection::RaisePrepareError(int code) {
  if (code == kSecondStatement)
    CQZDBException::Raise(L"the SQL text holds more than one statement; only one may run at a time", "", SQLITE_MISUSE);
  if (code == kNoStatement) CQZDBException::Raise(L"the SQL text holds no statement", "", SQLITE_MISUSE);
  RaiseError(code, "");
}

}  // namespace qz::access::sqlite
