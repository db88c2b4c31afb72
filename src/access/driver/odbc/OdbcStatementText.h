// The statement texts the ODBC driver composes, and the check that a text
// given to Open holds one statement only (a driver manager passes a text on
// as it is, and some drivers run every statement in it).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "access/driver/RowBuffer.h"

namespace qz::access::odbc {

// The rules by which a server reads quotes, comments and names, and so
// where its statements end.
enum class SqlDialect {
  kPostgres,  // dollar quotes, E'..' strings, nested block comments
  kMySql,     // MySQL and MariaDB: '#' and "-- " comments, /*! code */
  kSqlite,    // [names], $name(..) parameters
  kUnknown,   // another product: the text is read by each of the above
};

// The dialect of a product by the name it gives itself (SQL_DBMS_NAME).
SqlDialect DialectOfProduct(std::wstring_view dbms_name);

// How a server reads the text between quotes, which its session settings
// decide. A backslash escapes the next character in '..' strings with
// MySQL's sql_mode lacking NO_BACKSLASH_ESCAPES and with PostgreSQL's
// standard_conforming_strings off (and always in PostgreSQL's E'..');
// MySQL's ANSI_QUOTES makes "..." a name instead of a string. kEither
// reads the text both ways, for a server whose settings are not known.
enum class Backslash { kPlain, kEscape, kEither };

struct TextRules {
  SqlDialect dialect = SqlDialect::kUnknown;
  Backslash backslash = Backslash::kEither;
  bool ansi_quotes = false;  // MySQL, with kEscape
};

enum class StatementCount { kNone, kOne, kSeveral };

// How many statements the server finds in sql: kNone for nothing but
// blanks, comments and ';', kSeveral when a second statement follows the
// first. Where the rules leave the reading open (kEither, kUnknown, a
// construct servers of one product read differently), the largest count
// of the possible readings. The body of CREATE ... BEGIN ... END (a
// trigger or routine, whose inner statements end with ';') belongs to its
// statement.
StatementCount CountStatements(std::wstring_view sql, const TextRules& rules);

// Appends name as the statement carries it: plain names
// ([A-Za-z_][A-Za-z0-9_]*) unquoted, so each server folds them as it folded
// the unquoted names of CREATE TABLE; anything else between the server's
// identifier quotes, with the quote doubled inside.
void AppendIdentifier(std::wstring* sql, std::wstring_view name, std::wstring_view quote);

// "INSERT INTO table (a,b) VALUES (?,?)".
std::wstring InsertText(const std::wstring& table, const FieldValue* fields, size_t count, std::wstring_view quote);

// "SELECT 1 FROM table WHERE k1=? AND k2=?".
std::wstring KeyLookupText(const std::wstring& table, const std::vector<std::wstring>& key, std::wstring_view quote);

// "UPDATE table SET a=?,b=? WHERE k1=? AND k2=?".
std::wstring UpdateText(const std::wstring& table, const FieldValue* fields, size_t count,
                        const std::vector<std::wstring>& key, std::wstring_view quote);

}  // namespace qz::access::odbc
