// The timestamp text every written date becomes: digit for digit what
// printf's "%04d-%02u-%02u %02u:%02u:%02u" gives, and read back unchanged.
#include <gtest/gtest.h>

#include <cstdio>

#include "access/TimestampText.h"
#include "platform/TextEncoding.h"

namespace {

std::string Printed(const SQZTimestamp& t) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", static_cast<int>(t.year),
                static_cast<unsigned>(t.month), static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour),
                static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second));
  return buffer;
}

TEST(TimestampTextTest, FormatsAsPrintfDoesAndReadsBack) {
  const int16_t years[] = {0, 1, 99, 100, 999, 1899, 2008, 9999, 10000, -1, 32767};
  const uint16_t parts[] = {0, 1, 9, 10, 12, 23, 31, 59, 99, 100, 65535};
  for (int16_t year : years)
    for (uint16_t part : parts) {
      SQZTimestamp t;
      t.year = year;
      t.month = t.hour = part;
      t.day = t.second = static_cast<uint16_t>(part % 32);
      t.minute = static_cast<uint16_t>(59 - part % 60);
      const std::string text = qz::access::FormatTimestamp(t);
      ASSERT_EQ(text, Printed(t)) << year << " " << part;
      SQZTimestamp back;
      if (year < 0 || year > 9999 || part > 99) continue;
      ASSERT_TRUE(qz::access::ParseTimestampText(qz::platform::Utf8ToWide(text), &back)) << text;
      EXPECT_EQ(back.year, t.year);
      EXPECT_EQ(back.month, t.month);
      EXPECT_EQ(back.day, t.day);
      EXPECT_EQ(back.minute, t.minute);
      EXPECT_EQ(back.second, t.second);
    }
}

}  // namespace
