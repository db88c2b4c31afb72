// The statement texts the ODBC driver composes, and the check that a text
// given to Open holds one statement only (a driver manager passes a text on
// as it is, and some drivers run every statement in it).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "access/driver/RowBuffer.h"

namespace qz::access::odbc {

// Whether sql holds more statement text after a ';' that ends its first
// statement. Quotes ('', "", ``), dollar quotes ($tag$ ... $tag$) and
// comments are skipped. The body of CREATE ... BEGIN ... END (a trigger or
// routine, whose inner statements end with ';') counts as one statement:
// the server parses it and refuses whatever follows.
bool HoldsSecondStatement(std::wstring_view sql);

// Appends name as the statement carries it: plain names
// ([A-Za-z_][A-Za-z0-9_]*) unquoted, so each server folds them as it folded
// the unquoted names of CREATE TABLE; anything else between the server's
// identifier quotes, with the quote doubled inside.
void AppendIdentifier(std::wstring* sql, std::wstring_view name, std::wstring_view quote);

// "INSERT INTO table (a,b) VALUES (?,?)".
std::wstring InsertText(const std::wstring& table, const FieldValue* fields, size_t count, std::wstring_view quote);

// "UPDATE table SET a=?,b=? WHERE k1=? AND k2=?".
std::wstring UpdateText(const std::wstring& table, const FieldValue* fields, size_t count,
                        const std::vector<std::wstring>& key, std::wstring_view quote);

}  // namespace qz::access::odbc
