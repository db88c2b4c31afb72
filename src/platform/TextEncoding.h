// Wide text <-> UTF-8, for every boundary where text leaves or enters the
// process (database drivers, files, the terminal). Wide text is UTF-32 here
// and UTF-16 on Windows; characters outside the BMP survive both.
#pragma once

#include <string>
#include <string_view>

namespace qz::platform {

// True when every character of text is a Unicode scalar value: no lone
// surrogate (UTF-16) and nothing above U+10FFFF (UTF-32), so that it
// converts to UTF-8 and back unchanged.
bool IsWholeText(std::wstring_view text);

// Invalid code points are replaced with U+FFFD.
std::string WideToUtf8(std::wstring_view text);
void WideToUtf8(std::wstring_view text, std::string* out);

// Invalid UTF-8 sequences are replaced with U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
void Utf8ToWide(std::string_view text, std::wstring* out);

}  // namespace qz::platform
