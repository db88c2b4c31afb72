// `gezhuan` alone, `gezhuan status` and `gezhuan init [--sample]`: what is
// opened and how much it holds, and making a database ready to use.
#include <QZNVGeZhuanHost.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "cli/commands/SampleData.h"
#include "cli/formats/JsonCodec.h"
#include "cli/formats/Output.h"
#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/session/FilePath.h"
#include "cli/session/HostBridge.h"
#include "cli/session/Options.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"

namespace gezhuan {

using qz::common::GuidToText;

namespace fs = std::filesystem;

const char* CommandSummary() {
  return "Commands:\n"
         "  init [--sample]                      create the tables (and add sample data)\n"
         "  status                               which database, and how much it holds\n"
         "  task list [FILTERS] [--sort ...]     one line per task; filters: --name --from --to --type\n"
         "                                       --edit-status --run-status --since --until --where\n"
         "  task count [FILTERS]                 how many tasks match\n"
         "  task show GUID                       every field and item of a task (a GUID start will do)\n"
         "  task add --name NAME ...             add a task; prints its GUID\n"
         "  task edit GUID ...                   change fields; --items FILE replaces the items\n"
         "  task set-status --run-status N GUID...   set statuses in bulk (- reads GUIDs from stdin)\n"
         "  task delete GUID...                  delete tasks with their items (- reads GUIDs from stdin)\n"
         "  task export [FILTERS] | task import FILE|-   tasks as a JSON document\n"
         "  item list [--task GUID] | item show GUID | item add --task GUID ITEM... | item edit GUID ...\n"
         "  item delete GUID | --task GUID       delete one item, or all of a task's items\n"
         "  tape groups | list | default | export | import   the tape type catalogue\n"
         "  settings [show] | edit | set NAME ... | check   the suite's connection settings\n"
         "  help COMMAND                         help on one command\n"
         "Each command has --help with an example.\n"
         "Exit status: 0 done (a listing that finds nothing is done too), 1 failed or what was named\n"
         "(a task, item, tape type or GUID start) does not exist, 2 usage error, 130 Ctrl-C.";
}

namespace {

struct Counts {
  long long tasks, items, groups, tapes;
};

Counts CountAll(Session& session) {
  return {session.CountRows(L"GeZhuanTaskInfo"), session.CountRows(L"GeZhuanTaskItem"),
          session.CountRows(L"VTRTAPEGROUPINFO"), session.CountRows(L"VTRTAPEINFO")};
}

bool DatabaseExists(const ChosenDatabase& chosen) {
  return !IsEmbedded(chosen.node) || fs::exists(EmbeddedPath(chosen.node));
}

// Prints what was opened and its counts. Returns false when the embedded
// file does not exist yet.
bool PrintStatus(const GlobalOptions& options) {
  const ChosenDatabase chosen = ChooseDatabase(options);
  const std::string where = DescribeNode(chosen.node);
  if (!DatabaseExists(chosen)) {
    if (options.WantsJson()) {
      Json out = Json::object();
      out["database"] = where;
      out["origin"] = chosen.origin;
      out["exists"] = false;
      PrintDocument(options, out);
    } else {
      std::cout << "database: " << where << " (" << chosen.origin << ") does not exist yet\n"
                << "          create it with `gezhuan init` (add --sample for sample data)\n";
    }
    return false;
  }
  Session session(options);
  const Counts counts = CountAll(session);
  const std::string server = IsEmbedded(chosen.node) ? std::string() : session.ServerInUse();
  if (options.WantsJson()) {
    Json out = Json::object();
    out["database"] = where;
    out["origin"] = chosen.origin;
    out["exists"] = true;
    if (!server.empty()) out["server"] = server;
    out["tasks"] = counts.tasks;
    out["items"] = counts.items;
    out["tapeGroups"] = counts.groups;
    out["tapeTypes"] = counts.tapes;
    PrintDocument(options, out);
  } else {
    std::cout << "database:    " << where << " (" << chosen.origin << ")\n";
    if (!server.empty()) std::cout << "server:      " << server << "\n";
    std::cout << "tasks:       " << counts.tasks << "\n"
              << "items:       " << counts.items << "\n"
              << "tape groups: " << counts.groups << "\n"
              << "tape types:  " << counts.tapes << "\n";
  }
  return true;
}

// Adds the sample tasks the database does not hold (a person may have
// deleted some, or all); answers how many were added.
int AddSampleTasks(Session& session) {
  CQZNVGeZhuanDBControl& control = session.Control();
  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  ClearDatabaseMessages();
  if (!control.GetAllVTRTapeInfos(&tapes) && !LastDatabaseMessage().empty())
    FailWithDatabaseMessage("cannot read the tape catalogue");
  std::vector<SQZGeZhuanTaskInfo> tasks = SampleTasks(tapes);
  std::wstring keys;
  for (const SQZGeZhuanTaskInfo& task : tasks)
    keys += (keys.empty() ? L"'" : L", '") + GuidToText(task.guidTaskID) + L"'";
  const std::vector<std::wstring> present =
      session.QueryColumn(L"select guidTaskID from GeZhuanTaskInfo where guidTaskID in (" + keys + L")", L"guidTaskID");
  tasks.erase(std::remove_if(tasks.begin(), tasks.end(),
                             [&](const SQZGeZhuanTaskInfo& task) {
                               return std::find(present.begin(), present.end(), GuidToText(task.guidTaskID)) !=
                                      present.end();
                             }),
              tasks.end());
  if (tasks.empty()) return 0;
  ClearDatabaseMessages();
  if (!control.AddGeZhuanTasks(&tasks)) FailWithDatabaseMessage("cannot add the sample tasks");
  return static_cast<int>(tasks.size());
}

int RunInit(const GlobalOptions& options, bool sample) {
  const ChosenDatabase chosen = ChooseDatabase(options);
  if (IsEmbedded(chosen.node)) {
    const fs::path file = EmbeddedPath(chosen.node);
    std::error_code error;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), error);
    if (error) Fail("cannot create the folder " + Utf8OfPath(file.parent_path()) + ": " + error.message());
  }
  std::wstring why;
  if (!QZNVGeZhuanCreateTables(chosen.node, &why))
    Fail("cannot create the tables in " + DescribeNode(chosen.node) + ": " + ToUtf8(why));
  Json out = Json::object();
  out["database"] = DescribeNode(chosen.node);
  out["origin"] = chosen.origin;
  out["tablesReady"] = true;
  const std::string ready = "database " + DescribeNode(chosen.node) + " (" + chosen.origin + "): tables ready";
  if (!sample) {
    PrintResult(options, out, ready);
    return kExitOk;
  }

  std::string error;
  if (!host::AddSampleCatalogue(chosen.node, &error)) Fail("cannot add the sample catalogue: " + error);
  Session session(options);
  const int added = AddSampleTasks(session);
  out["sampleTasksAdded"] = added;
  PrintResult(options, out,
              ready + "\n" +
                  (added > 0 ? "sample catalogue and " + std::to_string(added) +
                                   (added == 1 ? " sample task added" : " sample tasks added")
                             : "sample catalogue in place; the sample tasks were there already"));
  return kExitOk;
}

}  // namespace

void AddOverviewCommands(CLI::App& app, CommandLine& line) {
  // `gezhuan` alone: the status, then the commands.
  line.fallback = [&line] {
    PrintStatus(line.global);
    if (!line.global.WantsJson()) std::cout << '\n' << CommandSummary() << '\n';
    return static_cast<int>(kExitOk);
  };

  CLI::App* status = app.add_subcommand("status", "Which database is opened and how much it holds");
  status->footer("Example:\n  gezhuan status --database ./test.db");
  status->callback([&line] { line.action = [&line] { return PrintStatus(line.global) ? kExitOk : kExitFailed; }; });

  CLI::App* init = app.add_subcommand("init", "Create the tables of the conversion database (idempotent)");
  auto sample = std::make_shared<bool>(false);
  init->add_flag("--sample", *sample, "Also add the sample catalogue and a handful of sample tasks (once)");
  init->footer("Example:\n  gezhuan init --sample\n  gezhuan init --database /srv/qz/gezhuan.db");
  init->callback([&line, sample] { line.action = [&line, sample] { return RunInit(line.global, *sample); }; });
}

}  // namespace gezhuan
