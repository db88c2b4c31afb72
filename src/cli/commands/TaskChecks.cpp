#include "cli/commands/TaskChecks.h"

#include "cli/session/Diagnostics.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"
#include "records/DateText.h"

namespace gezhuan {

using qz::common::GuidToUtf8;
using qz::common::IsNullGuid;
using qz::common::ReadTypedGuid;
using qz::records::FormatDateTime;
using qz::records::IsUnsetDateTime;

TapeCatalogue::TapeCatalogue(CQZNVGeZhuanDBControl& control) {
  ClearDatabaseMessages();
  if (!control.GetAllVTRTapeInfos(&m_tapes)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot read the tape types");
    m_tapes.clear();
  }
}

std::optional<std::string> TapeCatalogue::Problem(const std::wstring& name, const GUID& guid) const {
  const std::wstring trimmed = FromUtf8(TrimAscii(ToUtf8(name)));
  if (IsNullGuid(guid) && trimmed.empty()) return std::nullopt;
  for (const SQZGZVTRTapeTypeInfo& tape : m_tapes) {
    if (!IsNullGuid(guid)) {
      if (!(tape.TAPEGUID == guid)) continue;
      if (trimmed.empty() || trimmed == tape.TAPENAME) return std::nullopt;
      return "tape type " + GuidToUtf8(guid) + " is \"" + ToUtf8(tape.TAPENAME) + "\" in the catalogue, not \"" +
             ToUtf8(trimmed) + "\"";
    }
    if (trimmed == tape.TAPENAME) return std::nullopt;
  }
  return IsNullGuid(guid) ? "no tape type \"" + ToUtf8(trimmed) + "\" in the catalogue"
                          : "no tape type " + GuidToUtf8(guid) + " in the catalogue";
}

const SQZGZVTRTapeTypeInfo* TapeCatalogue::Find(const std::string& typed) const {
  GUID guid{};
  const bool byGuid = ReadTypedGuid(typed, &guid);
  const std::wstring name = FromUtf8(TrimAscii(typed));
  for (const SQZGZVTRTapeTypeInfo& tape : m_tapes)
    if (byGuid ? tape.TAPEGUID == guid : tape.TAPENAME == name) return &tape;
  return nullptr;
}

std::optional<Refusal> CheckItem(const SQZGeZhuanItemInfo& item) {
  if (item.dwTrimOut < item.dwTrimIn)
    return Refusal{"", "dwTrimOut",
                   "trim out (" + std::to_string(item.dwTrimOut) + ") comes before trim in (" +
                       std::to_string(item.dwTrimIn) + ")"};
  const uint32_t span = item.dwTrimOut - item.dwTrimIn;
  if (item.dwLength != span)
    return Refusal{"", "dwLength",
                   "the length (" + std::to_string(item.dwLength) + " frames) is not trim out - trim in (" +
                       std::to_string(span) + " frames)"};
  return std::nullopt;
}

std::optional<Refusal> CheckDates(const SQZGeZhuanTaskInfo& task) {
  const SQZDateTime &begin = task.odtTaskBeginDateTime, &end = task.odtTaskEndDateTime;
  if (!IsUnsetDateTime(begin) && !IsUnsetDateTime(end) && end.m_dt < begin.m_dt)
    return Refusal{"", "odtTaskEndDateTime",
                   "the task would end (" + FormatDateTime(end).value_or("") + ") before it begins (" +
                       FormatDateTime(begin).value_or("") + ")"};
  return std::nullopt;
}

std::optional<Refusal> CheckItems(const std::vector<SQZGeZhuanItemInfo>& items) {
  for (size_t i = 0; i < items.size(); ++i)
    if (auto refusal = CheckItem(items[i])) {
      refusal->where = "arrItems[" + std::to_string(i) + "]";
      return refusal;
    }
  return std::nullopt;
}

std::optional<Refusal> CheckTask(const SQZGeZhuanTaskInfo& task, const TapeCatalogue* tapes) {
  if (auto refusal = CheckDates(task)) return refusal;
  if (tapes != nullptr) {
    if (auto problem = tapes->Problem(task.strOrgTapeTypeName, task.guidOrgTapeType))
      return Refusal{"", IsNullGuid(task.guidOrgTapeType) ? "strOrgTapeTypeName" : "guidOrgTapeType", *problem};
    if (auto problem = tapes->Problem(task.strDSTTapeTypeName, task.guidDSTTapeType))
      return Refusal{"", IsNullGuid(task.guidDSTTapeType) ? "strDSTTapeTypeName" : "guidDSTTapeType", *problem};
  }
  return CheckItems(task.arrItems);
}

std::string Describe(const Refusal& refusal) {
  return (refusal.where.empty() ? "" : refusal.where + ".") + refusal.field + ": " + refusal.why;
}

}  // namespace gezhuan
