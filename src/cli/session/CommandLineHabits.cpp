#include "cli/session/CommandLineHabits.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"

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

// Levenshtein distance, for suggestions.
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
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

std::string NearestWord(const std::string& word, const std::vector<std::string>& names) {
  std::string best;
  size_t bestDistance = 3, starts = 0;
  std::string started;
  for (const std::string& name : names) {
    const size_t d = Distance(word, name);
    if (d < bestDistance) {
      best = name;
      bestDistance = d;
    }
    if (name.rfind(word, 0) == 0) {
      ++starts;
      started = name;
    }
  }
  if (best.empty() && starts == 1) best = started;
  return best;
}

std::string UnknownCommandMessage(const CLI::App& app, const std::vector<std::string>& arguments) {
  const CLI::App* command = &app;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word == "--") return "";
    if (!word.empty() && word[0] == '-') {
      if (TakesValue(*command, word)) ++i;
      continue;
    }
    if (Commands(*command).empty()) return "";  // from here on, the command's own arguments
    if (const CLI::App* sub = FindCommand(*command, word)) {
      if (sub->get_name() == "help") return "";
      command = sub;
      continue;
    }
    std::vector<std::string> commands;
    for (const CLI::App* sub : Commands(*command)) commands.push_back(sub->get_name());
    const std::string best = NearestWord(word, commands);
    std::string message = CommandPath(*command) + ": unknown command '" + word + "'";
    if (!best.empty()) return message + "; did you mean '" + best + "'?";
    std::string names;
    for (const CLI::App* sub : Commands(*command)) names += (names.empty() ? "" : ", ") + sub->get_name();
    return message + "; the commands are " + names;
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
