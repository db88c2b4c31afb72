#include "access/driver/sqlite/SqliteConnection.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "access/TimestampText.h"
#include "access/driver/sqlite/SqliteCursor.h"
#include "platform/TextEncoding.h"

namespace qz::access::sqlite {
namespace {

constexpr int kBusyTimeoutMilliseconds = 5000;

// "name" with embedded quotes doubled: identifiers can never end the quote.
// An edit spells out every column it writes, so plain ASCII names (all of
// ours) are copied as they are, without a conversion each.
void AppendQuotedIdentifier(std::string* sql, std::wstring_view name) {
  sql->push_back('"');
  auto append = [sql](char c) {
    if (c == '"') sql->push_back('"');
    sql->push_back(c);
  };
  if (std::all_of(name.begin(), name.end(), [](wchar_t c) { return c > 0 && c < 0x80; })) {
    for (wchar_t c : name) append(static_cast<char>(c));
  } else {
    for (char c : platform::WideToUtf8(name)) append(c);
  }
  sql->push_back('"');
}

// Whether field assigns a key column the very value (text or integer) the
// row was found by. Names compare without regard to ASCII case, as SQL's do.
bool HoldsKeyValue(const FieldValue& field, const std::vector<FieldValue>& key) {
  auto same_name = [](std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      wchar_t x = a[i], y = b[i];
      if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
      if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
      if (x != y) return false;
    }
    return true;
  };
  for (const FieldValue& k : key) {
    if (!same_name(k.column, field.column)) continue;
    const CQZDBVariant& a = field.value;
    const CQZDBVariant& b = k.value;
    if (a.GetType() != b.GetType()) return false;
    if (a.GetType() == CQZDBVariant::TYPE_TEXT) return a.GetTextRef() == b.GetTextRef();
    if (a.GetType() == CQZDBVariant::TYPE_INTEGER) return a.GetInteger64() == b.GetInteger64();
    return false;
  }
  return false;
}

bool OnlyBlank(const char* text) {
  for (; *text; ++text)
    if (*text != ' ' && *text != '\t' && *text != '\n' && *text != '\r' && *text != '\f' && *text != '\v') return false;
  return true;
}

// A "file:" URI naming path, with every byte that a URI could read as
// something else escaped, so that a '?' or '%' in a file name stays part
// of it. An absolute path gets an empty authority ("file:///..."), so that
// one beginning with "//" is not read as a host.
std::string FileUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = !path.empty() && path.front() == '/' ? "file://" : "file:";
  for (unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      uri.push_back(static_cast<char>(c));
    } else {
      uri.push_back('%');
      uri.push_back(kHex[c >> 4]);
      uri.push_back(kHex[c & 15]);
    }
  }
  return uri;
}

// The answers of a database that we may read but not write: the file or
// its folder is read-only to us, or the folder cannot take the journal.
bool IsWriteRefused(int code) {
  const int primary = code & 0xff;
  return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN || primary == SQLITE_PERM;
}

}  // namespace

// Opens the database for reading and writing. When that fails the way a
// database we may only read fails (a read-only file or folder: WAL needs to
// create its files beside the database), it is opened for reading only:
// listings work, and every write answers with the engine's "attempt to
// write a readonly database".
SqliteConnection::SqliteConnection(const std::string& path) : path_(path) {
  int code = 0;
  std::string message;
  if (TryOpen(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, &code, &message)) return;
  if (path != ":memory:" && IsWriteRefused(code)) {
    int ignored_code = 0;
    std::string ignored_message;
    const std::string uri = FileUri(path);
    if (TryOpen(uri + "?mode=ro", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, &ignored_code, &ignored_message)) return;
    // A WAL database can be read only beside its -shm file, which a folder
    // we may not write cannot take. Without a -wal file every commit is in
    // the database file itself, and it is read as it lies on disk. (A
    // writer with rights we lack that comes later is not seen.) With one,
    // reading the file alone would miss commits: that stays refused.
    std::error_code error;
    const bool has_log = std::filesystem::exists(std::filesystem::u8path(path + "-wal"), error) || error;
    if (!has_log &&
        TryOpen(uri + "?mode=ro&immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, &ignored_code, &ignored_message))
      return;
  }
  CQZDBException::Raise(platform::Utf8ToWide(message + " (" + path + ")"), "", code);
}

bool SqliteConnection::TryOpen(const std::string& name, int flags, int* code, std::string* message) {
  int rc = sqlite3_open_v2(name.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMilliseconds);
    rc = sqlite3_exec(db_, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK && (flags & SQLITE_OPEN_READWRITE) && path_ != ":memory:") {
    // WAL lets readers and one writer work at once. A file system that
    // cannot do WAL (some network mounts) keeps the rollback journal.
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    // In WAL mode NORMAL never corrupts; it may only lose the last
    // commits on a power failure.
    rc = sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  } else if (rc == SQLITE_OK) {
    // Read at once, so that a database that cannot be read even so fails
    // here rather than at the first listing.
    rc = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  }
  if (rc == SQLITE_OK) return true;
  *message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  *code = db_ ? sqlite3_extended_errcode(db_) : rc;
  sqlite3_close(db_);
  db_ = nullptr;
  return false;
}

SqliteConnection::~SqliteConnection() { Close(); }

void SqliteConnection::FinalizeAll() {
  cache_.Clear([](sqlite3_stmt* statement) { sqlite3_finalize(statement); });
  one_use_.clear();  // their cursors finalize them
  sqlite3_finalize(insert_statement_);
  insert_statement_ = nullptr;
  insert_layout_id_ = 0;
}

void SqliteConnection::Close() {
  if (!db_) return;
  FinalizeAll();
  // close_v2 waits for statements still held by open cursors; they finalize
  // their own statements when they see the connection gone.
  sqlite3_close_v2(db_);
  db_ = nullptr;
  transactions_.Forget();
  primary_keys_.clear();
}

std::wstring SqliteConnection::Describe() const { return L"sqlite " + platform::Utf8ToWide(path_); }

void SqliteConnection::RaiseError(int code, const char* doing) {
  std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
  if (doing && *doing) message = std::string(doing) + ": " + message;
  CQZDBException::Raise(platform::Utf8ToWide(message), "", db_ ? sqlite3_extended_errcode(db_) : code);
}

void SqliteConnection::ExecuteSimple(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) RaiseError(rc, sql);
}

// --- Transactions ---------------------------------------------------------
// The nesting is TransactionNesting's. The outermost level is taken
// IMMEDIATE, so that the write lock is had (or waited for) at the start
// instead of failing half way through. SQLite rolls a transaction back by
// itself on some errors (a full disk, an interrupt); the levels counted
// here then end with it.

bool SqliteConnection::BeginTransaction() {
  if (!db_) return false;
  if (sqlite3_get_autocommit(db_)) transactions_.Forget();  // the engine ended it
  transactions_.Begin(*this);
  return true;
}

bool SqliteConnection::CommitTransaction() {
  if (!db_ || transactions_.depth() == 0) return false;
  if (sqlite3_get_autocommit(db_)) {
    // The work is gone: saying otherwise would report a loss as success.
    transactions_.Forget();
    CQZDBException::Raise(L"the transaction was rolled back by the database and cannot be committed", "", 0);
  }
  transactions_.Commit(*this);
  return true;
}

bool SqliteConnection::RollbackTransaction() {
  if (!db_ || transactions_.depth() == 0) return false;
  if (sqlite3_get_autocommit(db_)) {
    transactions_.Forget();  // already rolled back by the engine
    return true;
  }
  transactions_.Rollback(*this);
  return true;
}

void SqliteConnection::BeginOutermost() { ExecuteSimple("BEGIN IMMEDIATE"); }

void SqliteConnection::CommitOutermost() { ExecuteSimple("COMMIT"); }

void SqliteConnection::RollbackOutermost() { ExecuteSimple("ROLLBACK"); }

void SqliteConnection::RunSavepointStatement(const std::string& sql) { ExecuteSimple(sql.c_str()); }

// --- Statements -----------------------------------------------------------

// What PrepareOne answers for a text holding a second statement, or none.
constexpr int kSecondStatement = -1;
constexpr int kNoStatement = -2;

int SqliteConnection::PrepareOne(const std::string& sql, unsigned flags, sqlite3_stmt** out) {
  *out = nullptr;
  sqlite3_stmt* statement = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size() + 1), flags, &statement, &tail);
  if (rc != SQLITE_OK) return rc;
  if (!statement) return kNoStatement;

  // Whatever follows the first statement must be blank, comments or
  // semicolons: a second statement is never run.
  while (tail && *tail && !OnlyBlank(tail)) {
    sqlite3_stmt* next = nullptr;
    const char* next_tail = nullptr;
    rc = sqlite3_prepare_v2(db_, tail, -1, &next, &next_tail);
    if (rc != SQLITE_OK || next) {
      sqlite3_finalize(next);
      sqlite3_finalize(statement);
      return kSecondStatement;
    }
    if (next_tail == tail) break;
    tail = next_tail;
  }
  *out = statement;
  return SQLITE_OK;
}

void SqliteConnection::RaisePrepareError(int code) {
  if (code == kSecondStatement) RaiseSecondStatement();
  if (code == kNoStatement) RaiseNoStatement();
  RaiseError(code, "");
}

sqlite3_stmt* SqliteConnection::Prepare(const std::string& sql) {
  if (std::optional<sqlite3_stmt*> kept = cache_.Take(sql)) return *kept;
  sqlite3_stmt* statement = nullptr;
  const int rc = PrepareOne(sql, SQLITE_PREPARE_PERSISTENT, &statement);
  if (rc != SQLITE_OK) RaisePrepareError(rc);
  return statement;
}

sqlite3_stmt* SqliteConnection::PrepareForCaller(const std::string& text, std::string* key) {
  ShapeOfStatement(text, MarkerStyle::kQuestionNumbered, &shape_);
  sqlite3_stmt* statement = nullptr;
  if (std::optional<sqlite3_stmt*> kept = cache_.Take(shape_.text)) {
    statement = *kept;
  } else if (cache_.Admit(shape_.text)) {
    // Seen before: worth keeping. A shape that does not prepare leaves
    // the text as it is, which then prepares or raises its own error.
    PrepareOne(shape_.text, SQLITE_PREPARE_PERSISTENT, &statement);
  }
  if (statement) {
    for (size_t i = 0; i < shape_.literals.size(); ++i) {
      const std::string& literal = shape_.literals[i];
      const int rc = sqlite3_bind_text(statement, static_cast<int>(i + 1), literal.data(),
                                       static_cast<int>(literal.size()), SQLITE_TRANSIENT);
      if (rc != SQLITE_OK) {
        ReleaseStatement(shape_.text, statement);
        RaiseError(rc, "binding a value of the statement");
      }
    }
    *key = shape_.text;
    return statement;
  }
  // The first sighting, or a shape that would not prepare: the text as the
  // caller wrote it, for this use only.
  const int rc = PrepareOne(text, 0, &statement);
  if (rc != SQLITE_OK) RaisePrepareError(rc);
  one_use_.push_back(statement);
  *key = text;
  return statement;
}

void SqliteConnection::ReleaseStatement(std::string sql, sqlite3_stmt* statement) {
  if (!statement) return;
  sqlite3_reset(statement);
  const auto one_use = std::find(one_use_.begin(), one_use_.end(), statement);
  if (!db_ || one_use != one_use_.end()) {
    if (one_use != one_use_.end()) one_use_.erase(one_use);
    sqlite3_finalize(statement);
    return;
  }
  sqlite3_clear_bindings(statement);
  cache_.Put(std::move(sql), statement, [](sqlite3_stmt* old) { sqlite3_finalize(old); });
}

std::unique_ptr<Cursor> SqliteConnection::Execute(const std::wstring& sql, ROWOPERATION) {
  if (!db_) return nullptr;
  std::string text;
  sqlite3_stmt* statement = PrepareForCaller(platform::WideToUtf8(sql), &text);
  if (sqlite3_column_count(statement) > 0)
    return std::make_unique<SqliteCursor>(this, std::move(text), statement, false);

  // A statement without a result (delete, update, DDL) runs now.
  int rc = sqlite3_step(statement);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::string message = sqlite3_errmsg(db_);
    int code = sqlite3_extended_errcode(db_);
    ReleaseStatement(std::move(text), statement);
    CQZDBException::Raise(platform::Utf8ToWide(message), "", code);
  }
  ReleaseStatement(std::move(text), statement);
  return std::make_unique<SqliteCursor>(this, std::string(), nullptr, true);
}

void SqliteConnection::BindValue(sqlite3_stmt* statement, int index, const CQZDBVariant& value, std::string* text) {
  int rc = SQLITE_OK;
  switch (value.GetType()) {
    case CQZDBVariant::TYPE_NULL:
      rc = sqlite3_bind_null(statement, index);
      break;
    case CQZDBVariant::TYPE_INTEGER:
      rc = sqlite3_bind_int64(statement, index, value.GetInteger64());
      break;
    case CQZDBVariant::TYPE_REAL:
      rc = sqlite3_bind_double(statement, index, value.GetReal());
      break;
    case CQZDBVariant::TYPE_TEXT:
      platform::WideToUtf8(value.GetTextRef(), text);
      rc = sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
      break;
    case CQZDBVariant::TYPE_DATETIME:
      // An invalid date-time has no day to store: it is written as NULL.
      if (!value.GetDateTime().IsValid()) {
        rc = sqlite3_bind_null(statement, index);
        break;
      }
      [[fallthrough]];
    case CQZDBVariant::TYPE_TIMESTAMP: {
      SQZTimestamp timestamp = value.GetTimestamp();
      if (timestamp.year == 0 && timestamp.month == 0) {
        rc = sqlite3_bind_null(statement, index);
        break;
      }
      *text = FormatTimestamp(timestamp);
      rc = sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
      break;
    }
  }
  if (rc != SQLITE_OK) RaiseError(rc, "binding a value");
}

void SqliteConnection::BindAll(sqlite3_stmt* statement, const FieldValue* fields, size_t count, int first_index) {
  // A deque grows without moving the texts already bound.
  if (bound_text_.size() < count + static_cast<size_t>(first_index)) bound_text_.resize(count + first_index);
  for (size_t i = 0; i < count; ++i) {
    const int index = first_index + static_cast<int>(i);
    BindValue(statement, index, fields[i].value, &bound_text_[static_cast<size_t>(index)]);
  }
}

sqlite3_stmt* SqliteConnection::InsertStatementFor(uint64_t layout_id) const {
  return db_ && insert_statement_ && layout_id == insert_layout_id_ ? insert_statement_ : nullptr;
}

void SqliteConnection::StepInsert(sqlite3_stmt* statement) { StepToCompletion(statement); }

void SqliteConnection::StepToCompletion(sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE || rc == SQLITE_ROW) {
    sqlite3_reset(statement);
    return;
  }
  std::string message = sqlite3_errmsg(db_);
  int code = sqlite3_extended_errcode(db_);
  sqlite3_reset(statement);
  CQZDBException::Raise(platform::Utf8ToWide(message), "", code);
}

void SqliteConnection::InsertRow(const std::wstring& table, uint64_t layout_id, const FieldValue* fields,
                                 size_t count) {
  if (!db_) CQZDBException::Raise(L"the connection is closed", "", SQLITE_MISUSE);
  if (!insert_statement_ || layout_id != insert_layout_id_) {
    std::string sql = "INSERT INTO ";
    AppendQuotedIdentifier(&sql, table);
    if (count == 0) {
      sql += " DEFAULT VALUES";
    } else {
      sql += " (";
      for (size_t i = 0; i < count; ++i) {
        if (i) sql += ',';
        AppendQuotedIdentifier(&sql, fields[i].column);
      }
      sql += ") VALUES (";
      for (size_t i = 0; i < count; ++i) sql += i ? ",?" : "?";
      sql += ')';
    }
    sqlite3_stmt* statement = Prepare(sql);
    if (insert_statement_) {
      std::string old_sql = sqlite3_sql(insert_statement_);
      ReleaseStatement(std::move(old_sql), insert_statement_);
    }
    insert_statement_ = statement;
    insert_layout_id_ = layout_id;
  }
  BindAll(insert_statement_, fields, count, 1);
  StepToCompletion(insert_statement_);
}

void SqliteConnection::UpdateRow(const std::wstring& table, const std::vector<FieldValue>& key,
                                 const FieldValue* fields, size_t count) {
  if (!db_) CQZDBException::Raise(L"the connection is closed", "", SQLITE_MISUSE);
  if (count == 0) return;
  // A key column assigned the value the row holds is left out of the SET
  // list: SQLite rewrites the index entries of every column SET names,
  // changed or not, and an edit found by its key usually writes the same
  // key back. Should that leave nothing to set, nothing is left out.
  size_t kept = 0;
  unchanged_key_.assign(count, false);
  for (size_t i = 0; i < count; ++i) {
    unchanged_key_[i] = HoldsKeyValue(fields[i], key);
    if (!unchanged_key_[i]) ++kept;
  }
  if (kept == 0) unchanged_key_.assign(count, false), kept = count;

  std::string sql = "UPDATE ";
  AppendQuotedIdentifier(&sql, table);
  sql += " SET ";
  bool first = true;
  for (size_t i = 0; i < count; ++i) {
    if (unchanged_key_[i]) continue;
    if (!first) sql += ',';
    first = false;
    AppendQuotedIdentifier(&sql, fields[i].column);
    sql += "=?";
  }
  sql += " WHERE ";
  for (size_t i = 0; i < key.size(); ++i) {
    if (i) sql += " AND ";
    AppendQuotedIdentifier(&sql, key[i].column);
    sql += "=?";
  }
  sqlite3_stmt* statement = Prepare(sql);
  try {
    if (bound_text_.size() < kept + key.size() + 1) bound_text_.resize(kept + key.size() + 1);
    int index = 1;
    for (size_t i = 0; i < count; ++i) {
      if (unchanged_key_[i]) continue;
      BindValue(statement, index, fields[i].value, &bound_text_[static_cast<size_t>(index)]);
      ++index;
    }
    BindAll(statement, key.data(), key.size(), index);
    StepToCompletion(statement);
    // The row was read a moment ago; if another connection removed or
    // re-keyed it since, saying the edit succeeded would be a lie.
    if (sqlite3_changes(db_) == 0) RaiseEditedRowGone(table);
  } catch (CQZDBException*) {
    ReleaseStatement(std::move(sql), statement);
    throw;
  }
  ReleaseStatement(std::move(sql), statement);
}

const std::vector<std::wstring>& SqliteConnection::PrimaryKey(const std::wstring& table) {
  for (const PrimaryKeyEntry& entry : primary_keys_)
    if (entry.table == table) return entry.columns;
  PrimaryKeyEntry entry{table, {}};
  sqlite3_stmt* statement = Prepare("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk");
  const std::string name = platform::WideToUtf8(table);
  sqlite3_bind_text(statement, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    const char* column = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    entry.columns.push_back(platform::Utf8ToWide(column ? column : ""));
  }
  ReleaseStatement("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk", statement);
  if (rc != SQLITE_DONE) RaiseError(rc, "reading the primary key");
  primary_keys_.push_back(std::move(entry));
  return primary_keys_.back().columns;
}

// --- Factory --------------------------------------------------------------

// connect1 is the folder, connect2 the file name; an absolute file name or
// ":memory:" stands alone.
std::unique_ptr<Connection> ConnectSqlite(const ConnectionTexts& texts) {
  if (texts.connect2.empty())
    CQZDBException::Raise(L"no database file named: the second connection text is empty", "", SQLITE_CANTOPEN);
  std::wstring path = texts.connect2;
  // What counts as absolute is the platform's: "/x.db" everywhere, and on
  // Windows also "C:\x.db" and "\\server\share\x.db".
  const std::filesystem::path file(path);
  const bool standalone = path == L":memory:" || file.has_root_directory() || file.has_root_name();
  if (!standalone && !texts.connect1.empty()) {
    std::wstring folder = texts.connect1;
    if (folder.back() != L'/' && folder.back() != std::filesystem::path::preferred_separator) folder.push_back(L'/');
    path = folder + path;
  }
  return std::make_unique<SqliteConnection>(platform::WideToUtf8(path));
}

}  // namespace qz::access::sqlite
