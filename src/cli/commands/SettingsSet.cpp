// `gezhuan settings set NAME ...`: one connection setting changed from the
// command line, for scripts and for machines without a person at a
// terminal. It takes what the dialog takes and checks it the same way; the
// password comes from standard input so that it never shows in a process
// list or a shell history.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <optional>

#include "cli/formats/ItemArgument.h"
#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/HostBridge.h"
#include "cli/session/Options.h"
#include "cli/terminal/TerminalDialog.h"
#include "cli/terminal/TerminalText.h"
#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

struct SettingChange {
  std::string name;
  std::optional<std::string> engine, connect1, connect2, connect3;
  bool passwordFromStdin = false;
};

int KindOfEngine(const std::string& engine) {
  if (engine == "sqlite" || engine == "0") return 0;
  if (engine == "postgresql" || engine == "2") return 2;
  if (engine == "odbc" || engine == "4") return 4;
  UsageError("--engine: expected sqlite, postgresql or odbc, found \"" + engine + "\"");
}

// The first line of standard input, without its line end: the whole
// password, blanks included.
std::string PasswordFromStdin() {
  std::string password;
  std::getline(std::cin, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  std::string utf8;
  if (!TerminalTextToUtf8(password, &utf8)) UsageError("the password is not " + TerminalCharset() + " text");
  return utf8;
}

// A connection text as the dialog keeps it: trimmed; "-" or "" empties it.
std::wstring ConnectText(const std::string& typed) {
  const std::string text = TrimAscii(typed);
  return text == "-" ? std::wstring() : FromUtf8(text);
}

int RunSet(const GlobalOptions& options, const SettingChange& change) {
  RequireTrustedSettingsStore();
  std::vector<DBsSetNode> settings = ReadAllSettings();
  auto node = std::find_if(settings.begin(), settings.end(),
                           [&](const DBsSetNode& n) { return n.strSettingName == FromUtf8(change.name); });
  if (node == settings.end()) {
    std::string names;
    for (const auto& n : settings) names += (names.empty() ? "" : ", ") + ToUtf8(n.strSettingName);
    UsageError("no setting named " + change.name + "; the settings are " + names);
  }
  if (change.engine) node->nDBType = KindOfEngine(*change.engine);
  if (IsEmbedded(*node) && (change.connect3 || change.passwordFromStdin))
    UsageError("an sqlite setting takes a folder (--connect1) and a file (--connect2), no user or password");
  if (!change.engine && !change.connect1 && !change.connect2 && !change.connect3 && !change.passwordFromStdin)
    UsageError("nothing to change: give --engine, --connect1 to --connect3 or --password-stdin");
  if (change.connect1) node->strConnect1 = ConnectText(*change.connect1);
  if (change.connect2) node->strConnect2 = ConnectText(*change.connect2);
  if (change.connect3) node->strConnect3 = ConnectText(*change.connect3);
  if (change.passwordFromStdin) node->strConnect4 = FromUtf8(PasswordFromStdin());
  if (IsEmbedded(*node)) {
    // The embedded engine has no user or password: none stays behind.
    node->strConnect3.clear();
    node->strConnect4.clear();
  }

  const bool complete = IsComplete(*node);
  if (!complete)
    std::cerr << "gezhuan: warning: setting " << change.name << " is incomplete (it needs "
              << (node->strConnect1.empty() ? "--connect1" : "--connect2")
              << "); programs will not use it until it names both where and which database\n";
  std::string error;
  if (!host::SaveSettings(settings, &error)) Fail("the settings could not be saved: " + error);
  Json out = Json::object();
  out["saved"] = change.name;
  out["database"] = complete ? DescribeNode(*node) : "";
  out["complete"] = complete;
  PrintResult(options, out,
              "setting " + change.name + (complete ? " (" + DescribeNode(*node) + ")" : " (incomplete)") +
                  " saved to " + host::SettingsFile());
  return kExitOk;
}

}  // namespace

void AddSettingsSetCommand(CLI::App& settings, CommandLine& line) {
  auto change = std::make_shared<SettingChange>();
  CLI::App* set = settings.add_subcommand("set", "Change one setting without the dialog, with the same checks");
  set->add_option("NAME", change->name, "The setting, as `gezhuan settings` names it")->required();
  set->add_option("--engine", change->engine, "The engine")->type_name("sqlite|postgresql|odbc");
  set->add_option("--connect1", change->connect1,
                  "Where: the folder of the file (sqlite), host[:port] or socket folder (postgresql), "
                  "DSN or connection string (odbc); - empties it")
      ->type_name("TEXT");
  set->add_option("--connect2", change->connect2, "Which database: the file name, or the database name")
      ->type_name("TEXT");
  set->add_option("--connect3", change->connect3, "The user (not for sqlite)")->type_name("TEXT");
  set->add_flag("--password-stdin", change->passwordFromStdin,
                "Read the password from the first line of standard input (not for sqlite)");
  set->footer(
      "Example:\n  gezhuan settings set QZNVCENTERDBSetting --engine sqlite --connect1 /srv/qz --connect2 gezhuan.db\n"
      "  printf '%s\\n' \"$PW\" | gezhuan settings set QZNVCENTERDBSetting --engine postgresql \\\n"
      "      --connect1 db1:5432 --connect2 gezhuan --connect3 operator --password-stdin");
  set->callback([&line, change] { line.action = [&line, change] { return RunSet(line.global, *change); }; });
}

}  // namespace gezhuan
