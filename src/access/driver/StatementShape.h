// The shape of a statement text: the text with its quoted string literals
// turned into numbered parameter markers, and the literals' values. The
// operations write GUIDs and other values into their SQL texts; two texts
// that differ only in those values have one shape, so a driver that caches
// prepared statements by shape parses each kind of statement once per
// connection instead of once per call.
//
// Only a literal whose meaning cannot change when it becomes a parameter is
// replaced: one compared to something (after =, <>, !=, <, >, <=, >=, LIKE,
// ILIKE, GLOB) or standing in an IN list. A typed literal (DATE '...'),
// a prefixed one (E'...', X'...', N'...'), numbers and names stay as they
// are, so "order by 1" keeps its meaning. Only SELECT, WITH, INSERT, UPDATE
// and DELETE statements are shaped. A text that already holds
// parameter markers, comments or dollar quotes, or whose quotes do not
// close, is left whole.
//
// The shape also says whether a statement prepared from it may be kept and
// run again later. PostgreSQL reads a literal it types at parse time
// (timestamp 'now', CAST('today' AS date), 'now' inserted into a timestamp
// column), so 'now', 'today', 'tomorrow' and 'yesterday' in a literal that
// stays in the text would mean the moment of the first call for ever. A
// literal that became a parameter is read anew at each run and is no
// concern. Only a literal left in the text without a letter in it (a
// number, a date written in digits) is taken as meaning the same whenever
// it is parsed; anything else, and a text left whole, is not kept.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qz::access {

enum class MarkerStyle {
  kQuestionNumbered,  // ?1, ?2, ... (SQLite)
  kDollarNumbered,    // $1, $2, ... (PostgreSQL)
  kQuestion,          // ?, ?, ... (ODBC)
};

struct StatementShape {
  std::string text;                   // the text to prepare
  std::vector<std::string> literals;  // the value of marker i + 1, quotes undone
  bool is_data = false;               // a SELECT, WITH, INSERT, UPDATE or DELETE
  bool keep = false;                  // a data statement whose meaning parsing does not fix
};

// Fills *shape from the UTF-8 statement text sql. When nothing can be
// replaced, shape->text is sql and shape->literals is empty. *shape's
// buffers are reused.
void ShapeOfStatement(std::string_view sql, MarkerStyle style, StatementShape* shape);

}  // namespace qz::access
