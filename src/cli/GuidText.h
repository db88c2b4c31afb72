// GUIDs as people and documents write them: 36 characters, 8-4-4-4-12
// hexadecimal digits, the form the tables hold.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>

namespace gezhuan {

// Upper case, no braces: "6B29FC40-CA47-1067-B31D-00DD010662DA".
std::wstring GuidToText(const GUID& guid);
std::string GuidToUtf8(const GUID& guid);

// Reads the 36-character form, either case, optionally in braces, with
// surrounding blanks. False for anything else.
bool ParseGuid(const std::string& text, GUID* guid);

bool IsNullGuid(const GUID& guid);

// A fresh random GUID in the version-4 layout.
GUID NewRandomGuid();

}  // namespace gezhuan
