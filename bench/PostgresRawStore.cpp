#include "PostgresRawStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string_view>

#include "RawConversions.h"
#include "TaskColumns.h"

namespace qz::bench {

namespace {

// Rows per FETCH: enough that the per-chunk costs vanish, few enough that
// the two chunks in memory are a small part of a long listing; an item
// chunk holds about as many cells as a task chunk.
constexpr int kTaskRowsPerFetch = 2000;
constexpr int kItemRowsPerFetch = 64000 / kItemColumnCount;

// A task's key and its place in the listing, ordered by the key's bytes.
struct TaskSlot {
  GUID key;
  size_t at;
  bool operator<(const TaskSlot& other) const { return std::memcmp(&key, &other.key, sizeof(GUID)) < 0; }
};

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Appends a record's fields as one COPY text row: tab-separated, \N for
// NULL, backslash, tab and line breaks escaped.
struct CopyRow {
  std::string* out;
  std::string* scratch;
  bool first = true;

  void Separate() {
    if (!first) out->push_back('\t');
    first = false;
  }
  void Guid(const GUID& guid) { Separate(), raw::AppendGuid(guid, out); }
  void Text(const std::wstring& text) {
    Separate();
    bool plain = true;
    for (wchar_t c : text) plain &= c != L'\\' && c != L'\t' && c != L'\n' && c != L'\r';
    if (plain) return raw::AppendUtf8(text, out);
    scratch->clear();
    raw::AppendUtf8(text, scratch);
    for (char c : *scratch) {
      if (c == '\\' || c == '\t' || c == '\n' || c == '\r') {
        out->push_back('\\');
        c = c == '\t' ? 't' : c == '\n' ? 'n' : c == '\r' ? 'r' : c;
      }
      out->push_back(c);
    }
  }
  void Time(const SQZDateTime& time) {
    Separate();
    const size_t at = out->size();
    out->resize(at + 19);
    if (!raw::TimestampText(time, out->data() + at)) out->replace(at, 19, "\\N");
  }
  void Int(int32_t value) { Separate(), raw::AppendInt(value, out); }
  void UInt(uint32_t value) { Separate(), raw::AppendInt(static_cast<int32_t>(value), out); }
};

// Reads columns 0, 1, ... of one row of a text-format result into a
// record's fields.
struct RowReader {
  const PGresult* result;
  int row;
  int column = 0;

  const char* Value(size_t* size) {
    *size = static_cast<size_t>(PQgetlength(result, row, column));
    return PQgetvalue(result, row, column++);
  }
  void Guid(GUID& guid) {
    size_t size;
    const char* text = Value(&size);
    guid = raw::GuidOf(text, size);
  }
  void Text(std::wstring& text) {
    size_t size;
    const char* bytes = Value(&size);
    raw::Utf8ToWide(bytes, size, &text);
  }
  void Time(SQZDateTime& time) {
    const bool null = PQgetisnull(result, row, column);
    size_t size;
    const char* text = Value(&size);
    raw::ParseTimestamp(null ? nullptr : text, size, &time);
  }
  void Int(int32_t& value) {
    size_t size;
    const char* text = Value(&size);
    value = raw::ParseInt32(text, size);
  }
  void UInt(uint32_t& value) {
    int32_t signed_value;
    Int(signed_value);
    value = static_cast<uint32_t>(signed_value);
  }
};

// Collects a record's fields as text parameters in one buffer; the
// pointers are taken once it is complete. An invalid date-time is NULL.
struct Parameters {
  std::string* buffer;
  std::vector<long> offsets;  // -1 for NULL

  void Start() { offsets.push_back(static_cast<long>(buffer->size())); }
  void End() { buffer->push_back('\0'); }
  void Guid(const GUID& guid) { Start(), raw::AppendGuid(guid, buffer), End(); }
  void Text(const std::wstring& text) { Start(), raw::AppendUtf8(text, buffer), End(); }
  void Time(const SQZDateTime& time) {
    char text[19];
    if (!raw::TimestampText(time, text)) return offsets.push_back(-1);
    Start(), buffer->append(text, 19), End();
  }
  void Int(int32_t value) { Start(), raw::AppendInt(value, buffer), End(); }
  void UInt(uint32_t value) { Int(static_cast<int32_t>(value)); }
  void Pointers(std::vector<const char*>* values) const {
    values->clear();
    for (long at : offsets) values->push_back(at < 0 ? nullptr : buffer->data() + at);
  }
};

const std::string kItemSelect = std::string("select ") + kItemColumns + " from GeZhuanTaskItem";
const std::string kTaskSelect = std::string("select ") + kTaskColumns + " from GeZhuanTaskInfo";
const std::string kDeclareTasks = "DECLARE raw_tasks NO SCROLL CURSOR FOR " + kTaskSelect;
const std::string kDeclareItems =
    "DECLARE raw_items NO SCROLL CURSOR FOR " + kItemSelect +
    " where guidTask in (select guidTaskID from GeZhuanTaskInfo) order by guidTask, nIndex";
const std::string kFetchTasks = "FETCH FORWARD " + std::to_string(kTaskRowsPerFetch) + " FROM raw_tasks";
const std::string kFetchItems = "FETCH FORWARD " + std::to_string(kItemRowsPerFetch) + " FROM raw_items";

}  // namespace

// --- The server ------------------------------------------------------------

PostgresServer PostgresServer::FromEnvironment() {
  PostgresServer server;
  const std::string where = Env("QZ_PG_HOST");
  const size_t colon = where.rfind(':');
  server.host = colon == std::string::npos ? where : where.substr(0, colon);
  server.port = colon == std::string::npos ? "" : where.substr(colon + 1);
  server.database = Env("QZ_PG_DATABASE");
  server.user = Env("QZ_PG_USER");
  server.password = Env("QZ_PG_PASSWORD");
  return server;
}

PostgresServer PostgresServer::WithDatabase(const std::string& name) const {
  PostgresServer other = *this;
  other.database = name;
  return other;
}

DBsSetNode PostgresServer::Node() const {
  DBsSetNode node;
  node.nDBType = 2;
  node.strConnect1 = Widen(port.empty() ? host : host + ":" + port);
  node.strConnect2 = Widen(database);
  node.strConnect3 = Widen(user);
  node.strConnect4 = Widen(password);
  return node;
}

PGconn* PostgresServer::Connect() const {
  const char* keys[] = {"host", "port", "dbname", "user", "password", "client_encoding", "options", nullptr};
  const char* values[] = {host.c_str(),     port.c_str(), database.c_str(),       user.c_str(),
                          password.c_str(), "UTF8",       "-c DateStyle=ISO,YMD", nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 0);
  if (PQstatus(conn) != CONNECTION_OK) {
    const std::string message = PQerrorMessage(conn);
    PQfinish(conn);
    throw std::runtime_error("cannot connect: " + message);
  }
  return conn;
}

// --- The store -------------------------------------------------------------

PostgresRawStore::PostgresRawStore(const PostgresServer& server) : conn_(server.Connect()) {
  Prepare("task_by_key", kTaskSelect + " where guidTaskID = $1");
  Prepare("items_of_task", kItemSelect + " where guidTask = $1 order by nIndex");
  Prepare("update_task", "update GeZhuanTaskInfo set " + TaskAssignments('$', 1) + " where guidTaskID = $30");
  Prepare("delete_task",
          "with task as (delete from GeZhuanTaskInfo where guidTaskID = $1) "
          "delete from GeZhuanTaskItem where guidTask = $1");
  key_[36] = '\0';
}

PostgresRawStore::~PostgresRawStore() { PQfinish(conn_); }

void PostgresRawStore::Prepare(const char* name, const std::string& sql) {
  PGresult* result = PQprepare(conn_, name, sql.c_str(), 0, nullptr);
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  const std::string message = PQresultErrorMessage(result);
  PQclear(result);
  if (!ok) throw std::runtime_error(message + " in " + sql);
}

PGresult* PostgresRawStore::RunPrepared(const char* name, int count, const char* const* values,
                                        ExecStatusType expected) {
  PGresult* result = PQexecPrepared(conn_, name, count, values, nullptr, nullptr, 0);
  if (PQresultStatus(result) != expected) {
    const std::string message = PQresultErrorMessage(result);
    PQclear(result);
    throw std::runtime_error(message + " in " + name);
  }
  return result;
}

void PostgresRawStore::Execute(const char* sql) {
  PGresult* result = PQexec(conn_, sql);
  const ExecStatusType status = PQresultStatus(result);
  const std::string message = PQresultErrorMessage(result);
  PQclear(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) throw std::runtime_error(message + " in " + sql);
}

long PostgresRawStore::Count(const char* sql) {
  PGresult* result = PQexec(conn_, sql);
  const long count = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1
                         ? std::strtol(PQgetvalue(result, 0, 0), nullptr, 10)
                         : -1;
  PQclear(result);
  return count;
}

void PostgresRawStore::BeginCopy(const std::string& copy) {
  PGresult* start = PQexec(conn_, copy.c_str());
  const bool copying = PQresultStatus(start) == PGRES_COPY_IN;
  PQclear(start);
  if (!copying) throw std::runtime_error(PQerrorMessage(conn_));
  rows_.clear();
}

// Sends the rows built so far once they fill a piece of 256 KiB (or at the
// end), so that the server works on one piece while the next is built.
void PostgresRawStore::SendRows(bool last) {
  constexpr size_t kPiece = 256 * 1024;
  if (rows_.size() < kPiece && !last) return;
  if (!rows_.empty() && PQputCopyData(conn_, rows_.data(), static_cast<int>(rows_.size())) != 1)
    throw std::runtime_error(PQerrorMessage(conn_));
  rows_.clear();
}

void PostgresRawStore::EndCopy() {
  SendRows(true);
  if (PQputCopyEnd(conn_, nullptr) != 1) throw std::runtime_error(PQerrorMessage(conn_));
  bool ok = true;
  while (PGresult* result = PQgetResult(conn_)) {
    ok &= PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
  }
  if (!ok) throw std::runtime_error(PQerrorMessage(conn_));
}

void PostgresRawStore::CopyItems(const std::vector<SQZGeZhuanItemInfo>& items) {
  for (const SQZGeZhuanItemInfo& item : items) {
    CopyRow row{&rows_, &field_};
    VisitItemFields(item, row);
    rows_.push_back('\n');
    SendRows(false);
  }
}

void PostgresRawStore::AddTasks(const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  Execute("BEGIN");
  try {
    BeginCopy(std::string("COPY GeZhuanTaskInfo (") + kTaskColumns + ") FROM STDIN");
    for (const SQZGeZhuanTaskInfo& task : tasks) {
      CopyRow row{&rows_, &field_};
      VisitTaskFields(task, row);
      rows_.push_back('\n');
      SendRows(false);
    }
    EndCopy();
    BeginCopy(std::string("COPY GeZhuanTaskItem (") + kItemColumns + ") FROM STDIN");
    for (const SQZGeZhuanTaskInfo& task : tasks) CopyItems(task.arrItems);
    EndCopy();
  } catch (...) {
    Execute("ROLLBACK");
    throw;
  }
  Execute("COMMIT");
}

void PostgresRawStore::AddItems(const std::vector<SQZGeZhuanItemInfo>& items) {
  BeginCopy(std::string("COPY GeZhuanTaskItem (") + kItemColumns + ") FROM STDIN");
  CopyItems(items);
  EndCopy();
}

std::vector<SQZGeZhuanTaskInfo> PostgresRawStore::ListTasks() {
  // One REPEATABLE READ transaction, so both cursors read one snapshot: the
  // tasks, and all their items by one query in task order. Everything up
  // to the first FETCH, and one FETCH ahead, leave in the first flight; from
  // then on one FETCH always travels while a chunk is decoded, and each
  // chunk arrives whole, as one result. Once the tasks' cursor gives a short
  // chunk the FETCHes move to the items' cursor; the one already sent ahead
  // to the tasks' answers empty.
  enum Cursor { kTasks, kItems };
  struct Fetch {
    Cursor cursor;
    int rows;
  };
  std::deque<Fetch> in_flight;
  auto send = [&](const char* sql) {
    if (PQsendQueryParams(conn_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0) != 1)
      throw std::runtime_error(PQerrorMessage(conn_));
  };
  auto sync = [&] {
    if (PQpipelineSync(conn_) != 1) throw std::runtime_error(PQerrorMessage(conn_));
  };
  auto send_fetch = [&](Cursor cursor) {
    send(cursor == kTasks ? kFetchTasks.c_str() : kFetchItems.c_str());
    sync();
    in_flight.push_back(Fetch{cursor, cursor == kTasks ? kTaskRowsPerFetch : kItemRowsPerFetch});
  };
  auto check = [&](PGresult* result, ExecStatusType expected) {
    if (PQresultStatus(result) != expected) {
      const std::string message = result ? PQresultErrorMessage(result) : PQerrorMessage(conn_);
      PQclear(result);
      throw std::runtime_error(message);
    }
    return result;
  };
  // One statement's result, and the null that ends it.
  auto take = [&](ExecStatusType expected) {
    PGresult* result = check(PQgetResult(conn_), expected);
    PQclear(PQgetResult(conn_));
    return result;
  };
  // A sync's result has no null after it.
  auto take_sync = [&] { PQclear(check(PQgetResult(conn_), PGRES_PIPELINE_SYNC)); };

  if (PQenterPipelineMode(conn_) != 1) throw std::runtime_error(PQerrorMessage(conn_));
  std::vector<SQZGeZhuanTaskInfo> tasks;
  try {
    send("BEGIN ISOLATION LEVEL REPEATABLE READ");
    send(kDeclareTasks.c_str());
    send(kDeclareItems.c_str());
    send_fetch(kTasks);
    send_fetch(kTasks);
    for (int statement = 0; statement < 3; ++statement) PQclear(take(PGRES_COMMAND_OK));

    std::vector<TaskSlot> slots;  // made once the tasks are all read
    bool tasks_done = false, items_done = false;
    while (!in_flight.empty()) {
      const Fetch fetch = in_flight.front();
      in_flight.pop_front();
      PGresult* chunk = take(PGRES_TUPLES_OK);
      take_sync();
      const int rows = PQntuples(chunk);
      const bool full = rows == fetch.rows;
      // What goes out next travels while this chunk is decoded.
      if (fetch.cursor == kTasks && !tasks_done) {
        tasks_done = !full;
        send_fetch(tasks_done ? kItems : kTasks);
      } else if (fetch.cursor == kItems && !items_done) {
        items_done = !full;
        if (items_done) {
          send("COMMIT");
          sync();
        } else {
          send_fetch(kItems);
        }
      }
      if (fetch.cursor == kTasks) {
        const size_t first = tasks.size();
        tasks.resize(first + static_cast<size_t>(rows));
        for (int r = 0; r < rows; ++r) {
          RowReader reader{chunk, r};
          VisitTaskFields(tasks[first + static_cast<size_t>(r)], reader);
        }
        if (tasks_done && slots.empty()) {
          slots.reserve(tasks.size());
          for (size_t t = 0; t < tasks.size(); ++t) slots.push_back(TaskSlot{tasks[t].guidTaskID, t});
          std::sort(slots.begin(), slots.end());
        }
      } else {
        // The rows come grouped by task: each run is appended to its task's
        // items at once (a task's run may go on in the next chunk).
        for (int r = 0; r < rows;) {
          const std::string_view task_key(PQgetvalue(chunk, r, 0), static_cast<size_t>(PQgetlength(chunk, r, 0)));
          int run_end = r + 1;
          while (run_end < rows && task_key == PQgetvalue(chunk, run_end, 0)) ++run_end;
          const TaskSlot wanted{raw::GuidOf(task_key.data(), task_key.size()), 0};
          const auto found = std::lower_bound(slots.begin(), slots.end(), wanted);
          if (found != slots.end() && !(wanted < *found)) {
            std::vector<SQZGeZhuanItemInfo>& out = tasks[found->at].arrItems;
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(run_end - r));
            for (int k = r; k < run_end; ++k) {
              RowReader reader{chunk, k};
              VisitItemFields(out[at + static_cast<size_t>(k - r)], reader);
            }
          }
          r = run_end;
        }
      }
      PQclear(chunk);
    }
    PQclear(take(PGRES_COMMAND_OK));  // the COMMIT
    take_sync();
  } catch (...) {
    // What is still owed comes (aborted after the failure, up to each
    // sync), then the transaction is rolled back.
    while (PQexitPipelineMode(conn_) != 1 && PQstatus(conn_) == CONNECTION_OK) PQclear(PQgetResult(conn_));
    if (PQstatus(conn_) == CONNECTION_OK) PQclear(PQexec(conn_, "ROLLBACK"));
    throw;
  }
  PQexitPipelineMode(conn_);
  return tasks;
}

bool PostgresRawStore::ReadTask(const GUID& id, SQZGeZhuanTaskInfo* task) {
  raw::GuidText(id, key_);
  const char* values[] = {key_};
  if (PQenterPipelineMode(conn_) != 1 ||
      PQsendQueryPrepared(conn_, "task_by_key", 1, values, nullptr, nullptr, 0) != 1 ||
      PQsendQueryPrepared(conn_, "items_of_task", 1, values, nullptr, nullptr, 0) != 1 || PQpipelineSync(conn_) != 1)
    throw std::runtime_error(PQerrorMessage(conn_));
  PGresult* results[2] = {nullptr, nullptr};
  bool ok = true;
  for (PGresult*& result : results) {
    result = PQgetResult(conn_);
    ok &= PQresultStatus(result) == PGRES_TUPLES_OK;
    PQclear(PQgetResult(conn_));  // the null that ends each query's results
  }
  PGresult* sync = PQgetResult(conn_);
  ok &= PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
  PQclear(sync);
  PQexitPipelineMode(conn_);
  const bool found = ok && PQntuples(results[0]) == 1;
  if (found) {
    RowReader reader{results[0], 0};
    VisitTaskFields(*task, reader);
    const int rows = PQntuples(results[1]);
    task->arrItems.resize(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) {
      RowReader item_reader{results[1], r};
      VisitItemFields(task->arrItems[static_cast<size_t>(r)], item_reader);
    }
  }
  PQclear(results[0]);
  PQclear(results[1]);
  if (!ok) throw std::runtime_error(PQerrorMessage(conn_));
  return found;
}

bool PostgresRawStore::ModifyTaskOnly(const SQZGeZhuanTaskInfo& task) {
  rows_.clear();
  Parameters parameters{&rows_, {}};
  parameters.offsets.reserve(kTaskColumnCount);
  VisitTaskFieldsAfterKey(task, parameters);
  parameters.Guid(task.guidTaskID);
  std::vector<const char*> values;
  parameters.Pointers(&values);
  PGresult* result = RunPrepared("update_task", kTaskColumnCount, values.data(), PGRES_COMMAND_OK);
  const bool changed = std::string_view(PQcmdTuples(result)) != "0";
  PQclear(result);
  return changed;
}

void PostgresRawStore::DeleteTask(const GUID& id) {
  raw::GuidText(id, key_);
  const char* values[] = {key_};
  PQclear(RunPrepared("delete_task", 1, values, PGRES_COMMAND_OK));
}

}  // namespace qz::bench
