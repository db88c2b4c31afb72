// The host's way to put the sample catalogue into a database.
#include <QZNVGeZhuanHost.h>

#include "catalogue/SampleCatalogue.h"
#include "control/KindCode.h"

int QZNVGeZhuanAddSampleCatalogue(const DBsSetNode& node, std::wstring* error) {
  CQZDatabase database;
  try {
    database.Connect(qz::control::DatabaseTypeOfKind(node.nDBType), node.strConnect1, node.strConnect2,
                     node.strConnect3, node.strConnect4);
    if (!database.IsConnectted()) {
      if (error) *error = L"the database could not be reached";
      return 0;
    }
    qz::catalogue::AddSampleCatalogue(database);
    database.Close();
    return 1;
  } catch (CQZDBException* e) {
    if (error) *error = e->GetErrorMessage();
    e->Delete();
    return 0;
  }
}
