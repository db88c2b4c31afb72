// The options every command understands, and the command wiring shared by
// the files that add commands to the parser.
#pragma once

#include <functional>
#include <string>

#include "cli/formats/Timecode.h"

namespace CLI {
class App;
}

namespace gezhuan {

struct GlobalOptions {
  std::string database;    // --database PATH: the embedded database file
  std::string setting;     // --setting NAME: a named setting of the store
  bool json = false;       // --json: the same as --format json
  bool verbose = false;    // --verbose: the library's debug lines on stderr
  std::string format;      // --format table|json|jsonl|csv|tsv ("" for table)
  bool noHeader = false;   // --no-header: csv, tsv and table without the header line
  bool quiet = false;      // -q: listings print only their GUIDs, one a line
  bool wide = false;       // --wide: tables show whole GUIDs and are not fitted to the terminal
  std::string columns;     // --columns A,B: the columns of tables, csv and tsv, in that order
  std::string fps = "25";  // --fps: the rate of timecode shown and typed
  FrameRate rate;          // fps, parsed

  // True when a command's result is to be JSON (--json, --format json|jsonl).
  bool WantsJson() const { return format == "json" || format == "jsonl"; }
};

// What the parsed command line asks for: run once parsing succeeded.
using Action = std::function<int()>;

struct CommandLine {
  GlobalOptions global;
  Action action;    // set by the command given
  Action fallback;  // what `gezhuan` alone does
};

// Each adds its commands to app; the command's callback stores its action.
void AddOverviewCommands(CLI::App& app, CommandLine& line);
void AddTaskCommands(CLI::App& app, CommandLine& line);
void AddItemCommands(CLI::App& app, CommandLine& line);
void AddTapeCommands(CLI::App& app, CommandLine& line);
void AddSettingsCommands(CLI::App& app, CommandLine& line);
void AddSettingsSetCommand(CLI::App& settings, CommandLine& line);

// The hidden `generate bash|zsh|man`: completion scripts and the manual
// page, written from the same option definitions as the parser's.
void AddGenerateCommand(CLI::App& app, CommandLine& line);

// The commands in one screen, for `gezhuan` alone.
const char* CommandSummary();

}  // namespace gezhuan
