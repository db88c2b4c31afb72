// `tape export` and `tape import` on every engine: a catalogue carried to an
// empty database arrives whole, records already there are left alone, one
// default tape type remains, and a document naming a missing group is
// refused before anything is written.
#include <nlohmann/json.hpp>

#include "EngineToolTest.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class TapeTransferTest : public EngineToolTest {};

TEST_P(TapeTransferTest, CatalogueTravelsToAnEmptyDatabaseAndBack) {
  const ToolResult exported = Tool({"tape", "export"});
  ASSERT_EQ(exported.status, 0) << exported.err;
  const json catalogue = json::parse(exported.out);
  ASSERT_EQ(catalogue["groups"].size(), 3u);
  ASSERT_EQ(catalogue["tapes"].size(), 10u);

  const std::string copy = (m_dir / "copy.db").string();
  ASSERT_EQ(RunOn(copy, {"init"}).status, 0);
  const std::string file = WriteFile("catalogue.json", exported.out);
  const ToolResult dry = RunOn(copy, {"tape", "import", "--dry-run", file});
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_EQ(RunOn(copy, {"tape", "export"}).out, "{\n  \"groups\": [],\n  \"tapes\": []\n}\n");
  const ToolResult imported = RunOn(copy, {"tape", "import", file});
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(imported.out, "imported 3 tape groups and 10 tape types\n");
  EXPECT_EQ(RunOn(copy, {"tape", "export"}).out, exported.out);
  // With the catalogue there, the tasks' tape types can be named again.
  EXPECT_EQ(RunOn(copy, {"task", "add", "--name", "t", "--from", "HDCAM"}).status, 0);

  // Back onto the engine: a new group and tape, the rest already there, and
  // a second default that must not displace the first.
  json more = catalogue;
  more["groups"].push_back({{"guidGroupID", "0BADF00D-0000-4000-8000-0000000000A1"}, {"strGroupName", "Film"}});
  more["tapes"].push_back({{"TAPEGUID", "0BADF00D-0000-4000-8000-0000000000B1"},
                           {"TAPENAME", "35mm"},
                           {"guidGroupID", "0BADF00D-0000-4000-8000-0000000000A1"},
                           {"bIfDefault", 1}});
  const ToolResult merged = Tool({"--json", "tape", "import", WriteFile("more.json", more.dump())});
  ASSERT_EQ(merged.status, 0) << merged.err;
  EXPECT_EQ(json::parse(merged.out), json::parse(R"({"groupsImported":1,"tapesImported":1,"skipped":13})"));
  EXPECT_EQ(json::parse(Tool({"--json", "tape", "default"}).out)["TAPENAME"], "Digital Betacam");
  EXPECT_EQ(json::parse(Tool({"--json", "tape", "list", "--group", "Film"}).out)[0]["bIfDefault"], 0);
}

TEST_P(TapeTransferTest, RefusesADocumentNamingAMissingGroup) {
  const json bad = {{"tapes", json::array({{{"TAPEGUID", "0BADF00D-0000-4000-8000-0000000000B2"},
                                            {"TAPENAME", "orphan"},
                                            {"guidGroupID", "0BADF00D-0000-4000-8000-0000000000A9"}}})},
                    {"groups", json::array({{{"guidGroupID", "0BADF00D-0000-4000-8000-0000000000A3"}}})}};
  const ToolResult refused = Tool({"tape", "import", WriteFile("bad.json", bad.dump())});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("$.tapes[0].guidGroupID"), std::string::npos) << refused.err;
  EXPECT_EQ(json::parse(Tool({"--json", "tape", "groups"}).out).size(), 3u) << "nothing written";
  EXPECT_EQ(Tool({"tape", "import", WriteFile("worse.json", R"({"tapes": [{"TAPENAME": "x"}]})")}).status, 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, TapeTransferTest, ::testing::ValuesIn(kEngines), EngineName);

}  // namespace
}  // namespace gezhuan_test
