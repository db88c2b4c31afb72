// Tasks named by the start of their GUID in show, edit, delete and
// set-status, in either case; an ambiguous start names the candidates and
// changes nothing.
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class ShortGuidTest : public EngineToolTest {
 protected:
  int Tasks() const { return json::parse(Tool({"--json", "status"}).out)["tasks"]; }
};

TEST_P(ShortGuidTest, UniqueStartsNameOneTaskAmbiguousOnesListTheCandidates) {
  const ToolResult added = Tool({"task", "add", "--name", "short"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string guid = Lines(added.out).at(0);
  std::string lower = guid.substr(0, 8);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

  EXPECT_EQ(Tool({"--json", "task", "show", lower}).out.find(guid) != std::string::npos, true);
  EXPECT_EQ(Tool({"task", "edit", guid.substr(0, 11), "--run-status", "3"}).status, 0);
  EXPECT_EQ(json::parse(Tool({"--json", "task", "show", guid}).out)["enumTaskRunStatus"], 3);

  const ToolResult ambiguous = Tool({"task", "show", "5a3e0001-7C1B"});
  EXPECT_EQ(ambiguous.status, 1);
  EXPECT_NE(ambiguous.err.find("ambiguous"), std::string::npos) << ambiguous.err;
  EXPECT_NE(ambiguous.err.find("5A3E0001-7C1B-4D2A-9F00-000000000005"), std::string::npos) << ambiguous.err;

  EXPECT_EQ(Tool({"task", "show", "5a3e000"}).status, 2) << "fewer than 8 characters";
  EXPECT_EQ(Tool({"task", "show", "5a3e0001x"}).status, 2);
  EXPECT_EQ(Tool({"task", "show", "ABCDEF01"}).status, 1) << "no such task";

  // All or nothing: one ambiguous start among the GUIDs deletes none.
  const ToolResult refused = Tool({"task", "delete", lower, "5A3E0001"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("nothing deleted"), std::string::npos) << refused.err;
  EXPECT_EQ(Tasks(), 6);
  const ToolResult deleted = Tool({"--json", "task", "delete", lower, "5a3e0001-7c1b-4d2a-9f00-000000000002"});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(json::parse(deleted.out), json::parse(R"({"deleted": 2})"));
  EXPECT_EQ(Tasks(), 4);
}

TEST_P(ShortGuidTest, SetStatusInBulkFromArgumentsOrAPipe) {
  const ToolResult running = Tool({"-q", "task", "list", "--run-status", "0"});
  ASSERT_EQ(Lines(running.out).size(), 3u) << running.out;
  const ToolResult changed = Tool({"task", "set-status", "--run-status", "2", "-"}, running.out);
  EXPECT_EQ(changed.status, 0) << changed.err;
  EXPECT_EQ(changed.out, "changed 3 tasks\n");
  EXPECT_EQ(Tool({"task", "count", "--run-status", "2"}).out, "4\n");

  const ToolResult both = Tool({"--json", "task", "set-status", "--edit-status", "5", "--run-status", "1",
                                "5A3E0001-7C1B-4D2A-9F00-000000000003"});
  EXPECT_EQ(json::parse(both.out)["changed"], 1);
  const json task = json::parse(Tool({"--json", "task", "show", "5A3E0001-7C1B-4D2A-9F00-000000000003"}).out);
  EXPECT_EQ(task["enumTaskEditStatus"], 5);
  EXPECT_EQ(task["enumTaskRunStatus"], 1);
  EXPECT_EQ(task["arrItems"].size(), 4u) << "items untouched";

  EXPECT_EQ(Tool({"task", "set-status", "5A3E0001-7C1B-4D2A-9F00-000000000003"}).status, 2) << "no status given";
  EXPECT_EQ(Tool({"task", "set-status", "--run-status", "9", "-"}, "\n").status, 2) << "nothing on stdin";
  EXPECT_EQ(
      Tool({"task", "set-status", "--run-status", "9", "5A3E0001-7C1B-4D2A-9F00-000000000003", "ABCDEF01"}).status, 1);
  EXPECT_EQ(Tool({"task", "count", "--run-status", "9"}).out, "0\n") << "all or nothing";
}

INSTANTIATE_TEST_SUITE_P(Engines, ShortGuidTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
