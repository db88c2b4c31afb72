// Work that must not be lost, on every engine: deletes that ask (or need
// --yes) before they go, bulk changes that happen whole or not at all and
// say how many, two operators whose changes to one task both stay, and an
// import interrupted by Ctrl-C that says what it committed.
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using json = nlohmann::json;

const std::string kFirst = "5A3E0001-7C1B-4D2A-9F00-000000000001";   // 3 items
const std::string kFourth = "5A3E0001-7C1B-4D2A-9F00-000000000004";  // 1 item
constexpr std::string::size_type npos = std::string::npos;

// A document of count tasks with one item each, GUIDs from 0B0E0000-....
std::string Document(int count) {
  json tasks = json::array();
  for (int i = 0; i < count; ++i) {
    char guid[40], item[40];
    std::snprintf(guid, sizeof guid, "0B0E0000-0000-4000-8000-%012d", i);
    std::snprintf(item, sizeof item, "0B0E0001-0000-4000-8000-%012d", i);
    tasks.push_back(
        {{"guidTaskID", guid},
         {"strTaskName", "bulk " + std::to_string(i)},
         {"arrItems", {{{"guidItem", item}, {"strItemName", "a"}, {"dwTrimOut", 250}, {"dwLength", 250}}}}});
  }
  return tasks.dump();
}

class SafeChangeTest : public EngineToolTest {
 protected:
  long long Count(const std::vector<std::string>& filter = {}) const {
    std::vector<std::string> args = {"--json", "task", "count"};
    args.insert(args.end(), filter.begin(), filter.end());
    const ToolResult counted = Tool(args);
    EXPECT_EQ(counted.status, 0) << counted.err;
    return counted.status == 0 ? json::parse(counted.out)["tasks"].get<long long>() : -1;
  }
  json Task(const std::string& guid) const { return json::parse(Tool({"--json", "task", "show", guid}).out); }
  std::string AllGuids() const { return Tool({"-q", "task", "list"}).out; }
};

TEST_P(SafeChangeTest, DeletesFromAScriptNeedYesAndDryRunListsThem) {
  const std::string guids = AllGuids();
  ASSERT_EQ(Lines(guids).size(), 5u);

  const ToolResult refused = Tool({"task", "delete", "-"}, guids);
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("--yes"), npos) << refused.err;
  EXPECT_NE(refused.err.find("nothing deleted"), npos) << refused.err;
  EXPECT_EQ(Count(), 5);

  const ToolResult dry = Tool({"-q", "task", "delete", "--dry-run", "-"}, guids);
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(dry.out, guids);
  EXPECT_NE(dry.err.find("would delete 5 tasks; nothing deleted"), npos) << dry.err;
  EXPECT_EQ(Count(), 5);

  // All the items of a task are a bulk delete too; one named item is not.
  EXPECT_EQ(Tool({"item", "delete", "--task", kFirst}).status, 2);
  EXPECT_EQ(Task(kFirst)["arrItems"].size(), 3u);
  const ToolResult listed = Tool({"--json", "item", "delete", "--task", kFirst, "--dry-run"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(json::parse(listed.out).size(), 3u);
  EXPECT_EQ(Task(kFirst)["arrItems"].size(), 3u);
  const std::string one = Task(kFirst)["arrItems"][0]["guidItem"];
  EXPECT_EQ(Tool({"item", "delete", "--task", kFirst, "--item", one}).out, "deleted 1 item\n");
  EXPECT_EQ(Tool({"item", "delete", "--task", kFirst, "-y"}).out, "deleted 2 items\n");

  const ToolResult deleted = Tool({"task", "delete", "--yes", "-"}, guids);
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "deleted 5 tasks\n");
  EXPECT_EQ(Count(), 0);
}

// The database refuses the fourth task, as a trigger or a constraint of a
// site might: a bulk change over all five changes none of them, and says so.
TEST_P(SafeChangeTest, BulkChangesHappenWholeOrNotAtAll) {
  std::string sqlite;
  for (const char* event : {"UPDATE", "DELETE"})
    sqlite += std::string("CREATE TRIGGER held_") + event + " BEFORE " + event +
              " ON GeZhuanTaskInfo WHEN OLD.guidTaskID = '" + kFourth +
              "' BEGIN SELECT RAISE(ABORT, 'task 4 is held'); END;\n";
  Sql(sqlite,
      "CREATE OR REPLACE FUNCTION held() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'task 4 is "
      "held'; END $$;\nCREATE TRIGGER held BEFORE UPDATE OR DELETE ON GeZhuanTaskInfo FOR EACH ROW WHEN "
      "(OLD.guidTaskID = '" +
          kFourth + "') EXECUTE FUNCTION held();\n");
  ASSERT_FALSE(HasFailure());
  const std::string guids = AllGuids();

  const ToolResult changed = Tool({"task", "set-status", "--run-status", "9", "-"}, guids);
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.err.find("0 of 5 changed"), npos) << changed.err;
  EXPECT_NE(changed.err.find("task 4 is held"), npos) << changed.err;
  EXPECT_EQ(Count({"--run-status", "9"}), 0);

  const ToolResult deleted = Tool({"task", "delete", "--yes", "-"}, guids);
  EXPECT_EQ(deleted.status, 1);
  EXPECT_NE(deleted.err.find("0 of 5 deleted"), npos) << deleted.err;
  EXPECT_EQ(Count(), 5);
  EXPECT_EQ(Task(kFirst)["arrItems"].size(), 3u) << "the items stay with their task";

  Sql("DROP TRIGGER held_UPDATE; DROP TRIGGER held_DELETE;", "DROP TRIGGER held ON GeZhuanTaskInfo;");
  EXPECT_EQ(Tool({"task", "set-status", "--run-status", "9", "-"}, guids).out, "changed 5 tasks\n");
  EXPECT_EQ(Count({"--run-status", "9"}), 5);
}

// Another program holds the write lock longer than the tool waits.
TEST_P(SafeChangeTest, BulkChangeThatCannotGetTheLockChangesNothing) {
  if (OnServer()) GTEST_SKIP() << "a server makes a row's writers wait without a time limit";
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(m_database.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  const ToolResult changed = Tool({"task", "set-status", "--run-status", "9", "-"}, AllGuids());
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.err.find("0 of 5 changed"), npos) << changed.err;
  EXPECT_NE(changed.err.find("locked"), npos) << changed.err;
  EXPECT_EQ(Count({"--run-status", "9"}), 0);
}

// One operator sets the status of ten thousand tasks while another renames
// tasks from both ends of that list inwards, each once, until the first is
// done: every status stays, and every rename.
TEST_P(SafeChangeTest, TwoOperatorsChangesToOneTaskBothStay) {
  const ToolResult imported = Tool({"task", "import", WriteFile("many.json", Document(10000))});
  ASSERT_EQ(imported.status, 0) << imported.err;
  const std::vector<std::string> guids = Lines(AllGuids());
  ASSERT_EQ(guids.size(), 10005u);
  std::string input;
  for (const std::string& guid : guids) input += guid + "\n";

  ToolProcess bulk = StartTool({"task", "set-status", "--run-status", "7", "-"}, input);
  auto running = [&bulk] {
    siginfo_t ended{};
    return waitid(P_PID, bulk.pid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == 0;
  };
  std::map<std::string, std::string> names;
  int whileRunning = 0;
  for (int i = 0; i < 200 && running(); ++i) {
    const std::string& guid = i % 2 == 0 ? guids[i / 2] : guids[guids.size() - 1 - i / 2];
    const std::string name = "second operator " + std::to_string(i);
    const ToolResult renamed = Tool({"task", "edit", guid, "--name", name});
    ASSERT_EQ(renamed.status, 0) << renamed.err;
    names[guid] = name;
    ++whileRunning;
  }
  const ToolResult bulkDone = Wait(bulk);
  ASSERT_EQ(bulkDone.status, 0) << bulkDone.err;
  EXPECT_EQ(bulkDone.out, "changed 10005 tasks\n");
  EXPECT_GE(whileRunning, 4) << "too few renames while the bulk change ran to test anything";
  for (const auto& [guid, name] : names) {
    const json task = Task(guid);
    EXPECT_EQ(task["strTaskName"], name) << guid;
    EXPECT_EQ(task["enumTaskRunStatus"], 7) << guid;
  }
  EXPECT_EQ(Count({"--run-status", "7"}), 10005);
}

// Ctrl-C while reading, and while committing in batches: the answer is
// what the database holds.
TEST_P(SafeChangeTest, InterruptedImportSaysWhatWasCommitted) {
  // Still reading its document from a pipe that is not closed yet.
  const std::string fifo = (m_dir / "document").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ToolProcess reading = StartTool({"task", "import", fifo});
  const int writer = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(write(writer, "[", 1), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(reading.pid, SIGINT);
  const ToolResult stopped = Wait(reading);
  close(writer);
  EXPECT_EQ(stopped.status, 130);
  EXPECT_NE(stopped.err.find("interrupted: nothing was imported"), npos) << stopped.err;

  ToolProcess writing = StartTool({"task", "import", "--batch", "1", WriteFile("many.json", Document(3000))});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Count() <= 5 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  kill(writing.pid, SIGINT);
  const ToolResult interrupted = Wait(writing);
  EXPECT_EQ(interrupted.status, 130) << interrupted.err;
  std::smatch said;
  ASSERT_TRUE(std::regex_search(interrupted.err, said, std::regex("interrupted: (\\d+) of 3000 tasks were imported")))
      << interrupted.err;
  const long long committed = std::stoll(said[1]);
  EXPECT_GT(committed, 0);
  EXPECT_EQ(Count(), 5 + committed);
}

// A person at a terminal is asked before more than one task, or all the
// items of a task, go; and is told when the tool reads what they type.
TEST_P(SafeChangeTest, TerminalAsksBeforeBulkDeletes) {
  if (OnServer()) GTEST_SKIP() << "the engine has no part in asking";
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  if (terminal < 0) GTEST_SKIP() << "this machine gives no pseudo-terminal";
  close(terminal);
  m_terminalInput = true;
  const std::string two = kFirst + "\n" + kFourth + "\n";

  const ToolResult declined = Tool({"task", "delete", "-"}, two + "\x04" + "n\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_NE(declined.err.find("reading task GUIDs from standard input (end with Ctrl-D)"), npos) << declined.err;
  EXPECT_NE(declined.err.find("delete 2 tasks with their items? [y/N]"), npos) << declined.err;
  EXPECT_NE(declined.err.find("nothing deleted"), npos) << declined.err;
  EXPECT_EQ(Count(), 5);

  EXPECT_EQ(Tool({"item", "delete", "--task", kFirst}, "\n").status, 1) << "no answer is a no";
  EXPECT_EQ(Task(kFirst)["arrItems"].size(), 3u);
  const ToolResult items = Tool({"item", "delete", "--task", kFirst}, "y\n");
  EXPECT_NE(items.err.find("delete all 3 items of task " + kFirst + "?"), npos) << items.err;
  EXPECT_EQ(items.out, "deleted 3 items\n");

  const ToolResult one = Tool({"task", "delete", kFourth}, "");
  EXPECT_EQ(one.out, "deleted 1 task\n") << "one task named on the command line is not asked about";
  EXPECT_EQ(Tool({"task", "delete", "-"}, kFirst + "\n\x04" + "yes\n").out, "deleted 1 task\n");

  const ToolResult imported = Tool({"task", "import", "-"}, "[]\n\x04");
  EXPECT_EQ(imported.status, 0) << imported.err;
  EXPECT_NE(imported.err.find("reading the JSON document from standard input (end with Ctrl-D)"), npos) << imported.err;
}

INSTANTIATE_TEST_SUITE_P(Engines, SafeChangeTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
