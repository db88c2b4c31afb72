// `gezhuan generate bash|zsh|man`: the bash and zsh completion scripts and
// the manual page, written from the parser's own command and option
// definitions so that they can never disagree with it. The build runs this
// and `cmake --install` installs what it writes. Hidden from the help.
#include <CLI/CLI.hpp>
#include <algorithm>
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

// What completes an option's value: "@tapes", "@groups", "@tasks" or
// "@items" (looked up in the database by `gezhuan complete`), the words of
// a type name "a|b|c", or "" for nothing. path: the command's words.
std::string ValueSpec(const CLI::Option& option, const std::string& path) {
  std::string type = option.get_type_name();
  if (type.find('|') != std::string::npos) {
    std::replace(type.begin(), type.end(), '|', ' ');
    return type;
  }
  if (type == "TAPE") return "@tapes";
  if (type == "GROUP") return "@groups";
  if (type == "GUID" && option.check_lname("task")) return "@tasks";
  if (type == "GUID" && option.check_lname("item")) return "@items";
  const std::string record = path.substr(0, path.find(' '));
  if (!option.nonpositional() && option.get_name() == "GUID" && (record == "task" || record == "item"))
    return "@" + record + "s";
  return "";
}

// Every command, parents before children, with the words that may follow it
// and what completes the values of its options and arguments.
struct CompletionEntry {
  std::string path;  // "task list" ("" for the tool itself)
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::string>> values;  // option word, ValueSpec
  std::string arguments;                                    // ValueSpec of the arguments
};

void CollectEntries(const CLI::App& command, const std::string& path, const std::vector<std::string>& global,
                    std::vector<CompletionEntry>* entries) {
  CompletionEntry entry{path, global, {}, ""};
  for (const CLI::App* sub : Commands(command)) entry.words.push_back(sub->get_name());
  if (!path.empty())
    for (const std::string& word : OptionWords(command)) entry.words.push_back(word);
  for (const CLI::Option* option : command.get_options()) {
    const std::string valueText = ValueSpec(*option, path);
    if (valueText.empty()) continue;
    if (!option->nonpositional()) entry.arguments = valueText;
    for (const std::string& l : option->get_lnames()) entry.values.emplace_back("--" + l, valueText);
  }
  entries->push_back(entry);
  for (const CLI::App* sub : Commands(command))
    CollectEntries(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), global, entries);
}

// The options that take a value, of every command: the word after one is
// that value, not an argument.
std::string ValuedOptions(const CLI::App& app) {
  std::set<std::string> words;
  std::vector<const CLI::App*> pending{&app};
  while (!pending.empty()) {
    const CLI::App* command = pending.back();
    pending.pop_back();
    for (const CLI::Option* option : command->get_options())
      if (option->nonpositional() && option->get_type_size_max() > 0 && option->get_expected_max() > 0) {
        for (const std::string& l : option->get_lnames()) words.insert("--" + l);
        for (const std::string& s : option->get_snames()) words.insert("-" + s);
      }
    for (const CLI::App* sub : Commands(*command)) pending.push_back(sub);
  }
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
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

// The case patterns "path|option" that choose what completes a value; the
// tool's own options (path "") apply after any command.
std::vector<std::pair<std::string, std::string>> ValuePatterns(const std::vector<CompletionEntry>& entries) {
  std::vector<std::pair<std::string, std::string>> patterns, global;
  for (const CompletionEntry& entry : entries)
    for (const auto& value : entry.values)
      (entry.path.empty() ? global : patterns)
          .emplace_back(entry.path.empty() ? "*\"|" + value.first + "\"" : "\"" + entry.path + "|" + value.first + "\"",
                        value.second);
  patterns.insert(patterns.end(), global.begin(), global.end());
  return patterns;
}

void WriteBash(const std::vector<CompletionEntry>& entries, const std::string& valued) {
  std::cout << "# bash completion for gezhuan (written by `gezhuan generate bash`)\n"
               "# Values only the database knows come from `gezhuan complete KIND START`, asked\n"
               "# of the database the line being completed names with --database or --setting.\n"
               "_gezhuan_from_database() {\n"
               "  local -a db=()\n"
               "  local i next\n"
               "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
               "    case ${COMP_WORDS[i]} in\n"
               "      --database | --setting)\n"
               "        next=${COMP_WORDS[i + 1]}\n"
               "        [[ $next == = ]] && next=${COMP_WORDS[i + 2]}\n"
               "        db+=(\"${COMP_WORDS[i]}\" \"${next/#\\~/$HOME}\") ;;\n"
               "    esac\n"
               "  done\n"
               "  \"${COMP_WORDS[0]/#\\~/$HOME}\" \"${db[@]}\" complete \"$@\" 2>/dev/null </dev/null\n"
               "}\n"
               "_gezhuan() {\n"
               "  local cur=${COMP_WORDS[COMP_CWORD]} prev= path= w words values v\n"
               "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
               "  # --format=csv: the shell splits the word at the '='.\n"
               "  if [[ $cur == = ]]; then\n"
               "    cur=\n"
               "  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
               "    prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
               "  fi\n"
               "  local commands=\" "
            << CommandNames(entries) << " \"\n  local valued=\" " << valued
            << " \"\n"
               "  for w in \"${COMP_WORDS[@]:1:COMP_CWORD-1}\"; do\n"
               "    [[ $commands == *\" $w \"* ]] && path=\"${path:+$path }$w\"\n"
               "  done\n"
               "  case \"$path\" in\n";
  for (const CompletionEntry& entry : entries)
    std::cout << "    \"" << entry.path << "\") words=\"" << Joined(entry.words) << "\" ;;\n";
  std::cout << "    *) words= ;;\n"
               "  esac\n"
               "  case \"$path|$prev\" in\n";
  for (const auto& pattern : ValuePatterns(entries))
    std::cout << "    " << pattern.first << ") values=\"" << pattern.second << "\" ;;\n";
  std::cout << "  esac\n"
               "  if [[ -z $values && $cur != -* && $valued != *\" $prev \"* ]]; then\n"
               "    case \"$path\" in\n";
  for (const CompletionEntry& entry : entries)
    if (!entry.arguments.empty())
      std::cout << "      \"" << entry.path << "\") values=\"" << entry.arguments << "\" ;;\n";
  std::cout << "    esac\n"
               "  fi\n"
               "  COMPREPLY=()\n"
               "  if [[ $values == @* ]]; then\n"
               "    # Names match in either case; what is typed may hold the shell's escapes.\n"
               "    local typed=${cur//\\\\/}\n"
               "    typed=${typed#[\\\"\\']}\n"
               "    while IFS= read -r v; do\n"
               "      [[ ${v,,} == \"${typed,,}\"* ]] && COMPREPLY+=(\"$(printf '%q' \"$v\")\")\n"
               "    done < <(_gezhuan_from_database \"${values#@}\" \"$typed\")\n"
               "    return 0\n"
               "  fi\n"
               "  if [[ -n $values ]]; then\n"
               "    COMPREPLY=($(compgen -W \"$values\" -- \"$cur\"))\n"
               "    return 0\n"
               "  fi\n"
               "  # Any other option's value: a file name is the best guess (--database, --items).\n"
               "  [[ $valued == *\" $prev \"* ]] && words=\n"
               "  COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
               "  [[ ${#COMPREPLY[@]} -eq 0 ]] && COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "  return 0\n"
               "}\n"
               "complete -F _gezhuan gezhuan\n";
}

void WriteZsh(const std::vector<CompletionEntry>& entries, const std::string& valued) {
  std::cout << "#compdef gezhuan\n"
               "# zsh completion for gezhuan (written by `gezhuan generate zsh`)\n"
               "_gezhuan() {\n"
               "  local path_= w prev_=${words[CURRENT-1]} values_= i\n"
               "  local -a words_ found_ db_\n"
               "  local commands_=\" "
            << CommandNames(entries) << " \"\n  local valued_=\" " << valued
            << " \"\n"
               "  for w in ${words[2,CURRENT-1]}; do\n"
               "    [[ $commands_ == *\" $w \"* ]] && path_=\"${path_:+$path_ }$w\"\n"
               "  done\n"
               "  case \"$path_\" in\n";
  for (const CompletionEntry& entry : entries)
    std::cout << "    \"" << entry.path << "\") words_=(" << Joined(entry.words) << ") ;;\n";
  std::cout << "  esac\n"
               "  case \"$path_|$prev_\" in\n";
  for (const auto& pattern : ValuePatterns(entries))
    std::cout << "    " << pattern.first << ") values_=\"" << pattern.second << "\" ;;\n";
  std::cout << "  esac\n"
               "  if [[ -z $values_ && $PREFIX != -* && $valued_ != *\" $prev_ \"* ]]; then\n"
               "    case \"$path_\" in\n";
  for (const CompletionEntry& entry : entries)
    if (!entry.arguments.empty())
      std::cout << "      \"" << entry.path << "\") values_=\"" << entry.arguments << "\" ;;\n";
  std::cout
      << "    esac\n"
         "  fi\n"
         "  if [[ $values_ == @* ]]; then\n"
         "    for ((i = 2; i < CURRENT - 1; i++)); do\n"
         "      [[ ${words[i]} == --database || ${words[i]} == --setting ]] && db_+=(${words[i]} ${~words[i+1]})\n"
         "    done\n"
         "    found_=(\"${(@f)$(${~words[1]} $db_ complete ${values_#@} \"$PREFIX\" 2>/dev/null </dev/null)}\")\n"
         "    compadd -M 'm:{a-zA-Z}={A-Za-z}' -- ${found_:#}\n"
         "    return\n"
         "  fi\n"
         "  if [[ -n $values_ ]]; then\n"
         "    compadd -- ${=values_}\n"
         "    return\n"
         "  fi\n"
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
  std::cout << ".SH EXIT STATUS\n"
               ".TP\n.B 0\nDone. A listing or count that finds nothing is done too: it prints an empty listing "
               "(or 0), as a script expects of a query.\n"
               ".TP\n.B 1\nFailed, or what the command names (a task, an item, a tape type or group, a GUID "
               "start) does not exist.\n"
               ".TP\n.B 2\nUsage error: an unknown command or option, or a value of the wrong form.\n"
               ".TP\n.B 130\nInterrupted by Ctrl-C (an import first says what it committed).\n"
               ".SH ENVIRONMENT\n"
               ".TP\n.B QZ_DB_SETTINGS\nThe settings file (default $XDG_CONFIG_HOME/qz/dbsettings.ini).\n"
               ".TP\n.B GEZHUAN_FPS\nThe frame rate of timecode when --fps is not given.\n"
               ".TP\n.B XDG_DATA_HOME\nWhere the default database lives (qz/gezhuan.db).\n"
               ".TP\n.B XDG_CONFIG_HOME\nWhere the configuration file lives (qz/gezhuan.conf, default "
               "~/.config/qz/gezhuan.conf): lines key = value, # starts a comment; fps = RATE gives the frame "
               "rate when neither --fps nor GEZHUAN_FPS does. An unknown key or bad value is an error.\n"
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
      if (*what == "bash") WriteBash(entries, ValuedOptions(app));
      if (*what == "zsh") WriteZsh(entries, ValuedOptions(app));
      if (*what == "man") WriteMan(app);
      return static_cast<int>(kExitOk);
    };
  });
}

}  // namespace gezhuan
