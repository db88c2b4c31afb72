// Timecode against frame counts: every frame of a day round-trips, labels
// run without gaps or repeats, and labels that do not exist are refused.
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

TEST(TimecodeTest, EveryFrameOfADayRoundTripsAtEveryRate) {
  for (const char* name : {"25", "29.97", "30"}) {
    const FrameRate rate = Rate(name);
    const uint32_t day = rate.dropFrame ? 2589408u : 24u * 3600u * static_cast<uint32_t>(rate.framesPerSecond);
    std::string previous;
    for (uint32_t frame = 0; frame <= day; ++frame) {
      const std::string text = FormatTimecode(frame, rate);
      uint32_t back = 0;
      std::string why;
      ASSERT_TRUE(ParseTimecode(text, rate, &back, &why)) << name << " " << text << ": " << why;
      ASSERT_EQ(back, frame) << name << " " << text;
      ASSERT_LT(previous, text) << name << ": labels rise with the frames";
      previous = text;
    }
    EXPECT_EQ(previous, rate.dropFrame ? "24:00:00;00" : "24:00:00:00") << name;
  }
}

TEST(TimecodeTest, DropFrameSkipsTwoLabelsAMinuteButEveryTenth) {
  const FrameRate ntsc = Rate("29.97");
  EXPECT_EQ(FormatTimecode(1799, ntsc), "00:00:59;29");
  EXPECT_EQ(FormatTimecode(1800, ntsc), "00:01:00;02");
  EXPECT_EQ(FormatTimecode(17981, ntsc), "00:09:59;29");
  EXPECT_EQ(FormatTimecode(17982, ntsc), "00:10:00;00");
  EXPECT_EQ(Parse("01:00:00;00", ntsc), 107892u);
  EXPECT_EQ(Parse("00:10:00:00", ntsc), 17982u) << "':' before the frames reads as drop-frame too";
  EXPECT_TRUE(Refused("00:01:00;00", ntsc));
  EXPECT_TRUE(Refused("00:01:00;01", ntsc));
  EXPECT_EQ(Parse("00:10:00;01", ntsc), 17983u);
  EXPECT_TRUE(Refused("00:00:00;30", ntsc));
}

TEST(TimecodeTest, RefusesLabelsThatDoNotExistAndMalformedText) {
  const FrameRate pal = Rate("25");
  EXPECT_EQ(Parse("00:00:10:00", pal), 250u);
  EXPECT_EQ(Parse("250", pal), 250u) << "frame counts are still accepted";
  EXPECT_EQ(Parse("100:00:00:00", pal), 9000000u);
  EXPECT_TRUE(Refused("00:00:00:25", pal));
  EXPECT_TRUE(Refused("00:00:60:00", pal));
  EXPECT_TRUE(Refused("00:60:00:00", pal));
  EXPECT_TRUE(Refused("00:00:10;00", pal)) << "drop-frame only at 29.97";
  EXPECT_TRUE(Refused("0:00:10:00", pal));
  EXPECT_TRUE(Refused("00:00:10", pal));
  EXPECT_TRUE(Refused("00:00:10:00:00", pal));
  EXPECT_TRUE(Refused("4294967296", pal));
  EXPECT_TRUE(Refused("50000:00:00:00", pal)) << "beyond 32 bits of frames";
  EXPECT_TRUE(Refused("-1", pal));
  EXPECT_TRUE(Refused("", pal));
  EXPECT_EQ(FormatTimecode(4294967295u, pal), "47721:51:31:20");
  FrameRate rate;
  EXPECT_FALSE(ParseFrameRate("24", &rate));
}

}  // namespace
}  // namespace gezhuan
