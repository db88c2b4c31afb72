// The task record's defaults and the row mapping of table GeZhuanTaskInfo:
// the 30 columns in table order, each under its exact (mixed-case) name.
// The items are rows of GeZhuanTaskItem and are never touched here.
#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"

using namespace qz::conversions;

// A new task was prepared now; its begin and end stand at the fixed mark
// 1900-01-01 01:01:01 until the caller sets them.
SQZGeZhuanTaskInfo::SQZGeZhuanTaskInfo()
    : odtTaskPrepareBegin(CurrentDateTime()),
      odtTaskBeginDateTime(1900, 1, 1, 1, 1, 1),
      odtTaskEndDateTime(1900, 1, 1, 1, 1, 1) {}

// Assigns all 30 columns of the row being added or edited; Update is the
// caller's. The record is only read.
void CQZNVGeZhuanDBControl::SetGeZhuanTaskContent(const SQZGeZhuanTaskInfo* task, CQZRecordSet* set) {
  CQZDBVariant value;
  WriteGuidColumn(set, value, L"[guidTaskID]", task->guidTaskID);
  WriteTextColumn(set, value, L"[strTaskName]", task->strTaskName);
  WriteTextColumn(set, value, L"[strTaskHint]", task->strTaskHint);
  WriteTextColumn(set, value, L"[strPreferUserName]", task->strPreferUserName);
  WriteGuidColumn(set, value, L"[guidPreferUser]", task->guidPreferUser);
  WriteTextColumn(set, value, L"[strFirstAuditorName]", task->strFirstAuditorName);
  WriteGuidColumn(set, value, L"[guidFirstAuditor]", task->guidFirstAuditor);
  WriteTextColumn(set, value, L"[strSecondAuditorname]", task->strSecondAuditorname);
  WriteGuidColumn(set, value, L"[guidSecondAuditor]", task->guidSecondAuditor);
  WriteTextColumn(set, value, L"[strFirstAuditInfo]", task->strFirstAuditInfo);
  WriteTextColumn(set, value, L"[strSecondAuditInfo]", task->strSecondAuditInfo);
  WriteDateTimeColumn(set, value, L"[odtTaskPrepareBegin]", task->odtTaskPrepareBegin);
  WriteDateTimeColumn(set, value, L"[odtTaskBeginDateTime]", task->odtTaskBeginDateTime);
  WriteDateTimeColumn(set, value, L"[odtTaskEndDateTime]", task->odtTaskEndDateTime);
  WriteUInt32Column(set, value, L"[dwDuration]", task->dwDuration);
  WriteInt32Column(set, value, L"[enumTaskType]", task->enumTaskType);
  WriteInt32Column(set, value, L"[enumTaskEditStatus]", task->enumTaskEditStatus);
  WriteInt32Column(set, value, L"[enumTaskRunStatus]", task->enumTaskRunStatus);
  WriteTextColumn(set, value, L"[strOrgTapeTypeName]", task->strOrgTapeTypeName);
  WriteGuidColumn(set, value, L"[guidOrgTapeType]", task->guidOrgTapeType);
  WriteTextColumn(set, value, L"[strDSTTapeTypeName]", task->strDSTTapeTypeName);
  WriteGuidColumn(set, value, L"[guidDSTTapeType]", task->guidDSTTapeType);
  WriteGuidColumn(set, value, L"[ORGDeviceGuid]", task->ORGDeviceGuid);
  WriteGuidColumn(set, value, L"[DSTDeviceGuid]", task->DSTDeviceGuid);
  WriteGuidColumn(set, value, L"[ORGVAPortGuid]", task->ORGVAPortGuid);
  WriteGuidColumn(set, value, L"[DSTVAPortGuid]", task->DSTVAPortGuid);
  WriteGuidColumn(set, value, L"[ORGCtrlPortGuid]", task->ORGCtrlPortGuid);
  WriteGuidColumn(set, value, L"[DSTCtrlPortGuid]", task->DSTCtrlPortGuid);
  WriteTextColumn(set, value, L"[strORGDeviceName]", task->strORGDeviceName);
  WriteTextColumn(set, value, L"[strDSTDeviceName]", task->strDSTDeviceName);
}

// Overwrites the 30 column fields from the current row; arrItems keeps what
// it held.
void CQZNVGeZhuanDBControl::GetGeZhuanTaskContent(SQZGeZhuanTaskInfo* task, CQZRecordSet* set) {
  CQZDBVariant value;
  ReadGuidColumn(set, value, L"[guidTaskID]", &task->guidTaskID);
  ReadTextColumn(set, value, L"[strTaskName]", &task->strTaskName);
  ReadTextColumn(set, value, L"[strTaskHint]", &task->strTaskHint);
  ReadTextColumn(set, value, L"[strPreferUserName]", &task->strPreferUserName);
  ReadGuidColumn(set, value, L"[guidPreferUser]", &task->guidPreferUser);
  ReadTextColumn(set, value, L"[strFirstAuditorName]", &task->strFirstAuditorName);
  ReadGuidColumn(set, value, L"[guidFirstAuditor]", &task->guidFirstAuditor);
  ReadTextColumn(set, value, L"[strSecondAuditorname]", &task->strSecondAuditorname);
  ReadGuidColumn(set, value, L"[guidSecondAuditor]", &task->guidSecondAuditor);
  ReadTextColumn(set, value, L"[strFirstAuditInfo]", &task->strFirstAuditInfo);
  ReadTextColumn(set, value, L"[strSecondAuditInfo]", &task->strSecondAuditInfo);
  ReadDateTimeColumn(set, value, L"[odtTaskPrepareBegin]", &task->odtTaskPrepareBegin);
  ReadDateTimeColumn(set, value, L"[odtTaskBeginDateTime]", &task->odtTaskBeginDateTime);
  ReadDateTimeColumn(set, value, L"[odtTaskEndDateTime]", &task->odtTaskEndDateTime);
  ReadUInt32Column(set, value, L"[dwDuration]", &task->dwDuration);
  ReadInt32Column(set, value, L"[enumTaskType]", &task->enumTaskType);
  ReadInt32Column(set, value, L"[enumTaskEditStatus]", &task->enumTaskEditStatus);
  ReadInt32Column(set, value, L"[enumTaskRunStatus]", &task->enumTaskRunStatus);
  ReadTextColumn(set, value, L"[strOrgTapeTypeName]", &task->strOrgTapeTypeName);
  ReadGuidColumn(set, value, L"[guidOrgTapeType]", &task->guidOrgTapeType);
  ReadTextColumn(set, value, L"[strDSTTapeTypeName]", &task->strDSTTapeTypeName);
  ReadGuidColumn(set, value, L"[guidDSTTapeType]", &task->guidDSTTapeType);
  ReadGuidColumn(set, value, L"[ORGDeviceGuid]", &task->ORGDeviceGuid);
  ReadGuidColumn(set, value, L"[DSTDeviceGuid]", &task->DSTDeviceGuid);
  ReadGuidColumn(set, value, L"[ORGVAPortGuid]", &task->ORGVAPortGuid);
  ReadGuidColumn(set, value, L"[DSTVAPortGuid]", &task->DSTVAPortGuid);
  ReadGuidColumn(set, value, L"[ORGCtrlPortGuid]", &task->ORGCtrlPortGuid);
  ReadGuidColumn(set, value, L"[DSTCtrlPortGuid]", &task->DSTCtrlPortGuid);
  ReadTextColumn(set, value, L"[strORGDeviceName]", &task->strORGDeviceName);
  ReadTextColumn(set, value, L"[strDSTDeviceName]", &task->strDSTDeviceName);
}
