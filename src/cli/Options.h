// The options every command understands, and the command wiring shared by
// the files that add commands to the parser.
#pragma once

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace gezhuan {

struct GlobalOptions {
  std::string database;  // --database PATH: the embedded database file
  std::string setting;   // --setting NAME: a named setting of the store
  bool json = false;     // --json: machine-readable listings
  bool verbose = false;  // --verbose: the library's debug lines on stderr
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

// The commands in one screen, for `gezhuan` alone.
const char* CommandSummary();

}  // namespace gezhuan
