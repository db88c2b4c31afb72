// `gezhuan task list|count|show`: reading the conversion tasks, filtered
// without SQL, sorted, in any of the output forms.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

#include "cli/commands/TaskCommands.h"
#include "cli/commands/TaskFilter.h"
#include "cli/formats/GuidPrefix.h"
#include "cli/formats/Output.h"
#include "cli/session/CommandLineHabits.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/terminal/StandardOutput.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"
#include "records/DateText.h"
#include "records/RecordColumns.h"

namespace gezhuan {

using qz::common::GuidToText;
using qz::common::GuidToUtf8;
using qz::common::IsNullGuid;

using qz::records::DateTimeForDisplay;

namespace {

std::wstring Number(long long n) { return std::to_wstring(n); }

std::wstring Timecode(uint32_t frames, const FrameRate& rate) { return FromUtf8(FormatTimecode(frames, rate)); }

// The tasks of a listing are read this many at a time.
constexpr size_t kListChunk = 128;

// The keys of a listing's tasks, in order, as compact as text allows: a
// listing of any length holds these and one chunk of tasks.
class KeyList {
 public:
  void Add(const std::string& key) {
    m_text += key;
    m_ends.push_back(m_text.size());
  }
  size_t Size() const { return m_ends.size(); }
  std::wstring At(size_t i) const {
    const size_t begin = i == 0 ? 0 : m_ends[i - 1];
    return FromUtf8(m_text.substr(begin, m_ends[i] - begin));
  }
  // Keeps the first n, in reverse order when reverse.
  void Arrange(bool reverse, size_t n) {
    if (reverse) {
      std::vector<std::string> keys;
      for (size_t i = Size(); i-- > 0;) keys.push_back(ToUtf8(At(i)));
      *this = KeyList();
      for (const std::string& key : keys) Add(key);
    }
    if (n > 0 && n < Size()) {
      m_text.resize(m_ends[n - 1]);
      m_ends.resize(n);
    }
  }

 private:
  std::string m_text;
  std::vector<size_t> m_ends;
};

// Reads the keys first, so that the tasks are read in chunks of known keys
// and no query stays open while the next is asked; then prints each chunk
// as it is read. The database sorts and limits (see TaskKeys).
int RunList(const GlobalOptions& options, const TaskFilter& filter, const TaskOrder& order) {
  Session session(options);
  const TaskKeyQuery query = TaskKeys(filter, order, session.Chosen().node);
  KeyList keys;
  session.EachValue(query.sql, L"guidTaskID", [&](std::wstring key) {
    keys.Add(ToUtf8(key));
    return query.reverse || query.keepFirst == 0 || keys.Size() < query.keepFirst;
  });
  keys.Arrange(query.reverse, query.keepFirst);
  ListingPrinter printer(options, {L"GUID", L"NAME", L"FROM", L"TO", L"TYPE", L"EDIT", L"RUN", L"BEGIN", L"ITEMS"},
                         {ColumnKind::kTaskGuid, ColumnKind::kText, ColumnKind::kText, ColumnKind::kText},
                         filter.Empty() ? "no tasks" : "no tasks match", &session);
  std::vector<std::wstring> chunk;
  for (size_t at = 0; at < keys.Size(); at += kListChunk) {
    chunk.clear();
    for (size_t i = at; i < std::min(keys.Size(), at + kListChunk); ++i) chunk.push_back(keys.At(i));
    for (const SQZGeZhuanTaskInfo& t : TasksInOrder(session.Control(), chunk))
      printer.Add({GuidToText(t.guidTaskID), t.strTaskName, t.strOrgTapeTypeName, t.strDSTTapeTypeName,
                   Number(t.enumTaskType), Number(t.enumTaskEditStatus), Number(t.enumTaskRunStatus),
                   DateTimeForDisplay(t.odtTaskBeginDateTime), Number(static_cast<long long>(t.arrItems.size()))},
                  TaskToJson(t), GuidToUtf8(t.guidTaskID));
    CheckStandardOutput();
  }
  printer.Finish();
  return kExitOk;
}

int RunCount(const GlobalOptions& options, const TaskFilter& filter) {
  Session session(options);
  const std::wstring condition = TaskCondition(filter, session.Chosen().node, false);
  const long long count = session.CountRows(L"GeZhuanTaskInfo" + (condition.empty() ? L"" : L" where " + condition));
  Json out = Json::object();
  out["tasks"] = count;
  PrintResult(options, out, std::to_string(count));
  return kExitOk;
}

// One "field: value" pair per field, in record order; frame counts as
// timecode.
struct FieldLister {
  const FrameRate& rate;
  FieldLines& lines;
  void Add(const wchar_t* name, std::wstring value) const { lines.emplace_back(ToUtf8(name), std::move(value)); }
  void operator()(const wchar_t* name, const GUID& v) const { Add(name, IsNullGuid(v) ? L"-" : GuidToText(v)); }
  void operator()(const wchar_t* name, const std::wstring& v) const { Add(name, v); }
  void operator()(const wchar_t* name, const SQZDateTime& v) const { Add(name, DateTimeForDisplay(v)); }
  void operator()(const wchar_t* name, uint32_t v) const { Add(name, Timecode(v, rate)); }
  void operator()(const wchar_t* name, int32_t v) const { Add(name, std::to_wstring(v)); }
};

int RunShow(const GlobalOptions& options, const std::string& typed) {
  const GuidReference reference = ReadGuidReference(typed, "task");
  Session session(options);
  const SQZGeZhuanTaskInfo task = FindTask(session, reference);
  if (options.WantsJson()) {
    PrintDocument(options, TaskToJson(task));
    return kExitOk;
  }
  if (options.quiet) {
    std::cout << GuidToUtf8(task.guidTaskID) << '\n';
    return kExitOk;
  }
  PrintFieldLines(options, TaskFieldLines(task, options.rate));
  if (options.format == "csv" || options.format == "tsv") return kExitOk;
  std::cout << "\narrItems: " << task.arrItems.size() << '\n';
  if (!task.arrItems.empty()) PrintListing(options, ItemListing(task.arrItems, false, options.rate), "", &session);
  return kExitOk;
}

}  // namespace

FieldLines TaskFieldLines(const SQZGeZhuanTaskInfo& task, const FrameRate& rate) {
  FieldLines lines;
  qz::records::VisitColumns(task, FieldLister{rate, lines});
  return lines;
}

FieldLines ItemFieldLines(const SQZGeZhuanItemInfo& item, const FrameRate& rate) {
  FieldLines lines;
  qz::records::VisitColumns(item, FieldLister{rate, lines});
  return lines;
}

Listing ItemListing(const std::vector<SQZGeZhuanItemInfo>& items, bool withTask, const FrameRate& rate) {
  Listing listing;
  if (withTask) {
    listing.headers.push_back(L"TASK");
    listing.kinds.push_back(ColumnKind::kTaskGuid);
  }
  for (const wchar_t* h : {L"ITEM", L"#", L"NAME", L"TYPE", L"TRIM IN", L"TRIM OUT", L"LENGTH"})
    listing.headers.push_back(h);
  for (ColumnKind kind : {ColumnKind::kItemGuid, ColumnKind::kFixed, ColumnKind::kText}) listing.kinds.push_back(kind);
  for (const SQZGeZhuanItemInfo& item : items) {
    std::vector<std::wstring> row;
    if (withTask) row.push_back(GuidToText(item.guidTask));
    for (std::wstring cell :
         {GuidToText(item.guidItem), Number(item.nIndex), item.strItemName, Number(item.nItemType),
          Timecode(item.dwTrimIn, rate), Timecode(item.dwTrimOut, rate), Timecode(item.dwLength, rate)})
      row.push_back(cell);
    listing.Add(std::move(row), ItemToJson(item), GuidToUtf8(item.guidItem));
  }
  return listing;
}

SQZGeZhuanTaskInfo FindTask(Session& session, const GuidReference& reference) {
  const GUID guid = ResolveGuid(session, reference, kTaskGuids);
  std::vector<SQZGeZhuanTaskInfo> tasks = ListTasks(session.Control(), L"guidTaskID = '" + GuidToText(guid) + L"'");
  if (tasks.empty()) Fail("no task with GUID " + GuidToUtf8(guid));
  return tasks.front();
}

void AddTaskReadingCommands(CLI::App& task, CommandLine& line) {
  auto filter = std::make_shared<TaskFilter>();
  auto order = std::make_shared<TaskOrder>();
  CLI::App* list = task.add_subcommand("list", "One line per task, in begin order");
  AddTaskFilterOptions(list, *filter);
  list->add_option("--sort", order->sort,
                   "Order by name, begin (the default unless --where ends in \"order by\"), end or run and edit "
                   "status")
      ->type_name("name|begin|end|status")
      ->check(OneOf({"name", "begin", "end", "status"}));
  list->add_flag("--reverse", order->reverse, "The opposite order");
  list->add_option("--limit", order->limit, "At most N tasks")->type_name("N")->check(CountFromOne());
  list->footer(
      "Example:\n  gezhuan task list --name 新闻 --since 2024-03-01 --until 2024-03-31\n"
      "  gezhuan task list --from \"Betacam SP\" --run-status 0 --sort name --format csv\n"
      "  gezhuan -q task list --run-status 3 | gezhuan task delete --yes -");
  list->callback([&line, filter, order] {
    line.action = [&line, filter, order] { return RunList(line.global, *filter, *order); };
  });

  auto countFilter = std::make_shared<TaskFilter>();
  CLI::App* count = task.add_subcommand("count", "How many tasks there are, or match the filters");
  AddTaskFilterOptions(count, *countFilter);
  count->footer("Example:\n  gezhuan task count --run-status 0 --since 2024-03-01");
  count->callback(
      [&line, countFilter] { line.action = [&line, countFilter] { return RunCount(line.global, *countFilter); }; });

  auto showGuid = std::make_shared<std::string>();
  CLI::App* show = task.add_subcommand("show", "Every field and every item of one task");
  show->add_option("GUID", *showGuid, "The task's GUID, or its first 8 or more characters")->required();
  show->footer("Example:\n  gezhuan task show 07f2a977");
  show->callback([&line, showGuid] { line.action = [&line, showGuid] { return RunShow(line.global, *showGuid); }; });
}

}  // namespace gezhuan
