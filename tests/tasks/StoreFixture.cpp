#include "tasks/StoreFixture.h"

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"

namespace qz::testing {

// --- SQLite's spelling -------------------------------------------------------

void StoreDatabase::AddAbortTrigger(const std::wstring& event, const std::wstring& table, const std::wstring& row,
                                    const std::wstring& column, const std::wstring& marked) const {
  static int serial = 0;
  Execute(L"CREATE TRIGGER reject_" + std::to_wstring(++serial) + L" BEFORE " + event + L" ON " + table +
          L" WHEN " + row + L"." + column + L" = '" + marked + L"' BEGIN SELECT RAISE(ABORT, 'rejected " + marked +
          L"'); END");
}

void StoreDatabase::RejectInsert(const std::wstring& table, const std::wstring& column,
                                 const std::wstring& marked) const {
  AddAbortTrigger(L"INSERT", table, L"NEW", column, marked);
}

void StoreDatabase::RejectUpdate(const std::wstring& table, const std::wstring& column,
                                 const std::wstring& marked) const {
  AddAbortTrigger(L"UPDATE", table, L"NEW", column, marked);
}

void StoreDatabase::RejectDelete(const std::wstring& table, const std::wstring& column,
                                 const std::wstring& marked) const {
  AddAbortTrigger(L"DELETE", table, L"OLD", column, marked);
}

// The item table becomes a view whose dwLength is abs() of the smallest
// 64-bit integer for that task's rows: an integer overflow when stepped.
void StoreDatabase::FailItemReadsOf(const GUID& task) const {
  const std::wstring text = conversions::GuidToText(task);
  Execute(L"ALTER TABLE GeZhuanTaskItem RENAME TO GeZhuanTaskItemRows");
  Execute(L"CREATE VIEW GeZhuanTaskItem AS SELECT ItemRowID, guidTask, guidItem, strItemName, nItemType, "
          L"dwTrimIn, dwTrimOut, abs(CASE WHEN guidTask = '" + text +
          L"' THEN -9223372036854775807 - 1 ELSE dwLength END) AS dwLength, nIndex FROM GeZhuanTaskItemRows");
}

// --- Reading back, through the access component ------------------------------

CQZDBVariant StoreDatabase::Query(const std::wstring& sql) const {
  CQZDBVariant value;
  const DBsSetNode node = Node();
  CQZDatabase database;
  try {
    database.Connect(QZDB_SQLITE, node.strConnect1, node.strConnect2, node.strConnect3, node.strConnect4);
    CQZRecordSet set(&database);
    if (!set.Open(sql, ROWOPERATION_READONLY) || set.IsBOF()) {
      ADD_FAILURE() << "no row from " << platform::WideToUtf8(sql);
      return value;
    }
    set.GetValueInColumn(L"v", value);
  } catch (CQZDBException* e) {
    ADD_FAILURE() << platform::WideToUtf8(e->GetErrorMessage()) << " in " << platform::WideToUtf8(sql);
    e->Delete();
  }
  return value;
}

std::wstring StoreDatabase::QueryText(const std::wstring& sql) const {
  const CQZDBVariant value = Query(sql);
  const wchar_t* text = value.GetText();
  return text ? text : L"";
}

int32_t StoreDatabase::QueryInteger(const std::wstring& sql) const { return Query(sql).GetInt32(); }

bool StoreDatabase::QueryIsNull(const std::wstring& sql) const { return Query(sql).IsNull(); }

// --- Values ------------------------------------------------------------------

GUID TestGuid(uint32_t seed) {
  GUID guid{};
  guid.Data1 = 0xA0000000u + seed;
  guid.Data2 = static_cast<uint16_t>(0xB000u + seed);
  guid.Data3 = static_cast<uint16_t>(0xC000u + (seed >> 16));
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(0xD0 + i + seed * 7);
  return guid;
}

}  // namespace qz::testing
