#include "support/TempDatabase.h"

#include <QZNVGeZhuanHost.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/TextEncoding.h"
#include "support/TemporaryFolder.h"

namespace qz::testing {

TempDatabase::TempDatabase(bool with_tables) {
  folder_ = MakeTemporaryFolder("qz-test");
  if (with_tables) {
    std::wstring error;
    if (!QZNVGeZhuanCreateTables(Node(), &error)) ADD_FAILURE() << platform::WideToUtf8(error);
  }
}

TempDatabase::~TempDatabase() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

DBsSetNode TempDatabase::Node() const {
  DBsSetNode node;
  node.strConnect1 = platform::Utf8ToWide(folder_);
  node.strConnect2 = L"test.db";
  return node;
}

void TempDatabase::Execute(const std::wstring& sql) const {
  CQZDatabase database;
  try {
    database.Connect(QZDB_SQLITE, platform::Utf8ToWide(folder_), L"test.db", L"", L"");
    CQZRecordSet set(&database);
    set.Open(sql, ROWOPERATION_WRITE);
  } catch (CQZDBException* e) {
    ADD_FAILURE() << platform::WideToUtf8(e->GetErrorMessage()) << " in " << platform::WideToUtf8(sql);
    e->Delete();
  }
}

}  // namespace qz::testing
