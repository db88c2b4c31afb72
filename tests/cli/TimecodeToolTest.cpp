// Timecode on the command line: items and durations typed as timecode are
// stored as frame counts at the chosen rate, shown back as timecode, and
// timecode that does not exist is refused without storing anything.
#include <nlohmann/json.hpp>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class TimecodeToolTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ASSERT_EQ(RunDb({"init"}).status, 0);
  }

  json AddAndShow(const std::vector<std::string>& options) const {
    std::vector<std::string> args = {"task", "add", "--name", "t"};
    args.insert(args.end(), options.begin(), options.end());
    const ToolResult added = RunDb(args);
    EXPECT_EQ(added.status, 0) << added.err;
    return json::parse(RunDb({"--json", "task", "show", Lines(added.out).at(0)}).out);
  }
};

TEST_F(TimecodeToolTest, ItemTimecodeIsNotTakenForPartOfTheName) {
  const json task = AddAndShow({"--item", "Intro:00:00:10:00:00:00:20:00", "--item", "Main:Part 1:500:750:250",
                                "--item", "Outro:00:00:30:00:00:01:00:00:00:00:30:00", "--duration", "00:01:00:00"});
  const json& items = task["arrItems"];
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0]["strItemName"], "Intro");
  EXPECT_EQ(items[0]["dwTrimIn"], 250);
  EXPECT_EQ(items[0]["dwTrimOut"], 500);
  EXPECT_EQ(items[0]["dwLength"], 250);
  EXPECT_EQ(items[1]["strItemName"], "Main:Part 1") << "a colon before text stays in the name";
  EXPECT_EQ(items[1]["dwLength"], 250);
  EXPECT_EQ(items[2]["dwTrimOut"], 1500);
  EXPECT_EQ(items[2]["dwLength"], 750);
  EXPECT_EQ(task["dwDuration"], 1500);
}

TEST_F(TimecodeToolTest, DropFrameAtNtscRateAndTimecodeInListings) {
  const json task = AddAndShow({"--fps", "29.97", "--item", "a:00:00:59;29:00:01:00;02", "--duration", "01:00:00;00"});
  EXPECT_EQ(task["arrItems"][0]["dwTrimIn"], 1799);
  EXPECT_EQ(task["arrItems"][0]["dwTrimOut"], 1800);
  EXPECT_EQ(task["dwDuration"], 107892);
  const std::string guid = task["guidTaskID"];

  const ToolResult ntsc = RunDb({"--fps", "29.97", "task", "show", guid});
  const size_t duration = ntsc.out.find("Duration:");
  ASSERT_NE(duration, std::string::npos) << ntsc.out;
  EXPECT_EQ(ntsc.out.substr(ntsc.out.find_first_not_of(' ', duration + 9), 12), "01:00:00;00\n");
  EXPECT_NE(ntsc.out.find("00:00:59;29  00:01:00;02  00:00:00;01"), std::string::npos) << ntsc.out;
  // ':' is non-drop at 29.97 as everywhere: ten minutes are 18000 frames.
  const json nonDrop = AddAndShow({"--fps", "29.97", "--duration", "00:10:00:00"});
  EXPECT_EQ(nonDrop["dwDuration"], 18000);
  const ToolResult shown = RunDb({"--fps", "29.97ndf", "task", "show", nonDrop["guidTaskID"]});
  EXPECT_NE(shown.out.find("00:10:00:00\n"), std::string::npos) << shown.out;
  const ToolResult pal = RunDb({"item", "list"});
  EXPECT_NE(pal.out.find("00:01:11:24  00:01:12:00  00:00:00:01"), std::string::npos) << "25 fps by default\n"
                                                                                      << pal.out;
}

TEST_F(TimecodeToolTest, TimecodeThatDoesNotExistIsRefusedAndNothingStored) {
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--item", "a:00:00:00:25:00:00:01:00"},                    // frame 25 at 25 fps
           {"--fps", "29.97", "--item", "a:00:01:00;00:00:02:00;00"},  // a dropped label
           {"--item", "a:00:00:10;00:00:00:20;00"},                    // drop-frame at 25 fps
           {"--item", "a:00:00:10:00:250"},                            // timecode and frames mixed
           {"--item", "a:00:00:20:00:00:00:10:00"},                    // out before in
           {"--duration", "00:00:00:30"},
           {"--fps", "60", "--item", "a:0:1"}}) {
    std::vector<std::string> args = {"task", "add", "--name", "t"};
    args.insert(args.end(), bad.begin(), bad.end());
    const ToolResult refused = RunDb(args);
    EXPECT_EQ(refused.status, 2) << bad.back() << "\n" << refused.out;
    EXPECT_FALSE(refused.err.empty());
  }
  EXPECT_EQ(json::parse(RunDb({"--json", "status"}).out)["tasks"], 0);
}

}  // namespace
}  // namespace gezhuan_test
