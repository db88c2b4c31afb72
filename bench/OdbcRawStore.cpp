#include "OdbcRawStore.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "RawConversions.h"
#include "TaskColumns.h"

namespace qz::bench {
namespace {

constexpr size_t kArrayRows = 1000;
constexpr size_t kNameUnits = 256;  // the benchmark's item names are short
constexpr size_t kTextBytes = 4096;

// Our wide text as UTF-16 units at out (room for units), trimmed; returns
// the bytes written.
SQLLEN WideToUtf16(const std::wstring& text, SQLWCHAR* out, size_t room) {
  size_t first = 0, last = text.size();
  while (first < last && raw::IsBlank(static_cast<char32_t>(text[first]))) ++first;
  while (last > first && raw::IsBlank(static_cast<char32_t>(text[last - 1]))) --last;
  size_t n = 0;
  for (size_t i = first; i < last && n + 2 <= room; ++i) {
    const char32_t c = static_cast<char32_t>(text[i]);
    if (c >= 0x10000) {
      out[n++] = static_cast<SQLWCHAR>(0xD800 + ((c - 0x10000) >> 10));
      out[n++] = static_cast<SQLWCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<SQLWCHAR>(c);
    }
  }
  return static_cast<SQLLEN>(n * sizeof(SQLWCHAR));
}

// Reads columns 1, 2, ... of the current row into a record's fields.
struct Reader {
  explicit Reader(SQLHSTMT s) : statement(s) {}
  SQLHSTMT statement;
  SQLUSMALLINT column = 1;
  char bytes[kTextBytes] = {};
  char guid[40] = {};

  void Guid(GUID& value) {
    SQLLEN length = 0;
    SQLGetData(statement, column++, SQL_C_CHAR, guid, sizeof guid, &length);
    value = raw::GuidOf(length > 0 ? guid : "", length > 0 ? static_cast<size_t>(length) : 0);
  }
  // The benchmark's sources speak UTF-8, so text is read as the library
  // reads it there: bytes, decoded here.
  void Text(std::wstring& value) {
    SQLLEN length = 0;
    SQLGetData(statement, column++, SQL_C_CHAR, bytes, sizeof bytes, &length);
    raw::Utf8ToWide(bytes, length > 0 ? std::min(static_cast<size_t>(length), sizeof bytes - 1) : 0, &value);
  }
  void Time(SQZDateTime& value) {
    SQL_TIMESTAMP_STRUCT stamp{};
    SQLLEN length = 0;
    SQLGetData(statement, column++, SQL_C_TYPE_TIMESTAMP, &stamp, sizeof stamp, &length);
    if (length == SQL_NULL_DATA) {
      value = SQZDateTime();
      value.m_status = SQZDateTime::invalid;
      return;
    }
    char text19[64];
    std::snprintf(text19, sizeof text19, "%04d-%02u-%02u %02u:%02u:%02u", stamp.year, stamp.month, stamp.day,
                  stamp.hour, stamp.minute, stamp.second);
    raw::ParseTimestamp(text19, 19, &value);
  }
  void Int(int32_t& value) {
    SQLINTEGER number = 0;
    SQLLEN length = 0;
    SQLGetData(statement, column++, SQL_C_SLONG, &number, 0, &length);
    value = length == SQL_NULL_DATA ? 0 : number;
  }
  void UInt(uint32_t& value) {
    int32_t number = 0;
    Int(number);
    value = static_cast<uint32_t>(number);
  }
};

}  // namespace

OdbcRawStore::OdbcRawStore(const std::wstring& connection_string) {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  std::basic_string<SQLWCHAR> text(connection_string.begin(), connection_string.end());
  Check(SQLDriverConnectW(dbc_, nullptr, text.data(), static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                          SQL_DRIVER_NOPROMPT),
        SQL_HANDLE_DBC, dbc_, "connect");
  insert_item_ = Prepare(std::string("insert into GeZhuanTaskItem (") + kItemColumns + ") values (?,?,?,?,?,?,?,?)");
  select_tasks_ = Prepare(std::string("select ") + kTaskColumns + " from GeZhuanTaskInfo");
  std::string in_keys;
  for (size_t k = 0; k < kKeysPerQuery; ++k) in_keys += k ? ",?" : "?";
  select_items_ = Prepare(std::string("select ") + kItemColumns + " from GeZhuanTaskItem where guidTask in (" +
                          in_keys + ") order by guidTask, nIndex");
  for (size_t k = 0; k < kKeysPerQuery; ++k) {
    key_lengths_[k] = 36;
    Check(SQLBindParameter(select_items_, static_cast<SQLUSMALLINT>(k + 1), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                           36, 0, keys_[k], sizeof keys_[k], &key_lengths_[k]),
          SQL_HANDLE_STMT, select_items_, "bind");
  }
}

OdbcRawStore::~OdbcRawStore() {
  for (SQLHSTMT s : {insert_item_, select_tasks_, select_items_})
    if (s) SQLFreeHandle(SQL_HANDLE_STMT, s);
  SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

void OdbcRawStore::Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* doing) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  SQLWCHAR state[6] = {}, message[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRecW(type, handle, 1, state, &native, message, 512, &length);
  std::string text;
  for (int i = 0; i < length && i < 511; ++i) text.push_back(message[i] < 0x80 ? static_cast<char>(message[i]) : '?');
  throw std::runtime_error(std::string(doing) + ": " + text);
}

SQLHSTMT OdbcRawStore::Prepare(const std::string& sql) {
  SQLHSTMT statement = SQL_NULL_HANDLE;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &statement);
  std::basic_string<SQLWCHAR> text(sql.begin(), sql.end());
  Check(SQLPrepareW(statement, text.data(), static_cast<SQLINTEGER>(text.size())), SQL_HANDLE_STMT, statement,
        sql.c_str());
  return statement;
}

void OdbcRawStore::Execute(const char* sql) {
  SQLHSTMT statement = SQL_NULL_HANDLE;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &statement);
  std::basic_string<SQLWCHAR> text(sql, sql + std::strlen(sql));
  const SQLRETURN rc = SQLExecDirectW(statement, text.data(), static_cast<SQLINTEGER>(text.size()));
  try {
    Check(rc, SQL_HANDLE_STMT, statement, sql);
  } catch (...) {
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    throw;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
}

void OdbcRawStore::AddItems(const std::vector<SQZGeZhuanItemInfo>& items) {
  // Column-wise arrays: two GUID texts, the name, five integers.
  std::vector<char> task(kArrayRows * 37), item(kArrayRows * 37);
  std::vector<SQLWCHAR> name(kArrayRows * kNameUnits);
  std::vector<SQLINTEGER> numbers[5];
  for (auto& column : numbers) column.resize(kArrayRows);
  std::vector<SQLLEN> guid_lengths(kArrayRows, 36), name_lengths(kArrayRows), number_lengths(kArrayRows, 0);
  SQLHSTMT s = insert_item_;
  SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 36, 0, task.data(), 37, guid_lengths.data());
  SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 36, 0, item.data(), 37, guid_lengths.data());
  SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, kNameUnits - 1, 0, name.data(),
                   kNameUnits * sizeof(SQLWCHAR), name_lengths.data());
  for (SQLUSMALLINT i = 0; i < 5; ++i)
    SQLBindParameter(s, static_cast<SQLUSMALLINT>(4 + i), SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0,
                     numbers[i].data(), 0, number_lengths.data());
  SQLSetStmtAttrW(s, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_PARAM_BIND_BY_COLUMN), 0);
  SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  try {
    for (size_t first = 0; first < items.size(); first += kArrayRows) {
      const size_t rows = std::min(kArrayRows, items.size() - first);
      for (size_t r = 0; r < rows; ++r) {
        const SQZGeZhuanItemInfo& it = items[first + r];
        raw::GuidText(it.guidTask, &task[r * 37]);
        raw::GuidText(it.guidItem, &item[r * 37]);
        name_lengths[r] = WideToUtf16(it.strItemName, &name[r * kNameUnits], kNameUnits);
        numbers[0][r] = it.nItemType;
        numbers[1][r] = static_cast<SQLINTEGER>(it.dwTrimIn);
        numbers[2][r] = static_cast<SQLINTEGER>(it.dwTrimOut);
        numbers[3][r] = static_cast<SQLINTEGER>(it.dwLength);
        numbers[4][r] = it.nIndex;
      }
      SQLSetStmtAttrW(s, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
      Check(SQLExecute(s), SQL_HANDLE_STMT, s, "insert items");
    }
    Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "commit");
  } catch (...) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    throw;
  }
  SQLSetConnectAttrW(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  SQLSetStmtAttrW(s, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
  SQLFreeStmt(s, SQL_RESET_PARAMS);
}

// The items of tasks [first, end) in one execution; each task's run of
// items, found by binary search over the chunk's keys, moves into it.
void OdbcRawStore::ReadItemsOf(std::vector<SQZGeZhuanTaskInfo>* tasks, size_t first, size_t end) {
  for (size_t k = 0; k < kKeysPerQuery; ++k) raw::GuidText((*tasks)[std::min(first + k, end - 1)].guidTaskID, keys_[k]);
  Check(SQLExecute(select_items_), SQL_HANDLE_STMT, select_items_, "select items");
  chunk_items_.clear();
  Reader reader(select_items_);
  while (SQL_SUCCEEDED(SQLFetch(select_items_))) {
    chunk_items_.emplace_back();
    reader.column = 1;
    VisitItemFields(chunk_items_.back(), reader);
  }
  SQLCloseCursor(select_items_);
  const auto less = [](const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) < 0; };
  std::vector<std::pair<GUID, size_t>> slots;
  slots.reserve(end - first);
  for (size_t t = first; t < end; ++t) slots.emplace_back((*tasks)[t].guidTaskID, t);
  std::sort(slots.begin(), slots.end(), [&](const auto& a, const auto& b) { return less(a.first, b.first); });
  auto run = chunk_items_.begin();
  while (run != chunk_items_.end()) {
    const GUID key = run->guidTask;
    auto run_end = run;
    while (run_end != chunk_items_.end() && std::memcmp(&run_end->guidTask, &key, sizeof(GUID)) == 0) ++run_end;
    const auto slot = std::lower_bound(slots.begin(), slots.end(), key,
                                       [&](const auto& s, const GUID& id) { return less(s.first, id); });
    if (slot != slots.end() && !less(key, slot->first))
      (*tasks)[slot->second].arrItems.assign(std::make_move_iterator(run), std::make_move_iterator(run_end));
    run = run_end;
  }
}

std::vector<SQZGeZhuanTaskInfo> OdbcRawStore::ListTasks() {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  Check(SQLExecute(select_tasks_), SQL_HANDLE_STMT, select_tasks_, "select tasks");
  Reader reader(select_tasks_);
  while (SQL_SUCCEEDED(SQLFetch(select_tasks_))) {
    tasks.emplace_back();
    reader.column = 1;
    VisitTaskFields(tasks.back(), reader);
  }
  SQLCloseCursor(select_tasks_);
  for (size_t first = 0; first < tasks.size(); first += kKeysPerQuery)
    ReadItemsOf(&tasks, first, std::min(tasks.size(), first + kKeysPerQuery));
  return tasks;
}

}  // namespace qz::bench
