#include <cstdlib>
#include <cstring>

#include "access/driver/KeyedUpdate.h"
#include "access/driver/postgres/PostgresConnection.h"
#include "access/driver/postgres/PostgresErrors.h"
#include "access/driver/postgres/PostgresStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::postgres {
namespace {

// COPY data is handed to libpq in pieces of about this size, so a long run
// of rows never sits in memory whole.
constexpr size_t kCopyChunkBytes = 256 * 1024;

}  // namespace

// --- Rows written ---------------------------------------------------------

const std::string& PostgresConnection::PrepareInsert(const std::string& signature, const std::string& sql) {
  for (size_t i = inserts_.size(); i-- > 0;) {
    if (inserts_[i].signature == signature) {
      if (i + 1 != inserts_.size()) std::swap(inserts_[i], inserts_.back());
      return inserts_.back().name;
    }
  }
  if (inserts_.size() >= kPreparedInsertLimit) {
    const std::string deallocate = "DEALLOCATE " + inserts_.front().name;
    RunCommand(deallocate.c_str());
    inserts_.erase(inserts_.begin());
  }
  PreparedInsert entry{signature, "qz_insert_" + std::to_string(next_statement_number_++)};
  // No parameter types: the server takes each from its column, so every
  // value can travel as text in the column's own input syntax.
  unnamed_statement_ = 0;
  Check(Result(PQprepare(conn_, entry.name.c_str(), sql.c_str(), 0, nullptr)), "preparing an insert");
  inserts_.push_back(std::move(entry));
  return inserts_.back().name;
}

void PostgresConnection::InsertRow(const RowTexts& row) {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, CONNECTION_BAD);
  transaction_untouched_ = false;
  const size_t count = row.size();
  // A run of rows of one layout shares its target: made once.
  if (row.layout_id() != insert_target_layout_) {
    insert_target_layout_ = 0;
    BuildTarget(&insert_target_, row);
    insert_target_layout_ = row.layout_id();
  }
  if (transactions_.depth() > 0 && count > 0) {
    CopyRow(insert_target_, row);
    return;
  }
  Quiesce();
  EnsureLink();
  SendPendingBegin();
  const std::string signature = insert_target_;
  std::string sql = "INSERT INTO " + signature;
  if (count == 0) {
    sql += " DEFAULT VALUES";
  } else {
    sql += " VALUES (";
    for (size_t i = 0; i < count; ++i) sql += (i ? ",$" : "$") + std::to_string(i + 1);
    sql += ')';
  }
  const std::string name = PrepareInsert(signature, sql);
  ParameterPointers(row, &param_values_);
  unnamed_statement_ = 0;
  Check(Result(PQexecPrepared(conn_, name.c_str(), static_cast<int>(count), param_values_.data(), nullptr, nullptr, 0)),
        "");
}

void PostgresConnection::UpdateRow(const RowTexts& row, const RowKey& key) {
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, CONNECTION_BAD);
  const size_t count = row.size();
  if (count == 0) return;
  Quiesce();
  EnsureLink();
  SendPendingBegin();
  std::string sql = "UPDATE ";
  AppendIdentifier(&sql, row.table());
  sql += " SET ";
  for (size_t i = 0; i < count; ++i) {
    if (i) sql += ',';
    AppendIdentifier(&sql, row.fields()[i].column);
    sql += "=$" + std::to_string(i + 1);
  }
  sql += " WHERE ";
  for (size_t i = 0; i < key.columns.size(); ++i) {
    if (i) sql += " AND ";
    AppendIdentifier(&sql, key.columns[i]);
    sql += "=$" + std::to_string(count + i + 1);
  }
  ParameterPointers(row, &param_values_);
  for (size_t i = 0; i < key.values.size(); ++i) param_values_.push_back(key.values[i].c_str());
  // Edits of one table and columns share the text: parsed once.
  Result done = RunCommandWithParameters(sql, param_values_);
  // The row was read a moment ago; if it was deleted or re-keyed since,
  // saying the edit succeeded would be a lie.
  if (std::strcmp(PQcmdTuples(done.get()), "0") == 0) RaiseEditedRowGone(row.table());
}

int PostgresConnection::UpdateRowByKey(std::unique_ptr<RowTexts>* held_row) {
  const RowTexts& row = **held_row;
  if (closed_) CQZDBException::Raise(L"the connection is closed", kConnectionFailure, CONNECTION_BAD);
  if (!holding_) {
    Quiesce();
    EnsureLink();
  }
  // Rewrites of one layout share the text, made once.
  if (row.layout_id() != keyed_layout_) {
    keyed_layout_ = 0;
    std::vector<FieldValue> columns(row.size());
    for (size_t i = 0; i < row.size(); ++i) columns[i].column = row.fields()[i].column;
    FindKeyFields(row.table(), PrimaryKey(row.table()), columns.data(), columns.size(), &key_fields_);
    KeyedUpdateText(&keyed_sql_, row.table(), columns.data(), columns.size(), key_fields_, '$', AppendIdentifier);
    keyed_layout_ = row.layout_id();
  }
  ParameterPointers(row, &param_values_);
  if (holding_) {
    // Its count comes with the commit's answer (PostgresFlight.cpp).
    HoldStatement(keyed_sql_, param_values_, true, held_row);
    return 1;
  }
  // Rewrites of one table and columns share the text: parsed once.
  Result done = RunCommandWithParameters(keyed_sql_, param_values_);
  return std::atoi(PQcmdTuples(done.get()));
}

const std::vector<std::wstring>& PostgresConnection::PrimaryKey(const std::wstring& table) {
  for (const PrimaryKeyEntry& entry : primary_keys_)
    if (entry.table == table) return entry.columns;
  Quiesce();
  EnsureLink();
  std::string name;
  AppendIdentifier(&name, table);
  const char* params[] = {name.c_str()};
  static const char kSql[] =
      "SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
      "WHERE i.indrelid = $1::regclass AND i.indisprimary ORDER BY array_position(i.indkey::int2[], a.attnum)";
  unnamed_statement_ = 0;
  Result result(PQexecParams(conn_, kSql, 1, nullptr, params, nullptr, nullptr, 0));
  // A table that is not there is told in the very words a statement
  // naming it would have had: a rewrite by key runs none before this.
  const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  if (state && std::strcmp(state, "42P01") == 0) RaiseResultError(result.get(), "");
  result = Check(std::move(result), "reading the primary key");
  PrimaryKeyEntry entry{table, {}};
  for (int row = 0; row < PQntuples(result.get()); ++row)
    entry.columns.push_back(platform::Utf8ToWide(PQgetvalue(result.get(), row, 0)));
  primary_keys_.push_back(std::move(entry));
  return primary_keys_.back().columns;
}

// --- The COPY stream ------------------------------------------------------
// Inside a transaction, inserts with the same table and columns become the
// rows of one COPY ... FROM STDIN, sent in chunks as they fill. The server
// checks each row as it arrives; the first failure ends the COPY, and it is
// reported when the stream is finished: by the next statement, savepoint,
// commit or read on the connection.

void PostgresConnection::CopyRow(const std::string& signature, const RowTexts& row) {
  if (copying_ && copy_signature_ != signature) FinishCopy(true);
  if (!copying_) {
    Quiesce();
    EnsureLink();
    SendPendingBegin();
    const std::string sql = "COPY " + signature + " FROM STDIN";
    unnamed_statement_ = 0;
    Result result(PQexec(conn_, sql.c_str()));
    if (!result || PQresultStatus(result.get()) != PGRES_COPY_IN) RaiseResultError(result.get(), "");
    copying_ = true;
    copy_signature_ = signature;
    copy_buffer_.clear();
    copy_rows_ = 0;
  }
  for (size_t i = 0; i < row.size(); ++i) {
    if (i) copy_buffer_.push_back('\t');
    AppendCopyField(&copy_buffer_, row.fields()[i].value);
  }
  copy_buffer_.push_back('\n');
  ++copy_rows_;
  if (copy_buffer_.size() >= kCopyChunkBytes) SendCopyBuffer();
}

void PostgresConnection::SendCopyBuffer() {
  if (copy_buffer_.empty()) return;
  const int sent = PQputCopyData(conn_, copy_buffer_.data(), static_cast<int>(copy_buffer_.size()));
  copy_buffer_.clear();
  // libpq refuses more data once the server has ended the COPY with an
  // error, or the link is gone: finish now so that the failure is reported.
  if (sent != 1) FinishCopy(true);
}

void PostgresConnection::FinishCopy(bool keep) {
  if (!copying_) return;
  bool sent = true;
  if (keep && !copy_buffer_.empty())
    sent = PQputCopyData(conn_, copy_buffer_.data(), static_cast<int>(copy_buffer_.size())) == 1;
  copy_buffer_.clear();
  copying_ = false;
  // Ending with an error message makes the server drop every row sent.
  if (sent) sent = PQputCopyEnd(conn_, keep ? nullptr : "rows discarded by a rollback") == 1;
  Result failure;
  for (int guard = 0; guard < 16; ++guard) {
    Result result(PQgetResult(conn_));
    if (!result) break;
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COPY_IN) {
      PQputCopyEnd(conn_, "abandoned");
      continue;
    }
    if (status != PGRES_COMMAND_OK && !failure) failure = std::move(result);
  }
  if (!keep) {
    NoteLinkLoss();
    return;
  }
  if (failure) RaiseResultError(failure.get(), "adding rows");
  if (!sent) RaiseResultError(nullptr, "adding rows");
}

}  // namespace qz::access::postgres
