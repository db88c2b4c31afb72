#include "records/TaskDocument.h"

#include <map>

#include "common/GuidText.h"
#include "common/RandomGuid.h"

namespace qz::records {

using qz::common::GuidToUtf8;
using qz::common::IsNullGuid;
using qz::common::NewRandomGuid;

std::vector<SQZGeZhuanItemInfo> ItemsFromJson(const Json& array, const std::string& path, const GUID& task) {
  if (!array.is_array()) Refuse(path, "arrItems", "expected an array of items, found " + Shown(array));
  std::vector<SQZGeZhuanItemInfo> items;
  std::map<std::string, std::string> seenItems;
  for (size_t i = 0; i < array.size(); ++i) {
    const std::string at = path + "[" + std::to_string(i) + "]";
    const Json& object = array[i];
    if (!object.is_object()) Refuse(at, "arrItems", "expected an item object, found " + Shown(object));
    SQZGeZhuanItemInfo item;
    item.guidTask = task;
    item.guidItem = NewRandomGuid();
    item.nIndex = static_cast<int32_t>(i);
    ReadFields(object, at, &item);
    if (!object.contains("dwLength") && item.dwTrimOut >= item.dwTrimIn) item.dwLength = item.dwTrimOut - item.dwTrimIn;
    if (item.guidTask != task)
      Refuse(at + ".guidTask", "guidTask",
             "the item names task " + GuidToUtf8(item.guidTask) + " but stands in task " + GuidToUtf8(task));
    const std::string key = GuidToUtf8(item.guidItem);
    if (!seenItems.emplace(key, at).second)
      Refuse(at + ".guidItem", "guidItem", "the same guidItem as " + seenItems[key]);
    items.push_back(item);
  }
  return items;
}

std::vector<SQZGeZhuanTaskInfo> TasksFromDocument(const std::string& text,
                                                  const std::function<void(size_t done, size_t total)>& checked) {
  const Json document = ParseJson(text);
  if (!document.is_array()) Refuse("$", "(document)", "expected an array of tasks, found " + Shown(document));
  std::vector<SQZGeZhuanTaskInfo> tasks;
  tasks.reserve(document.size());
  std::map<std::string, std::string> seenTasks;
  for (size_t t = 0; t < document.size(); ++t) {
    const std::string at = "$[" + std::to_string(t) + "]";
    const Json& object = document[t];
    if (!object.is_object()) Refuse(at, "(task)", "expected a task object, found " + Shown(object));
    SQZGeZhuanTaskInfo task;
    task.guidTaskID = NewRandomGuid();
    ReadFields(object, at, &task);
    if (IsNullGuid(task.guidTaskID)) Refuse(at + ".guidTaskID", "guidTaskID", "the null GUID cannot key a task");
    const std::string key = GuidToUtf8(task.guidTaskID);
    if (!seenTasks.emplace(key, at).second)
      Refuse(at + ".guidTaskID", "guidTaskID", "the same guidTaskID as " + seenTasks[key]);
    auto items = object.find("arrItems");
    if (items != object.end()) task.arrItems = ItemsFromJson(*items, at + ".arrItems", task.guidTaskID);
    tasks.push_back(std::move(task));
    if (checked) checked(tasks.size(), document.size());
  }
  return tasks;
}

std::vector<SQZGeZhuanItemInfo> ItemsFromDocument(const std::string& text, const GUID& task) {
  return ItemsFromJson(ParseJson(text), "$", task);
}

}  // namespace qz::records
