// The task record's defaults and the row mapping of table GeZhuanTaskInfo:
// the 30 columns in table order, each under its exact (mixed-case) name.
// The items are rows of GeZhuanTaskItem and are never touched here.
#include <QZNVGeZhuanDBControl.h>

#include "conversions/Conversions.h"
#include "tasks/RowReading.h"

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
  ColumnPositions at;
  qz::tasks::ReadTaskRow(set, &at, task);
}

namespace qz::tasks {

void ReadTaskRow(CQZRecordSet* set, ColumnPositions* at, SQZGeZhuanTaskInfo* task) {
  ReadGuidAt(set, at->Of(set, 0, L"guidTaskID"), &task->guidTaskID);
  ReadTextAt(set, at->Of(set, 1, L"strTaskName"), &task->strTaskName);
  ReadTextAt(set, at->Of(set, 2, L"strTaskHint"), &task->strTaskHint);
  ReadTextAt(set, at->Of(set, 3, L"strPreferUserName"), &task->strPreferUserName);
  ReadGuidAt(set, at->Of(set, 4, L"guidPreferUser"), &task->guidPreferUser);
  ReadTextAt(set, at->Of(set, 5, L"strFirstAuditorName"), &task->strFirstAuditorName);
  ReadGuidAt(set, at->Of(set, 6, L"guidFirstAuditor"), &task->guidFirstAuditor);
  ReadTextAt(set, at->Of(set, 7, L"strSecondAuditorname"), &task->strSecondAuditorname);
  ReadGuidAt(set, at->Of(set, 8, L"guidSecondAuditor"), &task->guidSecondAuditor);
  ReadTextAt(set, at->Of(set, 9, L"strFirstAuditInfo"), &task->strFirstAuditInfo);
  ReadTextAt(set, at->Of(set, 10, L"strSecondAuditInfo"), &task->strSecondAuditInfo);
  ReadDateTimeAt(set, at->Of(set, 11, L"odtTaskPrepareBegin"), &task->odtTaskPrepareBegin);
  ReadDateTimeAt(set, at->Of(set, 12, L"odtTaskBeginDateTime"), &task->odtTaskBeginDateTime);
  ReadDateTimeAt(set, at->Of(set, 13, L"odtTaskEndDateTime"), &task->odtTaskEndDateTime);
  ReadUInt32At(set, at->Of(set, 14, L"dwDuration"), &task->dwDuration);
  ReadInt32At(set, at->Of(set, 15, L"enumTaskType"), &task->enumTaskType);
  ReadInt32At(set, at->Of(set, 16, L"enumTaskEditStatus"), &task->enumTaskEditStatus);
  ReadInt32At(set, at->Of(set, 17, L"enumTaskRunStatus"), &task->enumTaskRunStatus);
  ReadTextAt(set, at->Of(set, 18, L"strOrgTapeTypeName"), &task->strOrgTapeTypeName);
  ReadGuidAt(set, at->Of(set, 19, L"guidOrgTapeType"), &task->guidOrgTapeType);
  ReadTextAt(set, at->Of(set, 20, L"strDSTTapeTypeName"), &task->strDSTTapeTypeName);
  ReadGuidAt(set, at->Of(set, 21, L"guidDSTTapeType"), &task->guidDSTTapeType);
  ReadGuidAt(set, at->Of(set, 22, L"ORGDeviceGuid"), &task->ORGDeviceGuid);
  ReadGuidAt(set, at->Of(set, 23, L"DSTDeviceGuid"), &task->DSTDeviceGuid);
  ReadGuidAt(set, at->Of(set, 24, L"ORGVAPortGuid"), &task->ORGVAPortGuid);
  ReadGuidAt(set, at->Of(set, 25, L"DSTVAPortGuid"), &task->DSTVAPortGuid);
  ReadGuidAt(set, at->Of(set, 26, L"ORGCtrlPortGuid"), &task->ORGCtrlPortGuid);
  ReadGuidAt(set, at->Of(set, 27, L"DSTCtrlPortGuid"), &task->DSTCtrlPortGuid);
  ReadTextAt(set, at->Of(set, 28, L"strORGDeviceName"), &task->strORGDeviceName);
  ReadTextAt(set, at->Of(set, 29, L"strDSTDeviceName"), &task->strDSTDeviceName);
}

}  // namespace qz::tasks
