#include "access/driver/odbc/OdbcErrors.h"

#include <QZDatabaseAccess.h>

#include <algorithm>
#include <iterator>

#include "access/driver/odbc/OdbcText.h"

namespace qz::access::odbc {
namespace {

// MariaDB and MySQL client codes that some drivers report as HY000: "server
// has gone away", "lost connection during query" (also its extended form),
// and MariaDB Connector/C's read and write errors on the socket.
constexpr int kLinkLossCodes[] = {2006, 2013, 2055, 5013, 5014};

// Diagnostic records read at most; a failed batch can leave one per row.
constexpr SQLSMALLINT kRecordLimit = 4;

}  // namespace

Diagnostic ReadDiagnostic(SQLSMALLINT handle_type, SQLHANDLE handle) {
  Diagnostic diagnostic;
  for (SQLSMALLINT record = 1; record <= kRecordLimit; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SqlText message(1024, 0);
    SQLRETURN rc = SQLGetDiagRecW(handle_type, handle, record, state, &native, message.data(),
                                  static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    if (static_cast<size_t>(length) >= message.size()) {
      // A longer message: ask again with room for all of it.
      message.assign(static_cast<size_t>(length) + 1, 0);
      rc = SQLGetDiagRecW(handle_type, handle, record, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
      if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    }
    message.resize(std::min(message.size() - 1, static_cast<size_t>(length)));
    std::wstring text = FromSqlText(message.data(), message.size());
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    if (record == 1) {
      for (SQLWCHAR unit : state)
        if (unit) diagnostic.state.push_back(static_cast<char>(unit));
      diagnostic.native_error = native;
    }
    if (text.empty() || diagnostic.message.find(text) != std::wstring::npos) continue;
    if (!diagnostic.message.empty()) diagnostic.message += L"; ";
    diagnostic.message += text;
  }
  if (diagnostic.message.empty()) diagnostic.message = L"the ODBC driver reported an error without a message";
  return diagnostic;
}

bool IsLinkLoss(const Diagnostic& diagnostic) {
  // PostgreSQL ends a session it was told to end (a terminated backend, a
  // shutdown) with 57P01..57P03 rather than class 08.
  return diagnostic.state.compare(0, 2, "08") == 0 || diagnostic.state.compare(0, 4, "57P0") == 0 ||
         std::find(std::begin(kLinkLossCodes), std::end(kLinkLossCodes), diagnostic.native_error) !=
             std::end(kLinkLossCodes);
}

void RaiseDiagnostic(const Diagnostic& diagnostic, const wchar_t* doing) {
  std::wstring message = diagnostic.message;
  if (doing && *doing) message = std::wstring(doing) + L": " + message;
  CQZDBException::Raise(std::move(message), diagnostic.state, diagnostic.native_error);
}

}  // namespace qz::access::odbc
