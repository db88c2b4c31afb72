// The host-facing calls: debug output sink and table creation.
#include <QZNVGeZhuanHost.h>

#include "control/KindCode.h"
#include "control/Schema.h"
#include "control/WithDatabase.h"
#include "platform/DebugOutput.h"

namespace qz::control {

int WithDatabase(const DBsSetNode& node, std::wstring* error,
                 const std::function<void(CQZDatabase& database, DATABASETYPE type)>& work) {
  const DATABASETYPE type = DatabaseTypeOfKind(node.nDBType);
  CQZDatabase database;
  try {
    database.Connect(type, node.strConnect1, node.strConnect2, node.strConnect3, node.strConnect4);
    if (!database.IsConnectted()) {
      if (error) *error = L"the database could not be reached";
      return 0;
    }
    work(database, type);
    database.Close();
    return 1;
  } catch (CQZDBException* e) {
    if (error) *error = e->GetErrorMessage();
    e->Delete();
    return 0;
  }
}

}  // namespace qz::control

void QZNVGeZhuanSetDebugOutput(std::function<void(const std::wstring&)> sink) {
  qz::platform::SetDebugOutputSink(std::move(sink));
}

int QZNVGeZhuanCreateTables(const DBsSetNode& node, std::wstring* error) {
  return qz::control::WithDatabase(node, error, qz::control::CreateTables);
}
