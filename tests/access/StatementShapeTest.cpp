// Statement shapes and the cache kept by them: which literals become
// parameters, which texts are left whole, and that one-off texts never
// push out the shapes in steady use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "access/driver/StatementCache.h"
#include "access/driver/StatementShape.h"

namespace {

using qz::access::MarkerStyle;
using qz::access::ShapeOfStatement;
using qz::access::StatementCache;
using qz::access::StatementShape;

StatementShape Shape(const std::string& sql, MarkerStyle style = MarkerStyle::kDollarNumbered) {
  StatementShape shape;
  ShapeOfStatement(sql, style, &shape);
  return shape;
}

// Compared literals and IN lists become parameters with their quotes
// undone; the value of a literal may hold anything a marker looks like.
TEST(StatementShapeTest, ComparedLiteralsBecomeParameters) {
  StatementShape shape = Shape("select * from T where guidTask = 'AB' order by nIndex");
  EXPECT_EQ(shape.text, "select * from T where guidTask = $1 order by nIndex");
  EXPECT_EQ(shape.literals, std::vector<std::string>{"AB"});

  shape = Shape("select * from T where a='O''Brien' and b <> '$1' and c like '?%' and d>='' and e in ('x', 'y''')",
                MarkerStyle::kQuestionNumbered);
  EXPECT_EQ(shape.text, "select * from T where a=?1 and b <> ?2 and c like ?3 and d>=?4 and e in (?5, ?6)");
  EXPECT_EQ(shape.literals, (std::vector<std::string>{"O'Brien", "$1", "?%", "", "x", "y'"}));

  // ODBC's markers carry no number: they are taken in order.
  shape = Shape("select * from T where k in ('a', 'b') and m = 'c'", MarkerStyle::kQuestion);
  EXPECT_EQ(shape.text, "select * from T where k in (?, ?) and m = ?");
  EXPECT_EQ(shape.literals, (std::vector<std::string>{"a", "b", "c"}));

  // Two texts that differ in their values only have one shape.
  EXPECT_EQ(Shape("delete from T where k = 'one'").text, Shape("delete from T where k = 'two, three'").text);
}

// Numbers, names, typed and prefixed literals, and literals in places where
// a parameter could change the meaning stay in the text.
TEST(StatementShapeTest, OtherTextStaysAsWritten) {
  for (const char* sql : {
           "select * from T order by 1",
           "select * from T where n = 5 and m in (1, 2)",
           "select 'a', \"we = 'x'\" from T",
           "select * from T where d = date '2024-01-01'",
           "insert into T values ('a', 'b')",
           "select * from T where a in (select 'x' from U)",
           "select * from T where [a = 'x'] = 1",
       }) {
    const StatementShape shape = Shape(sql, MarkerStyle::kQuestionNumbered);
    EXPECT_EQ(shape.text, sql) << sql;
    EXPECT_TRUE(shape.literals.empty()) << sql;
  }
  // Inside an IN list's subquery only the compared literal is replaced.
  EXPECT_EQ(Shape("select * from T where a in (select b from U where c = 'x', 'y')").text,
            "select * from T where a in (select b from U where c = $1, 'y')");
}

// A text that already holds markers, comments, dollar quotes, escape
// strings, joined literals or an open quote is left whole: replacing any of
// its literals could change what it says.
TEST(StatementShapeTest, TextsLeftWhole) {
  for (const char* sql : {
           "select * from T where a = $1 and b = 'x'",
           "select * from T where a = ? and b = 'x'",
           "select * from T where a = :name and b = 'x'",
           "select * from T where a = @name and b = 'x'",
           "select * from T where b = 'x' -- and c = 'y'",
           "select * from T where b = 'x' /* 'y' */",
           "select * from T where b = $$x$$",
           "select * from T where b = E'it\\'s' and c = 'd'",
           "select * from T where b = 'x'\n'y'",
           "select * from T where b = 'open",
           "create view V as select * from T where b = 'x'",
           "create trigger R before delete on T when old.b = 'x' begin select 1; end",
       }) {
    const StatementShape shape = Shape(sql, MarkerStyle::kQuestionNumbered);
    EXPECT_EQ(shape.text, sql) << sql;
    EXPECT_TRUE(shape.literals.empty()) << sql;
  }
  // PostgreSQL's casts are no markers.
  EXPECT_EQ(Shape("select * from T where b = 'x'::text").text, "select * from T where b = $1::text");
}

// A statement is kept only when parsing it later would mean the same: a
// time word left in the text (typed, cast, or inserted into a typed
// column), any lettered literal left there, and a text left whole are not
// kept; a time word that became a parameter is read at each run.
TEST(StatementShapeTest, KeptOnlyWhenParsingLaterMeansTheSame) {
  for (const char* sql : {
           "select * from T",
           "select * from T where guidTask = 'AB' and nIndex > 2 order by 1",
           "select * from T where t < 'now' and u >= 'NOW'::timestamp",
           "select * from T where d = date '2024-01-01' and n in ('x', 'today')",
           "delete from T where t < timestamp '2024-01-01 10:00:00'",
       }) {
    EXPECT_TRUE(Shape(sql).keep) << sql;
  }
  for (const char* sql : {
           "select * from T where t < timestamp 'now'",
           "select * from T where t < TIMESTAMP   'Now' and k = 'x'",
           "select * from T where t < cast('today' as date)",
           "select * from T where t < ('tomorrow'::timestamp)",
           "select * from T where t between 'yesterday' and 'x'",
           "insert into T (t) values ('now')",
           "select * from T where t < timestamptz 'now ' + interval '1 day'",
           "select * from T where t < E'now'",
           "select * from T where t < $$now$$",
           "select * from T where t < 'now' -- comment",
           "create table T (t timestamp default 'now')",
       }) {
    EXPECT_FALSE(Shape(sql).keep) << sql;
  }
}

// The cache keeps a text from its second sighting, least recently used out;
// thousands of one-off texts pass by without taking a place.
TEST(StatementCacheTest, OneOffTextsDoNotFlushSteadyShapes) {
  StatementCache<int> cache;
  std::vector<int> discarded;
  auto discard = [&](int statement) { discarded.push_back(statement); };

  EXPECT_FALSE(cache.Admit("steady"));
  EXPECT_TRUE(cache.Admit("steady"));
  cache.Put("steady", 1, discard);
  for (int i = 0; i < 5000; ++i) {
    const std::string text = "one-off " + std::to_string(i);
    ASSERT_EQ(cache.Find(text), nullptr);
    if (cache.Admit(text)) cache.Put(text, 100 + i, discard);  // only a hash collision gets here
  }
  ASSERT_NE(cache.Find("steady"), nullptr);
  EXPECT_EQ(*cache.Find("steady"), 1);

  // Full: the least recently used goes, and goes to discard.
  for (int i = 0; i < static_cast<int>(StatementCache<int>::kCapacity); ++i)
    cache.Put("shape " + std::to_string(i), 1000 + i, discard);
  EXPECT_EQ(cache.size(), StatementCache<int>::kCapacity);
  EXPECT_EQ(cache.Find("steady"), nullptr);
  EXPECT_EQ(discarded.back(), 1);

  // Taken out while in use, put back after.
  std::optional<int> taken = cache.Take("shape 3");
  ASSERT_TRUE(taken.has_value());
  EXPECT_EQ(cache.Find("shape 3"), nullptr);
  cache.Put("shape 3", *taken, discard);
  EXPECT_NE(cache.Find("shape 3"), nullptr);

  discarded.clear();
  cache.Clear(discard);
  EXPECT_EQ(discarded.size(), StatementCache<int>::kCapacity);
  EXPECT_FALSE(cache.Admit("steady"));
}

}  // namespace
