// UTF-16 text of the C interface to and from the library's wide and UTF-8
// text. A caller's text holding an unpaired surrogate is refused: replacing
// it would store another text than the one given.
#pragma once

#include <QZNVGeZhuanDB.h>

#include <stdexcept>
#include <string>

namespace qz::capi {

// A caller's text that UTF-16 cannot carry whole.
class TextError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// NUL-terminated UTF-16 text; null is the empty text. Throws TextError on
// an unpaired surrogate.
std::string Utf16ToUtf8(const QZNVChar* text);
std::wstring Utf16ToWide(const QZNVChar* text);

std::u16string Utf8ToUtf16(const std::string& text);
std::u16string WideToUtf16(const std::wstring& text);

// A copy the caller frees with QZNVGeZhuanDB_FreeText; null when memory ran out.
QZNVChar* NewText(const std::u16string& text);

}  // namespace qz::capi
