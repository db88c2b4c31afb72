// CQZNVGeZhuanDBControl keeps the format-conversion ("GeZhuan") work of the
// suite: conversion tasks with their items, and the catalogue of VTR tape
// types they copy from and to.
//
//   CQZNVGeZhuanDBControl control;
//   DBsSetNode node;                    // kind 0: the embedded database
//   node.strConnect1 = L"/var/lib/qz";  // folder
//   node.strConnect2 = L"gezhuan.db";   // file
//   if (control.OpenQZNVGeZhuanDB(node)) {
//     std::vector<SQZGeZhuanTaskInfo> tasks;
//     control.GetGeZhuanTasksByCondition(L"", &tasks);
//     control.CloseQZNVGeZhuanDB();
//   }
//
// Every operation returns 1 on success and 0 on failure, a query that finds
// nothing included; a failure the database reported writes the operation's
// SQL text to the debug output. Nothing is thrown to the caller except by
// CloseQZNVGeZhuanDB and the row mappings (Set...Content / Get...Content),
// which leave the record set's CQZDBException to the code that drives them.
#pragma once

#include <QZDatabaseAccess.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
// QZ_STATIC_LIBRARIES: linked as static libraries (the test programs).
#if defined(QZ_STATIC_LIBRARIES)
#define QZNV_GEZHUAN_API
#elif defined(QZNV_GEZHUAN_BUILD)
#define QZNV_GEZHUAN_API __declspec(dllexport)
#else
#define QZNV_GEZHUAN_API __declspec(dllimport)
#endif
#include <guiddef.h>
#else
#define QZNV_GEZHUAN_API __attribute__((visibility("default")))
#ifndef GUID_DEFINED
#define GUID_DEFINED
// The platform GUID layout: the key of every table.
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
#endif
#endif

// The connection part of a named setting.
struct SQZDataBaseInfo {
  int nDBType = 0;  // kind code: 2, 4, 8, 16, 32; 0 when not set
  std::wstring strConnect1;
  std::wstring strConnect2;
  std::wstring strConnect3;
  std::wstring strConnect4;
};

// One named connection setting of the suite.
struct DBsSetNode : SQZDataBaseInfo {
  std::wstring strSettingName;
  std::wstring strCaption;
};

// One conversion item: a stretch of material within a task.
struct SQZGeZhuanItemInfo {
  GUID guidTask{};  // the owning task's guidTaskID
  GUID guidItem{};
  std::wstring strItemName;
  int32_t nItemType = 0;
  uint32_t dwTrimIn = 0;
  uint32_t dwTrimOut = 0;
  uint32_t dwLength = 0;
  int32_t nIndex = 0;  // position within the task; items read back in this order
};

// One conversion task with its items.
struct QZNV_GEZHUAN_API SQZGeZhuanTaskInfo {
  // odtTaskPrepareBegin is the current second; begin and end are
  // 1900-01-01 01:01:01; everything else is empty, zero or the null GUID.
  SQZGeZhuanTaskInfo();

  GUID guidTaskID{};
  std::wstring strTaskName;
  std::wstring strTaskHint;
  std::wstring strPreferUserName;
  GUID guidPreferUser{};
  std::wstring strFirstAuditorName;
  GUID guidFirstAuditor{};
  std::wstring strSecondAuditorname;
  GUID guidSecondAuditor{};
  std::wstring strFirstAuditInfo;
  std::wstring strSecondAuditInfo;
  SQZDateTime odtTaskPrepareBegin;
  SQZDateTime odtTaskBeginDateTime;
  SQZDateTime odtTaskEndDateTime;
  uint32_t dwDuration = 0;
  int32_t enumTaskType = 0;
  int32_t enumTaskEditStatus = 0;
  int32_t enumTaskRunStatus = 0;
  std::wstring strOrgTapeTypeName;
  GUID guidOrgTapeType{};
  std::wstring strDSTTapeTypeName;
  GUID guidDSTTapeType{};
  GUID ORGDeviceGuid{};
  GUID DSTDeviceGuid{};
  GUID ORGVAPortGuid{};
  GUID DSTVAPortGuid{};
  GUID ORGCtrlPortGuid{};
  GUID DSTCtrlPortGuid{};
  std::wstring strORGDeviceName;
  std::wstring strDSTDeviceName;
  std::vector<SQZGeZhuanItemInfo> arrItems;
};

// A group of VTR tape types.
struct SQZGZVTRTapeTypeGroupInfo {
  GUID guidGroupID{};
  std::wstring strGroupName;
  std::wstring strGroupHint;
};

// A VTR tape type.
struct SQZGZVTRTapeTypeInfo {
  GUID TAPEGUID{};
  std::wstring TAPENAME;
  std::wstring TAPEHINT;
  GUID guidGroupID{};
  int32_t nMaxLength = 0;
  int32_t bIfDefault = 0;  // 1 marks the default tape type
};

// Threads: an object, and every copy that shares its connection, is used by
// one thread at a time. Objects with connections of their own may be used
// from different threads at once. The library starts no threads; it takes
// short locks of its own around what threads share (the debug output, the
// drivers, the settings store's place and dialog) and around a save of the
// settings, and never holds one while it calls the host's code. The
// settings calls touch only the settings store and may run beside any of
// them, but not beside each other.
//
// Conditions: the ...ByCondition calls take the text after "where" (an
// "order by" may follow) as the caller's own SQL, trimmed and otherwise
// unchanged; an empty condition selects every row. Values the library
// writes itself are always bound or quoted by it.
class QZNV_GEZHUAN_API CQZNVGeZhuanDBControl {
 public:
  CQZNVGeZhuanDBControl();
  // Copies share the connection. A close through any holder ends it for
  // all; the others then get 0 from every operation.
  CQZNVGeZhuanDBControl(const CQZNVGeZhuanDBControl& other);
  CQZNVGeZhuanDBControl& operator=(const CQZNVGeZhuanDBControl& other);
  // Releases this object's share of the connection without closing it.
  virtual ~CQZNVGeZhuanDBControl();

  // --- Connection -------------------------------------------------------
  // Opens the database the node names (nDBType 2 -> PostgreSQL, 4 -> ODBC,
  // 8, 16, 32 reserved, anything else -> SQLite). 1 when connected. 0 when
  // not: a refused connection writes "Open QZNVMANAGE DBERROR" to the debug
  // output, an unusable one writes nothing; either way no connection is
  // held. A connection held before is let go first: closed when no copy
  // shares it any more, left open for the copies otherwise.
  int OpenQZNVGeZhuanDB(DBsSetNode node);
  // Closes the connection for this object and every copy that shares it.
  // Nothing without one. The one call of the class that may throw (the
  // engine's CQZDBException*, which the caller must Delete()); the object
  // then keeps its connection.
  void CloseQZNVGeZhuanDB();

  // --- Named connection settings of the suite ----------------------------
  // Need no connection and never store anything themselves. settings is
  // emptied and filled from the settings store, in the suite's fixed order.
  // A setting is complete when strConnect1 and strConnect2 are set.
  //
  // All six settings. With bAllowDialog set, the settings dialog is shown
  // when one is incomplete or bForceDialog is set. 0 only when the dialog
  // was cancelled (settings then as the dialog left it), else 1.
  int GetQZNVGeZhuanALLDBSettings(std::vector<DBsSetNode>& settings, int bAllowDialog, int bForceDialog);
  // All six settings, then always the dialog. 0 when it was cancelled.
  int SetQZNVGeZhuanALLDBSettings(std::vector<DBsSetNode>& settings);
  // This library's own setting ("QZNVCENTERDBSetting") alone; dialog rule
  // as GetQZNVGeZhuanALLDBSettings.
  int GetQZNVGeZhuanDBSettings(std::vector<DBsSetNode>& settings, int bAllowDialog, int bForceDialog);

  // Every operation below answers 0 at once when the object holds no
  // connection or an argument is missing (a null pointer, an empty array, a
  // null GUID key), with nothing written anywhere. When the database refuses
  // a statement the operation answers 0, writes its SQL text to the debug
  // output and leaves the database as it was before the call.

  // --- Conversion items (table GeZhuanTaskItem) --------------------------
  // Row mappings: assign the columns of the row being added or edited on
  // set / fill *info from set's current row. They catch nothing: a
  // CQZDBException* reaches the caller, who must Delete() it.
  void SetGeZhuanItemContent(const SQZGeZhuanItemInfo* info, CQZRecordSet* set);
  void GetGeZhuanItemContent(SQZGeZhuanItemInfo* info, CQZRecordSet* set);
  // Inserts every item, in order, in one transaction (a savepoint inside a
  // transaction already open). 1 when all are stored; 0 and none stored.
  int AddGeZhuanItems(const std::vector<SQZGeZhuanItemInfo>* items);
  // Replaces *items by the items the condition selects. 1 when at least one
  // was read; 0 for none (*items untouched) or a failure (*items holds the
  // rows read before it).
  int GetGeZhuanItemsByCondition(std::wstring condition, std::vector<SQZGeZhuanItemInfo>* items);
  // Deletes the items of a task, one item, or one item of one task, by
  // whichever GUID is not null (both null is refused). 1 when the statement
  // ran, whatever it removed.
  int DeleteGeZhuanItem(GUID guidTask, GUID guidItem);

  // --- Conversion tasks (table GeZhuanTaskInfo) with their items ---------
  // Row mappings, as for items; arrItems is neither written nor read.
  void SetGeZhuanTaskContent(const SQZGeZhuanTaskInfo* task, CQZRecordSet* set);
  void GetGeZhuanTaskContent(SQZGeZhuanTaskInfo* task, CQZRecordSet* set);
  // Inserts every task row and every task's arrItems in one transaction. 1
  // when all are stored; 0 and nothing stored.
  int AddGeZhuanTasks(const std::vector<SQZGeZhuanTaskInfo>* tasks);
  // Replaces *tasks by the tasks the condition selects, each with its items
  // in nIndex order. 1 when at least one task was read with all its items;
  // 0 for none (*tasks untouched) or a failure (*tasks holds what was read
  // before it; never a short list with 1).
  int GetGeZhuanTasksByCondition(std::wstring condition, std::vector<SQZGeZhuanTaskInfo>* tasks);
  // Rewrites every column of the row keyed by task->guidTaskID; items stay.
  // 1 when the row was rewritten; 0 when no row holds the key, or failure.
  int ModifyGeZhuanTaskOnly(const SQZGeZhuanTaskInfo* task);
  // Rewrites the task's row and replaces its items by task->arrItems, in
  // one transaction. 1 when both are stored; 0 and nothing changed.
  int ModifyGeZhuanTaskAll(const SQZGeZhuanTaskInfo* task);
  // Deletes the task's row and its items in one transaction. 1 when both
  // statements ran, also when nothing matched; 0 and nothing deleted.
  int DeleteGeZhuanTask(GUID taskID);

  // --- Tape type groups (table VTRTAPEGROUPINFO), read only --------------
  // Row mapping: fills *info from set's current row; catches nothing.
  void GetVTRTapeGRPInfoContent(SQZGZVTRTapeTypeGroupInfo* info, CQZRecordSet* set);
  // Replace *groups by every group in name order / the groups the condition
  // selects. 1 when at least one was read; 0 for none (*groups untouched).
  int GetAllVTRTapeGRPInfos(std::vector<SQZGZVTRTapeTypeGroupInfo>* groups);
  int GetVTRTapeGRPInfosByCondition(std::wstring condition, std::vector<SQZGZVTRTapeTypeGroupInfo>* groups);
  // The name of one group. 1 when found; 0 and name untouched otherwise.
  int GetVTRTapeTypeGrpName(GUID group, std::wstring& name);

  // --- Tape types (table VTRTAPEINFO), read only -------------------------
  // Row mapping: fills *info from set's current row; catches nothing.
  void GetVTRTapeInfoContent(SQZGZVTRTapeTypeInfo* info, CQZRecordSet* set);
  // Replace *tapes by every tape type in name order / the tape types the
  // condition selects. 1 when at least one was read; 0 for none.
  int GetAllVTRTapeInfos(std::vector<SQZGZVTRTapeTypeInfo>* tapes);
  int GetVTRTapeInfosByCondition(std::wstring condition, std::vector<SQZGZVTRTapeTypeInfo>* tapes);
  // 1 when at least one tape type belongs to group; 0 for none or failure.
  int GetVtrTapeTypeIfHaveThisGrp(GUID group);
  // The group of one tape type. 1 when found; 0 and group untouched.
  int GetVtrTapeTypeGrpGuid(GUID tape, GUID& group);
  // The tape type flagged bIfDefault = 1 (when several are, the last the
  // database delivers). 1 when found; 0 for none. *info is not reset first.
  int GetDefaultVTRTapeInfo(SQZGZVTRTapeTypeInfo* info);

 private:
  std::shared_ptr<CQZDatabase> m_pDatabase;
};
