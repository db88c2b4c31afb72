// The host's way to put the sample catalogue into a database.
#include <QZNVGeZhuanHost.h>

#include "catalogue/SampleCatalogue.h"
#include "common/WithDatabase.h"

int QZNVGeZhuanAddSampleCatalogue(const DBsSetNode& node, std::wstring* error) {
  return qz::common::WithDatabase(
      node, error, [](CQZDatabase& database, DATABASETYPE) { qz::catalogue::AddSampleCatalogue(database); });
}
