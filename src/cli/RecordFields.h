// The fields of the task and item records, named as the record names them,
// in record order. One list serves the JSON document, `task show` and the
// import checks, so that a field added to a record is added once here.
#pragma once

#include <QZNVGeZhuanDBControl.h>

namespace gezhuan {

// visit(name, field) for each field but arrItems. The visitor is called
// with GUID&, std::wstring&, SQZDateTime&, uint32_t& or int32_t&.
template <class Task, class Visitor>
void VisitTaskFields(Task& t, Visitor&& visit) {
  visit("guidTaskID", t.guidTaskID);
  visit("strTaskName", t.strTaskName);
  visit("strTaskHint", t.strTaskHint);
  visit("strPreferUserName", t.strPreferUserName);
  visit("guidPreferUser", t.guidPreferUser);
  visit("strFirstAuditorName", t.strFirstAuditorName);
  visit("guidFirstAuditor", t.guidFirstAuditor);
  visit("strSecondAuditorname", t.strSecondAuditorname);
  visit("guidSecondAuditor", t.guidSecondAuditor);
  visit("strFirstAuditInfo", t.strFirstAuditInfo);
  visit("strSecondAuditInfo", t.strSecondAuditInfo);
  visit("odtTaskPrepareBegin", t.odtTaskPrepareBegin);
  visit("odtTaskBeginDateTime", t.odtTaskBeginDateTime);
  visit("odtTaskEndDateTime", t.odtTaskEndDateTime);
  visit("dwDuration", t.dwDuration);
  visit("enumTaskType", t.enumTaskType);
  visit("enumTaskEditStatus", t.enumTaskEditStatus);
  visit("enumTaskRunStatus", t.enumTaskRunStatus);
  visit("strOrgTapeTypeName", t.strOrgTapeTypeName);
  visit("guidOrgTapeType", t.guidOrgTapeType);
  visit("strDSTTapeTypeName", t.strDSTTapeTypeName);
  visit("guidDSTTapeType", t.guidDSTTapeType);
  visit("ORGDeviceGuid", t.ORGDeviceGuid);
  visit("DSTDeviceGuid", t.DSTDeviceGuid);
  visit("ORGVAPortGuid", t.ORGVAPortGuid);
  visit("DSTVAPortGuid", t.DSTVAPortGuid);
  visit("ORGCtrlPortGuid", t.ORGCtrlPortGuid);
  visit("DSTCtrlPortGuid", t.DSTCtrlPortGuid);
  visit("strORGDeviceName", t.strORGDeviceName);
  visit("strDSTDeviceName", t.strDSTDeviceName);
}

template <class Item, class Visitor>
void VisitItemFields(Item& i, Visitor&& visit) {
  visit("guidTask", i.guidTask);
  visit("guidItem", i.guidItem);
  visit("strItemName", i.strItemName);
  visit("nItemType", i.nItemType);
  visit("dwTrimIn", i.dwTrimIn);
  visit("dwTrimOut", i.dwTrimOut);
  visit("dwLength", i.dwLength);
  visit("nIndex", i.nIndex);
}

template <class Group, class Visitor>
void VisitGroupFields(Group& g, Visitor&& visit) {
  visit("guidGroupID", g.guidGroupID);
  visit("strGroupName", g.strGroupName);
  visit("strGroupHint", g.strGroupHint);
}

template <class Tape, class Visitor>
void VisitTapeFields(Tape& t, Visitor&& visit) {
  visit("TAPEGUID", t.TAPEGUID);
  visit("TAPENAME", t.TAPENAME);
  visit("TAPEHINT", t.TAPEHINT);
  visit("guidGroupID", t.guidGroupID);
  visit("nMaxLength", t.nMaxLength);
  visit("bIfDefault", t.bIfDefault);
}

}  // namespace gezhuan
