// `gezhuan complete tapes|groups|tasks|items [START]`: the values the shell
// completion scripts offer that only the database knows, one a line. Hidden
// from the help: the scripts written by `gezhuan generate` call it, with the
// --database or --setting of the command line being completed.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <iostream>
#include <set>

#include "cli/formats/GuidPrefix.h"
#include "cli/session/CommandLineHabits.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

// The GUIDs of one column that begin with start, in start's case (a person
// typing in lower case gets lower case back, so the shell keeps what was
// typed). start holds only hex digits and dashes, else nothing matches: it
// goes into a like pattern.
void PrintGuidsStarting(Session& session, const GuidColumn& where, const std::string& start) {
  if (start.size() > 36 ||
      !std::all_of(start.begin(), start.end(), [](unsigned char c) { return std::isxdigit(c) || c == '-'; }))
    return;
  std::string upper = start;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  const bool lower = std::any_of(start.begin(), start.end(), [](unsigned char c) { return std::islower(c); });
  const std::wstring sql = L"select " + std::wstring(where.column) + L" from " + where.table + L" where upper(" +
                           where.column + L") like '" + FromUtf8(upper) + L"%'";
  std::set<std::string> guids;
  for (const std::wstring& text : session.QueryColumn(sql, where.column)) {
    std::string guid = ToUtf8(text);
    std::transform(guid.begin(), guid.end(), guid.begin(),
                   [lower](unsigned char c) { return static_cast<char>(lower ? std::tolower(c) : std::toupper(c)); });
    guids.insert(guid);
  }
  for (const std::string& guid : guids) std::cout << guid << '\n';
}

// Names as they are stored, one a line; a name holding a line break would
// read as two, so it is left out.
void PrintNames(Session& session, const std::wstring& sql, const std::wstring& column) {
  std::set<std::string> names;
  for (const std::wstring& name : session.QueryColumn(sql, column)) {
    const std::string text = ToUtf8(name);
    if (!text.empty() && text.find_first_of("\r\n") == std::string::npos) names.insert(text);
  }
  for (const std::string& name : names) std::cout << name << '\n';
}

int RunComplete(const GlobalOptions& options, const std::string& kind, const std::string& start) {
  Session session(options);
  if (kind == "tapes") PrintNames(session, L"select TAPENAME from VTRTAPEINFO", L"TAPENAME");
  if (kind == "groups") PrintNames(session, L"select strGroupName from VTRTAPEGROUPINFO", L"strGroupName");
  if (kind == "tasks") PrintGuidsStarting(session, kTaskGuids, start);
  if (kind == "items") PrintGuidsStarting(session, kItemGuids, start);
  return kExitOk;
}

}  // namespace

void AddCompleteCommand(CLI::App& app, CommandLine& line) {
  auto kind = std::make_shared<std::string>();
  auto start = std::make_shared<std::string>();
  CLI::App* complete = app.add_subcommand("complete", "Values for the shell completion scripts");
  complete->group("");  // hidden: the completion scripts use it
  complete->add_option("KIND", *kind, "tapes, groups, tasks or items")
      ->required()
      ->check(OneOf({"tapes", "groups", "tasks", "items"}));
  complete->add_option("START", *start, "What is typed so far (tasks and items)");
  complete->callback(
      [&line, kind, start] { line.action = [&line, kind, start] { return RunComplete(line.global, *kind, *start); }; });
}

}  // namespace gezhuan
