#include "access/driver/postgres/PostgresErrors.h"

#include "access/driver/postgres/PostgresConnection.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {

std::string TrimmedLines(const char* text) {
  std::string out = text ? text : "";
  out.erase(out.find_last_not_of(" \t\n\r\f\v") + 1);
  return out;
}

void PostgresConnection::RaiseResultError(const PGresult* result, const char* doing) {
  const bool lost = NoteLinkLoss();
  std::string message;
  std::string state;
  if (result) {
    const char* primary = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    message = primary ? primary : TrimmedLines(PQresultErrorMessage(result));
    if (const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL))
      message += "\nDETAIL: " + std::string(detail);
    if (const char* hint = PQresultErrorField(result, PG_DIAG_MESSAGE_HINT)) message += "\nHINT: " + std::string(hint);
    if (const char* context = PQresultErrorField(result, PG_DIAG_CONTEXT))
      message += "\nCONTEXT: " + std::string(context);
    if (const char* sqlstate = PQresultErrorField(result, PG_DIAG_SQLSTATE)) state = sqlstate;
  }
  if (message.empty()) message = conn_ ? TrimmedLines(PQerrorMessage(conn_)) : "the connection is closed";
  if (state.empty() && lost) state = kConnectionFailure;
  // An old primary fenced or demoted under us: the next call outside a
  // transaction looks through the server list again.
  if (state == kReadOnlyTransaction && several_servers_) look_again_ = true;
  // The extended protocol refuses a second statement with a message about
  // prepared statements, which the caller never made: say what happened,
  // as every driver says it.
  if (state == "42601" && message.find("cannot insert multiple commands") != std::string::npos) RaiseSecondStatement();
  if (lost && transactions_.depth() > 0)
    message += "\n(the connection was lost inside a transaction; the server rolled it back)";
  if (doing && *doing) message = std::string(doing) + ": " + message;
  const int native = result ? static_cast<int>(PQresultStatus(result)) : static_cast<int>(PGRES_FATAL_ERROR);
  CQZDBException::Raise(platform::Utf8ToWide(message), state, native);
}

Result PostgresConnection::Check(Result result, const char* doing) {
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return result;
  if (status == PGRES_EMPTY_QUERY) RaiseNoStatement();
  if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH) {
    // A caller's COPY FROM STDIN / TO STDOUT has no data path here: end it
    // at once so that the connection is not left inside it.
    if (status != PGRES_COPY_OUT) PQputCopyEnd(conn_, "COPY through the client is not supported");
    if (status != PGRES_COPY_IN) {
      char* data = nullptr;
      while (PQgetCopyData(conn_, &data, 0) >= 0) PQfreemem(data);
    }
    while (Result rest{PQgetResult(conn_)}) {
    }
    CQZDBException::Raise(L"COPY to or from the client is not supported", "0A000", status);
  }
  RaiseResultError(result.get(), doing);
}

}  // namespace qz::access::postgres
