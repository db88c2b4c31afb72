#include "access/driver/sqlite/SqliteConnection.h"

#include <filesystem>
#include <system_error>

#include "platform/TextEncoding.h"

namespace qz::access::sqlite {
namespace {

constexpr int kBusyTimeoutMilliseconds = 5000;

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
  sqlite3* opened = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &opened, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(opened);  // a failed open may hand back a handle too, to be closed
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
  db_.reset();
  return false;
}

SqliteConnection::~SqliteConnection() { Close(); }

// Statements prepared for one use belong to their cursors, which finalize
// them.
void SqliteConnection::FinalizeAll() {
  cache_.Clear([](KeptStatement&) {});
  begin_statement_.reset();
  commit_statement_.reset();
  rollback_statement_.reset();
  insert_statement_.reset();
  insert_layout_id_ = 0;
  keyed_update_ = KeyedUpdate();
}

void SqliteConnection::Close() {
  if (!db_) return;
  FinalizeAll();
  // close_v2 waits for statements still held by open cursors; they finalize
  // their own statements when they see the connection gone.
  db_.reset();
  transactions_.Forget();
  primary_keys_.clear();
}

std::wstring SqliteConnection::Describe() const { return L"sqlite " + platform::Utf8ToWide(path_); }

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

void SqliteConnection::BeginOutermost() { ExecuteSimple("BEGIN IMMEDIATE", &begin_statement_); }

void SqliteConnection::CommitOutermost() { ExecuteSimple("COMMIT", &commit_statement_); }

void SqliteConnection::RollbackOutermost() { ExecuteSimple("ROLLBACK", &rollback_statement_); }

void SqliteConnection::RunSavepointStatement(const std::string& sql) { ExecuteSimple(sql.c_str()); }

// --- Factory --------------------------------------------------------------

// connect1 is the folder, connect2 the file name; an absolute file name or
// ":memory:" stands alone.
std::unique_ptr<Connection> ConnectSqlite(const ConnectionTexts& texts) {
  if (texts.connect2.empty())
    CQZDBException::Raise(L"no database file named: the second connection text is empty", "", SQLITE_CANTOPEN);
  std::wstring path = texts.connect2;
  // What counts as absolute is the platform's: "/x.db" everywhere, and on
  // Windows also "C:\x.db" and "\\server\share\x.db". The path is made from
  // UTF-8: made from wide text, it would be converted through the program's
  // global C++ locale, which is "C" unless the host set another, and refuse
  // every name that is not ASCII.
  const std::filesystem::path file = std::filesystem::u8path(platform::WideToUtf8(path));
  const bool standalone = path == L":memory:" || file.has_root_directory() || file.has_root_name();
  if (!standalone && !texts.connect1.empty()) {
    std::wstring folder = texts.connect1;
    if (folder.back() != L'/' && folder.back() != std::filesystem::path::preferred_separator) folder.push_back(L'/');
    path = folder + path;
  }
  return std::make_unique<SqliteConnection>(platform::WideToUtf8(path));
}

}  // namespace qz::access::sqlite
