#include "support/NumberedTask.h"

namespace qz::testing {

SQZGeZhuanTaskInfo NumberedTask(uint32_t number, uint16_t mark, const std::wstring& prefix, int items) {
  SQZGeZhuanTaskInfo task;
  task.guidTaskID.Data1 = number;
  task.guidTaskID.Data2 = mark;
  task.strTaskName = prefix + std::to_wstring(number);
  for (int i = 0; i < items; ++i) {
    SQZGeZhuanItemInfo item;
    item.guidTask = task.guidTaskID;
    item.guidItem = task.guidTaskID;
    item.guidItem.Data3 = static_cast<uint16_t>(i + 1);
    item.nIndex = i;
    task.arrItems.push_back(item);
  }
  return task;
}

}  // namespace qz::testing
