// Our GUID text, held to the RPC runtime's UuidToStringW and UuidFromStringW
// over many random GUIDs and texts: the Windows build keeps our own code
// (which needs no allocation and cannot fail), so it must say exactly what
// the runtime says.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <rpc.h>

#include <cwctype>
#include <random>
#include <string>

#include "common/GuidText.h"
#include "platform/TextEncoding.h"

namespace {

using qz::common::GuidToText;
using qz::common::TextToGuid;

std::wstring RuntimeText(GUID guid) {
  RPC_WSTR text = nullptr;
  if (UuidToStringW(&guid, &text) != RPC_S_OK) return L"(failed)";
  std::wstring result(reinterpret_cast<wchar_t*>(text));
  RpcStringFreeW(&text);
  for (wchar_t& c : result) c = static_cast<wchar_t>(std::towupper(c));
  return result;
}

// The runtime's parse, with the null GUID for text it refuses.
GUID RuntimeParse(const std::wstring& text) {
  GUID guid{};
  std::wstring copy = text;  // UuidFromStringW takes a non-const string
  if (UuidFromStringW(reinterpret_cast<RPC_WSTR>(copy.data()), &guid) != RPC_S_OK) return GUID{};
  return guid;
}

GUID RandomGuid(std::mt19937_64& random) {
  GUID guid;
  const uint64_t high = random(), low = random();
  guid.Data1 = static_cast<uint32_t>(high >> 32);
  guid.Data2 = static_cast<uint16_t>(high >> 16);
  guid.Data3 = static_cast<uint16_t>(high);
  for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<uint8_t>(low >> (8 * i));
  return guid;
}

TEST(WindowsGuidText, MatchesTheRuntimeOverRandomGuids) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 100000; ++i) {
    const GUID guid = RandomGuid(random);
    const std::wstring text = GuidToText(guid);
    ASSERT_EQ(text, RuntimeText(guid));
    ASSERT_TRUE(TextToGuid(text) == guid);
    std::wstring lower = text;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    ASSERT_TRUE(RuntimeParse(lower) == guid);
    ASSERT_TRUE(TextToGuid(lower) == guid);
  }
  EXPECT_EQ(GuidToText(GUID{}), RuntimeText(GUID{}));
}

// Damaged texts (a character replaced, removed or added, braces, white
// space) are refused, or read, by both alike.
TEST(WindowsGuidText, RefusesWhatTheRuntimeRefuses) {
  std::mt19937_64 random(11);
  const std::wstring kReplacements = L"0123456789abcdefABCDEFgG-{} \t\x00e9\x4e2d";
  for (int i = 0; i < 50000; ++i) {
    std::wstring text = GuidToText(RandomGuid(random));
    const size_t at = random() % text.size();
    switch (random() % 5) {
      case 0:
        text[at] = kReplacements[random() % kReplacements.size()];
        break;
      case 1:
        text.erase(at, 1);
        break;
      case 2:
        text.insert(at, 1, kReplacements[random() % kReplacements.size()]);
        break;
      case 3:
        text = L"{" + text + L"}";
        break;
      case 4:
        text = (random() % 2 ? L" " : L"") + text + (random() % 2 ? L"\t" : L"");
        break;
    }
    ASSERT_TRUE(TextToGuid(text) == RuntimeParse(text)) << qz::platform::WideToUtf8(text);
  }
  EXPECT_TRUE(TextToGuid(L"") == RuntimeParse(L""));
}

}  // namespace
