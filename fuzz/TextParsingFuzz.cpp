// libFuzzer target for every parser of outside text: GUID text, timestamp
// text, UTF-8 from a database, the schema splitter and statement shapes.
// Each must take any bytes without crashing, and the round trips must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "access/TimestampText.h"
#include "access/driver/StatementShape.h"
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

  // GUID text read as UTF-8 bytes means what it means read as wide text.
  GUID from_bytes{};
  if (qz::conversions::Utf8TextToGuid(bytes, &from_bytes) && !(from_bytes == qz::conversions::TextToGuid(wide)))
    std::abort();

  // A statement's shape with its literals quoted back in place of the
  // markers is the statement again, whichever marker style.
  for (auto style : {qz::access::MarkerStyle::kQuestionNumbered, qz::access::MarkerStyle::kDollarNumbered}) {
    qz::access::StatementShape shape;
    qz::access::ShapeOfStatement(bytes, style, &shape);
    std::string again;
    for (size_t i = 0; i < shape.text.size(); ++i) {
      const char c = shape.text[i];
      size_t end = i + 1;
      while (end < shape.text.size() && shape.text[end] >= '0' && shape.text[end] <= '9') ++end;
      if ((c == '?' || c == '$') && end > i + 1 && !shape.literals.empty()) {
        const std::string& literal = shape.literals.at(std::stoul(shape.text.substr(i + 1, end - i - 1)) - 1);
        again += '\'';
        for (char l : literal) again += l == '\'' ? std::string("''") : std::string(1, l);
        again += '\'';
        i = end - 1;
      } else {
        again += c;
      }
    }
    if (again != bytes) std::abort();
  }

  SQZTimestamp timestamp;
  qz::access::ParseTimestampText(wide, &timestamp);
  qz::conversions::Trim(wide);

  const std::string terminated(bytes);
  qz::control::SplitSchema(terminated.c_str());
  return 0;
}
