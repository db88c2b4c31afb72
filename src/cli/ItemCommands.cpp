// `gezhuan item list|delete`: the items table directly, across tasks.
#include <CLI/CLI.hpp>
#include <iostream>

#include "DatabaseOpen.h"
#include "Diagnostics.h"
#include "GuidText.h"
#include "JsonCodec.h"
#include "Options.h"
#include "Output.h"
#include "TaskCommands.h"
#include "Text.h"

namespace gezhuan {

namespace {

int RunList(const GlobalOptions& options, const std::string& where) {
  Session session(options);
  std::vector<SQZGeZhuanItemInfo> items;
  ClearDatabaseMessages();
  if (!session.Control().GetGeZhuanItemsByCondition(FromUtf8(where), &items)) {
    if (!LastDatabaseMessage().empty()) FailWithDatabaseMessage("cannot list the items");
    items.clear();
  }
  PrintListing(options, ItemListing(items, true, options.rate), where.empty() ? "no items" : "no items match");
  return kExitOk;
}

long long CountItems(Session& session, const GUID& task, const GUID& item) {
  std::wstring condition = L"guidTask = '" + GuidToText(task) + L"'";
  if (!IsNullGuid(item)) condition += L" and guidItem = '" + GuidToText(item) + L"'";
  return static_cast<long long>(
      session.QueryColumn(L"select guidItem from GeZhuanTaskItem where " + condition, L"guidItem").size());
}

int RunDelete(const GlobalOptions& options, const std::string& taskText, const std::string& itemText) {
  const GUID task = RequireGuid(taskText, "--task");
  const GUID item = itemText.empty() ? GUID{} : RequireGuid(itemText, "--item");
  Session session(options);
  const long long count = CountItems(session, task, item);
  if (count == 0)
    Fail(IsNullGuid(item) ? "task " + taskText + " has no items" : "task " + taskText + " has no item " + itemText);
  ClearDatabaseMessages();
  if (!session.Control().DeleteGeZhuanItem(task, item)) FailWithDatabaseMessage("cannot delete the items");
  if (!options.Json()) std::cout << "deleted " << count << (count == 1 ? " item\n" : " items\n");
  return kExitOk;
}

}  // namespace

void AddItemCommands(CLI::App& app, CommandLine& line) {
  CLI::App* item = app.add_subcommand("item", "Conversion items, across tasks");
  item->require_subcommand(1);
  item->footer("Example:\n  gezhuan item list");

  auto where = std::make_shared<std::string>();
  CLI::App* list = item->add_subcommand("list", "One line per item");
  list->add_option("--where", *where, "SQL search condition, without the word where")->type_name("CONDITION");
  list->footer("Example:\n  gezhuan item list --where \"dwLength > 25000 order by strItemName\"");
  list->callback([&line, where] { line.action = [&line, where] { return RunList(line.global, *where); }; });

  auto task = std::make_shared<std::string>();
  auto itemGuid = std::make_shared<std::string>();
  CLI::App* del = item->add_subcommand("delete", "Delete all items of a task, or one of them");
  del->add_option("--task", *task, "The task's GUID")->required()->type_name("GUID");
  del->add_option("--item", *itemGuid, "Only this item")->type_name("GUID");
  del->footer(
      "Example:\n  gezhuan item delete --task 5A3E0001-7C1B-4D2A-9F00-000000000001 "
      "--item 5A3E0001-7C1B-4D2A-9F00-000000001001");
  del->callback([&line, task, itemGuid] {
    line.action = [&line, task, itemGuid] { return RunDelete(line.global, *task, *itemGuid); };
  });
}

}  // namespace gezhuan
