// `gezhuan task export` and `task import`: tasks with their items as a JSON
// document. An import checks the whole document, and that none of its tasks
// is in the database already, before it writes anything; by default it then
// adds every task in one call, which the library makes all or nothing.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <unordered_set>

#include "DatabaseOpen.h"
#include "Diagnostics.h"
#include "GuidText.h"
#include "ItemArgument.h"
#include "JsonCodec.h"
#include "Options.h"
#include "Output.h"
#include "StandardOutput.h"
#include "TaskCommands.h"
#include "Text.h"

namespace gezhuan {

namespace {

// The tasks of one export are read this many at a time.
constexpr size_t kExportChunk = 128;

// The tasks whose keys are given, in that order.
std::vector<SQZGeZhuanTaskInfo> TasksInOrder(Session& session, const std::vector<std::wstring>& keys) {
  std::wstring list;
  for (const std::wstring& key : keys) list += (list.empty() ? L"'" : L", '") + SqlQuote(key) + L"'";
  std::vector<SQZGeZhuanTaskInfo> found = ListTasks(session.Control(), L"guidTaskID in (" + list + L")");
  std::vector<SQZGeZhuanTaskInfo> ordered;
  ordered.reserve(found.size());
  for (const std::wstring& key : keys)
    for (SQZGeZhuanTaskInfo& task : found)
      if (GuidToText(task.guidTaskID) == key) {
        ordered.push_back(std::move(task));
        break;
      }
  return ordered;
}

// Writes the document a task at a time, the same text DocumentText gives
// for the whole array, so that an export of any size needs the memory of
// one chunk of tasks, and stops as soon as its output cannot be written.
int RunExport(const GlobalOptions& options, const std::string& where) {
  Session session(options);
  std::wstring condition = FromUtf8(TrimAscii(where));
  const std::vector<std::wstring> keys = session.QueryColumn(
      L"select guidTaskID from GeZhuanTaskInfo" + (condition.empty() ? L"" : L" where " + condition), L"guidTaskID");
  bool first = true;
  for (size_t at = 0; at < keys.size(); at += kExportChunk) {
    const std::vector<std::wstring> chunk(
        keys.begin() + static_cast<std::ptrdiff_t>(at),
        keys.begin() + static_cast<std::ptrdiff_t>(std::min(at + kExportChunk, keys.size())));
    for (const SQZGeZhuanTaskInfo& task : TasksInOrder(session, chunk)) {
      std::string text = TaskToJson(task).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
      // One level deeper, as an element of the array.
      for (size_t line = text.find('\n'); line != std::string::npos; line = text.find('\n', line + 1))
        text.insert(line + 1, "  ");
      std::cout << (first ? "[\n  " : ",\n  ") << text;
      first = false;
    }
    CheckStandardOutput();
  }
  std::cout << (first ? "[]\n" : "\n]\n");
  return kExitOk;
}

// A progress line on a terminal only: "imported 4000/10000 tasks (2100/s)".
class Progress {
 public:
  explicit Progress(size_t total)
      : m_total(total), m_shown(isatty(STDERR_FILENO) == 1), m_start(std::chrono::steady_clock::now()) {}

  void Update(size_t done) const {
    if (!m_shown) return;
    std::fprintf(stderr, "\rimported %zu/%zu tasks (%.0f/s)", done, m_total, Rate(done));
    std::fflush(stderr);
  }
  void Finish() const {
    if (m_shown) std::fputc('\n', stderr);
  }
  double Rate(size_t done) const {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    return seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
  }

 private:
  size_t m_total;
  bool m_shown;
  std::chrono::steady_clock::time_point m_start;
};

int RunImport(const GlobalOptions& options, const std::string& path, size_t batch) {
  const std::string text = ReadInput(path);
  std::vector<SQZGeZhuanTaskInfo> tasks;
  try {
    tasks = TasksFromDocument(text);
  } catch (const DocumentError& e) {
    Fail((path == "-" ? std::string("standard input") : path) + ": " + e.what() + "; nothing imported");
  }
  Session session(options);
  if (tasks.empty()) {
    Json out = Json::object();
    out["imported"] = 0;
    PrintResult(options, out, "imported 0 tasks");
    return kExitOk;
  }

  // A task already in the database would make the library's add fail after
  // some rows are written: refuse it now instead.
  std::unordered_set<std::wstring> present;
  for (std::wstring& guid : session.QueryColumn(L"select guidTaskID from GeZhuanTaskInfo", L"guidTaskID"))
    present.insert(std::move(guid));
  for (size_t i = 0; i < tasks.size(); ++i)
    if (present.count(GuidToText(tasks[i].guidTaskID)))
      Fail("document refused at $[" + std::to_string(i) + "].guidTaskID (field guidTaskID): task " +
           GuidToUtf8(tasks[i].guidTaskID) + " is in the database already; nothing imported");

  const size_t step = batch == 0 ? tasks.size() : batch;
  Progress progress(tasks.size());
  size_t done = 0;
  while (done < tasks.size()) {
    const size_t count = std::min(step, tasks.size() - done);
    std::vector<SQZGeZhuanTaskInfo> slice(tasks.begin() + static_cast<std::ptrdiff_t>(done),
                                          tasks.begin() + static_cast<std::ptrdiff_t>(done + count));
    ClearDatabaseMessages();
    if (!session.Control().AddGeZhuanTasks(&slice)) {
      progress.Finish();
      FailWithDatabaseMessage(done == 0 ? "import failed, nothing imported"
                                        : "import failed after " + std::to_string(done) +
                                              " tasks were committed (tasks from $[" + std::to_string(done) +
                                              "] on were not imported)");
    }
    done += count;
    progress.Update(done);
  }
  progress.Finish();
  Json out = Json::object();
  out["imported"] = done;
  PrintResult(options, out, "imported " + std::to_string(done) + (done == 1 ? " task" : " tasks"));
  return kExitOk;
}

}  // namespace

void AddTaskTransferCommands(CLI::App& task, CommandLine& line) {
  auto where = std::make_shared<std::string>();
  CLI::App* exporter = task.add_subcommand("export", "Write tasks with their items as a JSON document");
  exporter->add_option("--where", *where, "SQL search condition, without the word where")->type_name("CONDITION");
  exporter->footer("Example:\n  gezhuan task export --where \"enumTaskType = 1\" > tasks.json");
  exporter->callback([&line, where] { line.action = [&line, where] { return RunExport(line.global, *where); }; });

  auto path = std::make_shared<std::string>();
  auto batch = std::make_shared<size_t>(0);
  CLI::App* importer = task.add_subcommand("import", "Add the tasks of a JSON document (as export writes it)");
  importer->add_option("FILE", *path, "The document, or - for standard input")->required();
  importer->add_option("--batch", *batch, "Commit every N tasks instead of all in one call")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  importer->footer(
      "Example:\n  gezhuan task import tasks.json\n  gezhuan task export | gezhuan --database copy.db task import -");
  importer->callback(
      [&line, path, batch] { line.action = [&line, path, batch] { return RunImport(line.global, *path, *batch); }; });
}

}  // namespace gezhuan
