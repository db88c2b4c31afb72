// `gezhuan item list|show|add|edit|delete`: the items of the tasks, one at a
// time or across tasks.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <optional>

#include "cli/commands/TaskCommands.h"
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

namespace gezhuan {

using qz::common::GuidToText;
using qz::common::GuidToUtf8;

namespace {

std::vector<SQZGeZhuanItemInfo> ListItems(CQZNVGeZhuanDBControl& control, const std::wstring& condition) {
  std::vector<SQZGeZhuanItemInfo> items;
  ClearDatabaseMessages();
  if (!control.GetGeZhuanItemsByCondition(condition, &items)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot list the items");
    items.clear();
  }
  return items;
}

int RunList(const GlobalOptions& options, const std::string& taskText, const std::string& where) {
  std::optional<GuidReference> task;
  if (!taskText.empty()) task = ReadGuidReference(taskText, "--task");
  Session session(options);
  std::wstring condition = FromUtf8(where);
  if (task) {
    const std::wstring own = L"guidTask = '" + GuidToText(ResolveGuid(session, *task, kTaskGuids)) + L"'";
    condition = where.empty() ? own + L" order by nIndex" : own + L" and (" + condition + L")";
  }
  std::vector<SQZGeZhuanItemInfo> items = ListItems(session.Control(), condition);
  PrintListing(options, ItemListing(items, !task, options.rate), where.empty() && !task ? "no items" : "no items match",
               &session);
  return kExitOk;
}

// The one item a GUID or GUID start names.
SQZGeZhuanItemInfo FindItem(Session& session, const GuidReference& reference) {
  const GUID guid = ResolveGuid(session, reference, kItemGuids);
  const std::vector<SQZGeZhuanItemInfo> items = ListItems(session.Control(), L"guidItem = '" + GuidToText(guid) + L"'");
  if (items.empty()) Fail("no item with GUID " + GuidToUtf8(guid));
  if (items.size() > 1) {
    std::string message = "item GUID " + GuidToUtf8(guid) + " stands in " + std::to_string(items.size()) + " tasks:";
    for (const auto& item : items) message += "\n  task " + GuidToUtf8(item.guidTask);
    Fail(message);
  }
  return items.front();
}

int RunShow(const GlobalOptions& options, const std::string& typed) {
  const GuidReference reference = ReadGuidReference(typed, "item");
  Session session(options);
  const SQZGeZhuanItemInfo item = FindItem(session, reference);
  if (options.WantsJson())
    PrintDocument(options, ItemToJson(item));
  else if (options.quiet)
    std::cout << GuidToUtf8(item.guidItem) << '\n';
  else
    PrintFieldLines(options, ItemFieldLines(item, options.rate));
  return kExitOk;
}

struct ItemAddOptions {
  std::string task;
  std::vector<std::string> items;
  int32_t type = 0;
};

int RunAdd(const GlobalOptions& options, const ItemAddOptions& add) {
  const GuidReference reference = ReadGuidReference(add.task, "--task");
  Session session(options);
  const SQZGeZhuanTaskInfo task = FindTask(session, reference);
  std::vector<SQZGeZhuanItemInfo> items = ItemsFromArguments(add.items, task.guidTaskID, options.rate);
  // New items go after the last one the task has.
  int32_t next = 0;
  for (const auto& item : task.arrItems) next = std::max(next, item.nIndex + 1);
  for (auto& item : items) {
    item.nIndex = next++;
    item.nItemType = add.type;
  }
  ClearDatabaseMessages();
  if (!session.Control().AddGeZhuanItems(&items)) FailWithDatabaseMessage("cannot add the items");
  Json out = Json::object();
  out["guidItem"] = Json::array();
  std::string sentence;
  for (const auto& item : items) {
    out["guidItem"].push_back(GuidToUtf8(item.guidItem));
    sentence += (sentence.empty() ? "" : "\n") + GuidToUtf8(item.guidItem);
  }
  PrintResult(options, out, sentence);
  return kExitOk;
}

struct ItemEditOptions {
  std::string item, name, trimIn, trimOut, length;
  std::optional<int32_t> type, index;
};

uint32_t RequireTimecode(const std::string& text, const FrameRate& rate, const std::string& option) {
  uint32_t frames = 0;
  std::string why;
  if (!ParseTimecode(text, rate, &frames, &why)) UsageError(option + ": " + why);
  return frames;
}

// Rewrites only the item's own row; its task and the other items stay as
// they are.
int RunEdit(const GlobalOptions& options, const ItemEditOptions& edit) {
  const GuidReference reference = ReadGuidReference(edit.item, "item");
  if (edit.name.empty() && edit.trimIn.empty() && edit.trimOut.empty() && edit.length.empty() && !edit.type &&
      !edit.index)
    UsageError("nothing to change: give --name, --type, --in, --out, --length or --index");
  std::optional<uint32_t> trimIn, trimOut, length;
  if (!edit.trimIn.empty()) trimIn = RequireTimecode(edit.trimIn, options.rate, "--in");
  if (!edit.trimOut.empty()) trimOut = RequireTimecode(edit.trimOut, options.rate, "--out");
  if (!edit.length.empty()) length = RequireTimecode(edit.length, options.rate, "--length");
  if (!edit.name.empty() && TrimAscii(edit.name).empty()) UsageError("--name: an item needs a name");

  Session session(options);
  const SQZGeZhuanItemInfo found = FindItem(session, reference);
  ChangeItem(
      session, found.guidTask, found.guidItem,
      [&](SQZGeZhuanItemInfo& item) {
        if (!edit.name.empty()) item.strItemName = FromUtf8(edit.name);
        if (edit.type) item.nItemType = *edit.type;
        if (edit.index) item.nIndex = *edit.index;
        const bool pointsMoved = trimIn || trimOut;
        if (trimIn) item.dwTrimIn = *trimIn;
        if (trimOut) item.dwTrimOut = *trimOut;
        if (item.dwTrimOut < item.dwTrimIn) UsageError("the item would end (--out) before it begins (--in)");
        // A length left out follows moved trim points.
        if (length)
          item.dwLength = *length;
        else if (pointsMoved)
          item.dwLength = item.dwTrimOut - item.dwTrimIn;
      },
      "cannot change the item");
  Json out = Json::object();
  out["changed"] = GuidToUtf8(found.guidItem);
  PrintResult(options, out, "item " + GuidToUtf8(found.guidItem) + " changed");
  return kExitOk;
}

// Deleting all items of a task is the bulk case: asked on a terminal, and
// refused from a script without --yes.
int RunDelete(const GlobalOptions& options, const DeleteSafety& safety, const std::string& taskText,
              const std::string& itemText) {
  const bool all = itemText.empty();
  if (all && !safety.yes && !safety.dryRun && !InputIsTerminal())
    UsageError(
        "all items of a task are deleted without a terminal only with --yes (see them first with --dry-run); "
        "nothing deleted");
  const GuidReference taskReference = ReadGuidReference(taskText, "--task");
  std::optional<GuidReference> itemReference;
  if (!itemText.empty()) itemReference = ReadGuidReference(itemText, "--item");
  Session session(options);
  const GUID task = ResolveGuid(session, taskReference, kTaskGuids);
  const GUID item = itemReference ? ResolveGuid(session, *itemReference, kItemGuids) : GUID{};
  std::wstring condition = L"guidTask = '" + GuidToText(task) + L"'";
  if (!all) condition += L" and guidItem = '" + GuidToText(item) + L"'";
  const std::vector<SQZGeZhuanItemInfo> items = ListItems(session.Control(), condition + L" order by nIndex");
  const size_t count = items.size();
  if (count == 0)
    Fail(all ? "task " + GuidToUtf8(task) + " has no items"
             : "task " + GuidToUtf8(task) + " has no item " + GuidToUtf8(item));
  const std::string counted = std::to_string(count) + (count == 1 ? " item" : " items");
  if (safety.dryRun) {
    PrintListing(options, ItemListing(items, false, options.rate), "");
    std::cerr << "gezhuan: --dry-run: would delete " << counted << "; nothing deleted\n";
    return kExitOk;
  }
  if (all) ConfirmDelete(safety, "delete all " + counted + " of task " + GuidToUtf8(task) + "?");
  ClearDatabaseMessages();
  if (!session.Control().DeleteGeZhuanItem(task, item)) FailWithDatabaseMessage("cannot delete the items");
  Json out = Json::object();
  out["deleted"] = count;
  PrintResult(options, out, "deleted " + counted);
  return kExitOk;
}

}  // namespace

void AddItemCommands(CLI::App& app, CommandLine& line) {
  CLI::App* item = app.add_subcommand("item", "Conversion items, across tasks");
  item->require_subcommand(1);
  item->footer("Example:\n  gezhuan item list");

  auto listTask = std::make_shared<std::string>();
  auto where = std::make_shared<std::string>();
  CLI::App* list = item->add_subcommand("list", "One line per item, of all tasks or of one");
  list->add_option("--task", *listTask, "Only this task's items, in their order (GUID or its start)")
      ->type_name("GUID");
  list->add_option("--where", *where, "SQL search condition, without the word where, passed to the database unchanged")
      ->type_name("CONDITION");
  list->footer(
      "Example:\n  gezhuan item list --task 07f2a977\n"
      "  gezhuan item list --where \"dwLength > 25000 order by strItemName\"");
  list->callback([&line, listTask, where] {
    line.action = [&line, listTask, where] { return RunList(line.global, *listTask, *where); };
  });

  auto showGuid = std::make_shared<std::string>();
  CLI::App* show = item->add_subcommand("show", "Every field of one item");
  show->add_option("GUID", *showGuid, "The item's GUID, or its first 8 or more characters")->required();
  show->footer("Example:\n  gezhuan item show 5a3e0001-7c1b-4d2a-9f00-000000001001");
  show->callback([&line, showGuid] { line.action = [&line, showGuid] { return RunShow(line.global, *showGuid); }; });

  auto add = std::make_shared<ItemAddOptions>();
  CLI::App* adder = item->add_subcommand("add", "Add items at the end of a task; prints their GUIDs");
  adder->add_option("--task", add->task, "The task (GUID or its start)")->required()->type_name("GUID");
  adder->add_option("--type", add->type, "nItemType of the new items")->type_name("N");
  adder->add_option("ITEM", add->items, "NAME:TRIMIN:TRIMOUT[:LENGTH], points as timecode or frames")->required();
  adder->footer("Example:\n  gezhuan item add --task 07f2a977 \"片尾:00:15:00:00:00:15:30:00\"");
  adder->callback([&line, add] { line.action = [&line, add] { return RunAdd(line.global, *add); }; });

  auto edit = std::make_shared<ItemEditOptions>();
  CLI::App* editor = item->add_subcommand("edit", "Change one item's fields");
  editor->add_option("GUID", edit->item, "The item's GUID, or its first 8 or more characters")->required();
  editor->add_option("--name", edit->name, "strItemName");
  editor->add_option("--type", edit->type, "nItemType")->type_name("N");
  editor->add_option("--in", edit->trimIn, "dwTrimIn: timecode HH:MM:SS:FF or frames")->type_name("TIMECODE");
  editor->add_option("--out", edit->trimOut, "dwTrimOut: timecode or frames")->type_name("TIMECODE");
  editor->add_option("--length", edit->length, "dwLength (default: follows moved trim points)")->type_name("TIMECODE");
  editor->add_option("--index", edit->index, "nIndex, its place among the task's items")->type_name("N");
  editor->footer("Example:\n  gezhuan item edit 5a3e0001-7c1b-4d2a-9f00-000000001001 --out 00:00:12:00");
  editor->callback([&line, edit] { line.action = [&line, edit] { return RunEdit(line.global, *edit); }; });

  auto task = std::make_shared<std::string>();
  auto itemGuid = std::make_shared<std::string>();
  auto safety = std::make_shared<DeleteSafety>();
  CLI::App* del = item->add_subcommand(
      "delete", "Delete one item of a task, or all of them (asked on a terminal; --yes needed from a script)");
  del->add_option("--task", *task, "The task's GUID or its start")->required()->type_name("GUID");
  del->add_option("--item", *itemGuid, "Only this item")->type_name("GUID");
  AddDeleteSafetyOptions(del, *safety);
  del->footer(
      "Example:\n  gezhuan item delete --task 5A3E0001-7C1B-4D2A-9F00-000000000001 "
      "--item 5A3E0001-7C1B-4D2A-9F00-000000001001\n"
      "  gezhuan item delete --task 5A3E0001 --dry-run\n  gezhuan item delete --task 5A3E0001 --yes");
  del->callback([&line, task, itemGuid, safety] {
    line.action = [&line, task, itemGuid, safety] { return RunDelete(line.global, *safety, *task, *itemGuid); };
  });
}

}  // namespace gezhuan
