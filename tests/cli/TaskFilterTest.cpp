// `task list` and `task count` filters: the same answer on every engine,
// dates compared as date-times, names matched in any case of A-Z with the
// typed text taken literally.
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

class TaskFilterTest : public EngineToolTest {
 protected:
  // The sample tasks a listing shows, by the last digit of their GUIDs
  // (5A3E0001-...-00000000000N); other tasks as "+".
  std::string Listed(std::vector<std::string> args) const {
    args.insert(args.begin(), {"-q", "task", "list"});
    const ToolResult list = Tool(args);
    EXPECT_EQ(list.status, 0) << list.err;
    std::string shown;
    for (const std::string& guid : Lines(list.out))
      shown += guid.rfind("5A3E0001-", 0) == 0 ? guid.substr(35) : std::string("+");
    return shown;
  }

  std::string Counted(std::vector<std::string> args) const {
    args.insert(args.begin(), {"task", "count"});
    const ToolResult count = Tool(args);
    EXPECT_EQ(count.status, 0) << count.err;
    return count.out;
  }
};

TEST_P(TaskFilterTest, DatesCompareAsDateTimesWithBareDatesCoveringTheirDay) {
  // Task 3 begins 2024-03-04 10:00; on SQLite text comparison left it out.
  EXPECT_EQ(Listed({"--since", "2024-03-04T00:00"}), "345");
  EXPECT_EQ(Listed({"--since", "2024-03-04"}), "345");
  EXPECT_EQ(Listed({"--since", "2024-03-04 10:00:01"}), "45");
  EXPECT_EQ(Listed({"--until", "2024-03-04"}), "123");
  EXPECT_EQ(Listed({"--until", "2024-03-04T10:00"}), "123");
  EXPECT_EQ(Listed({"--until", "2024-03-04T09:59:59"}), "12");
  EXPECT_EQ(Listed({"--since", "2024-03-02", "--until", "2024-03-05"}), "234");
  EXPECT_EQ(Counted({"--since", "2024-03-02", "--until", "2024-03-05"}), "3\n");
  EXPECT_EQ(Tool({"task", "list", "--since", "2024-02-30"}).status, 2);
}

TEST_P(TaskFilterTest, WhereEndingInOrderByKeepsItsOrder) {
  const std::string latestFirst = "1 = 1 order by odtTaskBeginDateTime desc";
  EXPECT_EQ(Listed({"--where", latestFirst}), "54321");
  EXPECT_EQ(Listed({"--where", "enumTaskType >= 0 ORDER  BY odtTaskBeginDateTime desc"}), "54321");
  EXPECT_EQ(Listed({"--where", latestFirst, "--since", "2024-03-02"}), "5432") << "with the filters";
  EXPECT_EQ(Listed({"--where", latestFirst, "--reverse"}), "12345");
  EXPECT_EQ(Listed({"--where", latestFirst, "--limit", "2"}), "54");
  EXPECT_EQ(Listed({"--where", latestFirst, "--sort", "begin"}), "12345") << "--sort still wins";
  EXPECT_EQ(Listed({"--where", "strTaskName <> 'order by' and (1 = 1)"}), "12345") << "quoted, not a clause";
  EXPECT_EQ(Counted({"--where", latestFirst, "--since", "2024-03-02"}), "4\n");
  const ToolResult exported = Tool({"task", "export", "--where", latestFirst});
  ASSERT_EQ(exported.status, 0) << exported.err;
  EXPECT_LT(exported.out.find("-000000000005"), exported.out.find("-000000000001"));
}

TEST_P(TaskFilterTest, NamesMatchInEitherCaseAndWildcardsAreLiteral) {
  ASSERT_EQ(Tool({"task", "add", "--name", "100% Done_A", "--begin", "2024-04-01T00:00"}).status, 0);
  ASSERT_EQ(Tool({"task", "add", "--name", "1000 DoneXA", "--begin", "2024-04-02T00:00"}).status, 0);
  EXPECT_EQ(Listed({"--name", "SPORTS"}), "3");
  const ToolResult exported = Tool({"task", "export", "--name", "SPORTS"});
  EXPECT_EQ(nlohmann::json::parse(exported.out).size(), 1u) << "export takes the same filters";
  EXPECT_EQ(Listed({"--name", "yellow river"}), "2");
  EXPECT_EQ(Listed({"--name", "转录"}), "1");
  EXPECT_EQ(Listed({"--name", "0% done_a"}), "+") << "% and _ are the typed characters, not wildcards";
  EXPECT_EQ(Listed({"--name", "'"}), "");
  ASSERT_EQ(Tool({"task", "add", "--name", "ÉCOLE", "--begin", "2024-04-03T00:00"}).status, 0);
  EXPECT_EQ(Listed({"--name", "école"}), "") << "only A-Z fold, on every engine";
  EXPECT_EQ(Listed({"--name", "Écol"}), "+");
  EXPECT_EQ(Counted({"--name", "DONE"}), "2\n");
  const ToolResult none = Tool({"task", "list", "--name", "no such task"});
  EXPECT_EQ(none.status, 0);
  EXPECT_EQ(none.out, "no tasks match\n");
}

TEST_P(TaskFilterTest, TapeTypeAndStatusFiltersCombine) {
  EXPECT_EQ(Listed({"--from", "betacam sp"}), "1");
  EXPECT_EQ(Listed({"--to", "DVCAM"}), "2");
  EXPECT_EQ(Listed({"--type", "1", "--run-status", "0"}), "14");
  EXPECT_EQ(Listed({"--edit-status", "1", "--since", "2024-03-02"}), "35");
  EXPECT_EQ(Listed({"--type", "1", "--where", "enumTaskEditStatus = 2 or enumTaskEditStatus = 0"}), "24")
      << "--where joins the filters in parentheses";
  EXPECT_EQ(Counted({"--type", "1", "--run-status", "0"}), "2\n");
  EXPECT_EQ(Counted({}), "5\n");
}

TEST_P(TaskFilterTest, SortReverseAndLimit) {
  EXPECT_EQ(Listed({}), "12345") << "begin order by default";
  EXPECT_EQ(Listed({"--sort", "name"}), "42351") << "A-Z in either case, then the other scripts";
  EXPECT_EQ(Listed({"--sort", "status"}), "41523");
  EXPECT_EQ(Listed({"--reverse", "--limit", "2"}), "54");
  EXPECT_EQ(Tool({"task", "list", "--sort", "size"}).status, 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, TaskFilterTest, ::testing::ValuesIn(kEngines), EngineName);

// A script whose variable came out empty (`task list --name "$N"` piped to
// `task delete -`) must get an error, never every task.
class EmptyFilterTest : public ToolTest {};

TEST_F(EmptyFilterTest, AnEmptyFilterValueIsAUsageErrorNotEveryTask) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  ASSERT_EQ(RunDb({"task", "add", "--name", "kept"}).status, 0);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-q", "task", "list", "--name", ""},
                                             {"task", "list", "--from", ""},
                                             {"task", "count", "--to", ""},
                                             {"task", "count", "--since", ""},
                                             {"task", "export", "--until", ""},
                                             {"task", "list", "--where", ""},
                                             {"task", "list", "--where", "  "}}) {
    const ToolResult refused = RunDb(args);
    EXPECT_EQ(refused.status, 2) << args[args.size() - 2] << " \"" << args.back() << "\"\n" << refused.out;
    EXPECT_TRUE(refused.out.empty()) << refused.out;
    EXPECT_NE(refused.err.find("every task"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(RunDb({"task", "count", "--name", " "}).out, "0\n") << "a blank name still filters";
}

}  // namespace
}  // namespace gezhuan_test
