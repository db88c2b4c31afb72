#include "cli/session/CommandLineHabits.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/session/Suggestions.h"

namespace gezhuan {

namespace {

// The visible commands below app (the hidden ones have no group).
std::vector<const CLI::App*> Commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); });
}

const CLI::App* FindCommand(const CLI::App& app, const std::string& name) {
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
    if (sub->get_name() == name) return sub;
  return nullptr;
}

// Whether the option named by word (in command or a parent) takes a value
// from the next argument.
bool TakesValue(const CLI::App& command, const std::string& word) {
  if (word.find('=') != std::string::npos) return false;
  for (const CLI::App* at = &command; at != nullptr; at = at->get_parent()) {
    const CLI::Option* option = at->get_option_no_throw(word);
    if (option) return option->get_type_size_max() > 0 && option->get_expected_max() > 0;
  }
  return false;
}

std::string OptionNames(const CLI::Option& option) {
  std::string names;
  for (const std::string& s : option.get_snames()) names += (names.empty() ? "-" : ", -") + s;
  for (const std::string& l : option.get_lnames()) names += (names.empty() ? "--" : ", --") + l;
  if (option.get_type_size_max() > 0) names += " " + option.get_type_name();
  return names;
}

}  // namespace

CLI::Validator OneOf(const std::vector<std::string>& words) {
  std::string list;
  for (size_t i = 0; i < words.size(); ++i) list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  return CLI::Validator(
      [words, list](std::string& value) {
        if (std::find(words.begin(), words.end(), value) != words.end()) return std::string();
        return "must be " + list + ", not \"" + value + "\"";
      },
      "");
}

CLI::Validator CountFromOne() {
  return CLI::Validator(
      [](std::string& value) {
        const bool digits = !value.empty() && value.size() < 10 &&
                            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (digits && std::stoul(value) >= 1) return std::string();
        return "must be a whole number from 1 up, not \"" + value + "\"";
      },
      "");
}

const CLI::App& ChosenCommand(const CLI::App& app) {
  const CLI::App* command = &app;
  while (!command->get_subcommands().empty()) command = command->get_subcommands().back();
  return *command;
}

std::string CommandPath(const CLI::App& command) {
  std::string path = command.get_name();
  for (const CLI::App* at = command.get_parent(); at != nullptr; at = at->get_parent())
    path = at->get_name() + " " + path;
  return path;
}

namespace {

// The option a word names, in command or a parent (global options may
// follow the command); "--name=value" names --name.
const CLI::Option* FindOption(const CLI::App& command, const std::string& word) {
  const std::string name = word.substr(0, word.find('='));
  for (const CLI::App* at = &command; at != nullptr; at = at->get_parent())
    if (const CLI::Option* option = at->get_option_no_throw(name)) return option;
  return nullptr;
}

// Whether word is a cluster of known one-letter flags ("-qv").
bool IsShortFlagCluster(const CLI::App& command, const std::string& word) {
  if (word.size() < 3 || word[0] != '-' || word[1] == '-') return false;
  for (size_t i = 1; i < word.size(); ++i)
    if (!FindOption(command, std::string("-") + word[i])) return false;
  return true;
}

// The long option names usable at command: its own and its parents'.
std::vector<std::string> LongOptionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::App* at = &command; at != nullptr; at = at->get_parent())
    for (const CLI::Option* option : at->get_options())
      for (const std::string& l : option->get_lnames()) names.push_back("--" + l);
  return names;
}

std::string UnknownOptionMessage(const CLI::App& command, const std::string& word) {
  const std::string name = word.substr(0, word.find('='));
  std::string message = CommandPath(command) + ": unknown option '" + name + "'";
  const std::vector<std::string> near = Suggestions(name, LongOptionNames(command), 3);
  if (!near.empty()) return message + DidYouMean(near, "'");
  return message + "\nRun '" + CommandPath(command) + " --help' for its options.";
}

}  // namespace

std::string NearestWord(const std::string& word, const std::vector<std::string>& names) {
  const std::vector<std::string> near = Suggestions(word, names);
  return near.empty() ? std::string() : near.front();
}

std::string UnknownCommandMessage(const CLI::App& app, const std::vector<std::string>& arguments) {
  const CLI::App* command = &app;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--") return "";
    if (word.size() > 1 && word[0] == '-') {
      // A negative number is a value, not an option.
      if (word[1] >= '0' && word[1] <= '9') continue;
      if (!FindOption(*command, word) && !IsShortFlagCluster(*command, word))
        return UnknownOptionMessage(*command, word);
      if (TakesValue(*command, word)) ++i;
      continue;
    }
    if (word == "-") continue;
    if (Commands(*command).empty()) continue;  // from here on, the command's own arguments
    if (const CLI::App* sub = FindCommand(*command, word)) {
      if (sub->get_name() == "help") return "";
      command = sub;
      continue;
    }
    std::vector<std::string> names;
    for (const CLI::App* sub : Commands(*command)) names.push_back(sub->get_name());
    std::string message = CommandPath(*command) + ": unknown command '" + word + "'";
    const std::vector<std::string> near = Suggestions(word, names);
    if (!near.empty()) return message + DidYouMean(near, "'");
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return message + "; the commands are " + list;
  }
  return "";
}

std::string ParseErrorMessage(const CLI::App& app, const CLI::ParseError& error) {
  const CLI::App* command = &ChosenCommand(app);
  std::string what = error.what();
  // CLI11 says "--limit: must be ..."; the tool says "--limit must be ...".
  const size_t must = what.find(": must be ");
  if (must != std::string::npos) what.erase(must, 1);
  if (what == "A subcommand is required") {
    std::string names;
    for (const CLI::App* sub : Commands(*command)) names += (names.empty() ? "" : ", ") + sub->get_name();
    what = "which command? " + names;
  }
  return CommandPath(*command) + ": " + what + "\nRun '" + CommandPath(*command) + " --help' for its options.";
}

void ListGlobalOptionsInEveryHelp(CLI::App& app) {
  std::string text = "Global options (before or after the command):\n";
  for (const CLI::Option* option : app.get_options()) {
    if (option == app.get_help_ptr() || option->get_group().empty()) continue;
    std::string names = "  " + OptionNames(*option);
    names.resize(std::max<size_t>(names.size() + 2, 36), ' ');
    text += names + option->get_description() + "\n";
  }
  std::vector<CLI::App*> pending = app.get_subcommands([](CLI::App*) { return true; });
  while (!pending.empty()) {
    CLI::App* command = pending.back();
    pending.pop_back();
    const std::string footer = command->get_footer();
    command->footer(footer + (footer.empty() ? "" : "\n\n") + text);
    for (CLI::App* sub : command->get_subcommands([](CLI::App*) { return true; })) pending.push_back(sub);
  }
}

void AddHelpCommand(CLI::App& app, CommandLine& line) {
  auto words = std::make_shared<std::vector<std::string>>();
  CLI::App* help = app.add_subcommand("help", "Help on a command: gezhuan help task add");
  help->add_option("COMMAND", *words, "The command's words");
  help->footer("Example:\n  gezhuan help task list");
  help->callback([&app, &line, words] {
    line.action = [&app, words] {
      const CLI::App* command = &app;
      for (const std::string& word : *words) {
        command = FindCommand(*command, word);
        if (!command) UsageError("help: no command '" + word + "'; `gezhuan help` lists them");
      }
      std::cout << command->help(command->get_parent() ? CommandPath(*command->get_parent()) : "");
      return static_cast<int>(kExitOk);
    };
  });
}

}  // namespace gezhuan
