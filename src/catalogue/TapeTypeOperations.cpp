// The tape types of the catalogue (table VTRTAPEINFO): the row mapping, the
// listings, the group lookups and the default tape type. The library never
// writes this table.
#include <QZNVGeZhuanDBControl.h>

#include "control/OperationFrame.h"
#include "conversions/Conversions.h"
#include "conversions/RowMapping.h"

using qz::control::ExistenceTest;
using qz::control::ListRead;
using qz::control::SingleRead;
using qz::control::UsableConnection;
using qz::control::WithCondition;
using namespace qz::conversions;

// Fills info from the current row, all six columns in table order. Nothing
// is caught: a failing column leaves the fields before it filled and the
// exception to the operation that drives the record set.
void CQZNVGeZhuanDBControl::GetVTRTapeInfoContent(SQZGZVTRTapeTypeInfo* info, CQZRecordSet* set) {
  ReadRowByName(set, info);
}

namespace {

auto TapeFill(CQZNVGeZhuanDBControl* control) {
  return [control](SQZGZVTRTapeTypeInfo* info, CQZRecordSet* set) { control->GetVTRTapeInfoContent(info, set); };
}

}  // namespace

// Every tape type in name order. No tape types: 0 and *tapes as it was.
int CQZNVGeZhuanDBControl::GetAllVTRTapeInfos(std::vector<SQZGZVTRTapeTypeInfo>* tapes) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || tapes == nullptr) return 0;
  const std::wstring sql = L"select * from VTRTAPEINFO ORDER BY TAPENAME";
  return ListRead(database, sql, tapes, TapeFill(this));
}

// The tape types the caller's condition selects, in the database's order.
// The condition goes in trimmed and otherwise exactly as the caller wrote it.
int CQZNVGeZhuanDBControl::GetVTRTapeInfosByCondition(std::wstring condition,
                                                      std::vector<SQZGZVTRTapeTypeInfo>* tapes) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || tapes == nullptr) return 0;
  const std::wstring sql = WithCondition(L"select * from VTRTAPEINFO", condition);
  return ListRead(database, sql, tapes, TapeFill(this));
}

// 1 when at least one tape type belongs to group. 0 tells neither "none"
// from "failed" nor either from a null GUID, which is refused unasked.
int CQZNVGeZhuanDBControl::GetVtrTapeTypeIfHaveThisGrp(GUID group) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || IsNullGuid(group)) return 0;
  const std::wstring sql = L"select * from VTRTAPEINFO where guidGroupID = '" + GuidToText(group) + L"'";
  return ExistenceTest(database, sql);
}

// The group of one tape type. A stored group that is not GUID text reads as
// the null GUID and still counts as found. Not found: 0, group as it was.
int CQZNVGeZhuanDBControl::GetVtrTapeTypeGrpGuid(GUID tape, GUID& group) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || IsNullGuid(tape)) return 0;
  const std::wstring sql = L"select guidGroupID from VTRTAPEINFO where TAPEGUID = '" + GuidToText(tape) + L"'";
  return SingleRead(database, sql, [&](CQZRecordSet& set) {
    CQZDBVariant value;
    ReadGuidColumn(&set, value, L"[guidGroupID]", &group);
  });
}

// The tape type flagged 1 in bIfDefault. Every flagged row is read into
// *info in turn and no order is asked for, so when several carry the flag
// the one the database delivers last remains. *info is not reset first.
int CQZNVGeZhuanDBControl::GetDefaultVTRTapeInfo(SQZGZVTRTapeTypeInfo* info) {
  CQZDatabase* database = UsableConnection(m_pDatabase);
  if (database == nullptr || info == nullptr) return 0;
  const std::wstring sql = L"select * from VTRTAPEINFO where bIfDefault = 1";
  return SingleRead(database, sql, [&](CQZRecordSet& set) {
    while (!set.IsEOF()) {
      GetVTRTapeInfoContent(info, &set);
      set.MoveNext(false);
    }
  });
}
