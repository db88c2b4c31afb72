// Text at the edge of the ODBC driver manager. The driver speaks only the
// wide API, whose SQLWCHAR is 16-bit UTF-16 on every platform, while our
// wide text is UTF-32 on Linux; and a connection string has its own quoting.
#pragma once

#ifdef _WIN32
#include <windows.h>  // the ODBC headers take their types from it there
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

#include "access/driver/Driver.h"

namespace qz::access::odbc {

using SqlText = std::basic_string<SQLWCHAR>;

// Our wide text as UTF-16 code units; invalid code points become U+FFFD.
SqlText ToSqlText(std::wstring_view text);
void ToSqlText(std::wstring_view text, SqlText* out);

// UTF-16 code units as our wide text; unpaired surrogates become U+FFFD.
std::wstring FromSqlText(const SQLWCHAR* units, size_t count);

// A connection-string value as the driver must see it: as is when plain,
// else in braces with each '}' doubled, so that ';', '{', '}', '=' and
// blanks at either end stay part of the value.
std::wstring ConnectionValue(std::wstring_view value);

// The connection string for the four texts: connect1 is a DSN, or a whole
// connection string when it holds '='; connect2, connect3 and connect4 add
// DATABASE=, UID= and PWD= when they are not empty.
std::wstring BuildConnectionString(const ConnectionTexts& texts);

// The texts for people to read: the source and database without any
// password ("odbc DSN=qz_mariadb;DATABASE=qz_test as qz_test").
std::wstring DescribeSource(const ConnectionTexts& texts);

}  // namespace qz::access::odbc
