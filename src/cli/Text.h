// Text at the tool's edges: the library speaks wide text, the terminal and
// files speak UTF-8, and a terminal column is as wide as the glyphs in it.
#pragma once

#include <string>

#include "platform/TextEncoding.h"

namespace gezhuan {

// Wide text to UTF-8. A code point that cannot be encoded becomes U+FFFD.
inline std::string ToUtf8(const std::wstring& text) { return qz::platform::WideToUtf8(text); }

// UTF-8 to wide text. Byte sequences that are not UTF-8 become U+FFFD.
inline std::wstring FromUtf8(const std::string& text) { return qz::platform::Utf8ToWide(text); }

// True when text is well-formed UTF-8.
bool IsUtf8(const std::string& text);

// How many terminal columns text takes: 2 for wide (CJK) characters, 0 for
// combining marks and controls, 1 for the rest.
int DisplayWidth(const std::wstring& text);

// text followed by enough spaces to fill width columns.
std::wstring PadToWidth(const std::wstring& text, int width);

// text with the leading and trailing white space removed (ASCII only: used
// on arguments and answers typed by a person).
std::string TrimAscii(const std::string& text);

}  // namespace gezhuan
