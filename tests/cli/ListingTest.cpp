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

TEST_F(ListingTest, ItemListAlignsChineseItemNames) {
  ASSERT_EQ(RunDb({"init"}).status, 0);
  ASSERT_EQ(RunDb({"task", "add", "--name", "t", "--item", "第一段:0:10", "--item", "Part two:10:20", "--item",
                   "三:20:30:99"})
                .status,
            0);
  ToolResult list = RunDb({"item", "list"});
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
