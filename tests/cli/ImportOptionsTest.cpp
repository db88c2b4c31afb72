// `task import --dry-run`, `--skip-existing` and `--replace` on every
// engine: a dry run writes nothing, tasks already there are refused unless
// skipped or rewritten, and a rewrite replaces the items too.
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class ImportOptionsTest : public EngineToolTest {
 protected:
  // The sample export with task 1 renamed and given one item, and a new task.
  std::string ChangedDocument() const {
    json document = json::parse(Tool({"task", "export"}).out);
    document[0]["strTaskName"] = "renamed";
    document[0]["arrItems"] = json::array({document[0]["arrItems"][0]});
    document.push_back(json{{"guidTaskID", "0BADF00D-0000-4000-8000-000000000001"}, {"strTaskName", "new"}});
    return WriteFile("changed.json", document.dump());
  }
  json Task(const std::string& guid) const { return json::parse(Tool({"--json", "task", "show", guid}).out); }
};

const char kTask1[] = "5A3E0001-7C1B-4D2A-9F00-000000000001";

TEST_P(ImportOptionsTest, ExistingTasksAreRefusedSkippedOrReplaced) {
  const std::string file = ChangedDocument();
  const ToolResult refused = Tool({"task", "import", file});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("--skip-existing or --replace"), std::string::npos) << refused.err;

  const ToolResult dry = Tool({"--json", "task", "import", "--dry-run", "--replace", file});
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(json::parse(dry.out), json::parse(R"({"imported":1,"replaced":5,"skipped":0,"dryRun":true})"));
  EXPECT_EQ(Tool({"task", "count"}).out, "5\n") << "a dry run writes nothing";
  EXPECT_EQ(Task(kTask1)["strTaskName"], "新闻联播 1998-05-01 转录");

  const ToolResult skipped = Tool({"task", "import", "--skip-existing", file});
  ASSERT_EQ(skipped.status, 0) << skipped.err;
  EXPECT_EQ(skipped.out, "imported 1 task, skipped 5 already there\n");
  EXPECT_EQ(Task(kTask1)["arrItems"].size(), 3u) << "skipped tasks are left as they were";

  const ToolResult replaced = Tool({"task", "import", "--replace", file});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(replaced.out, "imported 0 tasks, replaced 6\n");
  const json task = Task(kTask1);
  EXPECT_EQ(task["strTaskName"], "renamed");
  EXPECT_EQ(task["arrItems"].size(), 1u);
  EXPECT_EQ(Tool({"task", "count"}).out, "6\n");
  EXPECT_EQ(json::parse(Tool({"--json", "status"}).out)["items"], 1 + 2 + 4 + 1 + 2);

  EXPECT_EQ(Tool({"task", "import", "--replace", "--skip-existing", file}).status, 2);
}

TEST_P(ImportOptionsTest, DryRunStillRefusesABadDocument) {
  const std::string bad = WriteFile("bad.json", R"([{"strTaskName": 5}])");
  const ToolResult refused = Tool({"task", "import", "--dry-run", bad});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("strTaskName"), std::string::npos) << refused.err;
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportOptionsTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
