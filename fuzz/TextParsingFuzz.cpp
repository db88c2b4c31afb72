// libFuzzer target for every parser of outside text: GUID text, timestamp
// text, UTF-8 from a database, and the schema splitter. Each must take any
// bytes without crashing, and the round trips must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "access/TimestampText.h"
#include "control/Schema.h"
#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring wide = qz::platform::Utf8ToWide(bytes);

  // Whatever the text, UTF-8 of its wide form decodes back to the same.
  if (qz::platform::Utf8ToWide(qz::platform::WideToUtf8(wide)) != wide) std::abort();

  // A GUID parsed from text prints back as the same text, upper case.
  const GUID guid = qz::conversions::TextToGuid(wide);
  if (!qz::conversions::IsNullGuid(guid)) {
    const std::wstring text = qz::conversions::GuidToText(guid);
    if (text.size() != 36 || !(qz::conversions::TextToGuid(text) == guid)) std::abort();
  }

  SQZTimestamp timestamp;
  qz::access::ParseTimestampText(wide, &timestamp);
  qz::conversions::Trim(wide);

  const std::string terminated(bytes);
  qz::control::SplitSchema(terminated.c_str());
  return 0;
}
