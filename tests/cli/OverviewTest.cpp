// gezhuan alone, status, init and the exit statuses a script relies on.
#include <filesystem>
#include <nlohmann/json.hpp>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class OverviewTest : public ToolTest {};

TEST_F(OverviewTest, InitCreatesTheDefaultDatabaseWithItsFolderAndIsIdempotent) {
  const fs::path expected = m_dir / "data" / "qz" / "gezhuan.db";
  ToolResult bare = Run({});
  EXPECT_EQ(bare.status, 0) << bare.err;
  EXPECT_NE(bare.out.find(expected.string()), std::string::npos) << bare.out;
  EXPECT_NE(bare.out.find("gezhuan init"), std::string::npos) << bare.out;
  EXPECT_NE(bare.out.find("task list"), std::string::npos) << "the command list follows the status";
  EXPECT_FALSE(fs::exists(expected)) << "looking must not create the file";
  EXPECT_EQ(Run({"status"}).status, 1);

  ToolResult init = Run({"init"});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_TRUE(fs::exists(expected));
  ASSERT_EQ(Run({"init"}).status, 0) << "init twice";

  ToolResult status = Run({"--json", "status"});
  ASSERT_EQ(status.status, 0) << status.err;
  const json counts = json::parse(status.out);
  EXPECT_EQ(counts["database"], "sqlite " + expected.string());
  EXPECT_EQ(counts["tasks"], 0);
  EXPECT_EQ(counts["items"], 0);
  EXPECT_EQ(counts["tapeGroups"], 0);
  EXPECT_EQ(counts["tapeTypes"], 0);
}

TEST_F(OverviewTest, WithoutXdgDataHomeTheDatabaseIsUnderHome) {
  m_unset = {"XDG_DATA_HOME"};
  ASSERT_EQ(Run({"init"}).status, 0);
  EXPECT_TRUE(fs::exists(m_dir / "home" / ".local" / "share" / "qz" / "gezhuan.db"));
}

TEST_F(OverviewTest, CommandsOtherThanInitDoNotCreateAMissingFile) {
  const std::string missing = (m_dir / "typo.db").string();
  EXPECT_EQ(Run({"--database", missing, "status"}).status, 1);
  ToolResult list = Run({"--database", missing, "task", "list"});
  EXPECT_EQ(list.status, 1);
  EXPECT_NE(list.err.find("gezhuan init"), std::string::npos) << list.err;
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(OverviewTest, SampleIsAddedOnceAndCounted) {
  ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  const json first = json::parse(RunDb({"--json", "status"}).out);
  EXPECT_GE(first["tasks"].get<int>(), 3);
  EXPECT_GT(first["items"].get<int>(), first["tasks"].get<int>());
  EXPECT_GT(first["tapeGroups"].get<int>(), 0);
  EXPECT_GT(first["tapeTypes"].get<int>(), 0);

  ToolResult again = RunDb({"init", "--sample"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(json::parse(RunDb({"--json", "status"}).out), first);

  ToolResult text = RunDb({"status"});
  EXPECT_NE(text.out.find("tasks:"), std::string::npos);
  EXPECT_NE(text.out.find("tape types:"), std::string::npos);
}

TEST_F(OverviewTest, ExitStatusesSayUsageFailureOrSuccess) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  EXPECT_EQ(RunDb({"no-such-command"}).status, 2);
  EXPECT_EQ(RunDb({"task"}).status, 2) << "task needs a subcommand";
  EXPECT_EQ(RunDb({"task", "show", "not-a-guid"}).status, 2);
  EXPECT_EQ(RunDb({"task", "add"}).status, 2) << "a task needs a name";
  EXPECT_EQ(RunDb({"task", "import", "--batch", "0", "x.json"}).status, 2);

  ToolResult unknown = RunDb({"task", "show", "0F2D1C3B-0000-4000-8000-000000000001"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.err.find("no task"), std::string::npos) << unknown.err;

  ToolResult empty = RunDb({"task", "list"});
  EXPECT_EQ(empty.status, 0) << "an empty listing is not a failure";
}

TEST_F(OverviewTest, InitSampleAddsBackDeletedSampleTasks) {
  ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  const json full = json::parse(RunDb({"--json", "status"}).out);
  ASSERT_EQ(
      RunDb({"task", "delete", "5A3E0001-7C1B-4D2A-9F00-000000000001", "5A3E0001-7C1B-4D2A-9F00-000000000003"}).status,
      0);
  ToolResult again = RunDb({"init", "--sample"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("2 sample tasks added"), std::string::npos) << again.out;
  EXPECT_EQ(json::parse(RunDb({"--json", "status"}).out), full);
}

TEST_F(OverviewTest, ADatabaseNamedTwiceOrEmptyIsAUsageError) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  EXPECT_EQ(Run({"--database", "", "init"}).status, 2);
  EXPECT_EQ(Run({"--database", "", "status"}).status, 2);
  EXPECT_EQ(Run({"--setting", "", "status"}).status, 2);
  EXPECT_EQ(RunDb({"--setting", "QZNVCENTERDBSetting", "status"}).status, 2);
  EXPECT_EQ(Run({"status", "--setting", "QZNVCENTERDBSetting", "--database", m_database}).status, 2);
  EXPECT_FALSE(fs::exists(m_dir / "data" / "qz" / "gezhuan.db")) << "nothing fell back to the default";
}

TEST_F(OverviewTest, ADatabaseWithoutTablesSaysToRunInit) {
  const std::string empty = WriteFile("empty.db", "");
  ToolResult status = Run({"--database", empty, "status"});
  EXPECT_EQ(status.status, 1);
  EXPECT_NE(status.err.find("create them with `gezhuan init` --database " + empty), std::string::npos) << status.err;
  EXPECT_EQ(status.err.find("no such table"), std::string::npos) << status.err;
  ASSERT_EQ(Run({"--database", empty, "init"}).status, 0);
  EXPECT_EQ(Run({"--database", empty, "task", "list"}).status, 0);
}

TEST_F(OverviewTest, OutputToAFullDiskFailsEveryCommand) {
  ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  m_stdout = "/dev/full";
  const std::vector<std::vector<std::string>> commands = {{"task", "export"},   {"task", "list"}, {"item", "list"},
                                                          {"--json", "status"}, {"status"},       {"--help"}};
  for (const auto& command : commands) {
    ToolResult full = RunDb(command);
    EXPECT_EQ(full.status, 1) << command[0] << " " << command[1];
    EXPECT_EQ(Lines(full.err), std::vector<std::string>{"gezhuan: write error: No space left on device"})
        << command[0] << " " << command[1];
  }
}

TEST_F(OverviewTest, DatabaseRefusalsAreShownInTheDatabasesWords) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  ToolResult bad = RunDb({"task", "list", "--where", "noSuchColumn = 1"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("noSuchColumn"), std::string::npos) << bad.err;
  EXPECT_EQ(bad.err.find("select * from"), std::string::npos) << "the SQL text only with --verbose";

  ToolResult verbose = RunDb({"--verbose", "task", "list", "--where", "noSuchColumn = 1"});
  EXPECT_EQ(verbose.status, 1);
  EXPECT_NE(verbose.err.find(" from GeZhuanTaskInfo where noSuchColumn = 1"), std::string::npos) << verbose.err;
}

TEST_F(OverviewTest, EveryCommandHasHelpWithAnExample) {
  const std::vector<std::vector<std::string>> commands = {
      {"init"},           {"status"},           {"task", "list"},     {"task", "count"},    {"task", "set-status"},
      {"item", "show"},   {"item", "add"},      {"item", "edit"},     {"task", "show"},     {"task", "add"},
      {"task", "edit"},   {"task", "delete"},   {"task", "export"},   {"task", "import"},   {"item", "list"},
      {"item", "delete"}, {"tape", "groups"},   {"tape", "list"},     {"tape", "default"},  {"tape", "export"},
      {"tape", "import"}, {"settings", "show"}, {"settings", "edit"}, {"settings", "check"}};
  for (std::vector<std::string> command : commands) {
    command.push_back("--help");
    ToolResult help = Run(command);
    EXPECT_EQ(help.status, 0) << command[0];
    EXPECT_NE(help.out.find("Example:\n  gezhuan"), std::string::npos) << command[0] << " " << command[1];
  }
}

}  // namespace
}  // namespace gezhuan_test
