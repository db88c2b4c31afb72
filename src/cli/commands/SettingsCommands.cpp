// `gezhuan settings [show]|edit|check`: the six named connection settings of
// the suite, read through the library's settings methods, edited in the
// terminal dialog the tool installs as the library's dialog.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/FilePath.h"
#include "cli/session/HostBridge.h"
#include "cli/session/Options.h"
#include "cli/terminal/TerminalDialog.h"
#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

std::wstring Masked(const std::wstring& password) { return password.empty() ? L"" : L"********"; }

int RunShow(const GlobalOptions& options) {
  Listing listing;
  listing.headers = {L"NAME", L"CAPTION", L"ENGINE", L"WHERE", L"DATABASE", L"USER", L"PASSWORD", L"STATE"};
  for (const DBsSetNode& node : ReadAllSettings()) {
    Json j = Json::object();
    j["strSettingName"] = ToUtf8(node.strSettingName);
    j["strCaption"] = ToUtf8(node.strCaption);
    j["nDBType"] = node.nDBType;
    j["strConnect1"] = ToUtf8(WithoutPassword(node.strConnect1));
    j["strConnect2"] = ToUtf8(node.strConnect2);
    j["strConnect3"] = ToUtf8(node.strConnect3);
    j["strConnect4"] = ToUtf8(Masked(node.strConnect4));
    j["complete"] = IsComplete(node);
    listing.Add(
        {node.strSettingName, node.strCaption, FromUtf8(EngineName(node.nDBType)), WithoutPassword(node.strConnect1),
         node.strConnect2, node.strConnect3, Masked(node.strConnect4), IsComplete(node) ? L"" : L"incomplete"},
        std::move(j), ToUtf8(node.strSettingName));
  }
  const bool table = options.format.empty() || options.format == "table";
  if (table && !options.quiet && !options.noHeader) std::cout << "store: " << host::SettingsFile() << "\n\n";
  PrintListing(options, listing, "");
  return kExitOk;
}

int RunEdit() {
  // The library would save over a file it cannot read only to refuse at the
  // end; say so before anybody types.
  RequireTrustedSettingsStore();
  const bool terminal = isatty(STDIN_FILENO) == 1;
  const int columns = TerminalColumns();
  host::InstallSettingsDialog([terminal, columns](std::vector<DBsSetNode>& settings, int /*mode*/) {
    return RunTerminalDialog(settings, std::cin, std::cout, terminal, columns);
  });
  CQZNVGeZhuanDBControl control;
  std::vector<DBsSetNode> settings;
  const int accepted = control.SetQZNVGeZhuanALLDBSettings(settings);
  host::InstallSettingsDialog(nullptr);
  return accepted ? kExitOk : kExitFailed;
}

int RunCheck(const GlobalOptions& options) {
  int complete = 0, failed = 0;
  Json out = Json::array();
  for (const DBsSetNode& node : ReadAllSettings()) {
    std::string verdict;
    bool works = false;
    if (!IsComplete(node)) {
      verdict = "incomplete, not tried";
    } else {
      ++complete;
      if (IsEmbedded(node) && !std::filesystem::exists(EmbeddedPath(node))) {
        verdict = "fails: no database file at " + Utf8OfPath(EmbeddedPath(node));
      } else {
        CQZNVGeZhuanDBControl control;
        ClearDatabaseMessages();
        works = control.OpenQZNVGeZhuanDB(node) == 1;
        if (works) {
          control.CloseQZNVGeZhuanDB();
          verdict = "works";
        } else {
          const std::string message = LastDatabaseMessage();
          verdict = "fails" + (message.empty() ? std::string() : ": " + message);
        }
      }
      if (!works) ++failed;
    }
    if (options.WantsJson()) {
      Json j = Json::object();
      j["strSettingName"] = ToUtf8(node.strSettingName);
      j["database"] = IsComplete(node) ? DescribeNode(node) : "";
      j["complete"] = IsComplete(node);
      j["works"] = works;
      j["verdict"] = verdict;
      out.push_back(j);
    } else {
      std::cout << ToUtf8(node.strSettingName) << ": " << (IsComplete(node) ? DescribeNode(node) + ": " : std::string())
                << verdict << '\n';
    }
  }
  if (options.WantsJson()) PrintDocument(options, out);
  if (complete == 0) Fail("no complete setting to try: fill one in with `gezhuan settings edit`");
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void AddSettingsCommands(CLI::App& app, CommandLine& line) {
  CLI::App* settings = app.add_subcommand("settings", "The suite's named connection settings");
  settings->footer("Example:\n  gezhuan settings\n  QZ_DB_SETTINGS=./test.ini gezhuan settings edit");
  settings->callback([&line] {
    if (!line.action) line.action = [&line] { return RunShow(line.global); };
  });
  // The parent's callback runs after the chosen child's, so it only fills in
  // the default (show) when no child was chosen.
  CLI::App* show = settings->add_subcommand("show", "The six settings; passwords masked, incomplete ones marked");
  show->footer("Example:\n  gezhuan settings show --json");
  show->callback([&line] { line.action = [&line] { return RunShow(line.global); }; });

  CLI::App* edit =
      settings->add_subcommand("edit", "Edit the settings in a terminal dialog; answers may also come from a pipe");
  edit->footer(
      "Example:\n  gezhuan settings edit\n"
      "  printf '6\\nsqlite\\n/srv/qz\\ngezhuan.db\\ns\\n' | gezhuan settings edit");
  edit->callback([&line] { line.action = [] { return RunEdit(); }; });

  CLI::App* check = settings->add_subcommand("check", "Try to open each complete setting and say which work");
  check->footer("Example:\n  gezhuan settings check");
  check->callback([&line] { line.action = [&line] { return RunCheck(line.global); }; });

  AddSettingsSetCommand(*settings, line);
}

}  // namespace gezhuan
