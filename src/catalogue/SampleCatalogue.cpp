#include "catalogue/SampleCatalogue.h"

#include <cstring>
#include <set>
#include <string>

#include "control/OperationFrame.h"
#include "conversions/Conversions.h"
#include "conversions/RowMapping.h"

namespace qz::catalogue {
namespace {

using conversions::GuidToText;
using conversions::TextToGuid;

GUID Key(const wchar_t* text) { return TextToGuid(text); }

SQZGZVTRTapeTypeGroupInfo Group(const wchar_t* key, const wchar_t* name, const wchar_t* hint) {
  SQZGZVTRTapeTypeGroupInfo group;
  group.guidGroupID = Key(key);
  group.strGroupName = name;
  group.strGroupHint = hint;
  return group;
}

SQZGZVTRTapeTypeInfo Tape(const wchar_t* key, const wchar_t* name, const wchar_t* hint, const wchar_t* group,
                          int32_t minutes, int32_t is_default = 0) {
  SQZGZVTRTapeTypeInfo tape;
  tape.TAPEGUID = Key(key);
  tape.TAPENAME = name;
  tape.TAPEHINT = hint;
  tape.guidGroupID = Key(group);
  tape.nMaxLength = minutes;
  tape.bIfDefault = is_default;
  return tape;
}

const wchar_t kBetacam[] = L"F60A307C-C5D3-488C-8A2B-D75E1A040911";
const wchar_t kDV[] = L"4D9BDC74-C57D-48C9-BAE3-B4445B92A664";
const wchar_t kHD[] = L"02B1D6F2-75DE-430C-907B-D6BC4EAAC713";

// GUID ordering for the key sets; any strict order will do. GUID is 16
// bytes without padding.
struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};
using GuidSet = std::set<GUID, GuidLess>;

// The keys column holds in table. Keys are compared as GUIDs, not as text,
// so a row stored in lower case or with blanks still counts as present.
GuidSet KeysIn(CQZDatabase& database, const std::wstring& sql, const wchar_t* column) {
  GuidSet keys;
  CQZRecordSet set(&database);
  if (!set.Open(sql, ROWOPERATION_READONLY)) CQZDBException::Raise(L"the database could not be reached", "", 0);
  CQZDBVariant value;
  for (; !set.IsEOF(); set.MoveNext(false)) {
    GUID key{};
    conversions::ReadGuidColumn(&set, value, column, &key);
    keys.insert(key);
  }
  set.Close();
  return keys;
}

// Opens set on table for adding rows.
void OpenForAdding(CQZRecordSet& set, const std::wstring& table) {
  if (!set.Open(L"select * from " + table, ROWOPERATION_WRITE))
    CQZDBException::Raise(L"the database could not be reached", "", 0);
}

void FinishRow(CQZRecordSet& set, const std::wstring& table) {
  if (!set.Update()) CQZDBException::Raise(L"a sample row could not be added to " + table, "", 0);
}

SampleCounts AddMissingRows(CQZDatabase& database) {
  SampleCounts counts;
  const GuidSet groups = KeysIn(database, L"select guidGroupID from VTRTAPEGROUPINFO", L"[guidGroupID]");
  const GuidSet tapes = KeysIn(database, L"select TAPEGUID from VTRTAPEINFO", L"[TAPEGUID]");
  const bool has_default =
      !KeysIn(database, L"select TAPEGUID from VTRTAPEINFO where bIfDefault = 1", L"[TAPEGUID]").empty();

  {
    CQZRecordSet set(&database);
    OpenForAdding(set, L"VTRTAPEGROUPINFO");
    for (const SQZGZVTRTapeTypeGroupInfo& group : SampleTapeGroups()) {
      if (groups.count(group.guidGroupID)) continue;
      set.AddNew(L"VTRTAPEGROUPINFO");
      conversions::WriteRow(&set, group);
      FinishRow(set, L"VTRTAPEGROUPINFO");
      ++counts.groups_added;
    }
    set.Close();
  }
  {
    CQZRecordSet set(&database);
    OpenForAdding(set, L"VTRTAPEINFO");
    for (SQZGZVTRTapeTypeInfo tape : SampleTapeTypes()) {
      if (tapes.count(tape.TAPEGUID)) continue;
      set.AddNew(L"VTRTAPEINFO");
      if (has_default) tape.bIfDefault = 0;
      conversions::WriteRow(&set, tape);
      FinishRow(set, L"VTRTAPEINFO");
      ++counts.tapes_added;
    }
    set.Close();
  }
  return counts;
}

}  // namespace

const std::vector<SQZGZVTRTapeTypeGroupInfo>& SampleTapeGroups() {
  static const std::vector<SQZGZVTRTapeTypeGroupInfo> groups = {
      Group(kBetacam, L"Betacam", L"Sony 1/2-inch component family, analogue and digital"),
      Group(kDV, L"DV", L"1/4-inch digital video cassettes, 25 Mbit/s family"),
      Group(kHD, L"HD", L"High-definition tape and disc formats"),
  };
  return groups;
}

const std::vector<SQZGZVTRTapeTypeInfo>& SampleTapeTypes() {
  static const std::vector<SQZGZVTRTapeTypeInfo> tapes = {
      Tape(L"3C7A1759-B88C-4766-963C-C5E3F4E4B02F", L"Betacam SP", L"Analogue component, L cassette", kBetacam, 90),
      Tape(L"3DFDFFA1-C898-4EB7-B054-69CE37FCF578", L"Digital Betacam", L"Digital component SD, 4 audio channels",
           kBetacam, 124, 1),
      Tape(L"F5147063-E278-4078-B427-ACE9ABE29E29", L"Betacam SX", L"MPEG-2 4:2:2P@ML, 18 Mbit/s", kBetacam, 184),
      Tape(L"1DF3AA55-171C-43F4-9989-65077E00FBB6", L"IMX", L"MPEG IMX, I-frame only, 30/40/50 Mbit/s", kBetacam, 184),
      Tape(L"BA79C57F-C2C8-4911-996C-54E7944034A4", L"DVCAM", L"DV 25 Mbit/s, locked audio, L cassette", kDV, 184),
      Tape(L"8A8C05DA-AE8A-4A1D-AA16-48335DB5BF59", L"DVCPRO", L"DV 25 Mbit/s 4:1:1, L cassette", kDV, 126),
      Tape(L"4A8F5F18-F93E-4B7D-9E6D-7DCC5D8D88AA", L"MiniDV", L"Consumer DV, SP mode", kDV, 80),
      Tape(L"ABECDF2B-E363-45A7-9C62-496CBB95D90C", L"HDCAM", L"1080-line HD, 144 Mbit/s, L cassette", kHD, 124),
      Tape(L"BCDF192A-42DF-47D5-B8C4-048C07E6FF47", L"HDCAM SR", L"HD 4:2:2 or 4:4:4, 440 Mbit/s, L cassette", kHD,
           124),
      Tape(L"7A7DEA7E-5023-4ED6-A731-A1B45709D1E7", L"XDCAM HD", L"Optical disc, MPEG-2 HD 50 Mbit/s, dual layer", kHD,
           95),
  };
  return tapes;
}

SampleCounts AddSampleCatalogue(CQZDatabase& database) {
  if (!database.BeginTrans()) CQZDBException::Raise(L"the database could not be reached", "", 0);
  try {
    const SampleCounts counts = AddMissingRows(database);
    if (!database.CommitTrans()) CQZDBException::Raise(L"the database could not be reached", "", 0);
    return counts;
  } catch (CQZDBException*) {
    control::RollbackQuietly(database);
    throw;
  }
}

}  // namespace qz::catalogue
