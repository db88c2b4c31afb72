// Completion offers values, not only command and option names: the fixed
// ones of --format, --fps and --sort, and those only the database knows
// (tape type and group names, task and item GUIDs), asked of the database
// that the line being completed names.
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

class CompletionValuesTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    m_bash = WriteFile("gezhuan.bash", Run({"generate", "bash"}).out);
  }

  // What bash's completion function offers for the words, the last one
  // being completed; the command word is the built tool, as a person's
  // PATH would give it.
  std::vector<std::string> Complete(const std::vector<std::string>& words) const {
    auto quoted = [](const std::string& word) {
      std::string out = "'";
      for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
      return out + "'";
    };
    std::string array = quoted(QZ_GEZHUAN_PATH);
    for (const std::string& word : words) array += " " + quoted(word);
    const std::string script = WriteFile("complete.sh", "source '" + m_bash + "'\nCOMP_WORDS=(" + array +
                                                            ")\nCOMP_CWORD=" + std::to_string(words.size()) +
                                                            "\n_gezhuan\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n");
    const std::string out = (m_dir / "completed.txt").string(), err = (m_dir / "completed.err").string();
    const std::string command = "HOME=" + (m_dir / "home").string() + " QZ_DB_SETTINGS=" + m_settings +
                                " XDG_DATA_HOME=" + (m_dir / "data").string() + " bash " + script + " >" + out + " 2>" +
                                err;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream errors(err);
    std::string line;
    EXPECT_FALSE(std::getline(errors, line)) << "completion wrote to the terminal: " << line;
    std::vector<std::string> offered;
    std::ifstream in(out);
    while (std::getline(in, line))
      if (!line.empty()) offered.push_back(line);
    return offered;
  }

  std::string m_bash;
};

using Words = std::vector<std::string>;

TEST_F(CompletionValuesTest, FixedValuesOfFormatFpsAndSort) {
  EXPECT_EQ(Complete({"--format", ""}), (Words{"table", "json", "jsonl", "csv", "tsv"}));
  EXPECT_EQ(Complete({"task", "list", "--format", "j"}), (Words{"json", "jsonl"})) << "after a command too";
  EXPECT_EQ(Complete({"task", "list", "--format", "="}), (Words{"table", "json", "jsonl", "csv", "tsv"}));
  EXPECT_EQ(Complete({"task", "list", "--format", "=", "c"}), (Words{"csv"})) << "--format=c";
  EXPECT_EQ(Complete({"--fps", ""}), (Words{"23.976", "24", "25", "29.97", "30", "50", "59.94"}));
  EXPECT_EQ(Complete({"task", "show", "--fps", "29"}), (Words{"29.97"}));
  EXPECT_EQ(Complete({"task", "list", "--sort", ""}), (Words{"name", "begin", "end", "status"}));
  // Options and commands still complete as before.
  EXPECT_EQ(Complete({"task", "list", "--for"}), (Words{"--format"}));
  EXPECT_EQ(Complete({"ta"}), (Words{"task", "tape"}));
  // The value of an option with no known values is a file name at best.
  WriteFile("base.db", "");
  EXPECT_EQ(Complete({"--database", (m_dir / "bas").string()}), (Words{(m_dir / "base.db").string()}));
}

TEST_F(CompletionValuesTest, TapeNamesAndGuidsFromTheDatabaseOnTheLine) {
  ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  // Tape names from the catalogue, in either case, escaped for the shell.
  EXPECT_EQ(Complete({"--database", m_database, "task", "add", "--from", "betacam s"}),
            (Words{"Betacam\\ SP", "Betacam\\ SX"}));
  EXPECT_EQ(Complete({"task", "list", "--database", m_database, "--to", "HDCAM"}), (Words{"HDCAM", "HDCAM\\ SR"}))
      << "--database after the command";
  EXPECT_EQ(Complete({"--database", "=", m_database, "tape", "list", "--group", "d"}), (Words{"DV"}));
  // Task and item GUIDs from what is typed, in its case.
  EXPECT_EQ(Complete({"--database", m_database, "task", "show", "5a3e0001-7c1b-4d2a-9f00-00000000000"}).size(), 5u);
  EXPECT_EQ(Complete({"--database", m_database, "task", "delete", "5A3E0001-7C1B-4D2A-9F00-0000000000"}).size(), 5u);
  EXPECT_EQ(Complete({"--database", m_database, "item", "list", "--task", "5a3e0001-7c1b-4d2a-9f00-000000000004"}),
            (Words{"5a3e0001-7c1b-4d2a-9f00-000000000004"}));
  EXPECT_EQ(Complete({"--database", m_database, "item", "show", "5A3E0001-7C1B-4D2A-9F00-00000000100"}),
            (Words{"5A3E0001-7C1B-4D2A-9F00-000000001001", "5A3E0001-7C1B-4D2A-9F00-000000001002",
                   "5A3E0001-7C1B-4D2A-9F00-000000001003", "5A3E0001-7C1B-4D2A-9F00-000000001004",
                   "5A3E0001-7C1B-4D2A-9F00-000000001005"}));
  // A new task's random GUID, from its first characters.
  const std::string added = RunDb({"-q", "task", "add", "--name", "x"}).out.substr(0, 36);
  EXPECT_EQ(Complete({"--database", m_database, "task", "edit", added.substr(0, 6)}), (Words{added}));
  // An option's value is not a GUID argument; text that is no GUID start
  // finds nothing, and no database offers nothing, without a word.
  for (const std::string& offered : Complete({"--database", m_database, "task", "edit", "--name", ""}))
    EXPECT_EQ(offered.find("5A3E0001"), std::string::npos) << offered;
  EXPECT_TRUE(Complete({"--database", m_database, "task", "show", "x' or 1=1 --"}).empty());
  EXPECT_TRUE(Complete({"--database", (m_dir / "none.db").string(), "task", "add", "--from", ""}).empty());
}

}  // namespace
}  // namespace gezhuan_test
