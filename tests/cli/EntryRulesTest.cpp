// One set of rules for every way a task or an item comes in: what the typed
// commands refuse, task import refuses too, and neither writes anything
// when it refuses.
#include <functional>
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class EntryRulesTest : public EngineToolTest {
 protected:
  long long Tasks() const { return json::parse(Tool({"--json", "task", "count"}).out)["tasks"]; }
  std::string FirstTask() const { return Lines(Tool({"-q", "task", "list"}).out).at(0); }
  json Show(const std::string& task) const { return json::parse(Tool({"--json", "task", "show", task}).out); }
  std::string TapeGuid(const std::string& name) const {
    for (const json& tape : json::parse(Tool({"--json", "tape", "list"}).out))
      if (tape["TAPENAME"] == name) return tape["TAPEGUID"];
    ADD_FAILURE() << "no tape " << name;
    return "";
  }
};

TEST_P(EntryRulesTest, TypedCommandsRefuseWhatContradictsItself) {
  const long long before = Tasks();
  for (const std::vector<std::string>& extra : std::vector<std::vector<std::string>>{
           {"--item", "x:0:250:100"},                               // a length against the trim points
           {"--item", "x:250:0"},                                   // out before in
           {"--begin", "2024-03-02", "--end", "2024-03-01T23:59"},  // ends before it begins
           {"--duration", "24:00:00:00"},                           // hours past 23
           {"--item", "x:23:00:00:00:24:00:00:00"}}) {
    std::vector<std::string> args = {"task", "add", "--name", "t"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ToolResult refused = Tool(args);
    EXPECT_EQ(refused.status, 2) << extra.back() << "\n" << refused.out;
    EXPECT_FALSE(refused.err.empty());
  }
  EXPECT_EQ(Tool({"task", "add", "--name", "t", "--from", "Betamax"}).status, 1);
  EXPECT_EQ(Tool({"task", "add", "--name", "t", "--to", "1D1D1D1D-0000-4000-8000-000000000001"}).status, 1);
  EXPECT_EQ(Tasks(), before) << "a refused add wrote something";

  const std::string task = FirstTask();
  const size_t items = Show(task)["arrItems"].size();
  const ToolResult wrong = Tool({"item", "add", "--task", task, "x:0:250:100"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("the length (100 frames) is not trim out - trim in (250 frames)"), std::string::npos)
      << wrong.err;
  ASSERT_EQ(Show(task)["arrItems"].size(), items);
  const ToolResult added = Tool({"item", "add", "--task", task, "x:0:250:250"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string item = Lines(added.out).at(0);
  EXPECT_EQ(Tool({"item", "edit", item, "--length", "100"}).status, 2);
  EXPECT_EQ(Tool({"item", "edit", item, "--in", "300"}).status, 2) << "in past out";
  ASSERT_EQ(Tool({"item", "edit", item, "--out", "500"}).status, 0);
  EXPECT_EQ(json::parse(Tool({"--json", "item", "show", item}).out)["dwLength"], 500) << "the length follows";
  EXPECT_EQ(Tool({"task", "edit", task, "--end", "2000-01-01"}).status, 2) << "before the sample task's begin";
  EXPECT_EQ(
      Tool({"task", "edit", task, "--items", "-"}, R"([{"strItemName": "x", "dwTrimOut": 9, "dwLength": 1}])").status,
      1);
  EXPECT_EQ(Show(task)["arrItems"].size(), items + 1) << "a refused edit kept the items";

  const ToolResult allowed = Tool({"task", "add", "--name", "u", "--from", "Betamax", "--allow-unknown-tapes"});
  ASSERT_EQ(allowed.status, 0) << allowed.err;
  const json unknown = Show(Lines(allowed.out).at(0));
  EXPECT_EQ(unknown["strOrgTapeTypeName"], "Betamax");
  EXPECT_EQ(unknown["guidOrgTapeType"], "00000000-0000-0000-0000-000000000000");
}

TEST_P(EntryRulesTest, ImportRefusesWhatTheTypedCommandsRefuse) {
  const std::string betacam = TapeGuid("Betacam SP");
  auto document = [](const std::function<void(json&)>& change) {
    json task = {{"guidTaskID", "2B2B2B2B-0000-4000-8000-000000000001"},
                 {"strTaskName", "imported"},
                 {"odtTaskBeginDateTime", "2024-03-01T09:00:00"},
                 {"odtTaskEndDateTime", "2024-03-01T10:00:00"},
                 {"arrItems", json::array({{{"strItemName", "a"}, {"dwTrimIn", 0}, {"dwTrimOut", 250}}})}};
    change(task);
    return json::array({task}).dump();
  };
  struct Case {
    std::function<void(json&)> change;
    std::string words, at;
  };
  const std::vector<Case> cases = {
      {[](json& t) { t["strOrgTapeTypeName"] = "Betamax"; }, "no tape type \"Betamax\" in the catalogue",
       "$[0].strOrgTapeTypeName"},
      {[](json& t) { t["guidDSTTapeType"] = "1D1D1D1D-0000-4000-8000-000000000001"; }, "no tape type 1D1D1D1D",
       "$[0].guidDSTTapeType"},
      {[&](json& t) {
         t["strOrgTapeTypeName"] = "HDCAM";
         t["guidOrgTapeType"] = betacam;
       },
       "is \"Betacam SP\" in the catalogue, not \"HDCAM\"", "$[0].guidOrgTapeType"},
      {[](json& t) { t["arrItems"][0]["dwTrimIn"] = 300; }, "trim out (250) comes before trim in (300)",
       "$[0].arrItems[0].dwTrimOut"},
      {[](json& t) { t["arrItems"][0]["dwLength"] = 100; }, "the length (100 frames)", "$[0].arrItems[0].dwLength"},
      {[](json& t) { t["odtTaskEndDateTime"] = "2024-03-01T08:59:59"; }, "would end", "$[0].odtTaskEndDateTime"},
  };
  const long long before = Tasks();
  for (const Case& c : cases) {
    const ToolResult refused = Tool({"task", "import", "-"}, document(c.change));
    EXPECT_EQ(refused.status, 1) << c.at;
    EXPECT_NE(refused.err.find(c.words), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find(c.at), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("nothing imported"), std::string::npos) << refused.err;
  }
  EXPECT_EQ(Tasks(), before);

  const std::string unknown = document([](json& t) { t["strOrgTapeTypeName"] = "Betamax"; });
  const ToolResult allowed = Tool({"task", "import", "--allow-unknown-tapes", "-"}, unknown);
  ASSERT_EQ(allowed.status, 0) << allowed.err;
  const json task = Show("2B2B2B2B-0000-4000-8000-000000000001");
  EXPECT_EQ(task["strOrgTapeTypeName"], "Betamax");
  EXPECT_EQ(task["arrItems"][0]["dwLength"], 250) << "a length left out follows the trim points";
  const std::string known = document([&](json& t) {
    t["guidTaskID"] = "2B2B2B2B-0000-4000-8000-000000000002";
    t["strOrgTapeTypeName"] = "Betacam SP";
    t["guidOrgTapeType"] = betacam;
  });
  const ToolResult imported = Tool({"task", "import", "-"}, known);
  EXPECT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(Tasks(), before + 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, EntryRulesTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
