// Output forms: csv and tsv that other programs can split, JSON Lines,
// GUIDs only for pipes, and a JSON answer from every changing command.
#include <nlohmann/json.hpp>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class OutputFormTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
  }
};

TEST_F(OutputFormTest, CsvAndTsvKeepEachRowOneRecord) {
  ASSERT_EQ(RunDb({"task", "add", "--name", "Say \"hi\", then\tgo", "--begin", "2030-01-01T00:00"}).status, 0);
  const ToolResult csv = RunDb({"--format", "csv", "task", "list"});
  ASSERT_EQ(csv.status, 0) << csv.err;
  std::vector<std::string> lines = Lines(csv.out);
  ASSERT_EQ(lines.size(), 7u) << csv.out;
  EXPECT_EQ(lines[0], "GUID,NAME,FROM,TO,TYPE,EDIT,RUN,BEGIN,ITEMS");
  EXPECT_NE(lines[6].find(",\"Say \"\"hi\"\", then\tgo\",,,0,0,0,2030-01-01 00:00:00,0"), std::string::npos)
      << lines[6];

  const ToolResult tsv = RunDb({"--format", "tsv", "--no-header", "task", "list", "--since", "2030-01-01"});
  ASSERT_EQ(Lines(tsv.out).size(), 1u) << tsv.out;
  EXPECT_NE(tsv.out.find("\tSay \"hi\", then\\tgo\t\t\t0\t0\t0\t2030-01-01 00:00:00\t0\n"), std::string::npos)
      << tsv.out;

  const ToolResult items = RunDb({"--format", "csv", "item", "list", "--task", "5A3E0001-7C1B-4D2A-9F00-000000000001"});
  ASSERT_EQ(items.status, 0) << items.err;
  EXPECT_EQ(Lines(items.out).at(1),
            "5A3E0001-7C1B-4D2A-9F00-000000001001,0,片头,0,00:00:00:00,00:00:10:00,00:00:10:00");
}

TEST_F(OutputFormTest, JsonLinesAndGuidsOnly) {
  const ToolResult jsonl = RunDb({"--format", "jsonl", "task", "list", "--run-status", "0"});
  const std::vector<std::string> lines = Lines(jsonl.out);
  ASSERT_EQ(lines.size(), 3u) << jsonl.out;
  for (const std::string& line : lines) EXPECT_EQ(json::parse(line)["enumTaskRunStatus"], 0);

  const ToolResult quiet = RunDb({"-q", "tape", "list"});
  for (const std::string& line : Lines(quiet.out)) EXPECT_EQ(line.size(), 36u) << line;
  EXPECT_EQ(RunDb({"-q", "task", "list", "--name", "nothing like it"}).out, "");
  EXPECT_EQ(RunDb({"--json", "--format", "csv", "task", "list"}).status, 2);
  EXPECT_EQ(RunDb({"--format", "xml", "task", "list"}).status, 2);
}

TEST_F(OutputFormTest, EveryChangingCommandAnswersInJson) {
  const json init = json::parse(RunDb({"--json", "init", "--sample"}).out);
  EXPECT_EQ(init["tablesReady"], true);
  EXPECT_EQ(init["sampleTasksAdded"], 0);
  const json added = json::parse(RunDb({"--format", "jsonl", "task", "add", "--name", "j", "--item", "a:0:1"}).out);
  const std::string guid = added["guidTaskID"];
  EXPECT_EQ(json::parse(RunDb({"--json", "task", "edit", guid, "--hint", "h"}).out)["changed"], guid);
  EXPECT_EQ(json::parse(RunDb({"--json", "item", "delete", "--task", guid, "-y"}).out)["deleted"], 1);
  EXPECT_EQ(json::parse(RunDb({"--json", "task", "count"}).out)["tasks"], 6);
  EXPECT_EQ(json::parse(RunDb({"--json", "task", "delete", guid}).out)["deleted"], 1);
}

}  // namespace
}  // namespace gezhuan_test
