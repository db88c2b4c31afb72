// gezhuan: a person's way into the conversion database. Parses the command
// line, sets up how the library reports trouble, and runs the one command
// asked for; its exit status is 0 on success, 1 when the command failed or
// found nothing where something was asked for, 2 for a usage error.
#include <CLI/CLI.hpp>
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/session/CommandLineHabits.h"
#include "cli/session/DataFolder.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/FilePath.h"
#include "cli/session/Options.h"
#include "cli/session/ToolConfig.h"
#include "cli/terminal/StandardOutput.h"
#include "cli/terminal/TerminalText.h"
#include "cli/terminal/Text.h"

namespace {

// The exit status once standard output is closed: a command that did its
// work but whose output was lost has failed.
int Finish(int status) {
  const std::string error = gezhuan::FinishStandardOutput();
  if (error.empty()) return status;
  std::cerr << "gezhuan: " << error << '\n';
  return gezhuan::kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  using namespace gezhuan;
  InstallCheckedStandardOutput();
  PrepareConsoleOutput();

  CLI::App app{"gezhuan - keep the format-conversion (GeZhuan) tasks, their items and the tape catalogue", "gezhuan"};
  app.fallthrough();  // the global options may follow the command too
  app.require_subcommand(0, 1);
  CommandLine line;
  // Each names a database: both at once, or an empty path, is a mistake
  // that must not quietly open the default database.
  const CLI::Validator named(
      [](std::string& value) { return value.empty() ? std::string("an empty value names no database") : ""; }, "");
  CLI::Option* database = app.add_option("--database", line.global.database,
                                         "The embedded database file (default " + DefaultDatabaseInWords() + ")")
                              ->type_name("PATH")
                              ->check(named);
  app.add_option("--setting", line.global.setting,
                 "Open through this named connection setting instead (see `gezhuan settings`)")
      ->type_name("NAME")
      ->check(named)
      ->excludes(database);
  app.add_flag("--json", line.global.json, "Machine-readable JSON output (the same as --format json)");
  app.add_option("--format", line.global.format,
                 "Output form of listings and results. csv quotes as RFC 4180 does. tsv keeps a row on one line: "
                 "tab, line break, carriage return and backslash in a value are written \\t \\n \\r \\\\, "
                 "and a value that begins with a double quote is quoted as in csv (its quotes doubled), so that "
                 "csv readers such as Python's csv.reader(f, delimiter='\\t') read it whole")
      ->type_name("table|json|jsonl|csv|tsv")
      ->check(OneOf({"table", "json", "jsonl", "csv", "tsv"}));
  app.add_flag("--no-header", line.global.noHeader, "Listings without their header line");
  app.add_flag("--wide", line.global.wide,
               "Tables show whole GUIDs (not their shortest unique start) and are not fitted to the terminal");
  app.add_option("--columns", line.global.columns,
                 "The columns of tables, csv and tsv, by their header names (any case), in this order")
      ->type_name("A,B,...")
      ->check(CLI::Validator(
          [](std::string& value) { return value.empty() ? std::string("an empty value names no column") : ""; }, ""));
  app.add_flag("-q,--quiet", line.global.quiet, "Listings print only their GUIDs, one a line (for `task delete -`)");
  app.add_option("--fps", line.global.fps,
                 "Frame rate of the timecode shown and typed. Typed timecode with ':' before the frames is non-drop, "
                 "with ';' or '.' drop-frame (29.97 and 59.94 only). 29.97 and 59.94 show drop-frame; "
                 "29.97ndf and 59.94ndf show non-drop (29.97df and 59.94df: drop-frame). Default: $GEZHUAN_FPS, "
                 "else fps = RATE in qz/gezhuan.conf of " +
                     Utf8OfPath(UserConfigFolderInWords()) + ", else 25")
      ->type_name("23.976|24|25|29.97|30|50|59.94")
      ->check(
          OneOf({"23.976", "24", "25", "29.97", "29.97df", "29.97ndf", "30", "50", "59.94", "59.94df", "59.94ndf"}));
  app.add_flag("-v,--verbose", line.global.verbose, "Show the library's debug lines (failed SQL) on stderr");
  app.footer(std::string("\n") + CommandSummary());

  AddOverviewCommands(app, line);
  AddTaskCommands(app, line);
  AddItemCommands(app, line);
  AddTapeCommands(app, line);
  AddSettingsCommands(app, line);
  AddHelpCommand(app, line);
  AddGenerateCommand(app, line);
  AddCompleteCommand(app, line);
  app.set_version_flag("--version", std::string("gezhuan ") + QZ_GEZHUAN_VERSION, "The tool's version");
  ListGlobalOptionsInEveryHelp(app);

  // Every argument as UTF-8 before any option sees it.
  std::vector<std::string> arguments;
  const std::string refused = ArgumentsToUtf8(argc, argv, &arguments);
  if (!refused.empty()) {
    std::cerr << "gezhuan: " << refused << '\n';
    return Finish(kExitUsage);
  }
  std::vector<const char*> utf8Argv;
  for (const std::string& argument : arguments) utf8Argv.push_back(argument.c_str());

  const std::string unknown = UnknownCommandMessage(app, arguments);
  if (!unknown.empty()) {
    std::cerr << EscapeControlsKeepingLines(unknown) << '\n';
    return Finish(kExitUsage);
  }
  try {
    app.parse(argc, utf8Argv.data());
  } catch (const CLI::CallForHelp& e) {
    return Finish(app.exit(e) == 0 ? kExitOk : kExitUsage);
  } catch (const CLI::CallForAllHelp& e) {
    return Finish(app.exit(e) == 0 ? kExitOk : kExitUsage);
  } catch (const CLI::CallForVersion& e) {
    return Finish(app.exit(e) == 0 ? kExitOk : kExitUsage);
  } catch (const CLI::ParseError& e) {
    std::cerr << EscapeControlsKeepingLines(ParseErrorMessage(app, e)) << '\n';
    return Finish(kExitUsage);
  }

  if (line.global.json) {
    if (!line.global.format.empty() && line.global.format != "json") {
      std::cerr << "gezhuan: --json and --format " << line.global.format << " contradict each other\n";
      return Finish(kExitUsage);
    }
    line.global.format = "json";
  }

  InstallDiagnostics(line.global.verbose);
  try {
    ChooseFrameRate(&line.global);
    const Action& action = line.action ? line.action : line.fallback;
    return Finish(action ? action() : kExitOk);
  } catch (const CommandError& e) {
    std::cout.flush();
    // A usage error names the command it is about, as a parse error does.
    const std::string who = e.Status() == kExitUsage ? CommandPath(ChosenCommand(app)) : std::string("gezhuan");
    std::cerr << who << ": " << EscapeControlsKeepingLines(e.what()) << '\n';
    return Finish(e.Status());
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "gezhuan: " << EscapeControlsKeepingLines(e.what()) << '\n';
    return Finish(kExitFailed);
  }
}
