// The C interface (QZNVGeZhuanDB.h): the records' calls on a handle
// (capi/Handle.h), records in and out as JSON text.
#include <QZNVGeZhuanDB.h>
#include <QZNVGeZhuanHost.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "capi/Handle.h"
#include "capi/Utf16Text.h"
#include "common/GuidText.h"
#include "common/RandomGuid.h"
#include "platform/TextEncoding.h"
#include "records/RecordJson.h"
#include "records/TaskDocument.h"

namespace {

using qz::capi::Fail;
using qz::capi::FailOperation;
using qz::capi::NewText;
using qz::capi::Run;
using qz::capi::Utf16ToUtf8;
using qz::capi::Utf16ToWide;
using qz::capi::Utf8ToUtf16;
using qz::records::Json;
using qz::records::JsonError;

const char kNothingFound[] = "nothing found";
const char kRefused[] = "the database refused the statement";

int FailWrite(QZNVGeZhuanDB* db) { return FailOperation(db, kRefused, QZNV_GEZHUAN_DATABASE, kRefused); }

int FailQuery(QZNVGeZhuanDB* db) { return FailOperation(db, kRefused, QZNV_GEZHUAN_NOTHING_FOUND, kNothingFound); }

// Hands the JSON text to the caller; out must not be null.
int Hand(QZNVGeZhuanDB* db, const Json& json, QZNVChar** out) {
  QZNVChar* text = NewText(Utf8ToUtf16(json.dump()));
  if (text == nullptr) return Fail(db, QZNV_GEZHUAN_OTHER, "out of memory");
  *out = text;
  return 1;
}

Json ParseArray(const QZNVChar* text, const char* what) {
  Json json = qz::records::ParseJson(Utf16ToUtf8(text));
  if (!json.is_array()) throw JsonError(std::string("expected a JSON array of ") + what);
  return json;
}

// A record read from its JSON object, starting from the record's defaults.
template <typename Record>
Record FromJson(const Json& object, const std::string& path) {
  Record record;
  qz::records::ReadFields(object, path, &record);
  return record;
}

// A task to rewrite, with the items its "arrItems" holds: read as a task
// document reads them, so that an item left without guidTask is the task's.
SQZGeZhuanTaskInfo TaskFromJson(const Json& object, const std::string& path) {
  SQZGeZhuanTaskInfo task = FromJson<SQZGeZhuanTaskInfo>(object, path);
  auto items = object.find("arrItems");
  if (items != object.end()) task.arrItems = qz::records::ItemsFromJson(*items, path + ".arrItems", task.guidTaskID);
  return task;
}

// "$[i]", where element i of a JSON array stands.
std::string Element(size_t i) { return "$[" + std::to_string(i) + "]"; }

// A GUID argument: null or empty is the null GUID, anything else GUID text.
GUID GuidArgument(const QZNVChar* text, const char* what) {
  GUID guid{};
  const std::wstring wide = Utf16ToWide(text);
  if (!wide.empty() && !qz::common::ParseGuidText(wide, &guid))
    throw JsonError(std::string(what) + " is not GUID text (8-4-4-4-12 hexadecimal digits)");
  return guid;
}

bool MissingOut(QZNVGeZhuanDB* db, QZNVChar** out) {
  if (out != nullptr) return false;
  Fail(db, "the result pointer is null");
  return true;
}

}  // namespace

extern "C" {

QZNVGeZhuanDB* QZNVGeZhuanDB_Create(void) { return new (std::nothrow) QZNVGeZhuanDB(); }

void QZNVGeZhuanDB_Destroy(QZNVGeZhuanDB* db) {
  if (db == nullptr) return;
  QZNVGeZhuanDB_Close(db);
  delete db;
}

const QZNVChar* QZNVGeZhuanDB_LastError(QZNVGeZhuanDB* db) {
  static const QZNVChar kEmpty[1] = {0};
  if (db == nullptr) return kEmpty;
  return reinterpret_cast<const QZNVChar*>(db->error.c_str());
}

int QZNVGeZhuanDB_LastErrorState(QZNVGeZhuanDB* db, char* sql_state, size_t size) {
  const std::string state = db != nullptr && db->sql_state.size() == 5 ? db->sql_state : std::string();
  if (sql_state != nullptr && size > 0) {
    const size_t n = size > state.size() ? state.size() : 0;
    state.copy(sql_state, n);
    sql_state[n] = '\0';
  }
  return db == nullptr ? QZNV_GEZHUAN_OK : db->kind;
}

void QZNVGeZhuanDB_FreeText(QZNVChar* text) { std::free(text); }

void QZNVGeZhuanDB_NewGuid(QZNVChar guid[37]) {
  guid[0] = 0;
  try {
    const std::u16string text = qz::capi::WideToUtf16(qz::common::GuidToText(qz::common::NewRandomGuid()));
    text.copy(reinterpret_cast<char16_t*>(guid), 36);
    guid[36] = 0;
  } catch (...) {  // out of memory, or no random source: the empty text
  }
}

int QZNVGeZhuanDB_Open(QZNVGeZhuanDB* db, int kind, const QZNVChar* connect1, const QZNVChar* connect2,
                       const QZNVChar* connect3, const QZNVChar* connect4) {
  return Run(db, false, [&] {
    DBsSetNode node;
    node.nDBType = kind;
    node.strConnect1 = Utf16ToWide(connect1);
    node.strConnect2 = Utf16ToWide(connect2);
    node.strConnect3 = Utf16ToWide(connect3);
    node.strConnect4 = Utf16ToWide(connect4);
    return qz::capi::OpenNode(db, node);
  });
}

int QZNVGeZhuanDB_Close(QZNVGeZhuanDB* db) {
  return Run(db, false, [&] {
    db->control.CloseQZNVGeZhuanDB();
    db->open = false;
    return 1;
  });
}

int QZNVGeZhuanDB_CreateTables(QZNVGeZhuanDB* db) {
  return Run(db, true, [&] {
    std::wstring error;
    if (!QZNVGeZhuanCreateTables(db->node, &error))
      return Fail(db, QZNV_GEZHUAN_DATABASE, qz::platform::WideToUtf8(error));
    return 1;
  });
}

int QZNVGeZhuanDB_AddSampleCatalogue(QZNVGeZhuanDB* db) {
  return Run(db, true, [&] {
    std::wstring error;
    if (!QZNVGeZhuanAddSampleCatalogue(db->node, &error))
      return Fail(db, QZNV_GEZHUAN_DATABASE, qz::platform::WideToUtf8(error));
    return 1;
  });
}

int QZNVGeZhuanDB_AddTasks(QZNVGeZhuanDB* db, const QZNVChar* tasks_json) {
  return Run(db, true, [&] {
    std::vector<SQZGeZhuanTaskInfo> tasks = qz::records::TasksFromDocument(Utf16ToUtf8(tasks_json));
    if (tasks.empty()) return Fail(db, "no tasks given");
    return db->control.AddGeZhuanTasks(&tasks) ? 1 : FailWrite(db);
  });
}

int QZNVGeZhuanDB_GetTasks(QZNVGeZhuanDB* db, const QZNVChar* condition, QZNVChar** tasks_json) {
  return Run(db, true, [&] {
    if (MissingOut(db, tasks_json)) return 0;
    std::vector<SQZGeZhuanTaskInfo> tasks;
    if (!db->control.GetGeZhuanTasksByCondition(Utf16ToWide(condition), &tasks)) return FailQuery(db);
    Json json = Json::array();
    for (const SQZGeZhuanTaskInfo& task : tasks) json.push_back(qz::records::TaskToJson(task));
    return Hand(db, json, tasks_json);
  });
}

int QZNVGeZhuanDB_ModifyTask(QZNVGeZhuanDB* db, const QZNVChar* task_json, int with_items) {
  return Run(db, true, [&] {
    const SQZGeZhuanTaskInfo task = TaskFromJson(qz::records::ParseJson(Utf16ToUtf8(task_json)), "$");
    const int done = with_items ? db->control.ModifyGeZhuanTaskAll(&task) : db->control.ModifyGeZhuanTaskOnly(&task);
    return done ? 1 : FailOperation(db, kRefused, QZNV_GEZHUAN_NOTHING_FOUND, "no task has this guidTaskID");
  });
}

int QZNVGeZhuanDB_DeleteTask(QZNVGeZhuanDB* db, const QZNVChar* task_guid) {
  return Run(db, true, [&] {
    const GUID task = GuidArgument(task_guid, "the task GUID");
    if (qz::common::IsNullGuid(task)) return Fail(db, "no task GUID given");
    return db->control.DeleteGeZhuanTask(task) ? 1 : FailWrite(db);
  });
}

int QZNVGeZhuanDB_AddItems(QZNVGeZhuanDB* db, const QZNVChar* items_json) {
  return Run(db, true, [&] {
    std::vector<SQZGeZhuanItemInfo> items;
    const Json array = ParseArray(items_json, "items");
    for (size_t i = 0; i < array.size(); ++i) items.push_back(FromJson<SQZGeZhuanItemInfo>(array[i], Element(i)));
    if (items.empty()) return Fail(db, "no items given");
    return db->control.AddGeZhuanItems(&items) ? 1 : FailWrite(db);
  });
}

int QZNVGeZhuanDB_GetItems(QZNVGeZhuanDB* db, const QZNVChar* condition, QZNVChar** items_json) {
  return Run(db, true, [&] {
    if (MissingOut(db, items_json)) return 0;
    std::vector<SQZGeZhuanItemInfo> items;
    if (!db->control.GetGeZhuanItemsByCondition(Utf16ToWide(condition), &items)) return FailQuery(db);
    Json json = Json::array();
    for (const SQZGeZhuanItemInfo& item : items) json.push_back(qz::records::ItemToJson(item));
    return Hand(db, json, items_json);
  });
}

int QZNVGeZhuanDB_DeleteItems(QZNVGeZhuanDB* db, const QZNVChar* task_guid, const QZNVChar* item_guid) {
  return Run(db, true, [&] {
    const GUID task = GuidArgument(task_guid, "the task GUID");
    const GUID item = GuidArgument(item_guid, "the item GUID");
    if (qz::common::IsNullGuid(task) && qz::common::IsNullGuid(item)) return Fail(db, "neither GUID given");
    return db->control.DeleteGeZhuanItem(task, item) ? 1 : FailWrite(db);
  });
}

int QZNVGeZhuanDB_GetTapeGroups(QZNVGeZhuanDB* db, const QZNVChar* condition, QZNVChar** groups_json) {
  return Run(db, true, [&] {
    if (MissingOut(db, groups_json)) return 0;
    std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
    if (!db->control.GetVTRTapeGRPInfosByCondition(Utf16ToWide(condition), &groups)) return FailQuery(db);
    Json json = Json::array();
    for (const SQZGZVTRTapeTypeGroupInfo& group : groups) json.push_back(qz::records::GroupToJson(group));
    return Hand(db, json, groups_json);
  });
}

int QZNVGeZhuanDB_GetTapes(QZNVGeZhuanDB* db, const QZNVChar* condition, QZNVChar** tapes_json) {
  return Run(db, true, [&] {
    if (MissingOut(db, tapes_json)) return 0;
    std::vector<SQZGZVTRTapeTypeInfo> tapes;
    if (!db->control.GetVTRTapeInfosByCondition(Utf16ToWide(condition), &tapes)) return FailQuery(db);
    Json json = Json::array();
    for (const SQZGZVTRTapeTypeInfo& tape : tapes) json.push_back(qz::records::TapeToJson(tape));
    return Hand(db, json, tapes_json);
  });
}

int QZNVGeZhuanDB_GetDefaultTape(QZNVGeZhuanDB* db, QZNVChar** tape_json) {
  return Run(db, true, [&] {
    if (MissingOut(db, tape_json)) return 0;
    SQZGZVTRTapeTypeInfo tape;
    if (!db->control.GetDefaultVTRTapeInfo(&tape)) return FailQuery(db);
    return Hand(db, qz::records::TapeToJson(tape), tape_json);
  });
}

}  // extern "C"
