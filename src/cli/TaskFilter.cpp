#include "TaskFilter.h"

#include <CLI/CLI.hpp>

#include "DatabaseOpen.h"
#include "DateText.h"
#include "Diagnostics.h"
#include "GuidText.h"
#include "Text.h"

namespace gezhuan {

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
  if (ParseGuid(typed, &guid)) return std::wstring(guidColumn) + L" = " + Quoted(GuidToText(guid));
  return FoldedColumn(nameColumn, dialect) + L" = " + Quoted(FoldLatinCase(FromUtf8(TrimAscii(typed))));
}

}  // namespace

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
      ->type_name("TEXT");
  command->add_option("--from", filter.from, "Only tasks from this tape type, by name or GUID")->type_name("TAPE");
  command->add_option("--to", filter.to, "Only tasks to this tape type, by name or GUID")->type_name("TAPE");
  command->add_option("--type", filter.type, "Only tasks of this enumTaskType")->type_name("N");
  command->add_option("--edit-status", filter.editStatus, "Only tasks with this enumTaskEditStatus")->type_name("N");
  command->add_option("--run-status", filter.runStatus, "Only tasks with this enumTaskRunStatus")->type_name("N");
  command->add_option("--since", filter.since, "Only tasks that begin at or after WHEN")->type_name("WHEN");
  command->add_option("--until", filter.until, "Only tasks that begin at or before WHEN (a date: by its end)")
      ->type_name("WHEN");
  command
      ->add_option("--where", filter.where,
                   "SQL search condition, without the word where, passed to the database unchanged: "
                   "its text comparisons, case rules and date forms are the engine's own")
      ->type_name("CONDITION");
}

std::wstring TaskCondition(const TaskFilter& filter, const DBsSetNode& node) {
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
  if (!filter.where.empty())
    condition = parts.empty() ? FromUtf8(filter.where) : condition + L" and (" + FromUtf8(filter.where) + L")";
  return condition;
}

}  // namespace gezhuan
