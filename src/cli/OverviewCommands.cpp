// `gezhuan` alone, `gezhuan status` and `gezhuan init [--sample]`: what is
// opened and how much it holds, and making a database ready to use.
#include <QZNVGeZhuanHost.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "DatabaseOpen.h"
#include "Diagnostics.h"
#include "GuidText.h"
#include "HostBridge.h"
#include "JsonCodec.h"
#include "Options.h"
#include "SampleData.h"
#include "Text.h"

namespace gezhuan {

namespace fs = std::filesystem;

const char* CommandSummary() {
  return "Commands:\n"
         "  init [--sample]                    create the tables (and add sample data)\n"
         "  status                             which database, and how much it holds\n"
         "  task list [--where COND]           one line per task\n"
         "  task show GUID                     every field and item of a task\n"
         "  task add --name NAME ...           add a task; prints its GUID\n"
         "  task edit GUID ...                 change fields; --items FILE replaces the items\n"
         "  task delete GUID...                delete tasks with their items\n"
         "  task export [--where COND]         tasks as JSON\n"
         "  task import FILE|-                 add the tasks of a JSON document\n"
         "  item list [--where COND]           the items of all tasks\n"
         "  item delete --task GUID [--item G] delete a task's items, or one of them\n"
         "  tape groups | tape list | tape default   the tape type catalogue\n"
         "  settings [show] | edit | check     the suite's connection settings\n"
         "Each command has --help with an example.";
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
    if (options.json) {
      Json out = Json::object();
      out["database"] = where;
      out["origin"] = chosen.origin;
      out["exists"] = false;
      std::cout << DocumentText(out);
    } else {
      std::cout << "database: " << where << " (" << chosen.origin << ") does not exist yet\n"
                << "          create it with `gezhuan init` (add --sample for sample data)\n";
    }
    return false;
  }
  Session session(options);
  const Counts counts = CountAll(session);
  const std::string server = IsEmbedded(chosen.node) ? std::string() : session.ServerInUse();
  if (options.json) {
    Json out = Json::object();
    out["database"] = where;
    out["origin"] = chosen.origin;
    out["exists"] = true;
    if (!server.empty()) out["server"] = server;
    out["tasks"] = counts.tasks;
    out["items"] = counts.items;
    out["tapeGroups"] = counts.groups;
    out["tapeTypes"] = counts.tapes;
    std::cout << DocumentText(out);
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

// Adds the sample tasks unless the first of them is there already.
int AddSampleTasks(Session& session) {
  CQZNVGeZhuanDBControl& control = session.Control();
  std::vector<SQZGZVTRTapeTypeInfo> tapes;
  ClearDatabaseMessages();
  if (!control.GetAllVTRTapeInfos(&tapes) && !LastDatabaseMessage().empty())
    FailWithDatabaseMessage("cannot read the tape catalogue");
  std::vector<SQZGeZhuanTaskInfo> tasks = SampleTasks(tapes);
  const auto present = session.QueryColumn(
      L"select guidTaskID from GeZhuanTaskInfo where guidTaskID = '" + GuidToText(tasks.front().guidTaskID) + L"'",
      L"guidTaskID");
  if (!present.empty()) return 0;
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
    if (error) Fail("cannot create the folder " + file.parent_path().string() + ": " + error.message());
  }
  std::wstring why;
  if (!QZNVGeZhuanCreateTables(chosen.node, &why))
    Fail("cannot create the tables in " + DescribeNode(chosen.node) + ": " + ToUtf8(why));
  std::cout << "database " << DescribeNode(chosen.node) << " (" << chosen.origin << "): tables ready\n";
  if (!sample) return kExitOk;

  std::string error;
  if (!host::AddSampleCatalogue(chosen.node, &error)) Fail("cannot add the sample catalogue: " + error);
  Session session(options);
  const int added = AddSampleTasks(session);
  if (added > 0)
    std::cout << "sample catalogue and " << added << " sample tasks added\n";
  else
    std::cout << "sample catalogue in place; the sample tasks were there already\n";
  return kExitOk;
}

}  // namespace

void AddOverviewCommands(CLI::App& app, CommandLine& line) {
  // `gezhuan` alone: the status, then the commands.
  line.fallback = [&line] {
    PrintStatus(line.global);
    if (!line.global.json) std::cout << '\n' << CommandSummary() << '\n';
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
