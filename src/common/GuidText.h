// GUID text: 36 characters, 8-4-4-4-12 hexadecimal digits, the form every
// guid column and SQL condition holds. The library's conversions, the
// records' JSON and the tool's arguments read and write it through these
// calls, and nothing else parses or prints a GUID.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>
#include <string_view>

namespace qz::common {

// 36 characters, 8-4-4-4-12 upper-case hexadecimal digits, no braces.
std::wstring GuidToText(const GUID& guid);
// The same into *text, reusing its storage.
void GuidToText(const GUID& guid, std::wstring* text);
// The same as UTF-8 (ASCII) text.
std::string GuidToUtf8(const GUID& guid);
void GuidToUtf8(const GUID& guid, std::string* text);

// Parses exactly the GUID text form (either case) into *guid. False, with
// *guid untouched, for anything else: surrounding white space, braces, a
// wrong length or text of any length beyond 36 characters.
bool ParseGuidText(std::wstring_view text, GUID* guid);

// ParseGuidText, with the null GUID for text it refuses.
GUID TextToGuid(std::wstring_view text);

// As ParseGuidText for UTF-8 text.
bool Utf8TextToGuid(std::string_view text, GUID* out);

// GUID text as people and documents write it: the exact form, optionally
// in braces, with ASCII blanks around it. False, with *guid untouched, for
// anything else.
bool ReadTypedGuid(std::string_view text, GUID* guid);

// True when all 16 bytes are zero.
bool IsNullGuid(const GUID& guid);

}  // namespace qz::common
