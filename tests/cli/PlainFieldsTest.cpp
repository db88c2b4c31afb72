// `task show` in the words of the work, an unset date shown blank and kept
// out of the date filters as the help says, and "-" clearing a field.
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class PlainFieldsTest : public EngineToolTest {
 protected:
  long long Count(const std::vector<std::string>& filters) const {
    std::vector<std::string> args = {"--json", "task", "count"};
    args.insert(args.end(), filters.begin(), filters.end());
    const ToolResult count = Tool(args);
    EXPECT_EQ(count.status, 0) << count.err;
    return json::parse(count.out)["tasks"];
  }
  json Show(const std::string& task) const { return json::parse(Tool({"--json", "task", "show", task}).out); }
};

TEST_P(PlainFieldsTest, UnsetDatesShowBlankAndStayOutOfTheDateFilters) {
  const long long samples = Count({});
  const ToolResult added = Tool({"task", "add", "--name", "无日期", "--from", "HDCAM"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string task = Lines(added.out).at(0);

  const ToolResult show = Tool({"task", "show", task});
  for (const char* words : {"\nBegins:\n", "\nEnds:\n", "Name:", "From tape:", "HDCAM", "Run status:"})
    EXPECT_NE(show.out.find(words), std::string::npos) << words << "\n" << show.out;
  EXPECT_EQ(show.out.find("strTaskName"), std::string::npos) << show.out;
  const ToolResult raw = Tool({"task", "show", "--raw", task});
  EXPECT_NE(raw.out.find("\nodtTaskBeginDateTime:\n"), std::string::npos) << raw.out;
  EXPECT_NE(raw.out.find("strOrgTapeTypeName:"), std::string::npos) << raw.out;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"task", "show", task}, {"task", "list"}, {"--format", "csv", "task", "list"}, {"task", "export"}})
    EXPECT_EQ(Tool(args).out.find("1900"), std::string::npos) << args.back();
  EXPECT_TRUE(Show(task)["odtTaskBeginDateTime"].is_null());

  EXPECT_EQ(Count({"--since", "1900-01-01"}), samples);
  EXPECT_EQ(Count({"--until", "2100-01-01"}), samples) << "an unset begin is no date before 2100 either";
  EXPECT_EQ(Count({"--no-begin"}), 1);
  EXPECT_EQ(Tool({"task", "count", "--no-begin", "--since", "2024-01-01"}).status, 2);
  EXPECT_EQ(Lines(Tool({"-q", "task", "list"}).out).back(), task) << "an unset begin sorts last, as a NULL does";
  const std::string help = Tool({"task", "list", "--help"}).out;
  EXPECT_NE(help.find("never match a task whose"), std::string::npos) << help;
  EXPECT_NE(help.find("0 is only the value of a new task"), std::string::npos) << help;

  // Export and import keep it unset.
  const ToolResult exported = Tool({"task", "export", "--no-begin"});
  ASSERT_EQ(Tool({"task", "delete", task}).status, 0);
  const ToolResult imported = Tool({"task", "import", "-"}, exported.out);
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(Count({"--no-begin"}), 1);
  EXPECT_EQ(Tool({"task", "export", "--no-begin"}).out, exported.out);
}

TEST_P(PlainFieldsTest, DashClearsAFieldInEdits) {
  const std::string task = Lines(Tool({"-q", "task", "list"}).out).at(0);
  ASSERT_EQ(Tool({"task", "edit", task, "--hint", "第一盘", "--from-device", "VTR 1", "--end", "2030-01-01"}).status,
            0);
  const json before = Show(task);
  ASSERT_FALSE(before["strOrgTapeTypeName"].get<std::string>().empty());
  const ToolResult cleared =
      Tool({"task", "edit", task, "--hint", "-", "--from", "-", "--from-device", "-", "--end", "-", "--duration", "-"});
  ASSERT_EQ(cleared.status, 0) << cleared.err;
  const json after = Show(task);
  EXPECT_EQ(after["strTaskHint"], "");
  EXPECT_EQ(after["strORGDeviceName"], "");
  EXPECT_EQ(after["strOrgTapeTypeName"], "");
  EXPECT_EQ(after["guidOrgTapeType"], "00000000-0000-0000-0000-000000000000");
  EXPECT_TRUE(after["odtTaskEndDateTime"].is_null());
  EXPECT_EQ(after["dwDuration"], 0);
  EXPECT_EQ(after["odtTaskBeginDateTime"], before["odtTaskBeginDateTime"]) << "a field not named stays";
  EXPECT_EQ(after["strDSTTapeTypeName"], before["strDSTTapeTypeName"]);
  EXPECT_EQ(Tool({"task", "edit", task, "--name", "-"}).status, 2) << "a task keeps a name";

  const std::string item = after["arrItems"].at(0)["guidItem"];
  EXPECT_EQ(Tool({"item", "edit", item, "--name", "-"}).status, 2) << "an item keeps a name";
  EXPECT_EQ(Tool({"item", "edit", item, "--length", "-"}).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, PlainFieldsTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
