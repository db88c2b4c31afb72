// A small catalogue of real broadcast tape formats, so that a new database
// has tape groups and tape types to list: a Betacam, a DV and an HD family,
// one default tape type. The keys are fixed, so adding the sample twice adds
// nothing the second time.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <vector>

namespace qz::catalogue {

const std::vector<SQZGZVTRTapeTypeGroupInfo>& SampleTapeGroups();

// nMaxLength is the longest cassette of the format, in minutes. Exactly one
// carries bIfDefault 1.
const std::vector<SQZGZVTRTapeTypeInfo>& SampleTapeTypes();

struct SampleCounts {
  int groups_added = 0;
  int tapes_added = 0;
};

// Adds the sample rows whose key the catalogue lacks, in one transaction on
// database. A tape group or tape type already present under a sample key is
// left exactly as it is. When the catalogue already has a default tape type,
// the sample's default goes in unflagged, so that there is still one.
// Throws CQZDBException (after rolling back) when the database fails.
// REQUIRES: database is connected and holds the catalogue tables.
SampleCounts AddSampleCatalogue(CQZDatabase& database);

}  // namespace qz::catalogue
