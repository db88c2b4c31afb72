// Listings line up in terminal columns when Chinese and Latin text mix.
#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

class ListingTest : public ToolTest {};

// The terminal column at which needle starts in line, -1 if absent.
int ColumnOf(const std::string& line, const std::string& needle) {
  const size_t at = line.find(needle);
  return at == std::string::npos ? -1 : Columns(line.substr(0, at));
}

TEST_F(ListingTest, TaskListAlignsMixedChineseAndLatinNames) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  const std::vector<std::pair<std::string, std::string>> tasks = {{"纪录片 黄河", "2024-05-01T08:00"},
                                                                  {"Plain Latin name", "2024-05-02T08:00"},
                                                                  {"混合 mixed 名字 with ＡＢＣ", "2024-05-03T08:00"},
                                                                  {"短", "2024-05-04T08:00"}};
  for (const auto& task : tasks)
    ASSERT_EQ(RunDb({"task", "add", "--name", task.first, "--begin", task.second, "--item", "片:0:1"}).status, 0);

  ToolResult list = RunDb({"task", "list"});
  ASSERT_EQ(list.status, 0) << list.err;
  const std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 2 + tasks.size()) << list.out;
  const int beginColumn = ColumnOf(lines[0], "BEGIN");
  const int itemsColumn = ColumnOf(lines[0], "ITEMS");
  ASSERT_GT(beginColumn, 0);
  for (size_t i = 0; i < tasks.size(); ++i) {
    const std::string& row = lines[2 + i];
    EXPECT_NE(row.find(tasks[i].first), std::string::npos) << "listed in begin order: " << row;
    EXPECT_EQ(ColumnOf(row, "2024-05-0"), beginColumn) << row;
    EXPECT_EQ(Columns(row.substr(0, row.rfind(' ') + 1)), itemsColumn) << row;
  }
}

TEST_F(ListingTest, ControlCharactersAreShownEscapedAndColumnsStayAligned) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  const std::vector<std::pair<std::string, std::string>> names = {
      {"红\x1B[31m色", "红\\e[31m色"},
      {"Bell\x07", "Bell\\x07"},
      {"第一行\nguidTaskID:  FAKE", "第一行\\nguidTaskID:  FAKE"},
      {"RLO\u202Eevil", "RLO\\u202Eevil"},
  };
  std::vector<std::string> guids;
  for (size_t i = 0; i < names.size(); ++i) {
    ToolResult added = RunDb({"task", "add", "--name", names[i].first, "--begin", "2024-05-0" + std::to_string(i + 1),
                              "--item", "片\x1B]0;title\x07:0:1"});
    ASSERT_EQ(added.status, 0) << added.err;
    guids.push_back(added.out.substr(0, 36));
  }
  auto expectNoControls = [](const std::string& out) {
    for (char c : out) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n') << int(c) << " in " << out;
    EXPECT_EQ(out.find("\xE2\x80\xAE"), std::string::npos) << "U+202E reached the terminal";
  };

  ToolResult list = RunDb({"task", "list"});
  ASSERT_EQ(list.status, 0) << list.err;
  expectNoControls(list.out);
  const std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 2 + names.size()) << list.out;
  const int beginColumn = ColumnOf(lines[0], "BEGIN");
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_NE(lines[2 + i].find(names[i].second), std::string::npos) << lines[2 + i];
    EXPECT_EQ(ColumnOf(lines[2 + i], "2024-05-0"), beginColumn) << lines[2 + i];
  }

  ToolResult items = RunDb({"item", "list"});
  expectNoControls(items.out);
  EXPECT_NE(items.out.find("片\\e]0;title\\x07"), std::string::npos) << items.out;

  ToolResult show = RunDb({"task", "show", guids[2]});
  ASSERT_EQ(show.status, 0) << show.err;
  expectNoControls(show.out);
  for (const std::string& line : Lines(show.out)) EXPECT_NE(line.rfind("guidTaskID:  FAKE", 0), 0u) << "a faked field";
  EXPECT_NE(show.out.find(names[2].second), std::string::npos) << show.out;

  // JSON keeps the exact text.
  ToolResult json = RunDb({"--json", "task", "show", guids[0]});
  EXPECT_NE(json.out.find("红\\u001b[31m色"), std::string::npos) << json.out;

  // And a message quoting what was typed does not pass it on either.
  ToolResult unknown = RunDb({"task", "add", "--name", "x", "--from", "\x1B[2J"});
  EXPECT_EQ(unknown.status, 1);
  expectNoControls(unknown.err);
}

TEST_F(ListingTest, ItemListAlignsChineseItemNames) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  ASSERT_EQ(RunDb({"task", "add", "--name", "t", "--item", "第一段:0:10", "--item", "Part two:10:20", "--item",
                   "三:20:30:99"})
                .status,
            0);
  ToolResult list = RunDb({"--wide", "item", "list"});
  ASSERT_EQ(list.status, 0) << list.err;
  const std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 5u) << list.out;
  const int typeColumn = ColumnOf(lines[0], "TYPE");
  for (size_t i = 2; i < lines.size(); ++i) {
    // The column after the name starts with the item type, 0.
    const std::string& row = lines[i];
    const size_t nameEnd = row.find("  0  ", 80);
    ASSERT_NE(nameEnd, std::string::npos) << row;
    EXPECT_EQ(Columns(row.substr(0, nameEnd + 2)), typeColumn) << row;
  }
}

}  // namespace
}  // namespace gezhuan_test
