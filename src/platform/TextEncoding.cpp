#include "platform/TextEncoding.h"

#include <utf8.h>

#include <iterator>

namespace qz::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsScalarValue(char32_t c) { return c < 0x110000 && (c < 0xD800 || c > 0xDFFF); }

}  // namespace

bool IsWholeText(std::wstring_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t c = static_cast<char32_t>(text[i]);
    if (c < 0xD800) continue;  // the common case, ASCII and most of the BMP
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        const char32_t next = static_cast<char32_t>(text[i + 1]);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          ++i;
          continue;
        }
      }
    }
    if (!IsScalarValue(c)) return false;
  }
  return true;
}

void WideToUtf8(std::wstring_view text, std::string* out) {
  if constexpr (sizeof(wchar_t) == 2) {
    out->clear();
    out->reserve(text.size());
    auto sink = std::back_inserter(*out);
    try {
      utf8::utf16to8(text.begin(), text.end(), sink);
    } catch (const utf8::exception&) {
      // An unpaired surrogate: convert what can be converted, one unit at a time.
      out->clear();
      for (wchar_t unit : text)
        utf8::append(IsScalarValue(static_cast<char32_t>(unit)) ? static_cast<char32_t>(unit) : kReplacement, sink);
    }
  } else {
    // ASCII, the bulk of GUID and name text, is copied straight through a
    // pointer; this runs for every text value a driver binds.
    out->resize(text.size());
    char* data = out->data();
    size_t i = 0;
    for (; i < text.size(); ++i) {
      const char32_t c = static_cast<char32_t>(text[i]);
      if (c >= 0x80) break;
      data[i] = static_cast<char>(c);
    }
    if (i == text.size()) return;
    out->resize(i);
    auto sink = std::back_inserter(*out);
    for (; i < text.size(); ++i) {
      const char32_t c = static_cast<char32_t>(text[i]);
      if (c < 0x80)
        out->push_back(static_cast<char>(c));
      else
        utf8::append(IsScalarValue(c) ? c : kReplacement, sink);
    }
  }
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  WideToUtf8(text, &out);
  return out;
}

void Utf8ToWide(std::string_view text, std::wstring* out) {
  out->clear();
  // Plain ASCII, the common case of GUID and SQL text, needs no decoding.
  size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  if (ascii == text.size()) {
    out->assign(text.begin(), text.end());
    return;
  }

  std::string_view rest = text.substr(ascii);
  std::string repaired;
  if (!utf8::is_valid(rest.begin(), rest.end())) {
    utf8::replace_invalid(rest.begin(), rest.end(), std::back_inserter(repaired), kReplacement);
    rest = repaired;
  }
  // Room for exactly the characters the text holds (a record's field keeps
  // what is reserved here): one unit per lead byte, two in UTF-16 for a
  // character beyond the BMP.
  size_t units = ascii;
  for (char c : rest) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;
    if (sizeof(wchar_t) == 2 && byte >= 0xF0) ++units;
  }
  out->reserve(units);
  out->append(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(ascii));
  if constexpr (sizeof(wchar_t) == 2)
    utf8::unchecked::utf8to16(rest.begin(), rest.end(), std::back_inserter(*out));
  else
    utf8::unchecked::utf8to32(rest.begin(), rest.end(), std::back_inserter(*out));
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  Utf8ToWide(text, &out);
  return out;
}

}  // namespace qz::platform
