#include "cli/commands/TaskFilter.h"

#include <CLI/CLI.hpp>
#include <cwctype>
#include <string_view>

#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"
#include "common/KindCode.h"
#include "records/DateText.h"

namespace gezhuan {

using qz::common::DatabaseTypeOfKind;
using qz::common::GuidToText;
using qz::common::ReadTypedGuid;

using qz::records::FormatDateTime;
using qz::records::ParseDateTime;

namespace {

enum class Dialect { kSqlite, kStandard };

Dialect DialectOf(const DBsSetNode& node) { return IsEmbedded(node) ? Dialect::kSqlite : Dialect::kStandard; }

std::wstring Quoted(const std::wstring& text) { return L"'" + SqlQuote(text) + L"'"; }

// The column with A-Z folded to a-z. SQLite's lower() folds exactly those;
// PostgreSQL's folds every cased letter of the locale, so there translate()
// keeps to A-Z.
std::wstring FoldedColumn(const std::wstring& column, Dialect dialect) {
  if (dialect == Dialect::kSqlite) return L"lower(" + column + L")";
  return L"translate(" + column + L", 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')";
}

// A like pattern matching text anywhere, its wildcards escaped with '\'.
std::wstring ContainsPattern(const std::wstring& text) {
  std::wstring pattern = L"%";
  for (wchar_t c : FoldLatinCase(text)) {
    if (c == L'%' || c == L'_' || c == L'\\') pattern += L'\\';
    pattern += c;
  }
  return pattern + L"%";
}

// A date-time column as a number that orders like the date-time. SQLite
// holds date-times as text, and older rows as julian-day reals or unix-time
// integers: julianday() reads them all alike. PostgreSQL has timestamps.
std::wstring ComparableDate(const std::wstring& column, Dialect dialect) {
  if (dialect == Dialect::kStandard) return column;
  return L"(case typeof(" + column + L") when 'integer' then julianday(" + column + L", 'unixepoch') else julianday(" +
         column + L") end)";
}

std::wstring DateLiteral(const SQZDateTime& value, Dialect dialect) {
  std::wstring text = FromUtf8(*FormatDateTime(value));
  text[10] = L' ';
  if (dialect == Dialect::kSqlite) return L"julianday('" + text + L"')";
  return L"timestamp '" + text + L"'";
}

SQZDateTime RequireDate(const std::string& text, const std::string& option) {
  SQZDateTime value;
  std::string why;
  if (!ParseDateTime(text, &value, &why)) UsageError(option + ": " + why);
  return value;
}

// A tape type as typed: its GUID, else its name in any case of A-Z.
std::wstring TapeCondition(const std::string& typed, const wchar_t* guidColumn, const wchar_t* nameColumn,
                           Dialect dialect) {
  GUID guid{};
  if (ReadTypedGuid(typed, &guid)) return std::wstring(guidColumn) + L" = " + Quoted(GuidToText(guid));
  return FoldedColumn(nameColumn, dialect) + L" = " + Quoted(FoldLatinCase(FromUtf8(TrimAscii(typed))));
}

bool IsWordCharacter(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_';
}

// Whether text holds the word (lower case, matched in any case) at at.
bool IsWordAt(const std::wstring& text, size_t at, const wchar_t* word) {
  const std::wstring_view w(word);
  if (at + w.size() > text.size() || (at > 0 && IsWordCharacter(text[at - 1]))) return false;
  for (size_t i = 0; i < w.size(); ++i)
    if (FoldLatinCase(std::wstring(1, text[at + i]))[0] != w[i]) return false;
  return at + w.size() == text.size() || !IsWordCharacter(text[at + w.size()]);
}

// Splits --where into its condition and the "order by ..." that ends it,
// found outside quotes and parentheses; *order is "" when there is none.
void SplitOrderBy(const std::wstring& where, std::wstring* condition, std::wstring* order) {
  size_t found = std::wstring::npos;
  int depth = 0;
  wchar_t quote = 0;
  for (size_t i = 0; i < where.size(); ++i) {
    const wchar_t c = where[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == L'\'' || c == L'"') {
      quote = c;
    } else if (c == L'(') {
      ++depth;
    } else if (c == L')') {
      --depth;
    } else if (depth == 0 && IsWordAt(where, i, L"order")) {
      size_t next = i + 5;
      while (next < where.size() && std::iswspace(static_cast<wint_t>(where[next]))) ++next;
      if (next > i + 5 && IsWordAt(where, next, L"by")) found = i;
    }
  }
  *condition = found == std::wstring::npos ? where : where.substr(0, found);
  *order = found == std::wstring::npos ? std::wstring() : where.substr(found);
  while (!condition->empty() && std::iswspace(static_cast<wint_t>(condition->back()))) condition->pop_back();
}

// An empty filter value is refused rather than read as "no filter": a
// script whose variable came out empty must not list, export or delete
// every task. A blank --where would be no condition at all, so it is
// refused too; blank text elsewhere still filters (a name holding a space).
CLI::Validator NotEmpty(bool blankToo) {
  return CLI::Validator(
      [blankToo](std::string& value) {
        if (value.empty()) return std::string("an empty value would match every task; leave the option out for that");
        if (blankToo && TrimAscii(value).empty())
          return std::string("a blank condition would match every task; leave the option out for that");
        return std::string();
      },
      "");
}

// The terms that order tasks as --sort asks, each to be followed by the
// direction: the sort's own, then begin, then the GUID, so that ties come
// out the same on every engine and in every run. An invalid date-time
// (NULL) sorts after every valid one, as "case ... end" says on every
// engine (SQLite puts NULL first, PostgreSQL last). Names are compared with
// only A-Z folded, character by character: SQLite compares text so, and
// PostgreSQL does under the "C" collation; other engines reached through
// ODBC get lower() and their own collation.
std::vector<std::wstring> OrderTerms(const std::string& sort, const DBsSetNode& node) {
  const Dialect dialect = DialectOf(node);
  const bool postgres = DatabaseTypeOfKind(node.nDBType) == QZDB_POSTGRESQL;
  auto date = [dialect](const wchar_t* column) {
    const std::wstring value = ComparableDate(column, dialect);
    return std::vector<std::wstring>{L"case when " + value + L" is null then 1 else 0 end", value};
  };
  std::vector<std::wstring> terms;
  if (sort == "name") {
    terms.push_back(postgres ? FoldedColumn(L"strTaskName", dialect) + L" collate \"C\"" : L"lower(strTaskName)");
  } else if (sort == "end") {
    terms = date(L"odtTaskEndDateTime");
  } else if (sort == "status") {
    terms = {L"enumTaskRunStatus", L"enumTaskEditStatus"};
  }
  for (std::wstring& term : date(L"odtTaskBeginDateTime")) terms.push_back(std::move(term));
  terms.push_back(L"guidTaskID");
  return terms;
}

}  // namespace

TaskKeyQuery TaskKeys(const TaskFilter& filter, const TaskOrder& order, const DBsSetNode& node) {
  TaskKeyQuery query;
  query.keepFirst = order.limit;
  std::wstring where, tail;
  SplitOrderBy(FromUtf8(filter.where), &where, &tail);
  if (order.sort.empty() && !tail.empty()) {
    // The order --where gives, which only the reader can reverse.
    query.sql = L"select guidTaskID from GeZhuanTaskInfo where " + TaskCondition(filter, node);
    query.reverse = order.reverse;
    return query;
  }
  const std::wstring condition = TaskCondition(filter, node, false);
  std::wstring from = L"GeZhuanTaskInfo" + (condition.empty() ? L"" : L" where " + condition);
  // --sort over the tasks --where chose in its own order (a "limit" in it
  // included): those tasks, then ordered anew.
  if (!tail.empty())
    from = L"GeZhuanTaskInfo join (select guidTaskID as chosen from GeZhuanTaskInfo where " +
           TaskCondition(filter, node) + L") w on guidTaskID = w.chosen";
  query.sql = L"select guidTaskID from " + from + L" order by ";
  const std::vector<std::wstring> terms = OrderTerms(order.sort, node);
  for (size_t i = 0; i < terms.size(); ++i)
    query.sql += (i ? L", " : L"") + terms[i] + (order.reverse ? L" desc" : L"");
  // SQLite and PostgreSQL take "limit"; ODBC reaches engines that spell it
  // otherwise, so there the reader stops after keepFirst keys.
  if (order.limit > 0 && DatabaseTypeOfKind(node.nDBType) != QZDB_ODBC)
    query.sql += L" limit " + std::to_wstring(order.limit);
  return query;
}

bool WhereOrders(const TaskFilter& filter) {
  std::wstring condition, order;
  SplitOrderBy(FromUtf8(filter.where), &condition, &order);
  return !order.empty();
}

bool TaskFilter::Empty() const {
  return name.empty() && from.empty() && to.empty() && !type && !editStatus && !runStatus && since.empty() &&
         until.empty() && where.empty();
}

std::wstring FoldLatinCase(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return out;
}

void AddTaskFilterOptions(CLI::App* command, TaskFilter& filter) {
  command->add_option("--name", filter.name, "Only tasks whose name holds TEXT (A-Z in either case)")
      ->type_name("TEXT")
      ->check(NotEmpty(false));
  command->add_option("--from", filter.from, "Only tasks from this tape type, by name or GUID")
      ->type_name("TAPE")
      ->check(NotEmpty(false));
  command->add_option("--to", filter.to, "Only tasks to this tape type, by name or GUID")
      ->type_name("TAPE")
      ->check(NotEmpty(false));
  command->add_option("--type", filter.type, "Only tasks of this enumTaskType")->type_name("N");
  command->add_option("--edit-status", filter.editStatus, "Only tasks with this enumTaskEditStatus")->type_name("N");
  command->add_option("--run-status", filter.runStatus, "Only tasks with this enumTaskRunStatus")->type_name("N");
  command->add_option("--since", filter.since, "Only tasks that begin at or after WHEN")
      ->type_name("WHEN")
      ->check(NotEmpty(false));
  command->add_option("--until", filter.until, "Only tasks that begin at or before WHEN (a date: by its end)")
      ->type_name("WHEN")
      ->check(NotEmpty(false));
  command
      ->add_option("--where", filter.where,
                   "SQL search condition, without the word where, passed to the database unchanged: "
                   "its text comparisons, case rules and date forms are the engine's own")
      ->type_name("CONDITION")
      ->check(NotEmpty(true));
}

std::wstring TaskCondition(const TaskFilter& filter, const DBsSetNode& node, bool withOrder) {
  const Dialect dialect = DialectOf(node);
  std::vector<std::wstring> parts;
  if (!filter.name.empty())
    parts.push_back(FoldedColumn(L"strTaskName", dialect) + L" like " + Quoted(ContainsPattern(FromUtf8(filter.name))) +
                    L" escape '\\'");
  if (!filter.from.empty())
    parts.push_back(TapeCondition(filter.from, L"guidOrgTapeType", L"strOrgTapeTypeName", dialect));
  if (!filter.to.empty()) parts.push_back(TapeCondition(filter.to, L"guidDSTTapeType", L"strDSTTapeTypeName", dialect));
  if (filter.type) parts.push_back(L"enumTaskType = " + std::to_wstring(*filter.type));
  if (filter.editStatus) parts.push_back(L"enumTaskEditStatus = " + std::to_wstring(*filter.editStatus));
  if (filter.runStatus) parts.push_back(L"enumTaskRunStatus = " + std::to_wstring(*filter.runStatus));
  const std::wstring begin = ComparableDate(L"odtTaskBeginDateTime", dialect);
  if (!filter.since.empty())
    parts.push_back(begin + L" >= " + DateLiteral(RequireDate(filter.since, "--since"), dialect));
  if (!filter.until.empty()) {
    const SQZDateTime until = RequireDate(filter.until, "--until");
    // A bare date means up to the end of that day: before the next midnight.
    // (A midnight is a whole day number, so the next one is one more; after
    // 9999-12-31 there is none and every date qualifies.)
    if (TrimAscii(filter.until).size() == 10) {
      SQZDateTime next = until;
      next.m_dt += 1.0;
      if (FormatDateTime(next)) parts.push_back(begin + L" < " + DateLiteral(next, dialect));
    } else {
      parts.push_back(begin + L" <= " + DateLiteral(until, dialect));
    }
  }
  std::wstring condition;
  for (const std::wstring& part : parts) condition += (condition.empty() ? L"" : L" and ") + part;
  std::wstring where, order;
  SplitOrderBy(FromUtf8(filter.where), &where, &order);
  if (!where.empty()) condition = parts.empty() ? where : condition + L" and (" + where + L")";
  // The library puts the condition after "where": an order alone needs one.
  if (withOrder && !order.empty()) condition = (condition.empty() ? L"1 = 1" : condition) + L" " + order;
  return condition;
}

}  // namespace gezhuan
