// `gezhuan tape export` and `tape import`: the tape catalogue as a JSON
// document, so that a database copied elsewhere need not be left without
// the tape types its tasks name. The library only reads the catalogue; the
// import writes the rows itself, all in one transaction.
#include <CLI/CLI.hpp>
#include <iostream>
#include <set>

#include "cli/commands/CatalogueLookup.h"
#include "cli/formats/ItemArgument.h"
#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"
#include "common/WithDatabase.h"

namespace gezhuan {

using qz::common::GuidToText;
using qz::common::GuidToUtf8;
using qz::common::IsNullGuid;

namespace {

CatalogueDocument ReadCatalogue(CQZNVGeZhuanDBControl& control) {
  CatalogueDocument catalogue;
  ClearDatabaseMessages();
  if (!control.GetAllVTRTapeGRPInfos(&catalogue.groups)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot read the tape groups");
    catalogue.groups.clear();
  }
  ClearDatabaseMessages();
  if (!control.GetAllVTRTapeInfos(&catalogue.tapes)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot read the tape types");
    catalogue.tapes.clear();
  }
  return catalogue;
}

int RunExport(const GlobalOptions& options) {
  Session session(options);
  std::cout << DocumentText(CatalogueToJson(ReadCatalogue(session.Control())));
  return kExitOk;
}

void SetText(CQZRecordSet& set, const wchar_t* column, const std::wstring& text) {
  CQZDBVariant value;
  value = FromUtf8(TrimAscii(ToUtf8(text)));  // stored trimmed, as the library stores text
  set.SetFieldValue(column, value);
}

void SetInteger(CQZRecordSet& set, const wchar_t* column, int32_t number) {
  CQZDBVariant value;
  value = number;
  set.SetFieldValue(column, value);
}

void FinishRow(CQZRecordSet& set, const wchar_t* table) {
  if (!set.Update()) CQZDBException::Raise(std::wstring(L"a row could not be added to ") + table, "", 0);
}

// Adds the rows in one transaction: all of them or, on any failure, none.
void AddRows(const DBsSetNode& node, const CatalogueDocument& rows) {
  std::wstring error;
  const int done = qz::common::WithDatabase(node, &error, [&](CQZDatabase& database, DATABASETYPE) {
    // A transaction that did not begin would leave each row committed on
    // its own: a failure part way would then keep half the catalogue.
    if (!database.BeginTrans()) CQZDBException::Raise(L"the transaction could not be begun", "", 0);
    try {
      CQZRecordSet groups(&database);
      if (!groups.Open(L"select * from VTRTAPEGROUPINFO", ROWOPERATION_WRITE))
        CQZDBException::Raise(L"the database could not be reached", "", 0);
      for (const auto& group : rows.groups) {
        groups.AddNew(L"VTRTAPEGROUPINFO");
        SetText(groups, L"[guidGroupID]", GuidToText(group.guidGroupID));
        SetText(groups, L"[strGroupName]", group.strGroupName);
        SetText(groups, L"[strGroupHint]", group.strGroupHint);
        FinishRow(groups, L"VTRTAPEGROUPINFO");
      }
      groups.Close();
      CQZRecordSet tapes(&database);
      if (!tapes.Open(L"select * from VTRTAPEINFO", ROWOPERATION_WRITE))
        CQZDBException::Raise(L"the database could not be reached", "", 0);
      for (const auto& tape : rows.tapes) {
        tapes.AddNew(L"VTRTAPEINFO");
        SetText(tapes, L"[TAPEGUID]", GuidToText(tape.TAPEGUID));
        SetText(tapes, L"[TAPENAME]", tape.TAPENAME);
        SetText(tapes, L"[TAPEHINT]", tape.TAPEHINT);
        SetText(tapes, L"[guidGroupID]", GuidToText(tape.guidGroupID));
        SetInteger(tapes, L"[nMaxLength]", tape.nMaxLength);
        SetInteger(tapes, L"[bIfDefault]", tape.bIfDefault);
        FinishRow(tapes, L"VTRTAPEINFO");
      }
      tapes.Close();
      if (!database.CommitTrans()) CQZDBException::Raise(L"the transaction could not be committed", "", 0);
    } catch (CQZDBException*) {
      database.Rollback();
      throw;
    }
  });
  if (!done) Fail("tape import failed, nothing imported: " + ToUtf8(error));
}

struct CatalogueImportOptions {
  std::string path;
  bool dryRun = false;
};

int RunImport(const GlobalOptions& options, const CatalogueImportOptions& import) {
  CatalogueDocument document;
  try {
    document = CatalogueFromDocument(ReadInput(import.path));
  } catch (const DocumentError& e) {
    Fail((import.path == "-" ? std::string("standard input") : import.path) + ": " + e.what() + "; nothing imported");
  }
  Session session(options);
  const CatalogueDocument present = ReadCatalogue(session.Control());
  std::set<std::wstring> groupsThere, tapesThere;
  for (const auto& group : present.groups) groupsThere.insert(GuidToText(group.guidGroupID));
  bool hasDefault = false;
  for (const auto& tape : present.tapes) {
    tapesThere.insert(GuidToText(tape.TAPEGUID));
    hasDefault = hasDefault || tape.bIfDefault == 1;
  }

  // Records already there (by GUID) are left as they are.
  CatalogueDocument added;
  std::set<std::wstring> groupsKnown = groupsThere;
  for (const auto& group : document.groups)
    if (groupsKnown.insert(GuidToText(group.guidGroupID)).second) added.groups.push_back(group);
  bool defaultDropped = false;
  for (size_t i = 0; i < document.tapes.size(); ++i) {
    SQZGZVTRTapeTypeInfo tape = document.tapes[i];
    if (!IsNullGuid(tape.guidGroupID) && !groupsKnown.count(GuidToText(tape.guidGroupID)))
      Fail("document refused at $.tapes[" + std::to_string(i) + "].guidGroupID (field guidGroupID): no group " +
           GuidToUtf8(tape.guidGroupID) + " in the document or the database; nothing imported");
    if (tapesThere.count(GuidToText(tape.TAPEGUID))) continue;
    // One default tape type: the database's, else the document's first.
    if (tape.bIfDefault == 1 && hasDefault) {
      tape.bIfDefault = 0;
      defaultDropped = true;
    }
    hasDefault = hasDefault || tape.bIfDefault == 1;
    added.tapes.push_back(tape);
  }

  const size_t skipped = document.groups.size() + document.tapes.size() - added.groups.size() - added.tapes.size();
  Json out = Json::object();
  out["groupsImported"] = added.groups.size();
  out["tapesImported"] = added.tapes.size();
  out["skipped"] = skipped;
  std::string sentence =
      std::to_string(added.groups.size()) + " tape groups and " + std::to_string(added.tapes.size()) + " tape types";
  if (skipped > 0) sentence += "; " + std::to_string(skipped) + " already there were left as they are";
  if (defaultDropped) sentence += "; the default tape type stays the one there was";
  if (import.dryRun) {
    out["dryRun"] = true;
    PrintResult(options, out, "the document is sound: it would import " + sentence + " (--dry-run: nothing written)");
    return kExitOk;
  }
  if (!added.groups.empty() || !added.tapes.empty()) AddRows(session.Chosen().node, added);
  PrintResult(options, out, "imported " + sentence);
  return kExitOk;
}

}  // namespace

void AddTapeTransferCommands(CLI::App& tape, CommandLine& line) {
  CLI::App* exporter = tape.add_subcommand("export", "Write the tape groups and tape types as a JSON document");
  exporter->footer("Example:\n  gezhuan tape export > catalogue.json");
  exporter->callback([&line] { line.action = [&line] { return RunExport(line.global); }; });

  auto import = std::make_shared<CatalogueImportOptions>();
  CLI::App* importer =
      tape.add_subcommand("import", "Add the tape groups and types of a document that the database lacks");
  importer->add_option("FILE", import->path, "The document, or - for standard input")->required();
  importer->add_flag("--dry-run", import->dryRun, "Check the document and say what it would add; write nothing");
  importer->footer(
      "Example:\n  gezhuan tape export | gezhuan --database copy.db tape import -\n"
      "  gezhuan task export | gezhuan --database copy.db task import -");
  importer->callback([&line, import] { line.action = [&line, import] { return RunImport(line.global, *import); }; });
}

}  // namespace gezhuan
