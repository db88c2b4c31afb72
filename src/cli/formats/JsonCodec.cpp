#include "cli/formats/JsonCodec.h"

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "common/GuidText.h"
#include "records/DateText.h"

namespace gezhuan {

using qz::common::GuidToUtf8;
using qz::common::IsNullGuid;
using qz::records::IsUnsetDateTime;
using qz::records::UnsetDateTime;

using qz::records::ParseJson;
using qz::records::ReadFields;
using qz::records::Refuse;
using qz::records::Shown;

Json TaskToJson(const SQZGeZhuanTaskInfo& task) {
  Json out = qz::records::TaskToJson(task);
  if (IsUnsetDateTime(task.odtTaskBeginDateTime)) out["odtTaskBeginDateTime"] = nullptr;
  if (IsUnsetDateTime(task.odtTaskEndDateTime)) out["odtTaskEndDateTime"] = nullptr;
  return out;
}

std::vector<SQZGeZhuanTaskInfo> TasksFromDocument(const std::string& text,
                                                  const std::function<void(size_t done, size_t total)>& checked) {
  std::vector<SQZGeZhuanTaskInfo> tasks = qz::records::TasksFromDocument(text, checked);
  for (auto& task : tasks)
    for (SQZDateTime* date : {&task.odtTaskBeginDateTime, &task.odtTaskEndDateTime})
      if (date->m_status == SQZDateTime::invalid) *date = UnsetDateTime();
  return tasks;
}

std::string DocumentText(const Json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
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
