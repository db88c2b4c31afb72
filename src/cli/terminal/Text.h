// Text at the tool's edges: the library speaks wide text, the terminal and
// files speak UTF-8, and a terminal column is as wide as the glyphs in it.
#pragma once

#include <string>

#include "common/AsciiTrim.h"
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

// text as a terminal may safely show it: control characters, which could
// recolour the terminal, move its cursor or fake a line of output, become
// escapes: \n \r \t \e, \xNN for the other C0 controls and DEL, \uNNNN
// for the C1 controls and the line separators and bidirectional overrides
// that reorder what follows them. Everything else is left as it is.
std::wstring EscapeControls(const std::wstring& text);

// The same for UTF-8 text, keeping line breaks: for messages of several
// lines. Tabs that indent a line (libpq writes "\n\tIs the server
// running ...") become two spaces each; any other tab is escaped.
std::string EscapeControlsKeepingLines(const std::string& utf8);

using qz::common::TrimAscii;

}  // namespace gezhuan
