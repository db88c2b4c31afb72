// Pieces the task commands share between their files.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace gezhuan {

struct CommandLine;
class Session;

// The tasks a condition selects ("" for all), with their items. An empty
// result is not a failure; a refusal of the database is.
std::vector<SQZGeZhuanTaskInfo> ListTasks(CQZNVGeZhuanDBControl& control, const std::wstring& condition);

// The GUID a person typed; a usage error naming what when it is not one.
GUID RequireGuid(const std::string& text, const std::string& what);

// Items as a table, with their task's GUID when withTask.
void PrintItemTable(const std::vector<SQZGeZhuanItemInfo>& items, bool withTask);

// `task export` and `task import`.
void AddTaskTransferCommands(CLI::App& task, CommandLine& line);

}  // namespace gezhuan
