// How the driver reports what goes wrong: the ODBC driver's own messages
// and SQLSTATE, and which SQLSTATEs mean the link to the server is gone.
#pragma once

#ifdef _WIN32
#include <windows.h>  // the ODBC headers take their types from it there
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>

namespace qz::access::odbc {

// SQLSTATE class 08: the link to the server.
inline constexpr char kConnectionFailure[] = "08S01";
inline constexpr char kConnectionNotOpened[] = "08001";

// What the driver said about the last call on a handle: the first record's
// SQLSTATE and native code, and the messages of all its records.
struct Diagnostic {
  std::wstring message;
  std::string state;
  int native_error = 0;
};

Diagnostic ReadDiagnostic(SQLSMALLINT handle_type, SQLHANDLE handle);

// Whether the diagnostic says the connection to the server is gone.
bool IsLinkLoss(const Diagnostic& diagnostic);

// Throws the diagnostic as CQZDBException; doing, when not empty, says
// what was being done ("adding rows: ...").
[[noreturn]] void RaiseDiagnostic(const Diagnostic& diagnostic, const wchar_t* doing);

}  // namespace qz::access::odbc
