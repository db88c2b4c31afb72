#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>

#include "common/GuidText.h"
#include "conversions/Conversions.h"

namespace {

using qz::conversions::GuidToText;
using qz::conversions::IsNullGuid;
using qz::conversions::TextToGuid;

const wchar_t kText[] = L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";

// The GUID whose bytes in memory are 3D 2C 1B 0A 5F 4E 71 60 82 93 ... F9.
GUID ExampleGuid() {
  const unsigned char bytes[16] = {0x3D, 0x2C, 0x1B, 0x0A, 0x5F, 0x4E, 0x71, 0x60,
                                   0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9};
  static_assert(sizeof(GUID) == 16, "GUID layout");
  GUID g;
  std::memcpy(&g, bytes, sizeof g);
  return g;
}

GUID RandomGuid(std::mt19937& rng) {
  GUID g;
  g.Data1 = rng();
  g.Data2 = static_cast<uint16_t>(rng());
  g.Data3 = static_cast<uint16_t>(rng());
  for (auto& b : g.Data4) b = static_cast<uint8_t>(rng());
  return g;
}

TEST(GuidTest, ExampleBytesAndTextCorrespond) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
  GTEST_SKIP() << "the byte example assumes a little-endian host";
#endif
  EXPECT_EQ(GuidToText(ExampleGuid()), kText);
  EXPECT_TRUE(TextToGuid(kText) == ExampleGuid());
  EXPECT_TRUE(TextToGuid(L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9") == ExampleGuid());
  EXPECT_TRUE(TextToGuid(L"0a1B2c3D-4E5f-6071-8293-A4b5C6d7E8f9") == ExampleGuid());
}

TEST(GuidTest, AnythingButTheExactFormIsTheNullGuid) {
  const std::wstring kBad[] = {
      L"",
      L" 0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9",
      L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9 ",
      L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}",
      L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F",    // 35
      L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F90",  // 37
      L"0A1B2C3D4E5F-6071-8293-A4B5C6D7E8F9A",   // hyphen moved
      L"0A1B2C3D-4E5F-6071-8293A-4B5C6D7E8F9",
      L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8G9",  // G
      L"0A1B2C3D-4E5F-6071-82 3-A4B5C6D7E8F9",
      L"+A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9",  // sign a strtoul would take
      L"0x1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9",
      L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8\xFF10\xFF11",  // full-width digits
      std::wstring(L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9") + std::wstring(264, L'0'),
      std::wstring(300, L'A'),
      std::wstring(L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9\0", 37),
  };
  for (const std::wstring& text : kBad) {
    EXPECT_EQ(IsNullGuid(TextToGuid(text)), 1) << "length " << text.size();
  }
}

TEST(GuidTest, RandomGuidsRoundTrip) {
  std::mt19937 rng(7);
  for (int i = 0; i < 1000; ++i) {
    const GUID g = RandomGuid(rng);
    const std::wstring text = GuidToText(g);
    ASSERT_EQ(text.size(), 36u);
    ASSERT_TRUE(TextToGuid(text) == g) << std::string(text.begin(), text.end());
  }
}

TEST(GuidTest, NullOnlyWhenEveryByteIsZero) {
  GUID zero{};
  EXPECT_EQ(IsNullGuid(zero), 1);
  EXPECT_EQ(GuidToText(zero), L"00000000-0000-0000-0000-000000000000");
  for (int i = 0; i < 16; ++i) {
    unsigned char bytes[16] = {};
    bytes[i] = 0x80;
    GUID g;
    std::memcpy(&g, bytes, sizeof g);
    EXPECT_EQ(IsNullGuid(g), 0) << "byte " << i;
  }
}

// What a person or a document types: the exact form, in braces or with
// blanks around it; a start, a blank inside or a half brace is not a GUID.
TEST(GuidTest, TypedTextIsTheExactFormWithBracesOrBlanksAround) {
  for (const char* typed : {"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9", " {0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\t",
                            "\n0A1B2C3D-4E5F-6071-8293-A4b5c6d7e8f9 "}) {
    GUID guid{};
    EXPECT_TRUE(qz::common::ReadTypedGuid(typed, &guid)) << typed;
    EXPECT_EQ(qz::common::GuidToUtf8(guid), "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9") << typed;
  }
  for (const char* typed : {"0A1B2C3D-4E5F", "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9",
                            "0A1B2C3D-4E5F-6071-8293- A4B5C6D7E8F9", "{ 0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}", ""}) {
    GUID guid{};
    guid.Data1 = 7;
    EXPECT_FALSE(qz::common::ReadTypedGuid(typed, &guid)) << typed;
    EXPECT_EQ(guid.Data1, 7u) << "untouched";
  }
}

}  // namespace

// The UTF-8 writer and reader work eight digits at a time: the writer must
// write what the wide one writes, and the reader accept and refuse exactly
// what the wide reader does, whatever byte stands at any place.
TEST(GuidTest, Utf8ReadingMatchesWideReadingForEveryByteAtEveryPlace) {
  std::mt19937 rng(11);
  for (int round = 0; round < 4; ++round) {
    const GUID g = RandomGuid(rng);
    std::string base = qz::common::GuidToUtf8(g);
    const std::wstring wide_form = GuidToText(g);
    ASSERT_EQ(base, std::string(wide_form.begin(), wide_form.end()));  // both written alike
    if (round % 2) {
      for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    GUID read{};
    ASSERT_TRUE(qz::common::Utf8TextToGuid(base, &read) && read == g) << base;
    for (size_t at = 0; at < base.size(); ++at) {
      for (int byte = 0; byte < 256; ++byte) {
        std::string text = base;
        text[at] = static_cast<char>(byte);
        GUID narrow{}, wide{};
        const bool narrow_read = qz::common::Utf8TextToGuid(text, &narrow);
        std::wstring wide_text;
        for (const char c : text) wide_text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        const bool wide_read = qz::common::ParseGuidText(wide_text, &wide);
        ASSERT_EQ(narrow_read, wide_read) << "byte " << byte << " at " << at;
        if (narrow_read) {
          ASSERT_TRUE(narrow == wide) << "byte " << byte << " at " << at;
        }
      }
    }
  }
}
