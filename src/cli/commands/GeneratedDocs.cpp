// `gezhuan generate bash|zsh|man`: the bash and zsh completion scripts and
// the manual page, written from the parser's own command and option
// definitions so that they can never disagree with it. The build runs this
// and `cmake --install` installs what it writes. Hidden from the help.
#include <CLI/CLI.hpp>
#include <iostream>
#include <set>

#include "cli/session/CommandLineHabits.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"

namespace gezhuan {

namespace {

std::vector<const CLI::App*> Commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); });
}

std::vector<std::string> OptionWords(const CLI::App& command) {
  std::vector<std::string> words;
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_group().empty() || option == command.get_help_ptr()) continue;
    for (const std::string& l : option->get_lnames()) words.push_back("--" + l);
    for (const std::string& s : option->get_snames()) words.push_back("-" + s);
  }
  return words;
}

// Every command, parents before children, with the words that may follow it.
struct CompletionEntry {
  std::string path;  // "task list" ("" for the tool itself)
  std::vector<std::string> words;
};

void CollectEntries(const CLI::App& command, const std::string& path, const std::vector<std::string>& global,
                    std::vector<CompletionEntry>* entries) {
  CompletionEntry entry{path, global};
  for (const CLI::App* sub : Commands(command)) entry.words.push_back(sub->get_name());
  if (!path.empty())
    for (const std::string& word : OptionWords(command)) entry.words.push_back(word);
  entries->push_back(entry);
  for (const CLI::App* sub : Commands(command))
    CollectEntries(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), global, entries);
}

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
}

// The command names, so that a script can tell them from option values.
std::string CommandNames(const std::vector<CompletionEntry>& entries) {
  std::set<std::string> names;
  for (const CompletionEntry& entry : entries) {
    const size_t space = entry.path.rfind(' ');
    if (!entry.path.empty()) names.insert(space == std::string::npos ? entry.path : entry.path.substr(space + 1));
  }
  return Joined(std::vector<std::string>(names.begin(), names.end()));
}

void WriteBash(const std::vector<CompletionEntry>& entries) {
  std::cout << "# bash completion for gezhuan (written by `gezhuan generate bash`)\n"
               "_gezhuan() {\n"
               "  local cur=${COMP_WORDS[COMP_CWORD]} path= w words\n"
               "  local commands=\" "
            << CommandNames(entries)
            << " \"\n"
               "  for w in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
               "    [[ $commands == *\" $w \"* ]] && path=\"${path:+$path }$w\"\n"
               "  done\n"
               "  case \"$path\" in\n";
  for (const CompletionEntry& entry : entries)
    std::cout << "    \"" << entry.path << "\") words=\"" << Joined(entry.words) << "\" ;;\n";
  std::cout << "    *) words= ;;\n"
               "  esac\n"
               "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
               "  [[ ${#COMPREPLY[@]} -eq 0 ]] && COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "}\n"
               "complete -F _gezhuan gezhuan\n";
}

void WriteZsh(const std::vector<CompletionEntry>& entries) {
  std::cout << "#compdef gezhuan\n"
               "# zsh completion for gezhuan (written by `gezhuan generate zsh`)\n"
               "_gezhuan() {\n"
               "  local path_= w\n"
               "  local -a words_\n"
               "  local commands_=\" "
            << CommandNames(entries)
            << " \"\n"
               "  for w in ${words[2,CURRENT-1]}; do\n"
               "    [[ $commands_ == *\" $w \"* ]] && path_=\"${path_:+$path_ }$w\"\n"
               "  done\n"
               "  case \"$path_\" in\n";
  for (const CompletionEntry& entry : entries)
    std::cout << "    \"" << entry.path << "\") words_=(" << Joined(entry.words) << ") ;;\n";
  std::cout << "  esac\n"
               "  compadd -- $words_ || _files\n"
               "}\n"
               "_gezhuan \"$@\"\n";
}

// Roff text: a leading dot or quote would start a request, a backslash an
// escape.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
  return out;
}

void WriteOptions(const CLI::App& command) {
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_group().empty() || option == command.get_help_ptr()) continue;
    std::string names;
    for (const std::string& s : option->get_snames()) names += (names.empty() ? "-" : ", -") + s;
    for (const std::string& l : option->get_lnames()) names += (names.empty() ? "--" : ", --") + l;
    if (names.empty()) names = option->get_name();
    if (option->get_type_size_max() > 0 && option->nonpositional()) names += " " + option->get_type_name();
    std::cout << ".TP\n.B " << Roff(names) << "\n" << Roff(option->get_description()) << "\n";
  }
}

void WriteManCommands(const CLI::App& command) {
  for (const CLI::App* sub : Commands(command)) {
    if (Commands(*sub).empty()) {
      std::cout << ".SS " << Roff(CommandPath(*sub)) << "\n" << Roff(sub->get_description()) << "\n";
      WriteOptions(*sub);
      std::string footer = sub->get_footer();
      const size_t global = footer.find("\n\nGlobal options");
      if (global != std::string::npos) footer.resize(global);
      if (!footer.empty()) std::cout << ".PP\n.nf\n" << Roff(footer) << "\n.fi\n";
    }
    WriteManCommands(*sub);
  }
}

void WriteMan(const CLI::App& app) {
  std::cout << ".TH GEZHUAN 1 \"\" \"gezhuan\" \"User Commands\"\n"
               ".SH NAME\ngezhuan \\- "
            << Roff(app.get_description().substr(app.get_description().find(" - ") + 3))
            << "\n.SH SYNOPSIS\n.B gezhuan\n[\\fIGLOBAL OPTIONS\\fR] \\fICOMMAND\\fR [\\fIOPTIONS\\fR]\n"
               ".SH GLOBAL OPTIONS\n";
  WriteOptions(app);
  std::cout << ".SH COMMANDS\n";
  WriteManCommands(app);
  std::cout << ".SH EXIT STATUS\n0 done, 1 failed or nothing found, 2 usage error.\n"
               ".br\n130 interrupted by Ctrl-C (an import first says what it committed).\n"
               ".SH ENVIRONMENT\n"
               ".TP\n.B QZ_DB_SETTINGS\nThe settings file (default $XDG_CONFIG_HOME/qz/dbsettings.ini).\n"
               ".TP\n.B XDG_DATA_HOME\nWhere the default database lives (qz/gezhuan.db).\n"
               ".TP\n.B NO_COLOR\nRespected: gezhuan writes no colour.\n";
}

}  // namespace

void AddGenerateCommand(CLI::App& app, CommandLine& line) {
  auto what = std::make_shared<std::string>();
  CLI::App* generate = app.add_subcommand("generate", "Write a completion script or the manual page");
  generate->group("");  // hidden: the build uses it
  generate->add_option("WHAT", *what, "bash, zsh or man")->required()->check(OneOf({"bash", "zsh", "man"}));
  generate->callback([&app, &line, what] {
    line.action = [&app, what] {
      std::vector<std::string> global;
      for (const CLI::Option* option : app.get_options())
        if (!option->get_group().empty())
          for (const std::string& l : option->get_lnames()) global.push_back("--" + l);
      std::vector<CompletionEntry> entries;
      CollectEntries(app, "", {}, &entries);
      for (CompletionEntry& entry : entries) entry.words.insert(entry.words.end(), global.begin(), global.end());
      if (*what == "bash") WriteBash(entries);
      if (*what == "zsh") WriteZsh(entries);
      if (*what == "man") WriteMan(app);
      return static_cast<int>(kExitOk);
    };
  });
}

}  // namespace gezhuan
