// The columns of the four tables, each written once: its name (the record
// field of the same name), its kind and the member that holds it, in table
// order. The row mappings, the JSON codec and the tool's field listings all
// read these tables, so a column added to a table is one line here.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

namespace qz::records {

// How a column is stored and shown; each kind is one member type.
enum class ColumnKind { kGuid, kText, kDateTime, kInt32, kUInt32 };

// One column of Record's table. The member pointer in use is the one that
// kind names.
template <class Record>
struct Column {
  const wchar_t* name;
  std::size_t size;  // of name, so that a row mapping never measures it again
  ColumnKind kind;
  union {
    GUID Record::*guid;
    std::wstring Record::*text;
    SQZDateTime Record::*dateTime;
    int32_t Record::*int32;
    uint32_t Record::*uint32;
  };

  constexpr Column(const wchar_t* n, GUID Record::*m)
      : name(n), size(std::char_traits<wchar_t>::length(n)), kind(ColumnKind::kGuid), guid(m) {}
  constexpr Column(const wchar_t* n, std::wstring Record::*m)
      : name(n), size(std::char_traits<wchar_t>::length(n)), kind(ColumnKind::kText), text(m) {}
  constexpr Column(const wchar_t* n, SQZDateTime Record::*m)
      : name(n), size(std::char_traits<wchar_t>::length(n)), kind(ColumnKind::kDateTime), dateTime(m) {}
  constexpr Column(const wchar_t* n, int32_t Record::*m)
      : name(n), size(std::char_traits<wchar_t>::length(n)), kind(ColumnKind::kInt32), int32(m) {}
  constexpr Column(const wchar_t* n, uint32_t Record::*m)
      : name(n), size(std::char_traits<wchar_t>::length(n)), kind(ColumnKind::kUInt32), uint32(m) {}
};

// The table of each record: RecordTable<Record>::kName and kColumns.
template <class Record>
struct RecordTable;

// GeZhuanTaskInfo: every field of the task but arrItems, whose items are
// rows of GeZhuanTaskItem.
template <>
struct RecordTable<SQZGeZhuanTaskInfo> {
  using R = SQZGeZhuanTaskInfo;
  static constexpr const wchar_t* kName = L"GeZhuanTaskInfo";
  static constexpr Column<R> kColumns[] = {
      {L"guidTaskID", &R::guidTaskID},
      {L"strTaskName", &R::strTaskName},
      {L"strTaskHint", &R::strTaskHint},
      {L"strPreferUserName", &R::strPreferUserName},
      {L"guidPreferUser", &R::guidPreferUser},
      {L"strFirstAuditorName", &R::strFirstAuditorName},
      {L"guidFirstAuditor", &R::guidFirstAuditor},
      {L"strSecondAuditorname", &R::strSecondAuditorname},
      {L"guidSecondAuditor", &R::guidSecondAuditor},
      {L"strFirstAuditInfo", &R::strFirstAuditInfo},
      {L"strSecondAuditInfo", &R::strSecondAuditInfo},
      {L"odtTaskPrepareBegin", &R::odtTaskPrepareBegin},
      {L"odtTaskBeginDateTime", &R::odtTaskBeginDateTime},
      {L"odtTaskEndDateTime", &R::odtTaskEndDateTime},
      {L"dwDuration", &R::dwDuration},
      {L"enumTaskType", &R::enumTaskType},
      {L"enumTaskEditStatus", &R::enumTaskEditStatus},
      {L"enumTaskRunStatus", &R::enumTaskRunStatus},
      {L"strOrgTapeTypeName", &R::strOrgTapeTypeName},
      {L"guidOrgTapeType", &R::guidOrgTapeType},
      {L"strDSTTapeTypeName", &R::strDSTTapeTypeName},
      {L"guidDSTTapeType", &R::guidDSTTapeType},
      {L"ORGDeviceGuid", &R::ORGDeviceGuid},
      {L"DSTDeviceGuid", &R::DSTDeviceGuid},
      {L"ORGVAPortGuid", &R::ORGVAPortGuid},
      {L"DSTVAPortGuid", &R::DSTVAPortGuid},
      {L"ORGCtrlPortGuid", &R::ORGCtrlPortGuid},
      {L"DSTCtrlPortGuid", &R::DSTCtrlPortGuid},
      {L"strORGDeviceName", &R::strORGDeviceName},
      {L"strDSTDeviceName", &R::strDSTDeviceName},
  };
};

template <>
struct RecordTable<SQZGeZhuanItemInfo> {
  using R = SQZGeZhuanItemInfo;
  static constexpr const wchar_t* kName = L"GeZhuanTaskItem";
  static constexpr Column<R> kColumns[] = {
      {L"guidTask", &R::guidTask},   {L"guidItem", &R::guidItem}, {L"strItemName", &R::strItemName},
      {L"nItemType", &R::nItemType}, {L"dwTrimIn", &R::dwTrimIn}, {L"dwTrimOut", &R::dwTrimOut},
      {L"dwLength", &R::dwLength},   {L"nIndex", &R::nIndex},
  };
};

template <>
struct RecordTable<SQZGZVTRTapeTypeGroupInfo> {
  using R = SQZGZVTRTapeTypeGroupInfo;
  static constexpr const wchar_t* kName = L"VTRTAPEGROUPINFO";
  static constexpr Column<R> kColumns[] = {
      {L"guidGroupID", &R::guidGroupID},
      {L"strGroupName", &R::strGroupName},
      {L"strGroupHint", &R::strGroupHint},
  };
};

template <>
struct RecordTable<SQZGZVTRTapeTypeInfo> {
  using R = SQZGZVTRTapeTypeInfo;
  static constexpr const wchar_t* kName = L"VTRTAPEINFO";
  static constexpr Column<R> kColumns[] = {
      {L"TAPEGUID", &R::TAPEGUID},       {L"TAPENAME", &R::TAPENAME},     {L"TAPEHINT", &R::TAPEHINT},
      {L"guidGroupID", &R::guidGroupID}, {L"nMaxLength", &R::nMaxLength}, {L"bIfDefault", &R::bIfDefault},
  };
};

template <class Record>
constexpr std::size_t kColumnCount = std::size(RecordTable<Record>::kColumns);

namespace detail {

// Column I of Record's table handed to visit, its field with its own type.
// The kind is a constant here, so that each column becomes one direct call.
template <class Record, std::size_t I, class Object, class Visitor>
inline void VisitColumn(Object& record, Visitor& visit) {
  constexpr const Column<Record>& column = RecordTable<Record>::kColumns[I];
  if constexpr (column.kind == ColumnKind::kGuid) {
    visit(column.name, record.*column.guid);
  } else if constexpr (column.kind == ColumnKind::kText) {
    visit(column.name, record.*column.text);
  } else if constexpr (column.kind == ColumnKind::kDateTime) {
    visit(column.name, record.*column.dateTime);
  } else if constexpr (column.kind == ColumnKind::kInt32) {
    visit(column.name, record.*column.int32);
  } else {
    visit(column.name, record.*column.uint32);
  }
}

template <class Object, class Visitor, std::size_t... I>
inline void VisitColumns(Object& record, Visitor& visit, std::index_sequence<I...>) {
  (VisitColumn<std::remove_const_t<Object>, I>(record, visit), ...);
}

}  // namespace detail

// visit(name, field) for each column of record's table, in table order,
// the field as GUID&, std::wstring&, SQZDateTime&, int32_t& or uint32_t&
// (const when record is). Written out column by column at compile time:
// the row mappings call it for every row.
template <class Record, class Visitor>
inline void VisitColumns(Record& record, Visitor&& visit) {
  detail::VisitColumns(record, visit, std::make_index_sequence<kColumnCount<std::remove_const_t<Record>>>());
}

}  // namespace qz::records
