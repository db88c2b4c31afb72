// UTF-16 text of the C interface to and from the library's wide and UTF-8
// text. An unpaired surrogate becomes U+FFFD.
#pragma once

#include <QZNVGeZhuanDB.h>

#include <string>

namespace qz::capi {

// NUL-terminated UTF-16 text; null is the empty text.
std::string Utf16ToUtf8(const QZNVChar* text);
std::wstring Utf16ToWide(const QZNVChar* text);

std::u16string Utf8ToUtf16(const std::string& text);
std::u16string WideToUtf16(const std::wstring& text);

// A copy the caller frees with QZNVGeZhuanDB_FreeText; null when memory ran out.
QZNVChar* NewText(const std::u16string& text);

}  // namespace qz::capi
