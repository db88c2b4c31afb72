// The database-access component: one connection (CQZDatabase), a record set
// on it (CQZRecordSet), the value of one column (CQZDBVariant), the date-time
// of the odt columns (SQZDateTime) and the one exception type (CQZDBException).
//
// Every engine sits behind the same calls; DATABASETYPE picks the engine:
//   0  SQLite, embedded (also every unknown kind): connect1 = folder,
//      connect2 = file name (absolute path ignores the folder; ":memory:").
//   1  PostgreSQL: connect1 = host, host:port or socket folder,
//      connect2 = database, connect3 = user, connect4 = password.
//   2  ODBC: connect1 = DSN or a connection string holding '=',
//      connect2 = database, connect3 = user, connect4 = password.
//   3..5 reserved: Connect throws.
//
// Failures arrive as CQZDBException thrown by pointer; the catcher owns the
// object and releases it with Delete().
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
// QZ_STATIC_LIBRARIES: linked as static libraries (the test programs).
#if defined(QZ_STATIC_LIBRARIES)
#define QZ_DATABASE_ACCESS_API
#elif defined(QZ_DATABASE_ACCESS_BUILD)
#define QZ_DATABASE_ACCESS_API __declspec(dllexport)
#else
#define QZ_DATABASE_ACCESS_API __declspec(dllimport)
#endif
#else
#define QZ_DATABASE_ACCESS_API __attribute__((visibility("default")))
#endif

enum DATABASETYPE {
  QZDB_SQLITE = 0,
  QZDB_POSTGRESQL = 1,
  QZDB_ODBC = 2,
  QZDB_RESERVED3 = 3,
  QZDB_RESERVED4 = 4,
  QZDB_RESERVED5 = 5,
};

enum ROWOPERATION {
  ROWOPERATION_READONLY = 0,  // every read-only query
  ROWOPERATION_WRITE = 1,     // rows will be added or edited; deletes
};

// An OLE Automation date: m_dt counts days from 1899-12-30, its fraction is
// the time of day; m_status says whether m_dt means anything.
struct QZ_DATABASE_ACCESS_API SQZDateTime {
  enum Status { valid = 0, invalid = 1 };

  double m_dt = 0.0;
  int m_status = valid;

  // Day 0 (1899-12-30 00:00:00), valid.
  SQZDateTime() = default;

  // From calendar parts. Parts that do not name a real moment of the years
  // 100 to 9999 (30 February, month 13, hour 24) give status invalid.
  SQZDateTime(int year, int month, int day, int hour, int minute, int second);

  // The current local wall-clock time in whole seconds; invalid when the
  // local time cannot be had.
  static SQZDateTime Now();

  // The calendar parts, rounded to the second. Returns false (and leaves the
  // outputs alone) when the date-time is invalid or out of range.
  bool GetParts(int* year, int* month, int* day, int* hour, int* minute, int* second) const;

  bool IsValid() const { return m_status == valid; }
};

// A timestamp as a column delivers it. All zero for a database NULL.
struct SQZTimestamp {
  int16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint32_t fraction = 0;  // nanoseconds
};

// The value of one column. A row mapping assigns it before SetFieldValue and
// reads one of its three views (integer, text, timestamp) after
// GetValueInColumn. A database NULL reads as 0, empty text and an all-zero
// timestamp.
class QZ_DATABASE_ACCESS_API CQZDBVariant {
 public:
  enum Type { TYPE_NULL, TYPE_INTEGER, TYPE_REAL, TYPE_TEXT, TYPE_DATETIME, TYPE_TIMESTAMP };

  CQZDBVariant();
  CQZDBVariant(const CQZDBVariant&);
  CQZDBVariant& operator=(const CQZDBVariant&);
  virtual ~CQZDBVariant();

  CQZDBVariant& operator=(int32_t value);
  CQZDBVariant& operator=(const std::wstring& value);
  CQZDBVariant& operator=(const wchar_t* value);
  CQZDBVariant& operator=(const SQZDateTime& value);

  // Setters the drivers use when they fill a variant from a row.
  void SetNull();
  void SetInteger(int64_t value);
  void SetReal(double value);
  void SetTextUtf8(std::string_view utf8);
  void SetTimestamp(const SQZTimestamp& value);

  Type GetType() const { return m_type; }
  bool IsNull() const { return m_type == TYPE_NULL; }

  // The three views. Each converts from whatever the column held:
  // text that reads as a number gives that number, a number gives its text,
  // timestamp text "YYYY-MM-DD HH:MM:SS[.fff]" (or with 'T') gives a
  // timestamp, a REAL is a julian day number and an INTEGER a unix time.
  int32_t GetInt32() const;
  const wchar_t* GetText() const;
  SQZTimestamp GetTimestamp() const;

  // What was assigned, for drivers binding a value.
  int64_t GetInteger64() const { return m_integer; }
  double GetReal() const { return m_real; }
  const std::wstring& GetTextRef() const;
  const SQZDateTime& GetDateTime() const { return m_dateTime; }

 private:
  Type m_type = TYPE_NULL;
  int64_t m_integer = 0;
  double m_real = 0.0;
  std::wstring m_text;
  SQZDateTime m_dateTime;
  SQZTimestamp m_timestamp;
  mutable std::wstring m_textView;  // the text view of a non-text value
};

// A failure of the database or of the component, thrown by pointer.
class QZ_DATABASE_ACCESS_API CQZDBException {
 public:
  CQZDBException(std::wstring message, std::string sqlState, int nativeError);
  virtual ~CQZDBException();

  // Releases the object. The catcher calls it once and then forgets it.
  void Delete();

  const std::wstring& GetErrorMessage() const { return m_strError; }
  const std::string& GetSQLState() const { return m_strSQLState; }  // "" when none
  int GetNativeError() const { return m_nNativeError; }

  // Opt-in diagnostics: a host may install an observer that sees every
  // exception the component raises, before it is thrown. Empty removes it.
  static void SetObserver(std::function<void(const CQZDBException&)> observer);

  // Creates an exception, tells the observer, and throws it.
  [[noreturn]] static void Raise(std::wstring message, std::string sqlState, int nativeError);

 private:
  CQZDBException(const CQZDBException&) = delete;
  CQZDBException& operator=(const CQZDBException&) = delete;

  std::wstring m_strError;
  std::string m_strSQLState;
  int m_nNativeError;
};

namespace qz::access {
class Connection;
class Cursor;
}  // namespace qz::access
class CQZRecordSet;

// What became of a statement whose answer was held back for the commit
// (CQZDatabase::HoldAnswers).
struct SQZHeldAnswer {
  enum State { pending, done, failed };
  int m_state = pending;  // pending: no answer came (the commit failed, or the link went)
  long long m_rows = -1;  // done: the rows it changed; -1 when the answer was lost
                          // and the commit was found to have happened anyway
};

// One connection to one database.
class QZ_DATABASE_ACCESS_API CQZDatabase {
 public:
  CQZDatabase();
  virtual ~CQZDatabase();

  // Connects through the engine of type. Returns 1; throws CQZDBException
  // when the engine refuses or the type is not supported.
  int Connect(DATABASETYPE type, const std::wstring& connect1, const std::wstring& connect2,
              const std::wstring& connect3, const std::wstring& connect4);

  // Nonzero while the connection is usable.
  int IsConnectted();

  // Ends the connection; a no-op when there is none. Returns 1.
  int Close();

  // Transactions nest: the outermost BeginTrans starts a transaction, an
  // inner one a savepoint; CommitTrans and Rollback end the innermost.
  // Each returns 1 when it did something, 0 without a connection or an open
  // transaction.
  int BeginTrans();
  int CommitTrans();
  int Rollback();

  // True before a successful Connect and after Close.
  bool IsClosed() const { return m_closed; }

  // The engine in use and where it points, for people to read
  // ("sqlite /home/u/.local/share/qz/gezhuan.db").
  std::wstring Describe() const;

  // The database product behind the connection as it names itself
  // ("PostgreSQL", "MariaDB", "SQLite"), for the kinds that reach more than
  // one product (ODBC); empty otherwise and when not connected.
  std::wstring GetDBMSName() const;

  // --- Answers that come with the commit -----------------------------------
  // In an outermost transaction that has run nothing yet: lets the
  // statements that follow, up to its CommitTrans, go out without waiting
  // for their answers, where the engine can. On a server BEGIN, those
  // statements and COMMIT then cost one round trip together. Only a
  // statement that returns no rows is held back (Open of a delete, insert
  // or update, Update of a row begun by EditByKey); its call answers as if
  // it succeeded (Update: as if a row held the key). CommitTrans reads the
  // real answers: when one is a failure, it throws that failure and
  // commits nothing. A statement that needs its answer at once (a query)
  // first reads the answers held so far, throwing a failure among them.
  // False, with nothing held back, where every statement is answered at once.
  bool HoldAnswers();
  // The answers held back since HoldAnswers, in the order the statements
  // ran; valid after CommitTrans until the next transaction begins.
  std::vector<SQZHeldAnswer> HeldAnswers() const;

 private:
  CQZDatabase(const CQZDatabase&) = delete;
  CQZDatabase& operator=(const CQZDatabase&) = delete;

  // A record set keeps its own fields and this object its own: the set
  // asks for the connection, and attaches itself while its statement is
  // open and detaches when it ends, so that this object can end the
  // statement first when the connection goes.
  friend class CQZRecordSet;
  // The driver connection while it is usable, else null.
  qz::access::Connection* UsableConnection();
  void Attach(CQZRecordSet* set);
  void Detach(CQZRecordSet* set);
  // Ends the statements of the record sets still open on this connection,
  // so that none outlives the driver object it points into.
  void ReleaseOpenSets(bool forget_database);

  std::unique_ptr<qz::access::Connection> m_connection;
  bool m_closed = true;
  std::vector<CQZRecordSet*> m_openSets;
};

// A statement on a connection: a query to read or to add and edit rows, or
// a statement such as "delete from ..." that returns no rows.
//
// The calling rules are the same on every engine, and a call that breaks
// them throws CQZDBException with SQLSTATE "HY010": every call but Open,
// IsOpen, Close and EditByKey needs an open statement; AddNew and Edit need
// ROWOPERATION_WRITE; Edit and GetValueInColumn need a current row;
// SetFieldValue and Update need an AddNew or Edit not yet written. An Update
// whose row is gone throws "02000"; any call on a set whose connection was
// closed throws "08003". A value no engine could store and read back (a
// text holding NUL, a date-time marked valid that names no moment of the
// years 100 to 9999) is refused by SetFieldValue.
//
// Threads: a connection and its record sets are used by one thread at a
// time; separate connections may be used from separate threads.
class QZ_DATABASE_ACCESS_API CQZRecordSet {
 public:
  explicit CQZRecordSet(CQZDatabase* database);
  virtual ~CQZRecordSet();

  // Runs exactly one statement; a text holding a second statement is refused
  // with CQZDBException. Returns false when the connection is not usable;
  // throws when the database rejects the statement.
  bool Open(const std::wstring& sql, ROWOPERATION operation);
  // Opens sql for reading, as Open does, and tells the engine that the
  // query following is to be read right after it: an engine that saves
  // round trips by it sends following along (after sql's rows, in the same
  // snapshot where it can). Once sql's rows are read, OpenFollowing opens
  // it; closing or opening the set otherwise lets it go.
  bool OpenWithFollowing(const std::wstring& sql, const std::wstring& following);
  // Moves the set on to the query sent along by OpenWithFollowing, before
  // its first row. False, with the set as it was, when the engine sent
  // none: run it with Open then. Throws when the query failed.
  bool OpenFollowing();
  // False where OpenWithFollowing would never send the query following
  // along on this set's connection (nor without one): the caller can then
  // skip writing it and open the two queries one after the other.
  bool MaySendFollowing();
  bool IsOpen() const;
  // Ends the statement. Rows it added that the engine was still holding
  // back (to send them together) are sent first, and a refusal among them
  // throws CQZDBException here; the statement is closed either way. (The
  // destructor closes without sending: the rows then go with the
  // connection's next statement.)
  void Close();

  // True right after Open when the result has no rows.
  bool IsBOF();
  // True once past the last row.
  bool IsEOF();
  // Steps to the next row; the flag is accepted and has no effect.
  bool MoveNext(bool flag = false);

  // Begins a new row of table (AddNew) or a rewrite of the current row,
  // found by the table's primary key (Edit); SetFieldValue assigns columns
  // and Update writes them.
  bool AddNew(const std::wstring& table);
  bool Edit(const std::wstring& table);
  bool SetFieldValue(std::wstring_view column, const CQZDBVariant& value);
  bool Update();
  // Begins a rewrite of the row of table whose primary key columns are
  // assigned by the SetFieldValue calls that follow, without reading it
  // first: Update then answers true when a row held that key and was
  // rewritten, false when none did. Needs ROWOPERATION_WRITE, not a row.
  // On a set that is not open it needs no statement at all: where the
  // engine can, the set is then open for this rewrite alone (for Update and
  // Close); elsewhere, or when the connection is not usable, the answer is
  // false and the set stays closed, so that the caller opens a query that
  // selects the row and asks again. False, with nothing begun, on an engine
  // that has no such way even then; read the row and Edit it.
  bool EditByKey(const std::wstring& table);

  // Fills value from the current row. Column names may be bracketed.
  bool GetValueInColumn(std::wstring_view column, CQZDBVariant& value);

  // --- Reading many rows ----------------------------------------------------
  // What GetValueInColumn and the variant's views give, for row mappings
  // that read many rows: a column's position is found once per statement,
  // and each value is decoded straight from the engine's bytes into the
  // caller's field. A position holds until the record set is opened again
  // or closed. Each call needs a current row, as GetValueInColumn does.

  // The position of column (bracketed or bare); throws for an unknown one.
  int GetColumnPosition(std::wstring_view column);
  // An identity of the result's columns, unique in the process: a later
  // result with the same nonzero identity (the same statement run again,
  // its table unchanged) has the same columns at the same positions, so
  // that positions found in one hold in the other. 0 when the engine
  // cannot tell; find the positions again then.
  uint64_t GetColumnsIdentity();
  // The text view, up to a NUL it may hold, decoded into *out, whose
  // storage is reused.
  void GetTextAt(int position, std::wstring* out);
  // The engine's own UTF-8 bytes when the value is stored as text (valid
  // until the record set moves or closes); false for any other value.
  bool GetUtf8At(int position, std::string_view* out);
  // The integer and timestamp views.
  int32_t GetInt32At(int position);
  SQZTimestamp GetTimestampAt(int position);

  // --- Writing many rows ----------------------------------------------------
  // SetFieldValue with the value as the caller holds it, for row mappings
  // that write many rows: no variant is made, and an engine that can binds
  // the value straight from it. Each keeps SetFieldValue's calling rules and
  // refuses what SetFieldValue refuses for the same value.

  // Text, wide or as UTF-8 (bytes that do not decode are refused).
  bool SetTextField(std::wstring_view column, std::wstring_view text);
  bool SetUtf8Field(std::wstring_view column, std::string_view text);
  // An integer, as a variant holding it.
  bool SetIntegerField(std::wstring_view column, int64_t value);
  // A date-time; an invalid one is written as NULL.
  bool SetDateTimeField(std::wstring_view column, const SQZDateTime& value);

 private:
  CQZRecordSet(const CQZRecordSet&) = delete;
  CQZRecordSet& operator=(const CQZRecordSet&) = delete;

  friend class CQZDatabase;
  // Called by the database whose connection goes: ends the statement, and
  // with forget_database forgets the database, which is being destroyed.
  void DetachFromDatabase(bool forget_database);
  qz::access::Cursor& RequireCursor();
  qz::access::Cursor& RequireRow(const wchar_t* refusal);
  void RequireWritable();
  // The cursor, once SetFieldValue's calling rules hold.
  qz::access::Cursor& RequirePendingRow();
  // Closes the cursor without sending rows it held back, and leaves the
  // database's list of open sets.
  void ReleaseCursor();

  CQZDatabase* m_database;
  std::unique_ptr<qz::access::Cursor> m_cursor;
  ROWOPERATION m_operation = ROWOPERATION_READONLY;
  // The row AddNew or Edit began that Update has not yet written.
  enum class PendingRow { kNone, kNew, kEdited };
  PendingRow m_pendingRow = PendingRow::kNone;
};
