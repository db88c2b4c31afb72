// `item list --task`, `item show`, `item add` and `item edit` on every
// engine: items found by GUID start, added after the task's last item, and
// edited inside their task without disturbing the others.
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

const char kTask1[] = "5A3E0001-7C1B-4D2A-9F00-000000000001";
const char kItem1[] = "5A3E0001-7C1B-4D2A-9F00-000000001001";

class ItemCommandTest : public EngineToolTest {
 protected:
  json Items(const std::string& task) const {
    const ToolResult list = Tool({"--json", "item", "list", "--task", task});
    EXPECT_EQ(list.status, 0) << list.err;
    return json::parse(list.out);
  }
};

TEST_P(ItemCommandTest, AddListShowAndEditOneTasksItems) {
  const json before = Items("5a3e0001-7c1b-4d2a-9f00-000000000001");
  ASSERT_EQ(before.size(), 3u);

  const ToolResult added = Tool({"item", "add", "--task", kTask1, "--type", "7", "片尾 2:00:30:00:00:00:30:10:00"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string guid = Lines(added.out).at(0);
  const json after = Items(kTask1);
  ASSERT_EQ(after.size(), 4u);
  EXPECT_EQ(after[3]["guidItem"], guid);
  EXPECT_EQ(after[3]["nIndex"], before[2]["nIndex"].get<int>() + 1) << "after the last item";
  EXPECT_EQ(after[3]["nItemType"], 7);
  EXPECT_EQ(after[3]["dwTrimIn"], 45000);
  EXPECT_EQ(after[3]["dwLength"], 250);

  const ToolResult shown = Tool({"item", "show", guid.substr(0, 13)});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("片尾 2"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("00:30:10:00"), std::string::npos) << shown.out;

  const ToolResult edited = Tool({"--json", "item", "edit", guid, "--name", "End", "--out", "00:30:20:00"});
  ASSERT_EQ(edited.status, 0) << edited.err;
  EXPECT_EQ(json::parse(edited.out)["changed"], guid);
  const json changed = Items(kTask1);
  ASSERT_EQ(changed.size(), 4u);
  EXPECT_EQ(changed[3]["strItemName"], "End");
  EXPECT_EQ(changed[3]["dwTrimOut"], 45500);
  EXPECT_EQ(changed[3]["dwLength"], 500) << "the length follows moved trim points";
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(changed[i], before[i]) << "the other items are unchanged";
}

TEST_P(ItemCommandTest, RefusesWhatWouldDamageAnItem) {
  EXPECT_EQ(Tool({"item", "edit", kItem1, "--in", "00:00:00:25"}).status, 2);
  EXPECT_EQ(Tool({"item", "edit", kItem1, "--in", "00:10:00:00"}).status, 2) << "in after out";
  EXPECT_EQ(Tool({"item", "edit", kItem1}).status, 2) << "nothing to change";
  EXPECT_EQ(Tool({"item", "add", "--task", "FFFFFFFF", "a:0:1"}).status, 1);
  EXPECT_EQ(Tool({"item", "show", "5A3E0001"}).status, 1) << "ambiguous start";
  EXPECT_EQ(Items(kTask1).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Engines, ItemCommandTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
