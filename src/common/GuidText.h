// GUID text: 36 characters, 8-4-4-4-12 hexadecimal digits, the form every
// guid column and SQL condition holds. The library's conversions and the
// tool's arguments and documents read and write it through these calls.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>
#include <string_view>

namespace qz::common {

// 36 characters, 8-4-4-4-12 upper-case hexadecimal digits, no braces.
std::wstring GuidToText(const GUID& guid);

// Parses exactly the GUID text form (either case) into *guid. False, with
// *guid untouched, for anything else: surrounding white space, braces, a
// wrong length or text of any length beyond 36 characters.
bool ParseGuidText(std::wstring_view text, GUID* guid);

// ParseGuidText, with the null GUID for text it refuses.
GUID TextToGuid(std::wstring_view text);

// 1 when all 16 bytes are zero, else 0.
int IsNullGuid(const GUID& guid);

}  // namespace qz::common
