// Where a statement ends, read by each server's own rules: the line the
// ODBC driver draws before a text reaches a driver that would run every
// statement in it. Each case is a text that two readings split
// differently, so a reader that takes one product's rules for another's
// lets a second statement through or refuses a sound one.
#include <gtest/gtest.h>

#include <string>

#include "access/driver/odbc/OdbcStatementText.h"
#include "platform/TextEncoding.h"

namespace qz::access::odbc {
namespace {

constexpr StatementCount kNone = StatementCount::kNone;
constexpr StatementCount kOne = StatementCount::kOne;
constexpr StatementCount kSeveral = StatementCount::kSeveral;

const TextRules kPostgres{SqlDialect::kPostgres, Backslash::kPlain, false};
const TextRules kPostgresEscapes{SqlDialect::kPostgres, Backslash::kEscape, false};
const TextRules kMySql{SqlDialect::kMySql, Backslash::kPlain, false};
const TextRules kMySqlEscapes{SqlDialect::kMySql, Backslash::kEscape, false};
const TextRules kMySqlAnsiEscapes{SqlDialect::kMySql, Backslash::kEscape, true};
const TextRules kSqlite{SqlDialect::kSqlite, Backslash::kPlain, false};
const TextRules kUnknown{SqlDialect::kUnknown, Backslash::kEither, false};

struct Case {
  const TextRules* rules;
  const wchar_t* sql;
  StatementCount expected;
};

TEST(OdbcStatementText, EachServerEndsStatementsWhereItsOwnRulesSay) {
  const Case cases[] = {
      // A backslash is plain in standard strings, and escapes where the
      // session says so.
      {&kPostgres, L"select 1 where a = 'a\\'; delete from t where ''=''", kSeveral},
      {&kMySql, L"select 1 where a = 'a\\'; delete from t where ''=''", kSeveral},
      {&kSqlite, L"select 1 where a = 'a\\'; delete from t where ''=''", kSeveral},
      {&kPostgres, L"select 1 where a = 'a\\' or a = ';x'", kOne},
      {&kMySql, L"select 1 where a = 'a\\' or a = ';x'", kOne},
      {&kSqlite, L"select 1 where a = 'a\\' or a = ';x'", kOne},
      {&kPostgresEscapes, L"select 1 where a = 'a\\' or a = ';delete from t --'", kSeveral},
      {&kMySqlEscapes, L"select 1 where a = 'a\\' or a = ';delete from t --'", kSeveral},
      {&kPostgresEscapes, L"select 1 where a = 'x\\'; delete from t; --'", kOne},
      {&kMySqlEscapes, L"select 1 where a = \"x\\\"; delete from t; --\"", kOne},
      {&kMySqlAnsiEscapes, L"select 1 where \"a\\\"; delete from t; --\" = 1", kSeveral},
      // PostgreSQL's E'..' escapes whatever the setting; B'..' never does.
      {&kPostgres, L"select E'\\'; delete from t; --'", kOne},
      {&kPostgres, L"select xE'\\'; delete from t; --'", kSeveral},
      {&kPostgresEscapes, L"select B'\\'; delete from t; --'", kSeveral},
      // Dollar quotes only where PostgreSQL reads them.
      {&kPostgres, L"exists (select 1 as a$b$) ; delete from t", kSeveral},
      {&kPostgres, L"select $x$;$x$ ; select 2", kSeveral},
      {&kPostgres, L"select $x$ ; delete from t $x$", kOne},
      {&kPostgres, L"select $$a;b$$, $1 from t", kOne},
      {&kMySql, L"select $x$ ; delete from t $x$", kSeveral},
      {&kPostgres, L"select 1$x$;$x$ ; delete from t", kSeveral},
      // Comments: PostgreSQL's nest and end lines at \r too; MySQL's '#'
      // and "-- " (a blank after the dashes) and its /*! code */.
      {&kPostgres, L"select 1 /* /* */ ' */ ; delete from t --'", kSeveral},
      {&kSqlite, L"select 1 /* /* */ ' */ ; delete from t --'", kOne},
      {&kPostgres, L"select 1 -- \r; delete from t", kSeveral},
      {&kSqlite, L"select 1 -- \r; delete from t", kOne},
      {&kMySql, L"select 1 # it's\n; delete from t", kSeveral},
      {&kMySql, L"select 1 --1; delete from t", kSeveral},
      {&kMySql, L"select 1 -- ; delete from t", kOne},
      {&kMySql, L"select 1 /*!99999 ' */ ; delete from t -- '", kSeveral},
      // SQLite's [names] and $name(..) parameters.
      {&kSqlite, L"select [a'] ; delete from t --']", kSeveral},
      {&kSqlite, L"select $a(') ; delete from t --'", kSeveral},
      {&kPostgres, L"select [a'] ; delete from t --']", kOne},
      // A routine body's statements belong to it; what follows its END
      // is a statement of its own.
      {&kMySql,
       L"CREATE TRIGGER r BEFORE INSERT ON t FOR EACH ROW BEGIN IF NEW.a = 'x' THEN SIGNAL SQLSTATE '45000'; "
       L"END IF; SET NEW.b = CASE WHEN 1 THEN 2 END; END",
       kOne},
      {&kMySql, L"CREATE TRIGGER r BEFORE INSERT ON t FOR EACH ROW BEGIN SET NEW.b = 1; END; delete from t", kSeveral},
      {&kSqlite, L"CREATE TRIGGER r BEFORE INSERT ON t BEGIN SELECT RAISE(ABORT, 'no'); END;", kOne},
      // Nothing but blanks, comments and semicolons; a closing ';'.
      {&kPostgres, L" ; -- nothing\n /* more */ ;", kNone},
      {&kMySql, L"select 1; ; -- done", kOne},
      // Another product: every reading, so any of them refuses.
      {&kUnknown, L"select 1 where a = 'a\\' or a = ';x'", kSeveral},
      {&kUnknown, L"select 1 where a = 'a;b'", kOne},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountStatements(c.sql, *c.rules), c.expected)
        << platform::WideToUtf8(c.sql) << " (dialect " << static_cast<int>(c.rules->dialect) << ", backslash "
        << static_cast<int>(c.rules->backslash) << ")";
  }
}

}  // namespace
}  // namespace qz::access::odbc
