// The tape-type groups of the catalogue (table VTRTAPEGROUPINFO): the row
// mapping and the three reads. The library never writes this table.
#include <QZNVGeZhuanDBControl.h>

#include "control/OperationFrame.h"
#include "conversions/Conversions.h"
#include "conversions/RowMapping.h"

using qz::control::ListRead;
using qz::control::SingleRead;
using qz::control::UsableConnection;
using qz::control::WithCondition;
using namespace qz::conversions;

// Fills info from the current row, column by column. Nothing is caught: a
// failing column leaves the fields before it filled and the exception to the
// operation that drives the record set.
void CQZNVGeZhuanDBControl::GetVTRTapeGRPInfoContent(SQZGZVTRTapeTypeGroupInfo* info, CQZRecordSet* set) {
  ReadRowByName(set, info);
}

namespace {

// The row mapping as ListRead wants it; the mapping touches no member of
// the control object, so any object will do.
auto GroupFill(CQZNVGeZhuanDBControl* control) {
  return
      [control](SQZGZVTRTapeTypeGroupInfo* info, CQZRecordSet* set) { control->GetVTRTapeGRPInfoContent(info, set); };
}

}  // namespace

// Every group in name order. No groups: 0 and *groups as it was.
int CQZNVGeZhuanDBControl::GetAllVTRTapeGRPInfos(std::vector<SQZGZVTRTapeTypeGroupInfo>* groups) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || groups == nullptr) return 0;
  const std::wstring sql = L"select * from VTRTAPEGROUPINFO ORDER BY strGroupName";
  return ListRead(database, sql, groups, GroupFill(this));
}

// The groups the caller's condition selects, in the database's order. The
// condition is the caller's own SQL: it goes in trimmed and otherwise as
// given, so a condition of blanks alone leaves a bare " where " that the
// database refuses.
int CQZNVGeZhuanDBControl::GetVTRTapeGRPInfosByCondition(std::wstring condition,
                                                         std::vector<SQZGZVTRTapeTypeGroupInfo>* groups) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || groups == nullptr) return 0;
  const std::wstring sql = WithCondition(L"select * from VTRTAPEGROUPINFO", condition);
  return ListRead(database, sql, groups, GroupFill(this));
}

// The name of one group. Not found or failed: 0 and name as it was.
int CQZNVGeZhuanDBControl::GetVTRTapeTypeGrpName(GUID group, std::wstring& name) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || IsNullGuid(group)) return 0;
  const std::wstring sql =
      L"select guidGroupID,strGroupName from VTRTAPEGROUPINFO where guidGroupID = '" + GuidToText(group) + L"'";
  return SingleRead(database, sql, [&](CQZRecordSet& set) {
    CQZDBVariant value;
    ReadTextColumn(&set, value, L"[strGroupName]", &name);
  });
}
