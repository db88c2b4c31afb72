// Timecode against frame counts: frames round-trip at every rate, labels run without gaps or repeats, the separator
// before the frames decides drop-frame, and labels that do not exist are refused.
#include <gtest/gtest.h>

#include "cli/formats/Timecode.h"

namespace gezhuan {
namespace {

FrameRate Rate(const std::string& name) {
  FrameRate rate;
  EXPECT_TRUE(ParseFrameRate(name, &rate)) << name;
  return rate;
}

uint32_t Parse(const std::string& text, const FrameRate& rate) {
  uint32_t frames = 0;
  std::string why;
  EXPECT_TRUE(ParseTimecode(text, rate, &frames, &why)) << text << ": " << why;
  return frames;
}

bool Refused(const std::string& text, const FrameRate& rate) {
  uint32_t frames = 0;
  std::string why;
  return !ParseTimecode(text, rate, &frames, &why) && !why.empty();
}

std::string Why(const std::string& text, const FrameRate& rate) {
  uint32_t frames = 0;
  std::string why;
  EXPECT_FALSE(ParseTimecode(text, rate, &frames, &why)) << text;
  return why;
}

TEST(TimecodeTest, FramesRoundTripAcrossTheFirstAndLastTwentyMinutesOfADayAtEveryRate) {
  for (const char* name : {"23.976", "24", "25", "29.97", "29.97ndf", "30", "50", "59.94", "59.94ndf"}) {
    const FrameRate rate = Rate(name);
    EXPECT_EQ(FrameRateName(rate), name);
    const uint32_t fps = static_cast<uint32_t>(rate.framesPerSecond);
    // Drop-frame leaves out 18 labels in every ten minutes at 29.97, 36 at 59.94.
    const uint32_t tenMinutes = rate.dropFrame ? fps * 600u - 9u * fps / 15u : fps * 600u;
    const uint32_t day = 24u * 6u * tenMinutes;
    std::string previous;
    for (uint32_t frame = 0; frame < day; frame = frame == 2 * tenMinutes ? day - 2 * tenMinutes : frame + 1) {
      const std::string text = FormatTimecode(frame, rate);
      uint32_t back = 0;
      std::string why;
      ASSERT_TRUE(ParseTimecode(text, rate, &back, &why)) << name << " " << text << ": " << why;
      ASSERT_EQ(back, frame) << name << " " << text;
      ASSERT_LT(previous, text) << name << ": labels rise with the frames";
      previous = text;
    }
    const std::string last = std::to_string(fps - 1);
    EXPECT_EQ(previous, (rate.dropFrame ? "23:59:59;" : "23:59:59:") + last) << name;
    EXPECT_EQ(FormatTimecode(day, rate), rate.dropFrame ? "24:00:00;00" : "24:00:00:00") << "shown, not typed";
    EXPECT_NE(Why(FormatTimecode(day, rate), rate).find("hours run from 00 to 23"), std::string::npos) << name;
  }
}

TEST(TimecodeTest, TheSeparatorSaysDropOrNonDropAtNtscRates) {
  const FrameRate ntsc = Rate("29.97"), ntscNonDrop = Rate("29.97ndf");
  EXPECT_EQ(FormatTimecode(1799, ntsc), "00:00:59;29");
  EXPECT_EQ(FormatTimecode(1800, ntsc), "00:01:00;02");
  EXPECT_EQ(FormatTimecode(17981, ntsc), "00:09:59;29");
  EXPECT_EQ(FormatTimecode(17982, ntsc), "00:10:00;00");
  EXPECT_EQ(FormatTimecode(17982, ntscNonDrop), "00:09:59:12");
  EXPECT_EQ(FormatTimecode(18000, ntscNonDrop), "00:10:00:00");
  for (const FrameRate& rate : {ntsc, ntscNonDrop}) {
    EXPECT_EQ(Parse("00:10:00;00", rate), 17982u);
    EXPECT_EQ(Parse("00:10:00.00", rate), 17982u) << "'.' is drop-frame too";
    EXPECT_EQ(Parse("00:10:00:00", rate), 18000u) << "':' is non-drop whatever the rate writes";
    EXPECT_EQ(Parse("00:01:00:00", rate), 1800u) << "non-drop has no missing labels";
    EXPECT_EQ(Parse("01:00:00;00", rate), 107892u);
    EXPECT_EQ(Parse("00:10:00;01", rate), 17983u);
  }
  EXPECT_NE(Why("00:01:00;00", ntsc).find("skipped"), std::string::npos);
  EXPECT_TRUE(Refused("00:01:00;01", ntsc));
  EXPECT_TRUE(Refused("00:01:00.01", ntsc));

  const FrameRate fast = Rate("59.94");
  EXPECT_EQ(FormatTimecode(3599, fast), "00:00:59;59");
  EXPECT_EQ(FormatTimecode(3600, fast), "00:01:00;04") << "four labels a minute at 59.94";
  EXPECT_EQ(FormatTimecode(35964, fast), "00:10:00;00");
  EXPECT_EQ(Parse("00:10:00:00", fast), 36000u);
  EXPECT_TRUE(Refused("00:01:00;03", fast));
  EXPECT_EQ(Parse("00:10:00;03", fast), 35967u);
  EXPECT_EQ(FormatTimecode(24, Rate("23.976")), "00:00:01:00") << "counted at the nominal 24";

  for (const char* name : {"23.976", "24", "25", "30", "50"})
    EXPECT_NE(Why("00:00:10;00", Rate(name)).find("only at --fps 29.97 and 59.94"), std::string::npos) << name;
}

TEST(TimecodeTest, AFrameBeyondTheRateNamesTheRatesThatHaveIt) {
  EXPECT_NE(Why("00:00:00:27", Rate("25")).find("frame 27 does not exist at 25 fps; it would at 29.97 or 30"),
            std::string::npos);
  EXPECT_NE(Why("00:00:00:24", Rate("23.976")).find("it would at 25"), std::string::npos);
  EXPECT_NE(Why("00:00:00;30", Rate("29.97")).find("it would at 59.94"), std::string::npos)
      << "drop-frame fits only drop-frame rates";
  EXPECT_NE(Why("00:00:00:55", Rate("50")).find("it would at 59.94"), std::string::npos);
  EXPECT_NE(Why("00:00:00:60", Rate("59.94")).find("no rate has it"), std::string::npos);
}

TEST(TimecodeTest, RefusesLabelsThatDoNotExistAndMalformedText) {
  const FrameRate pal = Rate("25");
  EXPECT_EQ(Parse("00:00:10:00", pal), 250u);
  EXPECT_EQ(Parse("250", pal), 250u) << "frame counts are still accepted";
  EXPECT_TRUE(Refused("100:00:00:00", pal)) << "a day has 24 hours";
  EXPECT_TRUE(Refused("24:00:00:00", pal));
  EXPECT_EQ(Parse("9000000", pal), 9000000u) << "a point past a day is a frame count";
  EXPECT_TRUE(Refused("00:00:00:25", pal));
  EXPECT_TRUE(Refused("00:00:60:00", pal));
  EXPECT_TRUE(Refused("00:60:00:00", pal));
  EXPECT_TRUE(Refused("00:00:10;00", pal)) << "drop-frame only at 29.97 and 59.94";
  EXPECT_TRUE(Refused("0:00:10:00", pal));
  EXPECT_TRUE(Refused("00:00:10", pal));
  EXPECT_TRUE(Refused("00:00:10:00:00", pal));
  EXPECT_TRUE(Refused("4294967296", pal));
  EXPECT_TRUE(Refused("50000:00:00:00", pal)) << "beyond 32 bits of frames";
  EXPECT_TRUE(Refused("-1", pal));
  EXPECT_TRUE(Refused("", pal));
  EXPECT_EQ(FormatTimecode(4294967295u, pal), "47721:51:31:20");
  FrameRate rate;
  for (const char* name : {"60", "29.976", "25df", "30ndf", "29.97 ", ""})
    EXPECT_FALSE(ParseFrameRate(name, &rate)) << name;
  EXPECT_TRUE(Rate("29.97df").dropFrame);
}

}  // namespace
}  // namespace gezhuan
