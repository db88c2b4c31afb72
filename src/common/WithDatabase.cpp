#include "common/WithDatabase.h"

#include "common/KindCode.h"

namespace qz::common {

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

}  // namespace qz::common
