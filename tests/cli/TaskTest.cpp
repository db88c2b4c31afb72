// Adding, showing, editing and deleting tasks and items through the tool,
// with Chinese names, and the catalogue checks on tape types.
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class TaskTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ASSERT_EQ(RunDb({"init", "--sample"}).status, 0);
    const json tapes = json::parse(RunDb({"--json", "tape", "list"}).out);
    ASSERT_GE(tapes.size(), 2u);
    m_tapeA = tapes[0]["TAPENAME"];
    m_tapeAGuid = tapes[0]["TAPEGUID"];
    m_tapeB = tapes[1]["TAPENAME"];
    m_tapeBGuid = tapes[1]["TAPEGUID"];
  }

  int TaskCount() const { return json::parse(RunDb({"--json", "status"}).out)["tasks"]; }
  int ItemCount() const { return json::parse(RunDb({"--json", "status"}).out)["items"]; }

  json Show(const std::string& guid) const {
    ToolResult shown = RunDb({"--json", "task", "show", guid});
    EXPECT_EQ(shown.status, 0) << shown.err;
    return json::parse(shown.out);
  }

  std::string AddChineseTask() const {
    ToolResult added = RunDb({"task",          "add",
                              "--name",        "新闻联播 转录",
                              "--hint",        "第一盘 Betacam",
                              "--from",        m_tapeA,
                              "--to",          m_tapeBGuid,
                              "--from-device", "录像机 A",
                              "--begin",       "2024-03-01T09:30",
                              "--end",         "2024-03-01 11:00:05",
                              "--item",        "片头:0:250",
                              "--item",        "正片:第一部分:250:45000:44000",
                              "--item",        "片尾:45000:45750"});
    EXPECT_EQ(added.status, 0) << added.err;
    return added.out.substr(0, 36);
  }

  std::string m_tapeA, m_tapeAGuid, m_tapeB, m_tapeBGuid;
};

TEST_F(TaskTest, AddedChineseTaskReadsBackFieldForField) {
  const std::string guid = AddChineseTask();
  ASSERT_EQ(guid.size(), 36u);
  EXPECT_EQ(guid[14], '4') << "a version-4 random GUID: " << guid;

  const json task = Show(guid);
  EXPECT_EQ(task["guidTaskID"], guid);
  EXPECT_EQ(task["strTaskName"], "新闻联播 转录");
  EXPECT_EQ(task["strTaskHint"], "第一盘 Betacam");
  EXPECT_EQ(task["strORGDeviceName"], "录像机 A");
  EXPECT_EQ(task["odtTaskBeginDateTime"], "2024-03-01T09:30:00");
  EXPECT_EQ(task["odtTaskEndDateTime"], "2024-03-01T11:00:05");
  // Tape types given by name and by GUID are stored with both.
  EXPECT_EQ(task["strOrgTapeTypeName"], m_tapeA);
  EXPECT_EQ(task["guidOrgTapeType"], m_tapeAGuid);
  EXPECT_EQ(task["strDSTTapeTypeName"], m_tapeB);
  EXPECT_EQ(task["guidDSTTapeType"], m_tapeBGuid);

  const json& items = task["arrItems"];
  ASSERT_EQ(items.size(), 3u);
  const char* names[] = {"片头", "正片:第一部分", "片尾"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(items[i]["strItemName"], names[i]);
    EXPECT_EQ(items[i]["nIndex"], i);
    EXPECT_EQ(items[i]["guidTask"], guid);
  }
  EXPECT_NE(items[0]["guidItem"], items[1]["guidItem"]);
  EXPECT_EQ(items[0]["dwLength"], 250) << "length defaults to TRIMOUT - TRIMIN";
  EXPECT_EQ(items[1]["dwTrimIn"], 250);
  EXPECT_EQ(items[1]["dwTrimOut"], 45000);
  EXPECT_EQ(items[1]["dwLength"], 44000);

  // The text form shows the same, Chinese included.
  ToolResult text = RunDb({"task", "show", guid});
  ASSERT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("strTaskName:"), std::string::npos);
  EXPECT_NE(text.out.find("新闻联播 转录"), std::string::npos);
  EXPECT_NE(text.out.find("正片:第一部分"), std::string::npos);
}

TEST_F(TaskTest, RefusedAddsWriteNothing) {
  const int tasks = TaskCount(), items = ItemCount();
  ToolResult unknownTape = RunDb({"task", "add", "--name", "x", "--from", "No Such Tape", "--item", "a:0:1"});
  EXPECT_EQ(unknownTape.status, 1);
  EXPECT_NE(unknownTape.err.find(m_tapeA), std::string::npos) << "names what the catalogue has: " << unknownTape.err;
  EXPECT_EQ(RunDb({"task", "add", "--name", "x", "--item", "no-numbers"}).status, 2);
  EXPECT_EQ(RunDb({"task", "add", "--name", "x", "--item", "a:9:1"}).status, 2) << "out before in";
  EXPECT_EQ(RunDb({"task", "add", "--name", "x", "--begin", "2023-02-30T00:00"}).status, 2);
  EXPECT_EQ(RunDb({"task", "add", "--name", "x", "--begin", "2023-02-01T24:00"}).status, 2);
  EXPECT_EQ(TaskCount(), tasks);
  EXPECT_EQ(ItemCount(), items);
}

TEST_F(TaskTest, TextThatIsNotUtf8IsRefusedNotStoredAsReplacementCharacters) {
  const std::string gbk = "\xB9\xE3\xB2\xA5";  // 广播 in GBK
  const int tasks = TaskCount();
  const struct {
    std::vector<std::string> args;
    std::string named;
  } kCases[] = {
      {{"task", "add", "--name", gbk}, "--name"},
      {{"task", "add", "--name=" + gbk}, "--name"},
      {{"task", "add", "--name", "x", "--item", gbk + ":0:25"}, "--item"},
      {{"task", "add", "--name", "x", "--hint", "ok", "--from-device", "A" + gbk}, "--from-device"},
      {{"task", "list", "--where", "strTaskName = '" + gbk + "'"}, "--where"},
  };
  for (const auto& c : kCases) {
    ToolResult refused = RunDb(c.args);
    EXPECT_EQ(refused.status, 2) << c.named;
    EXPECT_EQ(refused.err.find("gezhuan: " + c.named + ": \"" + (c.named == "--where" ? "strTaskName" : "")), 0u)
        << refused.err;
    EXPECT_NE(refused.err.find("is not UTF-8 text"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(TaskCount(), tasks);

  // In a GBK locale the same bytes are the name they stand for.
  const std::string locales = (m_dir / "locales").string();
  const std::string build = "localedef -i zh_CN -f GBK " + locales + "/zh_CN.GBK 2>/dev/null";
  if (std::system(("mkdir -p " + locales + " && " + build).c_str()) != 0)
    GTEST_SKIP() << "localedef cannot build zh_CN.GBK";
  m_locale = "zh_CN.GBK";
  m_setenv = {{"LOCPATH", locales}};
  ToolResult added = RunDb({"task", "add", "--name", gbk, "--item", gbk + ":0:25"});
  ASSERT_EQ(added.status, 0) << added.err;
  const json task = Show(added.out.substr(0, 36));
  EXPECT_EQ(task["strTaskName"], "广播");
  EXPECT_EQ(task["arrItems"][0]["strItemName"], "广播");
  ToolResult half = RunDb({"task", "add", "--name", "\xB9"});
  EXPECT_EQ(half.status, 2);
  EXPECT_NE(half.err.find("is not GBK text"), std::string::npos) << half.err;
}

TEST_F(TaskTest, EditChangesFieldsAndReplacesItems) {
  const std::string guid = AddChineseTask();
  ToolResult edited = RunDb({"task", "edit", guid, "--run-status", "2", "--name", "改名后的任务"});
  ASSERT_EQ(edited.status, 0) << edited.err;
  json task = Show(guid);
  EXPECT_EQ(task["enumTaskRunStatus"], 2);
  EXPECT_EQ(task["strTaskName"], "改名后的任务");
  EXPECT_EQ(task["strTaskHint"], "第一盘 Betacam") << "fields not given stay";
  EXPECT_EQ(task["arrItems"].size(), 3u) << "items stay without --items";

  const std::string file = WriteFile("items.txt", "# new cut\n甲:0:100\n\n乙:100:300\n");
  ASSERT_EQ(RunDb({"task", "edit", guid, "--items", file}).status, 0);
  task = Show(guid);
  ASSERT_EQ(task["arrItems"].size(), 2u);
  EXPECT_EQ(task["arrItems"][0]["strItemName"], "甲");
  EXPECT_EQ(task["arrItems"][1]["strItemName"], "乙");
  EXPECT_EQ(task["arrItems"][1]["nIndex"], 1);

  ASSERT_EQ(RunDb({"task", "edit", guid, "--items", "-"}, "丙:5:6\n").status, 0);
  EXPECT_EQ(Show(guid)["arrItems"].size(), 1u);

  EXPECT_EQ(RunDb({"task", "edit", guid}).status, 2) << "nothing to change";
  EXPECT_EQ(RunDb({"task", "edit", "0F2D1C3B-0000-4000-8000-000000000001", "--name", "x"}).status, 1);
}

TEST_F(TaskTest, DeleteIsAllOrNothing) {
  const std::string a = AddChineseTask(), b = AddChineseTask();
  const int tasks = TaskCount();
  ToolResult partly = RunDb({"task", "delete", a, "0F2D1C3B-0000-4000-8000-000000000001"});
  EXPECT_EQ(partly.status, 1);
  EXPECT_EQ(TaskCount(), tasks) << "one unknown GUID, nothing deleted";

  ASSERT_EQ(RunDb({"task", "delete", a, b}).status, 0);
  EXPECT_EQ(TaskCount(), tasks - 2);
  EXPECT_EQ(RunDb({"task", "show", a}).status, 1);
  EXPECT_EQ(json::parse(RunDb({"--json", "item", "list", "--where", "guidTask = '" + a + "'"}).out).size(), 0u)
      << "the items go with the task";
}

TEST_F(TaskTest, ItemListAndDelete) {
  const std::string guid = AddChineseTask();
  const json items =
      json::parse(RunDb({"--json", "item", "list", "--where", "guidTask = '" + guid + "' order by nIndex"}).out);
  ASSERT_EQ(items.size(), 3u);
  const std::string middle = items[1]["guidItem"];

  ASSERT_EQ(RunDb({"item", "delete", "--task", guid, "--item", middle}).status, 0);
  json task = Show(guid);
  ASSERT_EQ(task["arrItems"].size(), 2u);
  EXPECT_EQ(task["arrItems"][1]["strItemName"], "片尾");

  EXPECT_EQ(RunDb({"item", "delete", "--task", guid, "--item", middle}).status, 1) << "already gone";
  ASSERT_EQ(RunDb({"item", "delete", "--task", guid, "--yes"}).status, 0);
  EXPECT_EQ(Show(guid)["arrItems"].size(), 0u);
  EXPECT_EQ(RunDb({"item", "delete", "--task", guid, "--yes"}).status, 1) << "nothing left to delete";
  EXPECT_EQ(RunDb({"item", "delete"}).status, 2);
}

TEST_F(TaskTest, TapeCatalogueCommands) {
  const json groups = json::parse(RunDb({"--json", "tape", "groups"}).out);
  ASSERT_FALSE(groups.empty());
  const std::string group = groups[0]["strGroupName"];
  const json inGroup = json::parse(RunDb({"--json", "tape", "list", "--group", group}).out);
  ASSERT_FALSE(inGroup.empty());
  for (const json& tape : inGroup) EXPECT_EQ(tape["guidGroupID"], groups[0]["guidGroupID"]);
  EXPECT_EQ(json::parse(RunDb({"--json", "tape", "list", "--group", groups[0]["guidGroupID"]}).out), inGroup);
  EXPECT_EQ(RunDb({"tape", "list", "--group", "No Such Group"}).status, 1);

  ToolResult def = RunDb({"--json", "tape", "default"});
  ASSERT_EQ(def.status, 0) << def.err;
  EXPECT_EQ(json::parse(def.out)["bIfDefault"], 1);

  ASSERT_EQ(RunOn((m_dir / "empty.db").string(), {"init"}).status, 0);
  EXPECT_EQ(RunOn((m_dir / "empty.db").string(), {"tape", "default"}).status, 1) << "nothing to show";
}

}  // namespace
}  // namespace gezhuan_test
