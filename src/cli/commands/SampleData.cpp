#include "cli/commands/SampleData.h"

#include "common/GuidText.h"

namespace gezhuan {

using qz::common::ReadTypedGuid;

namespace {

struct SampleItem {
  const wchar_t* name;
  uint32_t trimIn;
  uint32_t trimOut;
};

struct SampleTask {
  const char* guid;
  const wchar_t* name;
  const wchar_t* hint;
  const wchar_t* fromDevice;
  const wchar_t* toDevice;
  int month, day, hour;
  int32_t type, editStatus, runStatus;
  std::vector<SampleItem> items;
};

const std::vector<SampleTask>& Samples() {
  static const std::vector<SampleTask> samples = {
      {"5A3E0001-7C1B-4D2A-9F00-000000000001",
       L"新闻联播 1998-05-01 转录",
       L"Betacam 母带转 HD",
       L"录像机 A",
       L"HD 录像机 1",
       3,
       1,
       9,
       1,
       1,
       0,
       {{L"片头", 0, 250}, {L"正片", 250, 44750}, {L"片尾", 44750, 45500}}},
      {"5A3E0001-7C1B-4D2A-9F00-000000000002",
       L"Documentary: The Yellow River",
       L"Two reels to one tape",
       L"VTR A",
       L"VTR B",
       3,
       2,
       14,
       1,
       2,
       1,
       {{L"Reel 1", 0, 54000}, {L"Reel 2", 54000, 108000}}},
      {"5A3E0001-7C1B-4D2A-9F00-000000000003",
       L"体育赛事集锦 Sports highlights",
       L"",
       L"录像机 B",
       L"VTR B",
       3,
       4,
       10,
       2,
       1,
       2,
       {{L"第一节", 0, 9000}, {L"第二节", 9000, 18000}, {L"第三节", 18000, 27000}, {L"Final", 27000, 30000}}},
      {"5A3E0001-7C1B-4D2A-9F00-000000000004",
       L"Concert archive 1998",
       L"音乐会存档",
       L"VTR A",
       L"HD 录像机 1",
       3,
       5,
       16,
       1,
       0,
       0,
       {{L"Concert", 0, 162000}}},
      {"5A3E0001-7C1B-4D2A-9F00-000000000005",
       L"儿童节目《小喇叭》",
       L"Dubbing with new audio",
       L"录像机 A",
       L"VTR B",
       3,
       8,
       11,
       3,
       1,
       0,
       {{L"第1集", 0, 22500}, {L"第2集", 22500, 45000}}},
  };
  return samples;
}

}  // namespace

std::vector<SQZGeZhuanTaskInfo> SampleTasks(const std::vector<SQZGZVTRTapeTypeInfo>& tapes) {
  std::vector<SQZGeZhuanTaskInfo> tasks;
  size_t n = 0;
  for (const SampleTask& sample : Samples()) {
    SQZGeZhuanTaskInfo task;
    ReadTypedGuid(sample.guid, &task.guidTaskID);
    task.strTaskName = sample.name;
    task.strTaskHint = sample.hint;
    task.strORGDeviceName = sample.fromDevice;
    task.strDSTDeviceName = sample.toDevice;
    task.odtTaskPrepareBegin = SQZDateTime(2024, sample.month, sample.day, 8, 0, 0);
    task.odtTaskBeginDateTime = SQZDateTime(2024, sample.month, sample.day, sample.hour, 0, 0);
    task.odtTaskEndDateTime = SQZDateTime(2024, sample.month, sample.day, sample.hour + 2, 30, 0);
    task.enumTaskType = sample.type;
    task.enumTaskEditStatus = sample.editStatus;
    task.enumTaskRunStatus = sample.runStatus;
    if (!tapes.empty()) {
      const SQZGZVTRTapeTypeInfo& from = tapes[n % tapes.size()];
      const SQZGZVTRTapeTypeInfo& to = tapes[(n + 1) % tapes.size()];
      task.strOrgTapeTypeName = from.TAPENAME;
      task.guidOrgTapeType = from.TAPEGUID;
      task.strDSTTapeTypeName = to.TAPENAME;
      task.guidDSTTapeType = to.TAPEGUID;
    }
    int32_t index = 0;
    for (const SampleItem& s : sample.items) {
      SQZGeZhuanItemInfo item;
      item.guidTask = task.guidTaskID;
      item.guidItem = task.guidTaskID;
      item.guidItem.Data4[6] = static_cast<uint8_t>(0x10 + index);  // fixed, distinct per item
      item.strItemName = s.name;
      item.dwTrimIn = s.trimIn;
      item.dwTrimOut = s.trimOut;
      item.dwLength = s.trimOut - s.trimIn;
      item.nIndex = index++;
      task.arrItems.push_back(item);
    }
    task.dwDuration = task.arrItems.empty() ? 0 : task.arrItems.back().dwTrimOut;
    tasks.push_back(std::move(task));
    ++n;
  }
  return tasks;
}

}  // namespace gezhuan
