#include "cli/formats/JsonCodec.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "common/GuidText.h"
#include "common/RandomGuid.h"
#include "records/DateText.h"

namespace gezhuan {

using qz::common::GuidToUtf8;
using qz::common::IsNullGuid;
using qz::common::NewRandomGuid;
using qz::records::IsUnsetDateTime;
using qz::records::UnsetDateTime;

namespace {

using qz::records::ParseJson;
using qz::records::ReadFields;
using qz::records::Refuse;
using qz::records::Shown;

std::vector<SQZGeZhuanItemInfo> ReadItems(const Json& array, const std::string& path, const GUID& task) {
  if (!array.is_array()) Refuse(path, "arrItems", "expected an array of items, found " + Shown(array));
  std::vector<SQZGeZhuanItemInfo> items;
  std::map<std::string, std::string> seenItems;
  for (size_t i = 0; i < array.size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    const Json& object = array[i];
    if (!object.is_object()) Refuse(at, "arrItems", "expected an item object, found " + Shown(object));
    SQZGeZhuanItemInfo item;
    item.guidTask = task;
    item.guidItem = NewRandomGuid();
    item.nIndex = static_cast<int32_t>(i);
    ReadFields(object, at, &item);
    if (!object.contains("dwLength") && item.dwTrimOut >= item.dwTrimIn) item.dwLength = item.dwTrimOut - item.dwTrimIn;
    if (item.guidTask != task)
      Refuse(at + ".guidTask", "guidTask",
             "the item names task " + GuidToUtf8(item.guidTask) + " but stands in task " + GuidToUtf8(task));
    const std::string key = GuidToUtf8(item.guidItem);
    if (!seenItems.emplace(key, at).second)
      Refuse(at + ".guidItem", "guidItem", "the same guidItem as " + seenItems[key]);
    items.push_back(item);
  }
  return items;
}

}  // namespace

Json TaskToJson(const SQZGeZhuanTaskInfo& task) {
  Json out = qz::records::TaskToJson(task);
  if (IsUnsetDateTime(task.odtTaskBeginDateTime)) out["odtTaskBeginDateTime"] = nullptr;
  if (IsUnsetDateTime(task.odtTaskEndDateTime)) out["odtTaskEndDateTime"] = nullptr;
  return out;
}

std::string DocumentText(const Json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::vector<SQZGeZhuanTaskInfo> TasksFromDocument(const std::string& text,
                                                  const std::function<void(size_t done, size_t total)>& checked) {
  const Json document = ParseJson(text);
  if (!document.is_array()) Refuse("$", "(document)", "expected an array of tasks, found " + Shown(document));
  std::vector<SQZGeZhuanTaskInfo> tasks;
  tasks.reserve(document.size());
  std::map<std::string, std::string> seenTasks;
  for (size_t t = 0; t < document.size(); ++t) {
    const std::string at = "$[" + std::to_string(t) + "]";
    const Json& object = document[t];
    if (!object.is_object()) Refuse(at, "(task)", "expected a task object, found " + Shown(object));
    SQZGeZhuanTaskInfo task;
    task.guidTaskID = NewRandomGuid();
    ReadFields(object, at, &task);
    for (auto [name, field] : {std::pair{"odtTaskBeginDateTime", &task.odtTaskBeginDateTime},
                               std::pair{"odtTaskEndDateTime", &task.odtTaskEndDateTime}}) {
      auto member = object.find(name);
      if (member != object.end() && member->is_null()) *field = UnsetDateTime();
    }
    if (IsNullGuid(task.guidTaskID)) Refuse(at + ".guidTaskID", "guidTaskID", "the null GUID cannot key a task");
    const std::string key = GuidToUtf8(task.guidTaskID);
    if (!seenTasks.emplace(key, at).second)
      Refuse(at + ".guidTaskID", "guidTaskID", "the same guidTaskID as " + seenTasks[key]);
    auto items = object.find("arrItems");
    if (items != object.end()) task.arrItems = ReadItems(*items, at + ".arrItems", task.guidTaskID);
    tasks.push_back(std::move(task));
    if (checked) checked(tasks.size(), document.size());
  }
  return tasks;
}

std::vector<SQZGeZhuanItemInfo> ItemsFromDocument(const std::string& text, const GUID& task) {
  return ReadItems(ParseJson(text), "$", task);
}

Json CatalogueToJson(const CatalogueDocument& catalogue) {
  Json out = Json::object();
  out["groups"] = Json::array();
  for (const auto& group : catalogue.groups) out["groups"].push_back(GroupToJson(group));
  out["tapes"] = Json::array();
  for (const auto& tape : catalogue.tapes) out["tapes"].push_back(TapeToJson(tape));
  return out;
}

namespace {

// Reads the records of one array of a catalogue document.
template <class Record>
std::vector<Record> ReadCatalogueRecords(const Json& document, const char* name, const char* key, GUID Record::*guid) {
  std::vector<Record> records;
  const std::string path = std::string("$.") + name;
  auto array = document.find(name);
  if (array == document.end()) return records;
  if (!array->is_array()) Refuse(path, name, "expected an array, found " + Shown(*array));
  std::map<std::string, std::string> seen;
  for (size_t i = 0; i < array->size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    const Json& object = (*array)[i];
    if (!object.is_object()) Refuse(at, name, "expected an object, found " + Shown(object));
    if (object.find(key) == object.end()) Refuse(at + "." + key, key, "missing");
    Record record;
    ReadFields(object, at, &record);
    if (IsNullGuid(record.*guid)) Refuse(at + "." + key, key, "the null GUID cannot key a record");
    const std::string text = GuidToUtf8(record.*guid);
    if (!seen.emplace(text, at).second)
      Refuse(at + "." + key, key, "the same " + std::string(key) + " as " + seen[text]);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace

CatalogueDocument CatalogueFromDocument(const std::string& text) {
  const Json document = ParseJson(text);
  if (!document.is_object())
    Refuse("$", "(document)", "expected an object with \"groups\" and \"tapes\", found " + Shown(document));
  for (auto it = document.begin(); it != document.end(); ++it)
    if (it.key() != "groups" && it.key() != "tapes") Refuse("$." + it.key(), it.key(), "unknown field");
  CatalogueDocument catalogue;
  catalogue.groups = ReadCatalogueRecords(document, "groups", "guidGroupID", &SQZGZVTRTapeTypeGroupInfo::guidGroupID);
  catalogue.tapes = ReadCatalogueRecords(document, "tapes", "TAPEGUID", &SQZGZVTRTapeTypeInfo::TAPEGUID);
  return catalogue;
}

}  // namespace gezhuan
