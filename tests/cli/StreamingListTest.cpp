// `task list` on many tasks: every output form prints as it reads, so its
// memory stays flat as the tasks grow; --sort and --limit are answered by
// the database, in one order on every engine, reading only the tasks shown.
#include <cstdio>
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class StreamingListTest : public EngineToolTest {
 protected:
  // Tasks first .. first + count - 1 of a made-up day's work, one item each.
  std::string Document(size_t first, size_t count) const {
    json tasks = json::array();
    char guid[48], item[48], begin[40];
    for (size_t i = first; i < first + count; ++i) {
      std::snprintf(guid, sizeof guid, "%08X-0000-4000-8000-%012zX",
                    static_cast<unsigned>((i * 2654435761u) & 0xFFFFFFFFu), i);
      std::snprintf(item, sizeof item, "%08X-0000-4000-9000-%012zX",
                    static_cast<unsigned>((i * 2246822519u) & 0xFFFFFFFFu), i);
      std::snprintf(begin, sizeof begin, "2025-%02zu-%02zuT%02zu:00:00", 1 + i % 12, 1 + i % 28, i % 24);
      tasks.push_back(
          {{"guidTaskID", guid},
           {"strTaskName", "bulk task " + std::to_string(i) + " Betacam SP to HDCAM, reel " + std::to_string(i % 97)},
           {"odtTaskBeginDateTime", begin},
           {"arrItems", json::array({{{"guidItem", item},
                                      {"strItemName", "正片"},
                                      {"dwTrimIn", 0},
                                      {"dwTrimOut", 250},
                                      {"dwLength", 250},
                                      {"nIndex", 0}}})}});
    }
    return tasks.dump();
  }

  void Import(size_t first, size_t count) {
    const ToolResult imported = Tool({"task", "import", WriteFile("tasks.json", Document(first, count))});
    ASSERT_EQ(imported.status, 0) << imported.err;
  }
};

TEST_P(StreamingListTest, EveryFormStaysFlatAsTasksGrow) {
  Import(0, 500);
  const ToolResult small = Tool({"--json", "task", "list"});
  ASSERT_EQ(small.status, 0) << small.err;
  ASSERT_EQ(json::parse(small.out).size(), 505u);

  Import(500, 5500);
  // Twelve times the tasks may cost the keys of the listing (tens of bytes
  // a task) and the engine's caches, not the tasks themselves (today a
  // listing of the whole would hold hundreds of megabytes).
  const long allowed = small.peakMemoryKb + 8 * 1024;
  for (const std::string format : {"json", "jsonl", "csv", "tsv", "table"}) {
    const ToolResult large = Tool({"--format", format, "task", "list"});
    ASSERT_EQ(large.status, 0) << format << ": " << large.err;
    if (kPeakMemoryMeansWhatIsHeld) {
      EXPECT_LT(large.peakMemoryKb, allowed) << format << " peaked at " << large.peakMemoryKb << " KB against "
                                             << small.peakMemoryKb << " KB for a twelfth of the tasks";
    }
    if (format == "json") {
      const json listed = json::parse(large.out);
      ASSERT_EQ(listed.size(), 6005u);
      EXPECT_EQ(listed.back()["arrItems"].size(), 1u) << "each task with its items";
    } else {
      EXPECT_EQ(Lines(large.out).size(), format == "jsonl" ? 6005u : format == "table" ? 6007u : 6006u) << format;
    }
  }
}

TEST_P(StreamingListTest, SortAndLimitAreTheDatabasesAndReadOnlyTheTasksShown) {
  // Names whose order differs between "A-Z folded, character by character"
  // and a locale's collation (Ä beside A), and begin dates an engine orders
  // in its own way when unset (NULL): SQLite first, PostgreSQL last.
  std::vector<std::string> guids;
  for (const char* name : {"beta", "Ärger", "Alpha", "alpha2", "Zulu", "龙 the last by name"}) {
    const ToolResult added = Tool({"task", "add", "--name", name, "--begin", "2024-06-01T10:00", "--item", "片:0:1"});
    ASSERT_EQ(added.status, 0) << added.err;
    guids.push_back(Lines(added.out).at(0));
  }
  const std::string beta = guids[0], last = guids[5];
  Sql("update GeZhuanTaskInfo set odtTaskBeginDateTime = null where guidTaskID = '" + beta + "';",
      "update GeZhuanTaskInfo set odtTaskBeginDateTime = null where guidTaskID = '" + beta + "';");

  auto names = [&](std::vector<std::string> args) {
    std::vector<std::string> all = {"--format", "tsv", "--no-header", "--columns", "name", "task", "list"};
    all.insert(all.end(), args.begin(), args.end());
    const ToolResult listed = Tool(all);
    EXPECT_EQ(listed.status, 0) << listed.err;
    return Lines(listed.out);
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(names({"--sort", "name", "--limit", "4"}), (Names{"Alpha", "alpha2", "beta", "Concert archive 1998"}));
  EXPECT_EQ(names({"--sort", "name", "--reverse", "--limit", "3"}),
            (Names{"龙 the last by name", "新闻联播 1998-05-01 转录", "儿童节目《小喇叭》"}));
  EXPECT_EQ(names({"--sort", "name", "--name", "a", "--limit", "5"}),
            (Names{"Alpha", "alpha2", "beta", "Concert archive 1998", "Documentary: The Yellow River"}));
  EXPECT_EQ(names({"--sort", "begin"}).back(), "beta") << "an unset begin sorts after every date";
  EXPECT_EQ(names({"--sort", "begin", "--reverse", "--limit", "1"}), Names{"beta"});
  EXPECT_EQ(names({"--sort", "status", "--reverse", "--limit", "2"}),
            (Names{"体育赛事集锦 Sports highlights", "Documentary: The Yellow River"}));
  EXPECT_EQ(names({"--where", "enumTaskType = 1 order by strTaskName", "--reverse", "--limit", "1"}),
            Names{"新闻联播 1998-05-01 转录"});
  EXPECT_EQ(names({"--where", "enumTaskType = 1 order by strTaskName", "--sort", "begin", "--limit", "2"}),
            (Names{"新闻联播 1998-05-01 转录", "Documentary: The Yellow River"}));

  // The items of the task that sorts last by name now cannot be read: a
  // listing that read every task first would fail.
  Sql("alter table GeZhuanTaskItem rename to ItemRows; create view GeZhuanTaskItem as select * from ItemRows where "
      "case when guidTask = '" +
          last + "' then abs(-9223372036854775772 - length(guidTask)) else 1 end <> 0;",
      "alter table GeZhuanTaskItem rename to ItemRows; create view GeZhuanTaskItem as select * from ItemRows where "
      "case when guidTask = '" +
          last + "' then 1 / (length(guidTask) - 36) else 1 end <> 0;");
  EXPECT_EQ(Tool({"task", "list"}).status, 1) << "the poisoned task cannot be listed";
  EXPECT_EQ(names({"--sort", "name", "--limit", "10"}).size(), 10u);
  EXPECT_EQ(Tool({"--json", "task", "list", "--sort", "name", "--limit", "10"}).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, StreamingListTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
