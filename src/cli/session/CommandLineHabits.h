// What people expect of a command-line tool beyond its commands: help for
// any command (`gezhuan help task add`), the global options in every
// command's --help, a suggestion for a mistyped command, and parse errors
// that name the command they belong to.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
class ParseError;
class Validator;
}  // namespace CLI

namespace gezhuan {

struct CommandLine;

// Adds `help [COMMAND...]`.
void AddHelpCommand(CLI::App& app, CommandLine& line);

// Appends the global options to the help of every command below app; call
// once every command is added.
void ListGlobalOptionsInEveryHelp(CLI::App& app);

// Finds the first word that should name a command and does not, before
// CLI11 sees the arguments: "" when all is well, else the message
// ("gezhuan task: unknown command 'lsit'; did you mean 'list'?").
std::string UnknownCommandMessage(const CLI::App& app, const std::vector<std::string>& arguments);

// The name of names nearest to a mistyped word: the nearest at most two
// edits away, else the one name the word starts; "" when none is near.
std::string NearestWord(const std::string& word, const std::vector<std::string>& names);

// A parse error in the tool's words: "gezhuan task add: --limit: ..." and
// where to find the options.
std::string ParseErrorMessage(const CLI::App& app, const CLI::ParseError& error);

// Checks of option values whose refusals read as the tool's own:
// "--format must be one of table, json, ... (not \"xml\")".
CLI::Validator OneOf(const std::vector<std::string>& words);
CLI::Validator CountFromOne();

// The deepest command the parsed app chose (app itself when none).
const CLI::App& ChosenCommand(const CLI::App& app);

// The words of the command a parsed app ran: "gezhuan task add".
std::string CommandPath(const CLI::App& command);

}  // namespace gezhuan
