#include "platform/TextEncoding.h"

#include <utf8.h>

#include <cstdint>
#include <cstring>
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
    // The rest is measured first and then written in place: no character
    // grows the string on its own. What is no scalar value is written as
    // U+FFFD, three bytes like every other character below U+10000.
    size_t bytes = i;
    for (size_t k = i; k < text.size(); ++k) {
      const char32_t c = static_cast<char32_t>(text[k]);
      bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 || c >= 0x110000 ? 3 : 4;
    }
    out->resize(bytes);
    char* at = out->data() + i;
    for (; i < text.size(); ++i) {
      char32_t c = static_cast<char32_t>(text[i]);
      if (c < 0x80) {
        *at++ = static_cast<char>(c);
        continue;
      }
      if (!IsScalarValue(c)) c = kReplacement;
      if (c < 0x800) {
        *at++ = static_cast<char>(0xC0 | (c >> 6));
      } else if (c < 0x10000) {
        *at++ = static_cast<char>(0xE0 | (c >> 12));
        *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      } else {
        *at++ = static_cast<char>(0xF0 | (c >> 18));
        *at++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *at++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      }
      *at++ = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  WideToUtf8(text, &out);
  return out;
}

namespace {

constexpr uint64_t kHighBits = 0x8080808080808080u;

// Eight bytes as one word, for testing their high bits together.
uint64_t Load8(const unsigned char* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// How many of the eight high bits of mask (kHighBits at most) are set: the
// bytes' ones summed into the top byte.
size_t CountHighBits(uint64_t mask) { return static_cast<size_t>(((mask >> 7) * 0x0101010101010101u) >> 56); }

// Decodes text into *out when it is well-formed UTF-8, in two passes over
// the bytes: one counts the units, so that *out is sized once, the other
// decodes straight into it. False at the first ill-formed sequence (an
// invalid lead byte, a missing continuation, an overlong form, a surrogate
// or a value past U+10FFFF), *out then holding nothing of use. A listing
// decodes every text cell this way, so it is kept free of calls.
bool DecodeWellFormed(std::string_view text, std::wstring* out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  // One unit per lead byte, two in UTF-16 for a character beyond the BMP.
  // Each unit written below follows a lead byte already checked, so the
  // count bounds the writes even for ill-formed text.
  // Eight bytes at a time: a byte 10xxxxxx continues a character, one
  // 11110xxx begins a character beyond the BMP. Shifting a word left moves
  // each byte's lower bits to its own high bit.
  size_t units = 0, i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint64_t x = Load8(bytes + i);
    units += 8 - CountHighBits(x & ~(x << 1) & kHighBits);
    if constexpr (sizeof(wchar_t) == 2) units += CountHighBits(x & (x << 1) & (x << 2) & (x << 3) & kHighBits);
  }
  for (; i < size; ++i) {
    units += (bytes[i] & 0xC0) != 0x80;
    if constexpr (sizeof(wchar_t) == 2) units += bytes[i] >= 0xF0;
  }
  out->resize(units);
  wchar_t* w = out->data();
  i = 0;
  while (i < size) {
    if (i + 8 <= size && (Load8(bytes + i) & kHighBits) == 0) {
      for (int k = 0; k < 8; ++k) w[k] = static_cast<wchar_t>(bytes[i + static_cast<size_t>(k)]);
      w += 8;
      i += 8;
      continue;
    }
    const unsigned lead = bytes[i];
    if (lead < 0x80) {
      // The ASCII run up to the next other byte (or eight on), copied
      // without the tests above for each.
      const size_t stop = size - i > 8 ? i + 8 : size;
      do {
        *w++ = static_cast<wchar_t>(bytes[i]);
        ++i;
      } while (i < stop && bytes[i] < 0x80);
      continue;
    }
    size_t length;
    char32_t c, least;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, c = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (size - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const unsigned next = bytes[i + k];
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || !IsScalarValue(c)) return false;
    i += length;
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
      c -= 0x10000;
      *w++ = static_cast<wchar_t>(0xD800 + (c >> 10));
      *w++ = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
      *w++ = static_cast<wchar_t>(c);
    }
  }
  return true;
}

}  // namespace

void Utf8ToWide(std::string_view text, std::wstring* out) {
  if (DecodeWellFormed(text, out)) return;
  // Ill-formed text: each bad sequence becomes U+FFFD.
  out->clear();
  std::string repaired;
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(repaired), kReplacement);
  DecodeWellFormed(repaired, out);
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  Utf8ToWide(text, &out);
  return out;
}

}  // namespace qz::platform
