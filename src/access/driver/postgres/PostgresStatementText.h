// The text of what goes to the server: names spliced into statements, and
// values in the server's input syntax, as parameters or as COPY fields.
// Values are never spliced into a statement; names are, quoted where they
// need it.
#pragma once

#include <QZDatabaseAccess.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "access/driver/postgres/PostgresRowTexts.h"

namespace qz::access::postgres {

// Appends name as the statement text carries it: plain names unquoted (the
// server folds them to lower case as it did in CREATE TABLE), anything else
// quoted so that it can never end the quote.
void AppendIdentifier(std::string* sql, std::wstring_view name);

// "table (a,b,c)": what an INSERT and a COPY of the row's columns share.
void BuildTarget(std::string* out, const RowTexts& row);

// The text value travels as, in the server's input syntax for the column it
// lands in. False for NULL: a database NULL, an invalid date-time, an
// all-zero timestamp.
bool ValueText(const CQZDBVariant& value, std::string* out);

// Appends field as one field of a COPY text-format row.
void AppendCopyField(std::string* row, const ParameterText& field);

// Asked with BEGIN: whether the transaction may write ("off").
inline constexpr char kWhetherWrites[] = "SELECT current_setting('transaction_read_only')";

// Whether the statement can return rows, judged by its first word.
bool MayReturnRows(const std::string& sql);

// Whether the statement surely returns no rows: an INSERT, UPDATE or
// DELETE with no RETURNING (any word RETURNING, even in a quoted text,
// counts as one).
bool ReturnsNoRows(const std::string& sql);

// Whether the statement is a query a cursor can read a chunk at a time
// (DECLARE ... CURSOR FOR): a SELECT, and not one that makes a table.
bool ReadsThroughPortal(const std::string& sql);

}  // namespace qz::access::postgres
