// Tables for people: the shortest unique start of each GUID (at least 8
// characters, as git shortens hashes), whole GUIDs with --wide and in every
// machine form, columns chosen by --columns, and a terminal's width met by
// cutting the text columns rather than losing the columns after them.
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class TableLayoutTest : public EngineToolTest {};

TEST_P(TableLayoutTest, ShortUniqueGuidsWideAndChosenColumns) {
  // Two tasks sharing their first 15 characters, one alone.
  const std::string pair1 = "ABCDEF01-1111-4111-8111-111111111111", pair2 = "ABCDEF01-1111-4222-8222-222222222222";
  const std::string alone = "12345678-AAAA-4AAA-8AAA-AAAAAAAAAAAA";
  json tasks = json::array();
  tasks.push_back({{"guidTaskID", pair1}, {"strTaskName", "pair 1"}});
  tasks.push_back({{"guidTaskID", pair2}, {"strTaskName", "pair 2"}});
  tasks.push_back({{"guidTaskID", alone}, {"strTaskName", "alone"}});
  ASSERT_EQ(Tool({"task", "import", WriteFile("t.json", tasks.dump())}).status, 0);

  // Only one of the pair is listed: its start must still tell it from the other.
  const ToolResult listed = Tool({"task", "list", "--name", "pair 1", "--columns", "guid,Name"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::vector<std::string> lines = Lines(listed.out);
  ASSERT_EQ(lines.size(), 3u) << listed.out;
  EXPECT_EQ(lines[0], "GUID              NAME");
  EXPECT_EQ(lines[2], "ABCDEF01-1111-41  pair 1");
  EXPECT_EQ(Lines(Tool({"task", "list", "--name", "alone", "--columns", "guid"}).out).at(2), "12345678");
  EXPECT_EQ(Tool({"task", "show", "ABCDEF01-1111-41"}).status, 0) << "what a table shows names the task";

  EXPECT_EQ(Lines(Tool({"--wide", "task", "list", "--name", "alone", "--columns", "guid"}).out).at(2), alone);
  EXPECT_EQ(Tool({"--format", "csv", "--no-header", "task", "list", "--name", "alone", "--columns", "guid"}).out,
            alone + "\n");
  EXPECT_EQ(json::parse(Tool({"--json", "task", "list", "--name", "alone"}).out)[0]["guidTaskID"], alone);
  EXPECT_EQ(Tool({"--format", "tsv", "task", "list", "--name", "alone", "--columns", "name,begin"}).out,
            "NAME\tBEGIN\nalone\t1900-01-01 01:01:01\n");

  const ToolResult unknown = Tool({"task", "list", "--columns", "guid,nmae"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("no column \"NMAE\"; did you mean NAME?"), std::string::npos) << unknown.err;
  EXPECT_EQ(Tool({"task", "list", "--columns", ""}).status, 2);
}

TEST_P(TableLayoutTest, TablesFitTheTerminalByCuttingTextColumns) {
  if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) to give the tool a terminal";
  const std::string name = "A very long task name that a terminal of eighty columns cannot show whole";
  ASSERT_EQ(
      Tool({"task", "add", "--name", name, "--from", "Betacam SP", "--to", "HDCAM", "--begin", "2024-07-01T09:30"})
          .status,
      0);
  // The tool as a person's terminal would run it, through the same
  // settings file or database the other runs use.
  const std::string out = (m_dir / "terminal.txt").string();
  const std::string target = OnServer() ? "" : " --database " + m_database;
  const std::string command = "HOME=" + (m_dir / "home").string() + " QZ_DB_SETTINGS=" + m_settings +
                              " COLUMNS=80 script -qec '" + std::string(QZ_GEZHUAN_PATH) + target +
                              " task list --name long' /dev/null </dev/null >" + out;
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    EXPECT_LE(Columns(line), 80) << line;
    lines.push_back(line);
  }
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("BEGIN"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("ITEMS"), std::string::npos) << lines[0];
  EXPECT_NE(lines[2].find("2024-07-01 09:30:00"), std::string::npos) << "the begin date is kept whole: " << lines[2];
  EXPECT_NE(lines[2].find("A very"), std::string::npos) << lines[2];
  EXPECT_EQ(lines[2].find(name), std::string::npos) << "the name is cut: " << lines[2];
  EXPECT_NE(lines[2].find("\u2026  "), std::string::npos) << "the name is cut: " << lines[2];
  // Not a terminal: whole values.
  EXPECT_NE(Tool({"task", "list", "--name", "long"}).out.find(name), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Engines, TableLayoutTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
