#include "capi/Utf16Text.h"

#include <utf8.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/TextEncoding.h"

namespace qz::capi {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The text up to its NUL, checked so that utfcpp's conversion cannot throw.
std::u16string Checked(const QZNVChar* text) {
  std::u16string units;
  if (text == nullptr) return units;
  for (size_t i = 0; text[i] != 0; ++i) units.push_back(static_cast<char16_t>(text[i]));
  for (size_t i = 0; i < units.size(); ++i) {
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
      throw TextError("the text holds a lone surrogate at unit " + std::to_string(i) + ", which no database can keep");
    }
  }
  return units;
}

}  // namespace

std::string Utf16ToUtf8(const QZNVChar* text) {
  const std::u16string units = Checked(text);
  std::string utf8;
  utf8::utf16to8(units.begin(), units.end(), std::back_inserter(utf8));
  return utf8;
}

std::wstring Utf16ToWide(const QZNVChar* text) { return platform::Utf8ToWide(Utf16ToUtf8(text)); }

std::u16string Utf8ToUtf16(const std::string& text) {
  std::string valid;
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(valid), kReplacement);
  std::u16string units;
  utf8::utf8to16(valid.begin(), valid.end(), std::back_inserter(units));
  return units;
}

std::u16string WideToUtf16(const std::wstring& text) { return Utf8ToUtf16(platform::WideToUtf8(text)); }

QZNVChar* NewText(const std::u16string& text) {
  auto* copy = static_cast<QZNVChar*>(std::malloc((text.size() + 1) * sizeof(QZNVChar)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), text.size() * sizeof(QZNVChar));
  copy[text.size()] = 0;
  return copy;
}

}  // namespace qz::capi
