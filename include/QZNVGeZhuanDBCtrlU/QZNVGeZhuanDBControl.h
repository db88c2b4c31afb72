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
// the row mappings (Set...Content / Get...Content), which leave the record
// set's CQZDBException to the code that drives them.
#pragma once

#include <QZDatabaseAccess.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(QZNV_GEZHUAN_BUILD)
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

class QZNV_GEZHUAN_API CQZNVGeZhuanDBControl {
 public:
  CQZNVGeZhuanDBControl();
  // Copies share the connection. A close through any holder ends it for
  // all; the others then get 0 from every operation.
  CQZNVGeZhuanDBControl(const CQZNVGeZhuanDBControl& other);
  CQZNVGeZhuanDBControl& operator=(const CQZNVGeZhuanDBControl& other);
  virtual ~CQZNVGeZhuanDBControl();

  // --- Connection -------------------------------------------------------
  // Opens the database the node names (nDBType 2 -> PostgreSQL, 4 -> ODBC,
  // anything else not reserved -> SQLite). A connection held before is
  // released first. 1 when connected.
  int OpenQZNVGeZhuanDB(DBsSetNode node);
  void CloseQZNVGeZhuanDB();

  // --- Named connection settings of the suite ----------------------------
  int GetQZNVGeZhuanALLDBSettings(std::vector<DBsSetNode>& settings, int bAllowDialog, int bForceDialog);
  int SetQZNVGeZhuanALLDBSettings(std::vector<DBsSetNode>& settings);
  int GetQZNVGeZhuanDBSettings(std::vector<DBsSetNode>& settings, int bAllowDialog, int bForceDialog);

  // --- Conversion items (table GeZhuanTaskItem) --------------------------
  void SetGeZhuanItemContent(const SQZGeZhuanItemInfo* info, CQZRecordSet* set);
  void GetGeZhuanItemContent(SQZGeZhuanItemInfo* info, CQZRecordSet* set);
  int AddGeZhuanItems(const std::vector<SQZGeZhuanItemInfo>* items);
  int GetGeZhuanItemsByCondition(std::wstring condition, std::vector<SQZGeZhuanItemInfo>* items);
  int DeleteGeZhuanItem(GUID guidTask, GUID guidItem);

  // --- Conversion tasks (table GeZhuanTaskInfo) with their items ---------
  void SetGeZhuanTaskContent(const SQZGeZhuanTaskInfo* task, CQZRecordSet* set);
  void GetGeZhuanTaskContent(SQZGeZhuanTaskInfo* task, CQZRecordSet* set);
  int AddGeZhuanTasks(const std::vector<SQZGeZhuanTaskInfo>* tasks);
  int GetGeZhuanTasksByCondition(std::wstring condition, std::vector<SQZGeZhuanTaskInfo>* tasks);
  int ModifyGeZhuanTaskOnly(const SQZGeZhuanTaskInfo* task);
  int ModifyGeZhuanTaskAll(const SQZGeZhuanTaskInfo* task);
  int DeleteGeZhuanTask(GUID taskID);

  // --- Tape type groups (table VTRTAPEGROUPINFO), read only --------------
  void GetVTRTapeGRPInfoContent(SQZGZVTRTapeTypeGroupInfo* info, CQZRecordSet* set);
  int GetAllVTRTapeGRPInfos(std::vector<SQZGZVTRTapeTypeGroupInfo>* groups);
  int GetVTRTapeGRPInfosByCondition(std::wstring condition, std::vector<SQZGZVTRTapeTypeGroupInfo>* groups);
  int GetVTRTapeTypeGrpName(GUID group, std::wstring& name);

  // --- Tape types (table VTRTAPEINFO), read only -------------------------
  void GetVTRTapeInfoContent(SQZGZVTRTapeTypeInfo* info, CQZRecordSet* set);
  int GetAllVTRTapeInfos(std::vector<SQZGZVTRTapeTypeInfo>* tapes);
  int GetVTRTapeInfosByCondition(std::wstring condition, std::vector<SQZGZVTRTapeTypeInfo>* tapes);
  int GetVtrTapeTypeIfHaveThisGrp(GUID group);
  int GetVtrTapeTypeGrpGuid(GUID tape, GUID& group);
  int GetDefaultVTRTapeInfo(SQZGZVTRTapeTypeInfo* info);

 private:
  std::shared_ptr<CQZDatabase> m_pDatabase;
};
