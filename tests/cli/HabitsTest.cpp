// The habits of a command-line tool: --version, `help COMMAND`, a
// suggestion for a mistyped command, parse errors that name their command,
// global options in every help, listings cut to a terminal's width (and
// only on a terminal), and completion scripts and a manual page that know
// every command.
#include <cstdlib>
#include <fstream>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

class HabitsTest : public ToolTest {};

TEST_F(HabitsTest, VersionHelpAndMistypedCommands) {
  const ToolResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("gezhuan ", 0), 0u) << version.out;

  const ToolResult help = Run({"help", "task", "add"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out, Run({"task", "add", "--help"}).out);
  EXPECT_NE(help.out.find("Global options"), std::string::npos);
  EXPECT_NE(help.out.find("--database PATH"), std::string::npos) << "global options in a command's help";
  EXPECT_EQ(Run({"help", "task", "nonsense"}).status, 2);

  const ToolResult lsit = Run({"--database", m_database, "task", "lsit"});
  EXPECT_EQ(lsit.status, 2);
  EXPECT_EQ(lsit.err, "gezhuan task: unknown command 'lsit'; did you mean 'list'?\n");
  EXPECT_EQ(Run({"tsak", "list"}).err, "gezhuan: unknown command 'tsak'; did you mean 'task'?\n");
  EXPECT_NE(Run({"task", "zzzzzz"}).err.find("the commands are list, count"), std::string::npos);
  EXPECT_EQ(Run({"--fps", "30", "task", "list", "--name", "lsit"}).err.find("unknown command"), std::string::npos)
      << "option values are not commands";
}

TEST_F(HabitsTest, ParseAndUsageErrorsNameTheirCommand) {
  const ToolResult limit = Run({"task", "list", "--limit", "0"});
  EXPECT_EQ(limit.status, 2);
  EXPECT_EQ(limit.err.rfind("gezhuan task list: --limit must be a whole number from 1 up, not \"0\"\n", 0), 0u)
      << limit.err;
  const ToolResult format = Run({"--format", "xml", "status"});
  EXPECT_NE(format.err.find("--format must be table, json, jsonl, csv or tsv, not \"xml\""), std::string::npos)
      << format.err;
  ASSERT_EQ(RunDb({"init"}).status, 0);
  const ToolResult duration = RunDb({"task", "add", "--name", "x", "--duration", "00:00:00:25"});
  EXPECT_EQ(duration.status, 2);
  EXPECT_EQ(duration.err.rfind("gezhuan task add: --duration: ", 0), 0u) << duration.err;
}

TEST_F(HabitsTest, ListingsAreCutToTheTerminalWidthOnlyOnATerminal) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) to give the tool a terminal";
  ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  const std::string out = (m_dir / "terminal.txt").string();
  const std::string command = "COLUMNS=50 script -qec '" + std::string(QZ_GEZHUAN_PATH) + " --database " + m_database +
                              " task list' /dev/null </dev/null >" + out;
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(out);
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_LE(Columns(line), 50) << line;
    EXPECT_EQ(line.substr(line.size() - 3), "\u2026") << line;
  }
  EXPECT_EQ(lines, 7);
  for (const std::string& line : Lines(RunDb({"task", "list"}).out))
    EXPECT_EQ(line.find("\u2026"), std::string::npos) << "a file gets whole lines: " << line;
}

TEST_F(HabitsTest, CompletionAndManualPageKnowEveryCommand) {
  const std::string bash = WriteFile("gezhuan.bash", Run({"generate", "bash"}).out);
  auto complete = [&](const std::string& words, int current) {
    const std::string out = (m_dir / "completed.txt").string();
    const std::string command = "bash -c 'source " + bash + "; COMP_WORDS=(" + words +
                                "); COMP_CWORD=" + std::to_string(current) + "; _gezhuan; echo \"${COMPREPLY[*]}\"' >" +
                                out;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    return line;
  };
  EXPECT_EQ(complete("gezhuan ta", 1), "task tape");
  EXPECT_EQ(complete("gezhuan --fps 30 task se", 4), "set-status");
  EXPECT_EQ(complete("gezhuan task list --so", 3), "--sort");

  const ToolResult zsh = Run({"generate", "zsh"});
  EXPECT_EQ(zsh.out.rfind("#compdef gezhuan\n", 0), 0u);
  EXPECT_NE(zsh.out.find("\"item edit\") words_=("), std::string::npos);

  const ToolResult man = Run({"generate", "man"});
  EXPECT_EQ(man.status, 0);
  for (const char* command : {".SS gezhuan task set\\-status", ".SS gezhuan tape import", ".SS gezhuan settings set",
                              ".B \\-\\-fps 23.976|24|25|29.97|30|50|59.94"})
    EXPECT_NE(man.out.find(command), std::string::npos) << command;
  EXPECT_EQ(Run({"--help"}).out.find("generate"), std::string::npos) << "hidden from the help";
}

}  // namespace
}  // namespace gezhuan_test
