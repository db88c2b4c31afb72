#include "cli/terminal/TerminalDialog.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "cli/formats/Table.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/HostBridge.h"
#include "cli/terminal/EchoOff.h"
#include "cli/terminal/TerminalText.h"
#include "cli/terminal/Text.h"
#include "cli/terminal/Wrap.h"

namespace gezhuan {

namespace {

class Dialog {
 public:
  Dialog(std::vector<DBsSetNode>& settings, std::istream& in, std::ostream& out, bool terminal, int columns)
      : m_settings(settings), m_in(in), m_out(out), m_terminal(terminal), m_columns(columns) {}

  int Run() {
    for (;;) {
      ShowList();
      std::string answer;
      if (!Ask("Setting to edit (1-" + std::to_string(m_settings.size()) + "), s to save, q to cancel: ", &answer))
        return Cancelled("input ended");
      answer = TrimAscii(answer);
      if (answer == "s" || answer == "save") return Save();
      if (answer == "q" || answer == "quit" || answer == "cancel") return Cancelled("cancelled");
      const size_t pick = Pick(answer);
      if (pick == 0) {
        Say("  please answer with a number from 1 to " + std::to_string(m_settings.size()) + ", s or q\n");
        continue;
      }
      if (!Edit(m_settings[pick - 1])) return Cancelled("input ended");
    }
  }

 private:
  // A setting's number, or its name; 0 when neither.
  size_t Pick(const std::string& answer) const {
    for (size_t i = 0; i < m_settings.size(); ++i)
      if (answer == std::to_string(i + 1) || FromUtf8(answer) == m_settings[i].strSettingName) return i + 1;
    return 0;
  }

  // text, its long lines broken at word boundaries to the terminal's width;
  // text not ending in a line break is a prompt, its last line left open.
  void Say(const std::string& text) {
    std::istringstream lines(text);
    bool first = true;
    for (std::string line; std::getline(lines, line); first = false) {
      if (!first) m_out << '\n';
      const std::vector<std::wstring> wrapped = WrapToColumns(FromUtf8(line), m_columns);
      for (size_t i = 0; i < wrapped.size(); ++i) m_out << (i ? "\n" : "") << ToUtf8(wrapped[i]);
    }
    if (!text.empty() && text.back() == '\n') m_out << '\n';
    m_out << std::flush;
  }

  static int Widest(const std::string& text) {
    std::istringstream lines(text);
    int widest = 0;
    for (std::string line; std::getline(lines, line);) widest = std::max(widest, DisplayWidth(FromUtf8(line)));
    return widest;
  }

  void ShowList() {
    Say("\nConnection settings (" + host::SettingsFile() + "):\n");
    Table table({L"#", L"NAME", L"CAPTION", L"DATABASE"});
    for (size_t i = 0; i < m_settings.size(); ++i) {
      const DBsSetNode& node = m_settings[i];
      table.AddRow({std::to_wstring(i + 1), node.strSettingName, node.strCaption,
                    IsComplete(node) ? FromUtf8(DescribeNode(node)) : L"(incomplete)"});
    }
    std::ostringstream printed;
    table.Print(printed);
    if (m_columns <= 0 || Widest(printed.str()) <= m_columns) {
      m_out << printed.str();
      return;
    }
    // Too narrow for the table: each setting on lines of its own.
    for (size_t i = 0; i < m_settings.size(); ++i) {
      const DBsSetNode& node = m_settings[i];
      Say(std::to_string(i + 1) + "  " + ToUtf8(EscapeControls(node.strSettingName)) + "\n   " +
          ToUtf8(EscapeControls(node.strCaption)) + "\n   " +
          (IsComplete(node) ? ToUtf8(EscapeControls(FromUtf8(DescribeNode(node)))) : "(incomplete)") + '\n');
    }
  }

  bool Ask(const std::string& prompt, std::string* answer, bool secret = false) {
    Say(prompt);
    bool ok;
    if (secret && m_terminal) {
      EchoOff quiet;
      ok = static_cast<bool>(std::getline(m_in, *answer));
      m_out << '\n';
    } else {
      ok = static_cast<bool>(std::getline(m_in, *answer));
    }
    if (ok && !answer->empty() && answer->back() == '\r') answer->pop_back();
    // Answers from a pipe are not echoed by a terminal: show them, so that
    // a scripted session reads like a typed one.
    if (ok && !m_terminal) m_out << (secret && !answer->empty() ? "********" : *answer) << '\n';
    return ok;
  }

  // One text of a setting: Enter keeps it, "-" empties it.
  bool AskText(const std::string& label, std::wstring& field, bool secret = false) {
    const std::string shown = secret ? (field.empty() ? "" : "********") : ToUtf8(EscapeControls(field));
    std::string answer;
    for (;;) {
      std::string typed;
      if (!Ask("  " + label + " [" + shown + "]: ", &typed, secret)) return false;
      if (TerminalTextToUtf8(typed, &answer)) break;
      Say("  that is not " + TerminalCharset() + " text; type it again\n");
    }
    if (answer == "-")
      field.clear();
    else if (!TrimAscii(answer).empty())
      field = FromUtf8(secret ? answer : TrimAscii(answer));
    return true;
  }

  bool Edit(DBsSetNode& node) {
    Say("Editing " + ToUtf8(node.strSettingName) + " (Enter keeps a value, - empties it)\n");
    for (;;) {
      std::string answer;
      if (!Ask("  Engine: sqlite, postgresql or odbc [" + EngineName(node.nDBType) + "]: ", &answer)) return false;
      answer = TrimAscii(answer);
      if (answer.empty()) break;
      if (answer == "sqlite" || answer == "0") {
        node.nDBType = 0;
        break;
      }
      if (answer == "postgresql" || answer == "2") {
        node.nDBType = 2;
        break;
      }
      if (answer == "odbc" || answer == "4") {
        node.nDBType = 4;
        break;
      }
      Say("  please answer sqlite, postgresql or odbc\n");
    }
    if (IsEmbedded(node)) {
      return AskText("Folder of the database file", node.strConnect1) && AskText("File name", node.strConnect2);
    }
    const bool odbc = node.nDBType == 4;
    return AskText(odbc ? "DSN or connection string" : "Host, host:port or socket folder", node.strConnect1) &&
           AskText("Database", node.strConnect2) && AskText("User", node.strConnect3) &&
           AskText("Password", node.strConnect4, true);
  }

  int Save() {
    std::string error;
    if (!host::SaveSettings(m_settings, &error)) {
      Say("The settings could not be saved: " + error + '\n');
      return 2;
    }
    Say("Saved to " + host::SettingsFile() + ".\n");
    return 1;
  }

  int Cancelled(const std::string& why) {
    Say("\nNothing saved (" + why + ").\n");
    return 2;
  }

  std::vector<DBsSetNode>& m_settings;
  std::istream& m_in;
  std::ostream& m_out;
  bool m_terminal;
  int m_columns;
};

}  // namespace

std::string EngineName(int kind) {
  switch (kind) {
    case 2:
      return "postgresql";
    case 4:
      return "odbc";
    case 8:
    case 16:
    case 32:
      return "kind " + std::to_string(kind);
    default:
      return "sqlite";
  }
}

int RunTerminalDialog(std::vector<DBsSetNode>& settings, std::istream& in, std::ostream& out, bool terminal,
                      int columns) {
  return Dialog(settings, in, out, terminal, columns).Run();
}

}  // namespace gezhuan
