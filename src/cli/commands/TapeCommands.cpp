// `gezhuan tape groups|list|default`: the VTR tape type catalogue, and
// finding a tape type or group by the name a person types.
#include <CLI/CLI.hpp>
#include <iostream>
#include <map>

#include "cli/commands/CatalogueLookup.h"
#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
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

SQZGZVTRTapeTypeInfo FindTapeType(CQZNVGeZhuanDBControl& control, const std::string& text) {
  GUID guid{};
  const std::wstring condition = ReadTypedGuid(text, &guid)
                                     ? L"TAPEGUID = '" + GuidToText(guid) + L"'"
                                     : L"TAPENAME = '" + SqlQuote(FromUtf8(TrimAscii(text))) + L"'";
  const auto tapes = TapesWhere(control, condition);
  if (tapes.empty()) {
    std::vector<std::wstring> names;
    for (const auto& tape : TapesWhere(control, L"")) names.push_back(tape.TAPENAME);
    Fail("no tape type \"" + text + "\" in the catalogue; it has: " + ToUtf8(NamesOf(names)));
  }
  return tapes.front();
}

SQZGZVTRTapeTypeGroupInfo FindTapeGroup(CQZNVGeZhuanDBControl& control, const std::string& text) {
  GUID guid{};
  const std::wstring condition = ReadTypedGuid(text, &guid)
                                     ? L"guidGroupID = '" + GuidToText(guid) + L"'"
                                     : L"strGroupName = '" + SqlQuote(FromUtf8(TrimAscii(text))) + L"'";
  const auto groups = GroupsWhere(control, condition);
  if (groups.empty()) {
    std::vector<std::wstring> names;
    for (const auto& group : GroupsWhere(control, L"")) names.push_back(group.strGroupName);
    Fail("no tape group \"" + text + "\" in the catalogue; it has: " + ToUtf8(NamesOf(names)));
  }
  return groups.front();
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
  list->add_option("--group", *group, "Only this group, by name or GUID")->type_name("GROUP");
  list->footer("Example:\n  gezhuan tape list --group Betacam");
  list->callback([&line, group] { line.action = [&line, group] { return RunList(line.global, *group); }; });

  CLI::App* def = tape->add_subcommand("default", "The default tape type");
  def->footer("Example:\n  gezhuan tape default");
  def->callback([&line] { line.action = [&line] { return RunDefault(line.global); }; });

  AddTapeTransferCommands(*tape, line);
}

}  // namespace gezhuan
