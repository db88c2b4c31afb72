// `gezhuan task list|show|add|edit|delete`: the conversion tasks one at a
// time, as a person reads and changes them.
#include "TaskCommands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <map>

#include "CatalogueLookup.h"
#include "DatabaseOpen.h"
#include "DateText.h"
#include "Diagnostics.h"
#include "GuidText.h"
#include "ItemArgument.h"
#include "JsonCodec.h"
#include "Options.h"
#include "RecordFields.h"
#include "Table.h"
#include "Text.h"

namespace gezhuan {

std::vector<SQZGeZhuanTaskInfo> ListTasks(CQZNVGeZhuanDBControl& control, const std::wstring& condition) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  ClearDatabaseMessages();
  if (!control.GetGeZhuanTasksByCondition(condition, &tasks)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot list the tasks");
    tasks.clear();
  }
  return tasks;
}

GUID RequireGuid(const std::string& text, const std::string& what) {
  GUID guid{};
  if (!ParseGuid(text, &guid)) UsageError(what + " \"" + text + "\" is not a GUID text (8-4-4-4-12 hex digits)");
  return guid;
}

static std::wstring Number(long long n) { return std::to_wstring(n); }

void PrintItemTable(const std::vector<SQZGeZhuanItemInfo>& items, bool withTask) {
  std::vector<std::wstring> headers;
  if (withTask) headers.push_back(L"TASK");
  for (const wchar_t* h : {L"ITEM", L"#", L"NAME", L"TYPE", L"TRIM IN", L"TRIM OUT", L"LENGTH"}) headers.push_back(h);
  Table table(headers);
  for (const SQZGeZhuanItemInfo& item : items) {
    std::vector<std::wstring> row;
    if (withTask) row.push_back(GuidToText(item.guidTask));
    for (std::wstring cell : {GuidToText(item.guidItem), Number(item.nIndex), item.strItemName, Number(item.nItemType),
                              Number(item.dwTrimIn), Number(item.dwTrimOut), Number(item.dwLength)})
      row.push_back(cell);
    table.AddRow(row);
  }
  table.Print(std::cout);
}

namespace {

SQZGeZhuanTaskInfo FindTask(CQZNVGeZhuanDBControl& control, const GUID& guid) {
  std::vector<SQZGeZhuanTaskInfo> tasks = ListTasks(control, L"guidTaskID = '" + GuidToText(guid) + L"'");
  if (tasks.empty()) Fail("no task with GUID " + GuidToUtf8(guid));
  return tasks.front();
}

// The task fields a person can set on `task add` and `task edit`.
struct TaskFieldOptions {
  std::string name, hint, from, to, fromDevice, toDevice, begin, end;
  int32_t type = 0, editStatus = 0, runStatus = 0;
  uint32_t duration = 0;
  std::map<std::string, CLI::Option*> options;

  bool Given(const std::string& name) const {
    auto found = options.find(name);
    return found != options.end() && found->second->count() > 0;
  }
};

void AddTaskFieldOptions(CLI::App* command, TaskFieldOptions& f) {
  f.options["name"] = command->add_option("--name", f.name, "Task name");
  f.options["hint"] = command->add_option("--hint", f.hint, "Task hint");
  f.options["from"] = command->add_option("--from", f.from, "Origin tape type, by name or GUID")->type_name("TAPE");
  f.options["to"] = command->add_option("--to", f.to, "Destination tape type, by name or GUID")->type_name("TAPE");
  f.options["from-device"] = command->add_option("--from-device", f.fromDevice, "Origin device name");
  f.options["to-device"] = command->add_option("--to-device", f.toDevice, "Destination device name");
  f.options["begin"] = command->add_option("--begin", f.begin, "Begin, YYYY-MM-DDTHH:MM[:SS]")->type_name("WHEN");
  f.options["end"] = command->add_option("--end", f.end, "End, YYYY-MM-DDTHH:MM[:SS]")->type_name("WHEN");
  f.options["type"] = command->add_option("--type", f.type, "enumTaskType");
  f.options["edit-status"] = command->add_option("--edit-status", f.editStatus, "enumTaskEditStatus");
  f.options["run-status"] = command->add_option("--run-status", f.runStatus, "enumTaskRunStatus");
  f.options["duration"] = command->add_option("--duration", f.duration, "dwDuration in frames");
}

SQZDateTime RequireDateTime(const std::string& text, const std::string& option) {
  SQZDateTime value;
  std::string why;
  if (!ParseDateTime(text, &value, &why)) UsageError(option + ": " + why);
  return value;
}

// Applies the given options to task. Tape types are looked up in the
// catalogue and stored with both their name and their GUID.
void ApplyTaskFields(const TaskFieldOptions& f, CQZNVGeZhuanDBControl& control, SQZGeZhuanTaskInfo& task) {
  // Check everything typed before asking the catalogue.
  SQZDateTime begin = task.odtTaskBeginDateTime, end = task.odtTaskEndDateTime;
  if (f.Given("begin")) begin = RequireDateTime(f.begin, "--begin");
  if (f.Given("end")) end = RequireDateTime(f.end, "--end");
  if (f.Given("name")) {
    if (TrimAscii(f.name).empty()) UsageError("--name: a task needs a name");
    task.strTaskName = FromUtf8(f.name);
  }
  if (f.Given("hint")) task.strTaskHint = FromUtf8(f.hint);
  if (f.Given("from-device")) task.strORGDeviceName = FromUtf8(f.fromDevice);
  if (f.Given("to-device")) task.strDSTDeviceName = FromUtf8(f.toDevice);
  task.odtTaskBeginDateTime = begin;
  task.odtTaskEndDateTime = end;
  if (f.Given("type")) task.enumTaskType = f.type;
  if (f.Given("edit-status")) task.enumTaskEditStatus = f.editStatus;
  if (f.Given("run-status")) task.enumTaskRunStatus = f.runStatus;
  if (f.Given("duration")) task.dwDuration = f.duration;
  if (f.Given("from")) {
    const SQZGZVTRTapeTypeInfo tape = FindTapeType(control, f.from);
    task.strOrgTapeTypeName = tape.TAPENAME;
    task.guidOrgTapeType = tape.TAPEGUID;
  }
  if (f.Given("to")) {
    const SQZGZVTRTapeTypeInfo tape = FindTapeType(control, f.to);
    task.strDSTTapeTypeName = tape.TAPENAME;
    task.guidDSTTapeType = tape.TAPEGUID;
  }
}

int RunList(const GlobalOptions& options, const std::string& where) {
  Session session(options);
  std::vector<SQZGeZhuanTaskInfo> tasks = ListTasks(session.Control(), FromUtf8(where));
  // Listings read in time order; ties keep the database's order.
  std::stable_sort(tasks.begin(), tasks.end(), [](const SQZGeZhuanTaskInfo& a, const SQZGeZhuanTaskInfo& b) {
    if (a.odtTaskBeginDateTime.IsValid() != b.odtTaskBeginDateTime.IsValid()) return a.odtTaskBeginDateTime.IsValid();
    return a.odtTaskBeginDateTime.m_dt < b.odtTaskBeginDateTime.m_dt;
  });
  if (options.json) {
    Json out = Json::array();
    for (const auto& task : tasks) out.push_back(TaskToJson(task));
    std::cout << DocumentText(out);
    return kExitOk;
  }
  if (tasks.empty()) {
    std::cout << (where.empty() ? "no tasks\n" : "no tasks match\n");
    return kExitOk;
  }
  Table table({L"GUID", L"NAME", L"FROM", L"TO", L"TYPE", L"EDIT", L"RUN", L"BEGIN", L"ITEMS"});
  for (const auto& t : tasks)
    table.AddRow({GuidToText(t.guidTaskID), t.strTaskName, t.strOrgTapeTypeName, t.strDSTTapeTypeName,
                  Number(t.enumTaskType), Number(t.enumTaskEditStatus), Number(t.enumTaskRunStatus),
                  DateTimeForDisplay(t.odtTaskBeginDateTime), Number(static_cast<long long>(t.arrItems.size()))});
  table.Print(std::cout);
  return kExitOk;
}

// One "field: value" line per field, in record order.
struct FieldPrinter {
  std::vector<std::pair<std::string, std::wstring>>& lines;
  void operator()(const char* name, const GUID& v) const {
    lines.emplace_back(name, IsNullGuid(v) ? L"-" : GuidToText(v));
  }
  void operator()(const char* name, const std::wstring& v) const { lines.emplace_back(name, v); }
  void operator()(const char* name, const SQZDateTime& v) const { lines.emplace_back(name, DateTimeForDisplay(v)); }
  void operator()(const char* name, uint32_t v) const { lines.emplace_back(name, std::to_wstring(v)); }
  void operator()(const char* name, int32_t v) const { lines.emplace_back(name, std::to_wstring(v)); }
};

int RunShow(const GlobalOptions& options, const std::string& guidText) {
  const GUID guid = RequireGuid(guidText, "task");
  Session session(options);
  const SQZGeZhuanTaskInfo task = FindTask(session.Control(), guid);
  if (options.json) {
    std::cout << DocumentText(TaskToJson(task));
    return kExitOk;
  }
  std::vector<std::pair<std::string, std::wstring>> lines;
  VisitTaskFields(task, FieldPrinter{lines});
  size_t width = 0;
  for (const auto& line : lines) width = std::max(width, line.first.size());
  for (const auto& line : lines)
    std::cout << line.first << ':'
              << (line.second.empty() ? std::string()
                                      : std::string(width + 2 - line.first.size(), ' ') + ToUtf8(line.second))
              << '\n';
  std::cout << "\narrItems: " << task.arrItems.size() << '\n';
  if (!task.arrItems.empty()) PrintItemTable(task.arrItems, false);
  return kExitOk;
}

int RunAdd(const GlobalOptions& options, const TaskFieldOptions& fields,
           const std::vector<std::string>& itemArguments) {
  if (!fields.Given("name")) UsageError("task add needs --name");
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = NewRandomGuid();
  task.arrItems = ItemsFromArguments(itemArguments, task.guidTaskID);
  Session session(options);
  ApplyTaskFields(fields, session.Control(), task);
  std::vector<SQZGeZhuanTaskInfo> tasks{task};
  ClearDatabaseMessages();
  if (!session.Control().AddGeZhuanTasks(&tasks)) FailWithDatabaseMessage("cannot add the task");
  if (options.json) {
    Json out = Json::object();
    out["guidTaskID"] = GuidToUtf8(task.guidTaskID);
    std::cout << DocumentText(out);
  } else {
    std::cout << GuidToUtf8(task.guidTaskID) << '\n';
  }
  return kExitOk;
}

int RunEdit(const GlobalOptions& options, const std::string& guidText, const TaskFieldOptions& fields,
            const std::string& itemsFile) {
  const GUID guid = RequireGuid(guidText, "task");
  bool anyField = false;
  for (const auto& option : fields.options) anyField = anyField || option.second->count() > 0;
  if (!anyField && itemsFile.empty()) UsageError("nothing to change: give a field option or --items FILE");
  std::vector<SQZGeZhuanItemInfo> items;
  if (!itemsFile.empty()) items = ItemsFromFile(itemsFile, guid);

  Session session(options);
  SQZGeZhuanTaskInfo task = FindTask(session.Control(), guid);
  ApplyTaskFields(fields, session.Control(), task);
  ClearDatabaseMessages();
  if (itemsFile.empty()) {
    if (!session.Control().ModifyGeZhuanTaskOnly(&task)) FailWithDatabaseMessage("cannot change the task");
  } else {
    task.arrItems = items;
    if (!session.Control().ModifyGeZhuanTaskAll(&task)) FailWithDatabaseMessage("cannot change the task");
  }
  if (!options.json) std::cout << "task " << GuidToUtf8(guid) << " changed\n";
  return kExitOk;
}

int RunDelete(const GlobalOptions& options, const std::vector<std::string>& guidTexts) {
  std::vector<GUID> guids;
  for (const std::string& text : guidTexts) guids.push_back(RequireGuid(text, "task"));
  Session session(options);
  // All or none: every GUID must name a task before any is deleted.
  for (const GUID& guid : guids) {
    const auto found = session.QueryColumn(
        L"select guidTaskID from GeZhuanTaskInfo where guidTaskID = '" + GuidToText(guid) + L"'", L"guidTaskID");
    if (found.empty()) Fail("no task with GUID " + GuidToUtf8(guid) + "; nothing deleted");
  }
  for (const GUID& guid : guids) {
    ClearDatabaseMessages();
    if (!session.Control().DeleteGeZhuanTask(guid)) FailWithDatabaseMessage("cannot delete task " + GuidToUtf8(guid));
  }
  if (!options.json) std::cout << "deleted " << guids.size() << (guids.size() == 1 ? " task\n" : " tasks\n");
  return kExitOk;
}

}  // namespace

void AddTaskCommands(CLI::App& app, CommandLine& line) {
  CLI::App* task = app.add_subcommand("task", "Conversion tasks and their items");
  task->require_subcommand(1);
  task->footer("Example:\n  gezhuan task list");

  auto where = std::make_shared<std::string>();
  CLI::App* list = task->add_subcommand("list", "One line per task");
  list->add_option("--where", *where, "SQL search condition, without the word where")->type_name("CONDITION");
  list->footer("Example:\n  gezhuan task list --where \"enumTaskRunStatus = 0\"");
  list->callback([&line, where] { line.action = [&line, where] { return RunList(line.global, *where); }; });

  auto showGuid = std::make_shared<std::string>();
  CLI::App* show = task->add_subcommand("show", "Every field and every item of one task");
  show->add_option("GUID", *showGuid, "The task's GUID")->required();
  show->footer("Example:\n  gezhuan task show 5A3E0001-7C1B-4D2A-9F00-000000000001");
  show->callback([&line, showGuid] { line.action = [&line, showGuid] { return RunShow(line.global, *showGuid); }; });

  auto addFields = std::make_shared<TaskFieldOptions>();
  auto addItems = std::make_shared<std::vector<std::string>>();
  CLI::App* add = task->add_subcommand("add", "Add a task with its items; prints the new task's GUID");
  AddTaskFieldOptions(add, *addFields);
  add->add_option("--item", *addItems, "An item NAME:TRIMIN:TRIMOUT[:LENGTH] (frames); repeat in order")
      ->type_name("ITEM")
      ->allow_extra_args(false);
  add->footer(
      "Example:\n  gezhuan task add --name \"新闻 转录\" --from \"Betacam SP\" --to HDCAM \\\n"
      "      --begin 2024-03-01T09:00 --item \"片头:0:250\" --item \"正片:250:45000\"");
  add->callback([&line, addFields, addItems] {
    line.action = [&line, addFields, addItems] { return RunAdd(line.global, *addFields, *addItems); };
  });

  auto editGuid = std::make_shared<std::string>();
  auto editFields = std::make_shared<TaskFieldOptions>();
  auto itemsFile = std::make_shared<std::string>();
  CLI::App* edit = task->add_subcommand("edit", "Change a task's fields, or with --items its whole item set");
  edit->add_option("GUID", *editGuid, "The task's GUID")->required();
  AddTaskFieldOptions(edit, *editFields);
  edit->add_option("--items", *itemsFile,
                   "Replace the items: a file (or - for stdin) with one NAME:TRIMIN:TRIMOUT[:LENGTH] a line, "
                   "or a JSON array of items")
      ->type_name("FILE");
  edit->footer("Example:\n  gezhuan task edit 5A3E0001-7C1B-4D2A-9F00-000000000001 --run-status 2 --items items.txt");
  edit->callback([&line, editGuid, editFields, itemsFile] {
    line.action = [&line, editGuid, editFields, itemsFile] {
      return RunEdit(line.global, *editGuid, *editFields, *itemsFile);
    };
  });

  auto deleteGuids = std::make_shared<std::vector<std::string>>();
  CLI::App* del = task->add_subcommand("delete", "Delete tasks with their items");
  del->add_option("GUID", *deleteGuids, "The tasks' GUIDs")->required();
  del->footer("Example:\n  gezhuan task delete 5A3E0001-7C1B-4D2A-9F00-000000000001");
  del->callback(
      [&line, deleteGuids] { line.action = [&line, deleteGuids] { return RunDelete(line.global, *deleteGuids); }; });

  AddTaskTransferCommands(*task, line);
}

}  // namespace gezhuan
