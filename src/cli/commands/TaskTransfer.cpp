// `gezhuan task export` and `task import`: tasks with their items as a JSON
// document. An import checks the whole document, and which of its tasks are
// in the database already, before it writes anything; by default it then
// adds every task in one call, which the library makes all or nothing.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <unordered_set>

#include "cli/commands/TaskCommands.h"
#include "cli/commands/TaskFilter.h"
#include "cli/formats/ItemArgument.h"
#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/CommandLineHabits.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/Options.h"
#include "cli/terminal/Confirm.h"
#include "cli/terminal/Interruption.h"
#include "cli/terminal/Progress.h"
#include "cli/terminal/StandardOutput.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"

namespace gezhuan {

using qz::common::GuidToText;
using qz::common::GuidToUtf8;

namespace {

// The tasks of one export are read this many at a time.
constexpr size_t kExportChunk = 128;

// Writes the document a task at a time, the same text DocumentText gives
// for the whole array, so that an export of any size needs the memory of
// one chunk of tasks, and stops as soon as its output cannot be written.
int RunExport(const GlobalOptions& options, const TaskFilter& filter) {
  Session session(options);
  const std::wstring condition = TaskCondition(filter, session.Chosen().node);
  std::vector<std::wstring> keys = session.QueryColumn(
      L"select guidTaskID from GeZhuanTaskInfo" + (condition.empty() ? L"" : L" where " + condition), L"guidTaskID");
  // Unless --where orders them, tasks go out in the order of their keys:
  // an engine answers an unordered query in whatever order suits its plan
  // (PostgreSQL by heap or by index), and an export should not change
  // because a table was vacuumed.
  if (!WhereOrders(filter)) std::sort(keys.begin(), keys.end());
  JsonArrayWriter document;
  Progress progress("exported", keys.size());
  for (size_t at = 0; at < keys.size(); at += kExportChunk) {
    const std::vector<std::wstring> chunk(
        keys.begin() + static_cast<std::ptrdiff_t>(at),
        keys.begin() + static_cast<std::ptrdiff_t>(std::min(at + kExportChunk, keys.size())));
    for (const SQZGeZhuanTaskInfo& task : TasksInOrder(session.Control(), chunk)) document.Add(TaskToJson(task));
    CheckStandardOutput();
    progress.Update(std::min(at + kExportChunk, keys.size()));
  }
  document.Finish();
  return kExitOk;
}

struct ImportOptions {
  std::string path;
  size_t batch = 0;
  bool dryRun = false;
  bool skipExisting = false;
  bool replace = false;
};

std::string Plural(size_t n) { return std::to_string(n) + (n == 1 ? " task" : " tasks"); }

// Adds the new tasks, batch at a time (all in one call when batch is 0).
void AddNewTasks(Session& session, const std::vector<SQZGeZhuanTaskInfo>& tasks, size_t batch, Progress& progress,
                 ImportInterruption& interruption) {
  const size_t step = batch == 0 ? tasks.size() : batch;
  size_t done = 0;
  while (done < tasks.size()) {
    const size_t count = std::min(step, tasks.size() - done);
    std::vector<SQZGeZhuanTaskInfo> slice(tasks.begin() + static_cast<std::ptrdiff_t>(done),
                                          tasks.begin() + static_cast<std::ptrdiff_t>(done + count));
    ClearDatabaseMessages();
    interruption.BeginStep();
    if (!session.Control().AddGeZhuanTasks(&slice))
      FailWithDatabaseMessage(done == 0
                                  ? "import failed, nothing imported"
                                  : "import failed after " + Plural(done) + " were committed (the new tasks from the " +
                                        std::to_string(done + 1) + "th on were not imported)");
    done += count;
    interruption.EndStep(done, 0);
    progress.Update(done);
  }
}

int RunImport(const GlobalOptions& options, const ImportOptions& import) {
  ImportInterruption interruption;
  if (import.path == "-") AnnounceTerminalInput("the JSON document");
  const std::string text = ReadInput(import.path);
  std::vector<SQZGeZhuanTaskInfo> tasks;
  try {
    Progress progress("checked", 0);
    tasks = TasksFromDocument(text, [&progress](size_t done, size_t) { progress.Update(done); });
  } catch (const DocumentError& e) {
    Fail((import.path == "-" ? std::string("standard input") : import.path) + ": " + e.what() + "; nothing imported");
  }
  Session session(options);

  // A task already in the database would make the library's add fail after
  // some rows are written: sort them out now, and refuse them unless told
  // to skip or replace them.
  std::unordered_set<std::wstring> present;
  for (std::wstring& guid : session.QueryColumn(L"select guidTaskID from GeZhuanTaskInfo", L"guidTaskID"))
    present.insert(std::move(guid));
  std::vector<SQZGeZhuanTaskInfo> fresh, existing;
  for (size_t i = 0; i < tasks.size(); ++i) {
    if (!present.count(GuidToText(tasks[i].guidTaskID))) {
      fresh.push_back(std::move(tasks[i]));
      continue;
    }
    if (!import.skipExisting && !import.replace)
      Fail("document refused at $[" + std::to_string(i) + "].guidTaskID (field guidTaskID): task " +
           GuidToUtf8(tasks[i].guidTaskID) +
           " is in the database already (--skip-existing or --replace to go on); nothing imported");
    if (import.replace) existing.push_back(std::move(tasks[i]));
  }
  const size_t skipped = tasks.size() - fresh.size() - existing.size();

  Json out = Json::object();
  out["imported"] = fresh.size();
  out["replaced"] = existing.size();
  out["skipped"] = skipped;
  std::string details;
  if (!existing.empty()) details += ", replaced " + std::to_string(existing.size());
  if (skipped > 0) details += ", skipped " + std::to_string(skipped) + " already there";
  if (import.dryRun) {
    out["dryRun"] = true;
    PrintResult(
        options, out,
        "the document is sound: it would import " + Plural(fresh.size()) + details + "; nothing written (--dry-run)");
    return kExitOk;
  }

  interruption.Planned(fresh.size() + existing.size());
  Progress progress("imported", fresh.size() + existing.size());
  AddNewTasks(session, fresh, import.batch, progress, interruption);
  // Each rewrite replaces one task's row and items in one transaction.
  for (size_t i = 0; i < existing.size(); ++i) {
    ClearDatabaseMessages();
    interruption.BeginStep();
    if (!session.Control().ModifyGeZhuanTaskAll(&existing[i]))
      FailWithDatabaseMessage("replacing task " + GuidToUtf8(existing[i].guidTaskID) + " failed after " +
                              Plural(fresh.size()) + " were added and " + std::to_string(i) + " replaced");
    interruption.EndStep(fresh.size(), i + 1);
    progress.Update(fresh.size() + i + 1);
  }
  PrintResult(options, out, "imported " + Plural(fresh.size()) + details);
  return kExitOk;
}

}  // namespace

void AddTaskTransferCommands(CLI::App& task, CommandLine& line) {
  auto filter = std::make_shared<TaskFilter>();
  CLI::App* exporter =
      task.add_subcommand("export", "Write tasks with their items as a JSON document (all, or those the filters pick)");
  AddTaskFilterOptions(exporter, *filter);
  exporter->footer(
      "Example:\n  gezhuan task export --since 2024-03-01 --type 1 > tasks.json\n"
      "  gezhuan task export --where \"enumTaskType = 1\" > tasks.json");
  exporter->callback([&line, filter] { line.action = [&line, filter] { return RunExport(line.global, *filter); }; });

  auto import = std::make_shared<ImportOptions>();
  CLI::App* importer = task.add_subcommand("import", "Add the tasks of a JSON document (as export writes it)");
  importer->add_option("FILE", import->path, "The document, or - for standard input")->required();
  importer->add_option("--batch", import->batch, "Commit every N new tasks instead of all in one call")
      ->type_name("N")
      ->check(CountFromOne());
  importer->add_flag("--dry-run", import->dryRun, "Check the whole document and say what it would do; write nothing");
  CLI::Option* skip =
      importer->add_flag("--skip-existing", import->skipExisting, "Leave tasks that are in the database already");
  importer->add_flag("--replace", import->replace, "Rewrite tasks that are in the database already, items included")
      ->excludes(skip);
  importer->footer(
      "Ctrl-C stops it and says what was committed: nothing, or the batches done (exit 130).\n"
      "Example:\n  gezhuan task import tasks.json\n  gezhuan task import --dry-run --replace tasks.json\n"
      "  gezhuan task export | gezhuan --database copy.db task import -");
  importer->callback([&line, import] { line.action = [&line, import] { return RunImport(line.global, *import); }; });
}

}  // namespace gezhuan
