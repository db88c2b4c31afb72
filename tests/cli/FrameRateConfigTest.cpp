// The frame rate of timecode when --fps is not given: from GEZHUAN_FPS,
// else from fps in the configuration file, else 25; every timecode shown
// says which rate it is at and where that came from, and a mistake in the
// file or the variable is an error that names it.
#include <filesystem>
#include <nlohmann/json.hpp>

#include "ToolRunner.h"

namespace gezhuan_test {
namespace {

using nlohmann::json;

class FrameRateConfigTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    ASSERT_EQ(RunDb({"init"}).status, 0);
    std::filesystem::create_directories(m_dir / "config" / "qz");
    m_config = (m_dir / "config" / "qz" / "gezhuan.conf").string();
  }
  void Configure(const std::string& text) const { WriteFile("config/qz/gezhuan.conf", text); }
  std::string RateLine(std::vector<std::string> extra = {}) const {
    extra.insert(extra.end(), {"item", "list"});
    const ToolResult list = RunDb(extra);
    EXPECT_EQ(list.status, 0) << list.err;
    return Lines(list.out).empty() ? "" : Lines(list.out).back();
  }
  std::string m_config;
};

TEST_F(FrameRateConfigTest, OptionThenVariableThenFileThenTwentyFive) {
  const ToolResult added = RunDb({"task", "add", "--name", "t", "--item", "a:0:60"});
  ASSERT_EQ(added.status, 0) << added.err;
  const std::string task = Lines(added.out).at(0);
  EXPECT_EQ(RateLine(), "Timecode at 25 fps, from the default");

  Configure("# the studio's rate\n\nfps = 50\n");
  EXPECT_EQ(RateLine(), "Timecode at 50 fps, from " + m_config + " line 3");
  const ToolResult list = RunDb({"item", "list"});
  EXPECT_NE(list.out.find("00:00:00:00  00:00:01:10"), std::string::npos) << "60 frames at 50 fps\n" << list.out;
  const ToolResult show = RunDb({"task", "show", task});
  const size_t rate = show.out.find("\nFrame rate: ");
  ASSERT_NE(rate, std::string::npos) << show.out;
  const size_t value = show.out.find_first_not_of(' ', rate + 12);
  EXPECT_EQ(show.out.substr(value, show.out.find('\n', value) - value), "50 fps, from " + m_config + " line 3");
  // Typed timecode is read at that rate too.
  const ToolResult typed = RunDb({"task", "add", "--name", "d", "--duration", "00:00:01:00"});
  ASSERT_EQ(typed.status, 0) << typed.err;
  EXPECT_EQ(json::parse(RunDb({"--json", "task", "show", Lines(typed.out).at(0)}).out)["dwDuration"], 50);

  m_setenv.push_back({"GEZHUAN_FPS", "29.97"});
  EXPECT_EQ(RateLine(), "Timecode at 29.97 fps drop-frame, from GEZHUAN_FPS");
  EXPECT_EQ(RateLine({"--fps", "29.97ndf"}), "Timecode at 29.97 fps non-drop, from --fps");
  EXPECT_EQ(RateLine({"--fps", "24"}), "Timecode at 24 fps, from --fps");
}

TEST_F(FrameRateConfigTest, AMistakeInTheFileOrTheVariableIsAnErrorNamingIt) {
  struct Case {
    std::string text, words;
  };
  for (const Case& c : std::vector<Case>{{"fps = 31\n", "line 1: fps: \"31\" is no rate"},
                                         {"\nfsp = 25\n", "line 2: unknown key \"fsp\""},
                                         {"fps 25\n", "line 1: expected key = value"},
                                         {"fps = 25\nfps = 50\n", "line 2: fps is set on line 1 already"}}) {
    Configure(c.text);
    const ToolResult refused = RunDb({"task", "add", "--name", "t", "--duration", "00:00:01:00"});
    EXPECT_EQ(refused.status, 2) << c.text;
    EXPECT_NE(refused.err.find(m_config + " " + c.words), std::string::npos) << refused.err;
  }
  std::filesystem::remove(m_config);
  m_setenv.push_back({"GEZHUAN_FPS", "60"});
  const ToolResult variable = RunDb({"item", "list"});
  EXPECT_EQ(variable.status, 2);
  EXPECT_NE(variable.err.find("GEZHUAN_FPS: \"60\" is no rate"), std::string::npos) << variable.err;
  m_setenv.clear();
  EXPECT_EQ(json::parse(RunDb({"--json", "task", "count"}).out)["tasks"], 0) << "nothing was written";
}

}  // namespace
}  // namespace gezhuan_test
