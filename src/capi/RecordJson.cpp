#include "capi/RecordJson.h"

#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <type_traits>
#include <utility>

#include "common/GuidText.h"
#include "platform/TextEncoding.h"

namespace qz::capi {
namespace {

using platform::Utf8ToWide;
using platform::WideToUtf8;

std::string GuidText(const GUID& guid) { return WideToUtf8(common::GuidToText(guid)); }

Json DateTimeJson(const SQZDateTime& value) {
  int year, month, day, hour, minute, second;
  if (!value.GetParts(&year, &month, &day, &hour, &minute, &second)) return nullptr;
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
  return text;
}

[[noreturn]] void Refuse(const std::string& field, const std::string& why) {
  throw RecordJsonError("field \"" + field + "\": " + why);
}

void ReadValue(const std::string& field, const Json& value, GUID* out) {
  if (!value.is_string()) Refuse(field, "expected GUID text");
  if (!common::ParseGuidText(Utf8ToWide(value.get<std::string>()), out))
    Refuse(field, "\"" + value.get<std::string>() + "\" is not GUID text (8-4-4-4-12 hexadecimal digits)");
}

void ReadValue(const std::string& field, const Json& value, std::wstring* out) {
  if (!value.is_string()) Refuse(field, "expected text");
  *out = Utf8ToWide(value.get<std::string>());
}

template <typename Integer, typename = std::enable_if_t<std::is_integral_v<Integer>>>
void ReadValue(const std::string& field, const Json& value, Integer* out) {
  if (!value.is_number_integer()) Refuse(field, "expected a whole number");
  if (value.is_number_unsigned()) {
    const auto number = value.get<uint64_t>();
    if (number > static_cast<uint64_t>(std::numeric_limits<Integer>::max())) Refuse(field, "out of range");
    *out = static_cast<Integer>(number);
    return;
  }
  const auto number = value.get<int64_t>();
  if (number < static_cast<int64_t>(std::numeric_limits<Integer>::min()) ||
      number > static_cast<int64_t>(std::numeric_limits<Integer>::max()))
    Refuse(field, "out of range");
  *out = static_cast<Integer>(number);
}

// "YYYY-MM-DD HH:MM:SS" naming a real moment, or null for invalid.
void ReadValue(const std::string& field, const Json& value, SQZDateTime* out) {
  if (value.is_null()) {
    *out = SQZDateTime();
    out->m_status = SQZDateTime::invalid;
    return;
  }
  if (!value.is_string()) Refuse(field, "expected \"YYYY-MM-DD HH:MM:SS\" or null");
  const std::string text = value.get<std::string>();
  int year, month, day, hour, minute, second;
  char end;
  if (text.size() != 19 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &end) != 6)
    Refuse(field, "\"" + text + "\" is not \"YYYY-MM-DD HH:MM:SS\"");
  const SQZDateTime parsed(year, month, day, hour, minute, second);
  if (!parsed.IsValid()) Refuse(field, "\"" + text + "\" is not a date and time of the years 100 to 9999");
  *out = parsed;
}

template <typename Record>
using FieldReader = std::function<void(const std::string&, const Json&, Record*)>;

// Reads every member of json through its field's reader; a member without
// one is refused, so that a misspelt field cannot be lost without a word.
template <typename Record>
void ReadFields(const Json& json, const std::map<std::string, FieldReader<Record>>& readers, Record* record) {
  if (!json.is_object()) throw RecordJsonError("expected an object");
  for (const auto& [name, value] : json.items()) {
    auto reader = readers.find(name);
    if (reader == readers.end()) Refuse(name, "no such field");
    reader->second(name, value, record);
  }
}

// One field's reader: the member it fills, read by the type of that member.
template <typename Record, typename Value>
std::pair<const std::string, FieldReader<Record>> Field(const char* name, Value Record::*member) {
  return {name, [member](const std::string& field, const Json& value, Record* record) {
            ReadValue(field, value, &(record->*member));
          }};
}

}  // namespace

Json ItemToJson(const SQZGeZhuanItemInfo& item) {
  return Json{{"guidTask", GuidText(item.guidTask)},
              {"guidItem", GuidText(item.guidItem)},
              {"strItemName", WideToUtf8(item.strItemName)},
              {"nItemType", item.nItemType},
              {"dwTrimIn", item.dwTrimIn},
              {"dwTrimOut", item.dwTrimOut},
              {"dwLength", item.dwLength},
              {"nIndex", item.nIndex}};
}

Json TaskToJson(const SQZGeZhuanTaskInfo& t) {
  Json items = Json::array();
  for (const SQZGeZhuanItemInfo& item : t.arrItems) items.push_back(ItemToJson(item));
  return Json{{"guidTaskID", GuidText(t.guidTaskID)},
              {"strTaskName", WideToUtf8(t.strTaskName)},
              {"strTaskHint", WideToUtf8(t.strTaskHint)},
              {"strPreferUserName", WideToUtf8(t.strPreferUserName)},
              {"guidPreferUser", GuidText(t.guidPreferUser)},
              {"strFirstAuditorName", WideToUtf8(t.strFirstAuditorName)},
              {"guidFirstAuditor", GuidText(t.guidFirstAuditor)},
              {"strSecondAuditorname", WideToUtf8(t.strSecondAuditorname)},
              {"guidSecondAuditor", GuidText(t.guidSecondAuditor)},
              {"strFirstAuditInfo", WideToUtf8(t.strFirstAuditInfo)},
              {"strSecondAuditInfo", WideToUtf8(t.strSecondAuditInfo)},
              {"odtTaskPrepareBegin", DateTimeJson(t.odtTaskPrepareBegin)},
              {"odtTaskBeginDateTime", DateTimeJson(t.odtTaskBeginDateTime)},
              {"odtTaskEndDateTime", DateTimeJson(t.odtTaskEndDateTime)},
              {"dwDuration", t.dwDuration},
              {"enumTaskType", t.enumTaskType},
              {"enumTaskEditStatus", t.enumTaskEditStatus},
              {"enumTaskRunStatus", t.enumTaskRunStatus},
              {"strOrgTapeTypeName", WideToUtf8(t.strOrgTapeTypeName)},
              {"guidOrgTapeType", GuidText(t.guidOrgTapeType)},
              {"strDSTTapeTypeName", WideToUtf8(t.strDSTTapeTypeName)},
              {"guidDSTTapeType", GuidText(t.guidDSTTapeType)},
              {"ORGDeviceGuid", GuidText(t.ORGDeviceGuid)},
              {"DSTDeviceGuid", GuidText(t.DSTDeviceGuid)},
              {"ORGVAPortGuid", GuidText(t.ORGVAPortGuid)},
              {"DSTVAPortGuid", GuidText(t.DSTVAPortGuid)},
              {"ORGCtrlPortGuid", GuidText(t.ORGCtrlPortGuid)},
              {"DSTCtrlPortGuid", GuidText(t.DSTCtrlPortGuid)},
              {"strORGDeviceName", WideToUtf8(t.strORGDeviceName)},
              {"strDSTDeviceName", WideToUtf8(t.strDSTDeviceName)},
              {"arrItems", items}};
}

Json GroupToJson(const SQZGZVTRTapeTypeGroupInfo& group) {
  return Json{{"guidGroupID", GuidText(group.guidGroupID)},
              {"strGroupName", WideToUtf8(group.strGroupName)},
              {"strGroupHint", WideToUtf8(group.strGroupHint)}};
}

Json TapeToJson(const SQZGZVTRTapeTypeInfo& tape) {
  return Json{{"TAPEGUID", GuidText(tape.TAPEGUID)},   {"TAPENAME", WideToUtf8(tape.TAPENAME)},
              {"TAPEHINT", WideToUtf8(tape.TAPEHINT)}, {"guidGroupID", GuidText(tape.guidGroupID)},
              {"nMaxLength", tape.nMaxLength},         {"bIfDefault", tape.bIfDefault}};
}

SQZGeZhuanItemInfo ItemFromJson(const Json& json) {
  using R = SQZGeZhuanItemInfo;
  static const std::map<std::string, FieldReader<R>> kReaders = {
      Field("guidTask", &R::guidTask),   Field("guidItem", &R::guidItem), Field("strItemName", &R::strItemName),
      Field("nItemType", &R::nItemType), Field("dwTrimIn", &R::dwTrimIn), Field("dwTrimOut", &R::dwTrimOut),
      Field("dwLength", &R::dwLength),   Field("nIndex", &R::nIndex),
  };
  SQZGeZhuanItemInfo item;
  ReadFields(json, kReaders, &item);
  return item;
}

SQZGeZhuanTaskInfo TaskFromJson(const Json& json) {
  using R = SQZGeZhuanTaskInfo;
  static const std::map<std::string, FieldReader<R>> kReaders = {
      Field("guidTaskID", &R::guidTaskID),
      Field("strTaskName", &R::strTaskName),
      Field("strTaskHint", &R::strTaskHint),
      Field("strPreferUserName", &R::strPreferUserName),
      Field("guidPreferUser", &R::guidPreferUser),
      Field("strFirstAuditorName", &R::strFirstAuditorName),
      Field("guidFirstAuditor", &R::guidFirstAuditor),
      Field("strSecondAuditorname", &R::strSecondAuditorname),
      Field("guidSecondAuditor", &R::guidSecondAuditor),
      Field("strFirstAuditInfo", &R::strFirstAuditInfo),
      Field("strSecondAuditInfo", &R::strSecondAuditInfo),
      Field("odtTaskPrepareBegin", &R::odtTaskPrepareBegin),
      Field("odtTaskBeginDateTime", &R::odtTaskBeginDateTime),
      Field("odtTaskEndDateTime", &R::odtTaskEndDateTime),
      Field("dwDuration", &R::dwDuration),
      Field("enumTaskType", &R::enumTaskType),
      Field("enumTaskEditStatus", &R::enumTaskEditStatus),
      Field("enumTaskRunStatus", &R::enumTaskRunStatus),
      Field("strOrgTapeTypeName", &R::strOrgTapeTypeName),
      Field("guidOrgTapeType", &R::guidOrgTapeType),
      Field("strDSTTapeTypeName", &R::strDSTTapeTypeName),
      Field("guidDSTTapeType", &R::guidDSTTapeType),
      Field("ORGDeviceGuid", &R::ORGDeviceGuid),
      Field("DSTDeviceGuid", &R::DSTDeviceGuid),
      Field("ORGVAPortGuid", &R::ORGVAPortGuid),
      Field("DSTVAPortGuid", &R::DSTVAPortGuid),
      Field("ORGCtrlPortGuid", &R::ORGCtrlPortGuid),
      Field("DSTCtrlPortGuid", &R::DSTCtrlPortGuid),
      Field("strORGDeviceName", &R::strORGDeviceName),
      Field("strDSTDeviceName", &R::strDSTDeviceName),
      {"arrItems",
       [](const std::string& field, const Json& value, R* task) {
         if (!value.is_array()) Refuse(field, "expected an array of items");
         task->arrItems.clear();
         for (const Json& item : value) task->arrItems.push_back(ItemFromJson(item));
       }},
  };
  SQZGeZhuanTaskInfo task;
  ReadFields(json, kReaders, &task);
  return task;
}

Json ParseJson(const std::string& text) {
  try {
    return Json::parse(text);
  } catch (const Json::exception& e) {
    throw RecordJsonError(std::string("not JSON: ") + e.what());
  }
}

}  // namespace qz::capi
