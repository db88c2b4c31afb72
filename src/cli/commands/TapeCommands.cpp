// `gezhuan tape groups|list|default`: the VTR tape type catalogue, and
// finding a tape type or group by the name a person types.
#include <CLI/CLI.hpp>
#include <iostream>
#include <map>

#include "cli/commands/CatalogueLookup.h"
#include "cli/commands/TaskFilter.h"
#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/session/Suggestions.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"

namespace gezhuan {

using qz::common::GuidToText;
using qz::common::GuidToUtf8;
using qz::common::ReadTypedGuid;

namespace {

std::vector<SQZGZVTRTapeTypeInfo> TapesWhere(CQZNVGeZhuanDBControl& control, const std::wstring& condition) {
  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  ClearDatabaseMessages();
  const int found =
      condition.empty() ? control.GetAllVTRTapeInfos(&tapes) : control.GetVTRTapeInfosByCondition(condition, &tapes);
  if (!found) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot read the tape types");
    tapes.clear();
  }
  return tapes;
}

std::vector<SQZGZVTRTapeTypeGroupInfo> GroupsWhere(CQZNVGeZhuanDBControl& control, const std::wstring& condition) {
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  ClearDatabaseMessages();
  const int found = condition.empty() ? control.GetAllVTRTapeGRPInfos(&groups)
                                      : control.GetVTRTapeGRPInfosByCondition(condition, &groups);
  if (!found) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot read the tape groups");
    groups.clear();
  }
  return groups;
}

std::wstring NamesOf(const std::vector<std::wstring>& names) {
  std::wstring out;
  for (const auto& name : names) out += (out.empty() ? L"" : L", ") + name;
  return out.empty() ? L"(the catalogue is empty; `gezhuan init --sample` adds a sample one)" : out;
}

Listing TapeListing(CQZNVGeZhuanDBControl& control, const std::vector<SQZGZVTRTapeTypeInfo>& tapes) {
  std::map<std::wstring, std::wstring> groupNames;
  for (const auto& group : GroupsWhere(control, L"")) groupNames[GuidToText(group.guidGroupID)] = group.strGroupName;
  Listing listing;
  listing.headers = {L"GUID", L"NAME", L"GROUP", L"MAX LENGTH", L"DEFAULT", L"HINT"};
  for (const auto& tape : tapes)
    listing.Add({GuidToText(tape.TAPEGUID), tape.TAPENAME, groupNames[GuidToText(tape.guidGroupID)],
                 std::to_wstring(tape.nMaxLength), tape.bIfDefault ? L"yes" : L"", tape.TAPEHINT},
                TapeToJson(tape), GuidToUtf8(tape.TAPEGUID));
  return listing;
}

int RunGroups(const GlobalOptions& options) {
  Session session(options);
  Listing listing;
  listing.headers = {L"GUID", L"NAME", L"HINT"};
  for (const auto& g : GroupsWhere(session.Control(), L""))
    listing.Add({GuidToText(g.guidGroupID), g.strGroupName, g.strGroupHint}, GroupToJson(g), GuidToUtf8(g.guidGroupID));
  PrintListing(options, listing, "no tape groups");
  return kExitOk;
}

int RunList(const GlobalOptions& options, const std::string& groupText) {
  Session session(options);
  std::wstring condition;
  if (!groupText.empty())
    condition = L"guidGroupID = '" + GuidToText(FindTapeGroup(session.Control(), groupText).guidGroupID) + L"'";
  const auto tapes = TapesWhere(session.Control(), condition);
  PrintListing(options, TapeListing(session.Control(), tapes),
               groupText.empty() ? "no tape types" : "no tape types in this group");
  return kExitOk;
}

int RunDefault(const GlobalOptions& options) {
  Session session(options);
  SQZGZVTRTapeTypeInfo tape;
  ClearDatabaseMessages();
  if (!session.Control().GetDefaultVTRTapeInfo(&tape)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot read the default tape type");
    Fail("the catalogue has no default tape type");
  }
  if (options.WantsJson())
    PrintDocument(options, TapeToJson(tape));
  else
    PrintListing(options, TapeListing(session.Control(), {tape}), "");
  return kExitOk;
}

}  // namespace

namespace {

// The one record whose name is text: the name as written, else the name
// with A-Z in either case; on a miss, or when case alone cannot tell two
// names apart, fails with the names nearest to it. what: "tape type".
template <typename Record>
Record FindByName(const std::vector<Record>& records, const std::string& text, std::wstring Record::*name,
                  const std::string& what) {
  const std::wstring typed = FromUtf8(TrimAscii(text));
  std::vector<const Record*> exact, folded;
  std::vector<std::string> names;
  for (const Record& record : records) {
    if (record.*name == typed) exact.push_back(&record);
    if (FoldLatinCase(record.*name) == FoldLatinCase(typed)) folded.push_back(&record);
    names.push_back(ToUtf8(record.*name));
  }
  if (exact.size() == 1) return *exact.front();
  if (exact.empty() && folded.size() == 1) return *folded.front();
  if (!folded.empty()) {
    std::vector<std::string> same;
    for (const Record* record : folded) same.push_back(ToUtf8(record->*name));
    Fail("the catalogue has more than one " + what + " named \"" + text + "\"" +
         (exact.empty() ? DidYouMean(same, "\"") : std::string()) + "; give its GUID");
  }
  std::string message = "no " + what + " \"" + text + "\" in the catalogue";
  const std::vector<std::string> near = Suggestions(TrimAscii(text), names, 4);
  if (!near.empty()) Fail(message + DidYouMean(near, "\""));
  std::vector<std::wstring> all;
  for (const std::string& n : names) all.push_back(FromUtf8(n));
  Fail(message + "; it has: " + ToUtf8(NamesOf(all)));
}

}  // namespace

namespace {

// The record text names: by GUID (in guidColumn), else by name. where
// reads the records a condition selects ("" for all).
template <typename Record, typename Where>
Record FindRecord(const std::string& text, Where where, const wchar_t* guidColumn, std::wstring Record::*name,
                  const std::string& what) {
  GUID guid{};
  if (!ReadTypedGuid(text, &guid)) return FindByName(where(L""), text, name, what);
  const std::vector<Record> found = where(std::wstring(guidColumn) + L" = '" + GuidToText(guid) + L"'");
  if (found.empty()) Fail("no " + what + " with GUID " + GuidToUtf8(guid) + " in the catalogue");
  return found.front();
}

}  // namespace

SQZGZVTRTapeTypeInfo FindTapeType(CQZNVGeZhuanDBControl& control, const std::string& text) {
  return FindRecord(
      text, [&](const std::wstring& condition) { return TapesWhere(control, condition); }, L"TAPEGUID",
      &SQZGZVTRTapeTypeInfo::TAPENAME, "tape type");
}

SQZGZVTRTapeTypeGroupInfo FindTapeGroup(CQZNVGeZhuanDBControl& control, const std::string& text) {
  return FindRecord(
      text, [&](const std::wstring& condition) { return GroupsWhere(control, condition); }, L"guidGroupID",
      &SQZGZVTRTapeTypeGroupInfo::strGroupName, "tape group");
}

void NoteUnknownTapeType(CQZNVGeZhuanDBControl& control, const std::string& text) {
  GUID guid{};
  if (text.empty() || ReadTypedGuid(text, &guid)) return;
  const std::wstring typed = FoldLatinCase(FromUtf8(TrimAscii(text)));
  std::vector<std::string> names;
  for (const auto& tape : TapesWhere(control, L"")) {
    if (FoldLatinCase(tape.TAPENAME) == typed) return;
    names.push_back(ToUtf8(tape.TAPENAME));
  }
  std::cerr << "gezhuan: note: no tape type \"" << EscapeControlsKeepingLines(text) << "\" in the catalogue"
            << DidYouMean(Suggestions(TrimAscii(text), names, 4), "\"") << '\n';
}

void AddTapeCommands(CLI::App& app, CommandLine& line) {
  CLI::App* tape = app.add_subcommand("tape", "The VTR tape type catalogue");
  tape->require_subcommand(1);
  tape->footer("Example:\n  gezhuan tape list --group Betacam");

  CLI::App* groups = tape->add_subcommand("groups", "The tape type groups");
  groups->footer("Example:\n  gezhuan tape groups --json");
  groups->callback([&line] { line.action = [&line] { return RunGroups(line.global); }; });

  auto group = std::make_shared<std::string>();
  CLI::App* list = tape->add_subcommand("list", "The tape types, all or of one group");
  list->add_option("--group", *group, "Only this group, by name (A-Z in either case) or GUID")->type_name("GROUP");
  list->footer("Example:\n  gezhuan tape list --group Betacam");
  list->callback([&line, group] { line.action = [&line, group] { return RunList(line.global, *group); }; });

  CLI::App* def = tape->add_subcommand("default", "The default tape type");
  def->footer("Example:\n  gezhuan tape default");
  def->callback([&line] { line.action = [&line] { return RunDefault(line.global); }; });

  AddTapeTransferCommands(*tape, line);
}

}  // namespace gezhuan
