// `gezhuan task add|edit|delete|set-status`: changing the conversion tasks,
// and the wiring of every task command.
#include "cli/commands/TaskCommands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <unordered_map>

#include "cli/commands/CatalogueLookup.h"
#include "cli/formats/GuidPrefix.h"
#include "cli/formats/ItemArgument.h"
#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/terminal/Confirm.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"
#include "common/RandomGuid.h"
#include "records/DateText.h"

namespace gezhuan {

using qz::common::GuidToText;
using qz::common::GuidToUtf8;
using qz::common::NewRandomGuid;
using qz::common::ReadTypedGuid;

using qz::records::ParseDateTime;

std::vector<SQZGeZhuanTaskInfo> ListTasks(CQZNVGeZhuanDBControl& control, const std::wstring& condition) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  ClearDatabaseMessages();
  if (!control.GetGeZhuanTasksByCondition(condition, &tasks)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot list the tasks");
    tasks.clear();
  }
  return tasks;
}

std::vector<SQZGeZhuanTaskInfo> TasksInOrder(CQZNVGeZhuanDBControl& control, const std::vector<std::wstring>& keys) {
  if (keys.empty()) return {};
  std::wstring list;
  for (const std::wstring& key : keys) list += (list.empty() ? L"'" : L", '") + SqlQuote(key) + L"'";
  std::vector<SQZGeZhuanTaskInfo> found = ListTasks(control, L"guidTaskID in (" + list + L")");
  // A key is matched by the GUID it reads as: other programs may have
  // written it in lower case, and the tasks come back as GUIDs.
  std::unordered_map<std::string, size_t> at;
  for (size_t i = 0; i < found.size(); ++i) at.emplace(GuidToUtf8(found[i].guidTaskID), i);
  std::vector<SQZGeZhuanTaskInfo> ordered;
  ordered.reserve(found.size());
  for (const std::wstring& key : keys) {
    GUID guid{};
    if (!ReadTypedGuid(ToUtf8(key), &guid)) continue;
    auto task = at.find(GuidToUtf8(guid));
    if (task == at.end()) continue;
    ordered.push_back(std::move(found[task->second]));
    at.erase(task);
  }
  return ordered;
}

std::vector<std::string> GuidArguments(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1 || arguments[0] != "-") return arguments;
  std::vector<std::string> typed;
  AnnounceTerminalInput("task GUIDs");
  std::istringstream in(ReadInput("-"));
  for (std::string word; in >> word;) typed.push_back(word);
  if (typed.empty()) UsageError("no GUIDs on standard input");
  return typed;
}

void AddDeleteSafetyOptions(CLI::App* command, DeleteSafety& safety) {
  command->add_flag("-y,--yes", safety.yes, "Delete without asking, also when the GUIDs come from a pipe");
  command->add_flag("--dry-run", safety.dryRun, "List what would be deleted; delete nothing");
}

void ConfirmDelete(const DeleteSafety& safety, const std::string& question) {
  if (safety.yes || !InputIsTerminal()) return;
  if (!Confirmed(question)) Fail("not confirmed; nothing deleted");
}

namespace {

// The task fields a person can set on `task add` and `task edit`.
struct TaskFieldOptions {
  std::string name, hint, from, to, fromDevice, toDevice, begin, end;
  int32_t type = 0, editStatus = 0, runStatus = 0;
  std::string duration;
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
  f.options["duration"] =
      command->add_option("--duration", f.duration, "dwDuration: timecode HH:MM:SS:FF at --fps, or frames")
          ->type_name("TIMECODE");
}

SQZDateTime RequireDateTime(const std::string& text, const std::string& option) {
  SQZDateTime value;
  std::string why;
  if (!ParseDateTime(text, &value, &why)) UsageError(option + ": " + why);
  return value;
}

// Applies the given options to task. Tape types are looked up in the
// catalogue and stored with both their name and their GUID.
void ApplyTaskFields(const TaskFieldOptions& f, const FrameRate& rate, CQZNVGeZhuanDBControl& control,
                     SQZGeZhuanTaskInfo& task) {
  // Check everything typed before asking the catalogue.
  SQZDateTime begin = task.odtTaskBeginDateTime, end = task.odtTaskEndDateTime;
  if (f.Given("begin")) begin = RequireDateTime(f.begin, "--begin");
  if (f.Given("end")) end = RequireDateTime(f.end, "--end");
  uint32_t duration = task.dwDuration;
  std::string why;
  if (f.Given("duration") && !ParseTimecode(f.duration, rate, &duration, &why)) UsageError("--duration: " + why);
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
  task.dwDuration = duration;
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

int RunAdd(const GlobalOptions& options, const TaskFieldOptions& fields,
           const std::vector<std::string>& itemArguments) {
  if (!fields.Given("name")) UsageError("task add needs --name");
  SQZGeZhuanTaskInfo task;
  task.guidTaskID = NewRandomGuid();
  task.arrItems = ItemsFromArguments(itemArguments, task.guidTaskID, options.rate);
  Session session(options);
  ApplyTaskFields(fields, options.rate, session.Control(), task);
  std::vector<SQZGeZhuanTaskInfo> tasks{task};
  ClearDatabaseMessages();
  if (!session.Control().AddGeZhuanTasks(&tasks)) FailWithDatabaseMessage("cannot add the task");
  Json out = Json::object();
  out["guidTaskID"] = GuidToUtf8(task.guidTaskID);
  PrintResult(options, out, GuidToUtf8(task.guidTaskID));
  return kExitOk;
}

int RunEdit(const GlobalOptions& options, const std::string& typed, const TaskFieldOptions& fields,
            const std::string& itemsFile) {
  const GuidReference reference = ReadGuidReference(typed, "task");
  bool anyField = false;
  for (const auto& option : fields.options) anyField = anyField || option.second->count() > 0;
  if (!anyField && itemsFile.empty()) UsageError("nothing to change: give a field option or --items FILE");

  Session session(options);
  const SQZGeZhuanTaskInfo found = FindTask(session, reference);
  std::vector<SQZGeZhuanItemInfo> items;
  if (!itemsFile.empty()) items = ItemsFromFile(itemsFile, found.guidTaskID, options.rate);
  // Everything typed is checked on the copy read so far, before the row is
  // held; the fields are then set again on the row as it is now.
  SQZGeZhuanTaskInfo checked = found;
  ApplyTaskFields(fields, options.rate, session.Control(), checked);
  ChangeTasks(
      session, {found.guidTaskID},
      [&](SQZGeZhuanTaskInfo& row) { ApplyTaskFields(fields, options.rate, session.Control(), row); },
      "cannot change the task", itemsFile.empty() ? nullptr : &items);
  Json out = Json::object();
  out["changed"] = GuidToUtf8(found.guidTaskID);
  PrintResult(options, out, "task " + GuidToUtf8(found.guidTaskID) + " changed");
  return kExitOk;
}

// The tasks typed, each looked up; all must exist before anything changes.
// Whole GUIDs are looked up many to a query, so that a bulk change over
// thousands of tasks does not wait on thousands of round trips.
std::vector<SQZGeZhuanTaskInfo> FindAllTasks(Session& session, const std::vector<std::string>& typed,
                                             const std::string& nothingDone) {
  constexpr size_t kPerQuery = 128;
  std::vector<GuidReference> references;
  for (const std::string& text : GuidArguments(typed)) references.push_back(ReadGuidReference(text, "task"));
  std::vector<std::wstring> keys;
  std::set<std::wstring> seen;
  for (const GuidReference& reference : references) {
    try {
      const std::wstring key = GuidToText(ResolveGuid(session, reference, kTaskGuids));
      if (seen.insert(key).second) keys.push_back(key);
    } catch (const CommandError& e) {
      throw CommandError(e.Status(), std::string(e.what()) + "; " + nothingDone);
    }
  }
  std::vector<SQZGeZhuanTaskInfo> tasks;
  for (size_t at = 0; at < keys.size(); at += kPerQuery) {
    const std::vector<std::wstring> chunk(
        keys.begin() + static_cast<std::ptrdiff_t>(at),
        keys.begin() + static_cast<std::ptrdiff_t>(std::min(at + kPerQuery, keys.size())));
    std::vector<SQZGeZhuanTaskInfo> found = TasksInOrder(session.Control(), chunk);
    for (size_t i = 0; i < chunk.size(); ++i)
      if (i >= found.size() || GuidToText(found[i].guidTaskID) != chunk[i])
        Fail("no task with GUID " + ToUtf8(chunk[i]) + "; " + nothingDone);
    for (SQZGeZhuanTaskInfo& task : found) tasks.push_back(std::move(task));
  }
  return tasks;
}

std::string Plural(size_t n) { return std::to_string(n) + (n == 1 ? " task" : " tasks"); }

std::vector<GUID> KeysOf(const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  std::vector<GUID> keys;
  for (const SQZGeZhuanTaskInfo& task : tasks) keys.push_back(task.guidTaskID);
  return keys;
}

int RunDelete(const GlobalOptions& options, const DeleteSafety& safety, const std::vector<std::string>& typed) {
  const bool fromInput = typed.size() == 1 && typed[0] == "-";
  if (fromInput && !safety.yes && !safety.dryRun && !InputIsTerminal())
    UsageError(
        "task GUIDs from a pipe or a file are deleted only with --yes (see them first with --dry-run); nothing "
        "deleted");
  Session session(options);
  const std::vector<SQZGeZhuanTaskInfo> tasks = FindAllTasks(session, typed, "nothing deleted");
  if (safety.dryRun) {
    Listing listing;
    listing.headers = {L"GUID", L"NAME", L"ITEMS"};
    for (const SQZGeZhuanTaskInfo& t : tasks)
      listing.Add({GuidToText(t.guidTaskID), t.strTaskName, std::to_wstring(t.arrItems.size())}, TaskToJson(t),
                  GuidToUtf8(t.guidTaskID));
    PrintListing(options, listing, "");
    std::cerr << "gezhuan: --dry-run: would delete " << Plural(tasks.size()) << "; nothing deleted\n";
    return kExitOk;
  }
  if (tasks.size() > 1) ConfirmDelete(safety, "delete " + Plural(tasks.size()) + " with their items?");
  DeleteTasks(session, KeysOf(tasks), "cannot delete the tasks, 0 of " + std::to_string(tasks.size()) + " deleted");
  Json out = Json::object();
  out["deleted"] = tasks.size();
  PrintResult(options, out, "deleted " + Plural(tasks.size()));
  return kExitOk;
}

struct StatusOptions {
  std::optional<int32_t> editStatus, runStatus;
};

int RunSetStatus(const GlobalOptions& options, const StatusOptions& status, const std::vector<std::string>& typed) {
  if (!status.editStatus && !status.runStatus) UsageError("give --run-status N, --edit-status N or both");
  Session session(options);
  const std::vector<SQZGeZhuanTaskInfo> tasks = FindAllTasks(session, typed, "nothing changed");
  ChangeTasks(
      session, KeysOf(tasks),
      [&](SQZGeZhuanTaskInfo& row) {
        if (status.runStatus) row.enumTaskRunStatus = *status.runStatus;
        if (status.editStatus) row.enumTaskEditStatus = *status.editStatus;
      },
      "cannot change the tasks, 0 of " + std::to_string(tasks.size()) + " changed");
  Json out = Json::object();
  out["changed"] = tasks.size();
  PrintResult(options, out, "changed " + Plural(tasks.size()));
  return kExitOk;
}

}  // namespace

void AddTaskCommands(CLI::App& app, CommandLine& line) {
  CLI::App* task = app.add_subcommand("task", "Conversion tasks and their items");
  task->require_subcommand(1);
  task->footer("Example:\n  gezhuan task list");

  AddTaskReadingCommands(*task, line);

  auto addFields = std::make_shared<TaskFieldOptions>();
  auto addItems = std::make_shared<std::vector<std::string>>();
  CLI::App* add = task->add_subcommand("add", "Add a task with its items; prints the new task's GUID");
  AddTaskFieldOptions(add, *addFields);
  add->add_option("--item", *addItems,
                  "An item NAME:TRIMIN:TRIMOUT[:LENGTH], points as timecode HH:MM:SS:FF or frames; repeat in order")
      ->type_name("ITEM")
      ->allow_extra_args(false);
  add->footer(
      "Example:\n  gezhuan task add --name \"新闻 转录\" --from \"Betacam SP\" --to HDCAM \\\n"
      "      --begin 2024-03-01T09:00 --item \"片头:00:00:00:00:00:00:10:00\" --item \"正片:250:45000\"");
  add->callback([&line, addFields, addItems] {
    line.action = [&line, addFields, addItems] { return RunAdd(line.global, *addFields, *addItems); };
  });

  auto editGuid = std::make_shared<std::string>();
  auto editFields = std::make_shared<TaskFieldOptions>();
  auto itemsFile = std::make_shared<std::string>();
  CLI::App* edit =
      task->add_subcommand("edit", "Change the task fields named (and no others), or with --items its whole item set");
  edit->add_option("GUID", *editGuid, "The task's GUID, or its first 8 or more characters")->required();
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
  auto deleteSafety = std::make_shared<DeleteSafety>();
  CLI::App* del = task->add_subcommand(
      "delete", "Delete tasks with their items; asks first on a terminal when there are more than one");
  del->add_option("GUID", *deleteGuids, "The tasks' GUIDs or their first 8 or more characters; - reads them from stdin")
      ->required();
  AddDeleteSafetyOptions(del, *deleteSafety);
  del->footer(
      "GUIDs from a pipe (-) are deleted only with --yes; all tasks go in one transaction, or none.\n"
      "Example:\n  gezhuan task delete 5A3E0001-7C1B-4D2A-9F00-000000000001\n"
      "  gezhuan -q task list --run-status 3 | gezhuan task delete --dry-run -\n"
      "  gezhuan -q task list --run-status 3 | gezhuan task delete --yes -");
  del->callback([&line, deleteGuids, deleteSafety] {
    line.action = [&line, deleteGuids, deleteSafety] { return RunDelete(line.global, *deleteSafety, *deleteGuids); };
  });

  auto status = std::make_shared<StatusOptions>();
  auto statusGuids = std::make_shared<std::vector<std::string>>();
  CLI::App* setStatus =
      task->add_subcommand("set-status", "Set the run or edit status of tasks in bulk, all in one transaction or none");
  setStatus->add_option("--run-status", status->runStatus, "The new enumTaskRunStatus")->type_name("N");
  setStatus->add_option("--edit-status", status->editStatus, "The new enumTaskEditStatus")->type_name("N");
  setStatus->add_option("GUID", *statusGuids, "The tasks' GUIDs or their starts; - reads them from stdin")->required();
  setStatus->footer(
      "Example:\n  gezhuan task set-status --run-status 2 07f2a977 5a3e0001-7c1b-4d2a-9f00-000000000004\n"
      "  gezhuan -q task list --run-status 1 | gezhuan task set-status --run-status 2 -");
  setStatus->callback([&line, status, statusGuids] {
    line.action = [&line, status, statusGuids] { return RunSetStatus(line.global, *status, *statusGuids); };
  });

  AddTaskTransferCommands(*task, line);
}

}  // namespace gezhuan
