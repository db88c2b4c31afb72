// The interface every engine implements. CQZDatabase owns a Connection,
// CQZRecordSet owns the Cursor that Connection::Execute hands out; the
// public classes only forward and keep the calling rules, the drivers do the
// work. Each driver lives in a folder of its own, its code in a namespace
// of its own (qz::access::sqlite, qz::access::postgres, qz::access::odbc),
// in the same files named after their role:
//   <Engine>Connection.{h,cpp}  the class, connecting, the link,
//                               transactions, and last the factory
//                               Connect<Engine> that DriverRegistry.cpp
//                               hands out for its kind
//   <Engine>Execution.cpp       preparing and running statements
//   <Engine>RowWriting.cpp      rows added and edited
//   <Engine>Errors.{h,cpp}      the engine's errors as CQZDBException
//   <Engine>StatementText.{h,cpp}  the statement texts the driver composes
//   <Engine>Cursor.{h,cpp}      the rows of one statement
//   <Engine>Handles.h           owners of the engine's handles
// and beside them what only that engine needs.
// What every driver shares sits here: ForwardCursor (where a cursor stands)
// and ColumnLookup (a column found by name), RowBuffer (the row being
// written), TransactionNesting (BeginTrans/CommitTrans/Rollback levels),
// StatementShape and StatementCache (one parse per statement shape), and
// the cursor's reads by position below (the direct column path).
//
// Rules every driver keeps:
// - Execute runs exactly one statement; text after it is refused.
// - Every value is bound as a parameter, never spliced into SQL.
// - A query streams its rows; a whole result is never loaded at once.
// - A query opened with ROWOPERATION_WRITE reads nothing before a row is
//   asked for (it may be opened only to add rows). One opened with
//   ROWOPERATION_READONLY is read straight after Open, so a driver may start
//   it at Open and stream its rows from there.
// - Errors are raised with CQZDBException::Raise.
#pragma once

#include <QZDatabaseAccess.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qz::access {

// Raises what every driver raises for a position it has no column at: the
// standard SQLSTATE of an invalid descriptor index.
[[noreturn]] inline void RaiseNoColumnAt(int position) {
  CQZDBException::Raise(L"no column at position " + std::to_wstring(position), "07009", 0);
}

// The rows of one executed statement. CQZRecordSet checks the calling rules
// before it calls a cursor, so a cursor may take them as given.
class Cursor {
 public:
  virtual ~Cursor() = default;

  virtual bool IsBOF() = 0;
  virtual bool IsEOF() = 0;
  virtual bool MoveNext() = 0;
  // Whether there is a current row: the same as !IsEOF(), asked by the
  // record set for its own checks.
  virtual bool HasRow() = 0;
  // True only while the cursor is known to stand on a row, without a call:
  // the record set checks it before each cell of a long read. False says
  // nothing; ask HasRow then.
  bool KnownOnRow() const { return known_on_row_; }
  // column is bare (no brackets); an unknown column throws.
  // REQUIRES: HasRow().
  virtual void GetValue(std::wstring_view column, CQZDBVariant& value) = 0;

  // Begin a row: AddNew a new one, Edit a rewrite of the current one (found
  // by the table's primary key). REQUIRES (Edit): HasRow().
  virtual bool AddNew(const std::wstring& table) = 0;
  virtual bool Edit(const std::wstring& table) = 0;
  // Begins a rewrite of the row of table that the primary key values
  // assigned to it name, without reading it: Update then runs one UPDATE
  // and answers whether a row held the key (no row is no error here).
  // False when the driver has no such way; nothing is begun then.
  virtual bool EditByKey(const std::wstring&) { return false; }
  // A column assigned twice keeps its last value.
  // REQUIRES: a row begun by AddNew or Edit and not yet written.
  virtual bool SetFieldValue(std::wstring_view column, const CQZDBVariant& value) = 0;
  // The same with the value as the caller holds it (CQZRecordSet::
  // SetTextField and the rest). The defaults make the variant, for a driver
  // without a faster way.
  virtual bool SetTextField(std::wstring_view column, std::wstring_view text) {
    scratch_ = std::wstring(text);
    return SetFieldValue(column, scratch_);
  }
  virtual bool SetUtf8Field(std::wstring_view column, std::string_view text) {
    scratch_.SetTextUtf8(text);  // decodes into the text storage the scratch value keeps
    return SetFieldValue(column, scratch_);
  }
  virtual bool SetIntegerField(std::wstring_view column, int64_t integer) {
    scratch_.SetInteger(integer);
    return SetFieldValue(column, scratch_);
  }
  virtual bool SetDateTimeField(std::wstring_view column, const SQZDateTime& date_time) {
    scratch_ = date_time;
    return SetFieldValue(column, scratch_);
  }
  // Writes the row begun and ends it, whether it is written or refused. An
  // edit that changes no row (the row was deleted or re-keyed since it was
  // read) throws RaiseEditedRowGone. REQUIRES: as SetFieldValue.
  virtual bool Update() = 0;

  // Sends whatever rows this cursor added that the driver still holds back,
  // so that the database's answer to them comes now. Throws CQZDBException
  // when the database refuses one.
  virtual void Flush() {}

  virtual void Close() = 0;

  // The cursor of the query sent after this one (Connection::
  // ExecuteWithFollowing), before its first row; null when the driver did
  // not send one. Throws CQZDBException when the query failed.
  // REQUIRES: this cursor's rows are read to their end.
  virtual std::unique_ptr<Cursor> TakeFollowing() { return nullptr; }

  // --- Reading by position (CQZRecordSet::GetColumnPosition) ---------------
  // A cell of the current row as the engine holds it, copied nowhere: text
  // stays valid until the cursor moves. kTimestampText is the text of a
  // native timestamp, read as text only through GetValueAt. kOther says
  // "ask GetValueAt".
  struct Cell {
    enum Kind { kNull, kInteger, kText, kTimestampText, kOther };
    Kind kind = kOther;
    int64_t integer = 0;
    std::string_view text;
  };

  // The defaults go through GetValue by name, for a driver without a
  // faster way. REQUIRES (all three): a current row.
  // column is bare; an unknown column throws.
  virtual int ColumnPosition(std::wstring_view column) {
    CQZDBVariant probe;
    GetValue(column, probe);  // throws for an unknown column
    position_names_.emplace_back(column);
    return static_cast<int>(position_names_.size() - 1);
  }
  // An identity of the result's columns: a later result with the same
  // nonzero identity has the same columns at the same positions, so that
  // positions found in one hold in the other. 0 when the driver cannot
  // tell. REQUIRES: a current row.
  virtual uint64_t ColumnsIdentity() { return 0; }
  virtual Cell CellAt(int) { return Cell{}; }
  virtual void GetValueAt(int position, CQZDBVariant& value) {
    if (position < 0 || static_cast<size_t>(position) >= position_names_.size()) RaiseNoColumnAt(position);
    GetValue(position_names_[static_cast<size_t>(position)], value);
  }

 protected:
  bool known_on_row_ = false;  // kept by ForwardCursor

 private:
  std::vector<std::wstring> position_names_;
  // The value the typed setters' defaults pass on, kept so that its text
  // storage is reused from cell to cell.
  CQZDBVariant scratch_;
};

class Connection {
 public:
  virtual ~Connection() = default;

  virtual bool IsConnected() = 0;
  virtual void Close() = 0;

  // Nesting: depth 0 -> transaction, deeper -> savepoint. Return false when
  // there was nothing to commit or roll back.
  virtual bool BeginTransaction() = 0;
  virtual bool CommitTransaction() = 0;
  virtual bool RollbackTransaction() = 0;

  // Runs one statement; a query opened to write rows may be only prepared,
  // and run when its first row is asked for. Returns null when the
  // connection is not usable; throws CQZDBException when the database
  // rejects the statement.
  virtual std::unique_ptr<Cursor> Execute(const std::wstring& sql, ROWOPERATION operation) = 0;

  // See CQZDatabase::HoldAnswers: the default answers every statement at
  // once.
  virtual bool HoldAnswers() { return false; }
  virtual std::vector<SQZHeldAnswer> HeldAnswers() const { return {}; }
  // As Execute for reading sql; a driver that saves round trips by it also
  // sends the query following, for the cursor's TakeFollowing to open
  // once sql's rows are read, in the same snapshot where it can.
  virtual std::unique_ptr<Cursor> ExecuteWithFollowing(const std::wstring& sql, const std::wstring& following) {
    static_cast<void>(following);
    return Execute(sql, ROWOPERATION_READONLY);
  }
  // False where ExecuteWithFollowing never sends the query following, so
  // that a caller need not write it; a driver that overrides it says true.
  virtual bool MaySendFollowing() const { return false; }

  virtual std::wstring Describe() const = 0;

  // The database product behind the connection as it names itself
  // ("PostgreSQL", "MariaDB", "SQLite"); empty when the driver serves one
  // product only and the kind says which.
  virtual std::wstring DbmsName() const { return std::wstring(); }

  // A cursor on no statement whose EditByKey begins a rewrite by key
  // (CQZRecordSet::EditByKey on a set not open), so that no query has to
  // be run for it. Null when the driver has no such way: the caller opens
  // a query that selects the row then.
  virtual std::unique_ptr<Cursor> KeyedEditCursor() { return nullptr; }
};

struct ConnectionTexts {
  std::wstring connect1;
  std::wstring connect2;
  std::wstring connect3;
  std::wstring connect4;
};

// Makes a connected Connection or throws CQZDBException.
using DriverFactory = std::function<std::unique_ptr<Connection>(const ConnectionTexts&)>;

// Installs factory for type, replacing what was there (tests install a
// scripted driver this way). An empty factory restores the built-in one.
void RegisterDriver(DATABASETYPE type, DriverFactory factory);

// The factory for type: the registered one, else the built-in one. Unknown
// or unset types that are not reserved go to SQLite.
DriverFactory FindDriver(DATABASETYPE type);

// Raises what every driver raises when an edit finds its row gone: "no
// data", the standard SQLSTATE of an UPDATE that matched no row.
[[noreturn]] inline void RaiseEditedRowGone(const std::wstring& table) {
  CQZDBException::Raise(L"the row to edit is no longer in " + table, "02000", 0);
}

// Raises what every driver raises for a text that holds more than one
// statement, whichever part of the driver or the engine notices it:
// syntax_error, with the same words everywhere.
[[noreturn]] inline void RaiseSecondStatement() {
  CQZDBException::Raise(L"the SQL text holds more than one statement; only one may run at a time", "42601", 0);
}

// Raises what every driver raises for a text that holds no statement at all
// (only blanks, comments or semicolons).
[[noreturn]] inline void RaiseNoStatement() { CQZDBException::Raise(L"the SQL text holds no statement", "42601", 0); }

// Raises what every driver raises when Edit is asked of a table without a
// primary key, whose rows it could not find again.
[[noreturn]] inline void RaiseNoKeyToEditBy(const std::wstring& table) {
  CQZDBException::Raise(L"table " + table + L" has no primary key, so its rows cannot be edited", "", 0);
}

// The column name without surrounding brackets: "[guidTask]" -> "guidTask".
inline std::wstring_view BareColumnName(std::wstring_view column) {
  if (column.size() >= 2 && column.front() == L'[' && column.back() == L']') return column.substr(1, column.size() - 2);
  return column;
}

}  // namespace qz::access
