// The values no engine could store and hand back as they were given. They
// are refused where a value is assigned to a row being written, in front of
// every driver, so that each engine (and each driver yet to come) answers
// them the same way: with CQZDBException, before anything is sent.
#pragma once

#include <QZDatabaseAccess.h>

#include <string>
#include <string_view>

namespace qz::access {

// Throws CQZDBException naming column when value is
// - a date-time whose status says valid but whose day number is NaN,
//   infinite or outside the years 100 to 9999: writing it as NULL would
//   lose the caller's value without a word;
// - a timestamp that is neither all zero (NULL) nor a real moment of those
//   years (30 February, hour 24);
// - a text holding a NUL character: the engines end text there, so what
//   came back would be only the part before it;
// - a text holding a lone surrogate or a code point above U+10FFFF: no
//   engine's encoding can hold it, and replacing it would store another text;
// - a REAL that is NaN, which SQLite turns into NULL.
// An invalid date-time is no such value: it is written as NULL.
void RefuseUnstorableValue(std::wstring_view column, const CQZDBVariant& value);

// The same rules for a value given as what it is, without a variant: text
// (wide or UTF-8; UTF-8 that does not decode is refused too) and a
// date-time.
void RefuseUnstorableText(std::wstring_view column, std::wstring_view text);
void RefuseUnstorableUtf8(std::wstring_view column, std::string_view text);
void RefuseUnstorableDateTime(std::wstring_view column, const SQZDateTime& value);

// Throws CQZDBException when the SQL text holds a NUL character (the
// engines read SQL text up to the first NUL, so a condition after it would
// be dropped without a word and the statement would select more than asked)
// or a character no encoding can hold (a literal in it would be changed).
void RefuseUnrunnableSql(std::wstring_view sql);

}  // namespace qz::access
