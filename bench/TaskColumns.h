// The columns of GeZhuanTaskInfo and GeZhuanTaskItem in table order, once:
// their names for the raw side's SQL texts, and each record's fields in the
// same order for a visitor that binds, reads or writes them. A visitor has
// Guid, Text, Time, Int and UInt members taking the field (const for
// writing, mutable for reading).
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>

namespace qz::bench {

constexpr int kTaskColumnCount = 30;
constexpr const char* kTaskColumns =
    "guidTaskID, strTaskName, strTaskHint, strPreferUserName, guidPreferUser, strFirstAuditorName, "
    "guidFirstAuditor, strSecondAuditorname, guidSecondAuditor, strFirstAuditInfo, strSecondAuditInfo, "
    "odtTaskPrepareBegin, odtTaskBeginDateTime, odtTaskEndDateTime, dwDuration, enumTaskType, enumTaskEditStatus, "
    "enumTaskRunStatus, strOrgTapeTypeName, guidOrgTapeType, strDSTTapeTypeName, guidDSTTapeType, ORGDeviceGuid, "
    "DSTDeviceGuid, ORGVAPortGuid, DSTVAPortGuid, ORGCtrlPortGuid, DSTCtrlPortGuid, strORGDeviceName, "
    "strDSTDeviceName";

// The 29 columns after the key, as "name = ?n" from n = first on.
inline std::string TaskAssignments(char marker, int first) {
  std::string text;
  const std::string columns = kTaskColumns;
  size_t at = columns.find(", ") + 2;  // past the key
  int n = first;
  while (at < columns.size()) {
    size_t end = columns.find(", ", at);
    if (end == std::string::npos) end = columns.size();
    if (!text.empty()) text += ", ";
    text += columns.substr(at, end - at) + " = " + marker + std::to_string(n++);
    at = end + 2;
  }
  return text;
}

constexpr int kItemColumnCount = 8;
constexpr const char* kItemColumns =
    "guidTask, guidItem, strItemName, nItemType, dwTrimIn, dwTrimOut, dwLength, nIndex";

template <typename Task, typename Visitor>
void VisitTaskFields(Task& t, Visitor& v) {
  v.Guid(t.guidTaskID), v.Text(t.strTaskName), v.Text(t.strTaskHint), v.Text(t.strPreferUserName);
  v.Guid(t.guidPreferUser), v.Text(t.strFirstAuditorName), v.Guid(t.guidFirstAuditor);
  v.Text(t.strSecondAuditorname), v.Guid(t.guidSecondAuditor), v.Text(t.strFirstAuditInfo);
  v.Text(t.strSecondAuditInfo), v.Time(t.odtTaskPrepareBegin), v.Time(t.odtTaskBeginDateTime);
  v.Time(t.odtTaskEndDateTime), v.UInt(t.dwDuration), v.Int(t.enumTaskType), v.Int(t.enumTaskEditStatus);
  v.Int(t.enumTaskRunStatus), v.Text(t.strOrgTapeTypeName), v.Guid(t.guidOrgTapeType);
  v.Text(t.strDSTTapeTypeName), v.Guid(t.guidDSTTapeType), v.Guid(t.ORGDeviceGuid), v.Guid(t.DSTDeviceGuid);
  v.Guid(t.ORGVAPortGuid), v.Guid(t.DSTVAPortGuid), v.Guid(t.ORGCtrlPortGuid), v.Guid(t.DSTCtrlPortGuid);
  v.Text(t.strORGDeviceName), v.Text(t.strDSTDeviceName);
}

// Passes every field but the first GUID (the task's key) on to inner.
template <typename Visitor>
struct SkipKey {
  Visitor& inner;
  bool skipped = false;
  template <typename Field>
  void Guid(Field& g) {
    if (skipped) inner.Guid(g);
    skipped = true;
  }
  template <typename Field>
  void Text(Field& s) {
    inner.Text(s);
  }
  template <typename Field>
  void Time(Field& d) {
    inner.Time(d);
  }
  template <typename Field>
  void Int(Field& i) {
    inner.Int(i);
  }
  template <typename Field>
  void UInt(Field& u) {
    inner.UInt(u);
  }
};

// The 29 fields after the key, for an UPDATE that names the key last.
template <typename Task, typename Visitor>
void VisitTaskFieldsAfterKey(Task& t, Visitor& v) {
  SkipKey<Visitor> skip{v};
  VisitTaskFields(t, skip);
}

template <typename Item, typename Visitor>
void VisitItemFields(Item& item, Visitor& v) {
  v.Guid(item.guidTask), v.Guid(item.guidItem), v.Text(item.strItemName), v.Int(item.nItemType);
  v.UInt(item.dwTrimIn), v.UInt(item.dwTrimOut), v.UInt(item.dwLength), v.Int(item.nIndex);
}

}  // namespace qz::bench
