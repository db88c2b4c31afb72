// Pieces the task and item commands share between their files.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/formats/Timecode.h"

namespace CLI {
class App;
}

namespace gezhuan {

struct CommandLine;
struct GuidReference;
struct Listing;
class Session;

// The tasks a condition selects ("" for all), with their items. An empty
// result is not a failure; a refusal of the database is.
std::vector<SQZGeZhuanTaskInfo> ListTasks(CQZNVGeZhuanDBControl& control, const std::wstring& condition);

// The tasks whose keys (guidTaskID texts as the database holds them) are
// given, in that order, with their items; a key no task holds is left out.
// For a listing read a chunk at a time.
std::vector<SQZGeZhuanTaskInfo> TasksInOrder(CQZNVGeZhuanDBControl& control, const std::vector<std::wstring>& keys);

// The task a GUID or GUID start names, with its items; fails when none.
SQZGeZhuanTaskInfo FindTask(Session& session, const GuidReference& reference);

// GUIDs or GUID starts given as arguments, or one a line (or separated by
// blanks) on standard input when the only argument is "-".
std::vector<std::string> GuidArguments(const std::vector<std::string>& arguments);

// --yes and --dry-run of the delete commands.
struct DeleteSafety {
  bool yes = false;
  bool dryRun = false;
};
void AddDeleteSafetyOptions(CLI::App* command, DeleteSafety& safety);

// Before deleting many rows: on a terminal, asks question and fails unless
// the answer is yes; with --yes, or when nobody can be asked, returns.
// (Input from a pipe is refused without --yes before this.)
void ConfirmDelete(const DeleteSafety& safety, const std::string& question);

// Items as listing rows (trim points as timecode), with their task's GUID
// when withTask.
Listing ItemListing(const std::vector<SQZGeZhuanItemInfo>& items, bool withTask, const FrameRate& rate);

// A record's fields for `show`: GUIDs as text ("-" for the null GUID),
// frame counts as timecode.
std::vector<std::pair<std::string, std::wstring>> TaskFieldLines(const SQZGeZhuanTaskInfo& task, const FrameRate& rate);
std::vector<std::pair<std::string, std::wstring>> ItemFieldLines(const SQZGeZhuanItemInfo& item, const FrameRate& rate);

// Rewrites the tasks in one transaction that holds their rows: each row is
// read afresh there, change sets the fields the command names, and the row
// is written back, so that what another program changed meanwhile stays.
// With items, those replace each task's items in the same transaction. All
// or nothing: a task that is gone, or any refusal, fails the whole, with
// what at the start of the message.
using TaskChange = std::function<void(SQZGeZhuanTaskInfo& task)>;
void ChangeTasks(Session& session, const std::vector<GUID>& tasks, const TaskChange& change, const std::string& what,
                 const std::vector<SQZGeZhuanItemInfo>* items = nullptr);

// Deletes the tasks with their items in one transaction: all or none.
void DeleteTasks(Session& session, const std::vector<GUID>& tasks, const std::string& what);

// Rewrites one item's row the way ChangeTasks rewrites a task's.
using ItemChange = std::function<void(SQZGeZhuanItemInfo& item)>;
void ChangeItem(Session& session, const GUID& task, const GUID& item, const ItemChange& change,
                const std::string& what);

// `task list|count|show`.
void AddTaskReadingCommands(CLI::App& task, CommandLine& line);

// `task export` and `task import`.
void AddTaskTransferCommands(CLI::App& task, CommandLine& line);

}  // namespace gezhuan
