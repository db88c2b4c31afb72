// The records the benchmarks store and list on every engine, the check that
// the library and the raw side read back the same records, and the size a
// listing's result takes when every vector and string is exactly as large
// as its content.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qz::bench {

constexpr int kItemsPerTask = 10;

inline GUID MakeGuid(uint32_t a, uint32_t b) {
  GUID g{};
  g.Data1 = a;
  g.Data2 = static_cast<uint16_t>(b);
  g.Data3 = static_cast<uint16_t>(b >> 16);
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<uint8_t>(a * 31 + b * 7 + static_cast<uint32_t>(i));
  return g;
}

// Item names as the suite's operators write them: programme titles, some in
// Chinese, with reel and segment numbers.
inline std::wstring ItemName(int i) {
  static const wchar_t* const kTitles[] = {
      L"\x65B0\x95FB\x8054\x64AD",  // 新闻联播
      L"Evening News",
      L"\x4F53\x80B2\x8D5B\x4E8B \x96C6\x9526",  // 体育赛事 集锦
      L"Documentary: The Yellow River",
      L"\x7EFC\x827A\x665A\x4F1A",          // 综艺晚会
      L"Weather \x5929\x6C14\x9884\x62A5",  // 天气预报
      L"Archive reel",
  };
  const int n = static_cast<int>(sizeof kTitles / sizeof kTitles[0]);
  return std::wstring(kTitles[i % n]) + L" \x7B2C" + std::to_wstring(i / n % 100 + 1) + L"\x96C6 seg " +
         std::to_wstring(i % 1000);
}

// The items of one task.
inline std::vector<SQZGeZhuanItemInfo> MakeItems(uint32_t batch, int task, int count = kItemsPerTask) {
  std::vector<SQZGeZhuanItemInfo> items(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int n = task * count + i;
    SQZGeZhuanItemInfo& item = items[static_cast<size_t>(i)];
    item.guidTask = MakeGuid(batch, static_cast<uint32_t>(task));
    item.guidItem = MakeGuid(batch + 1000, static_cast<uint32_t>(n));
    item.strItemName = ItemName(n);
    item.nItemType = n % 3;
    item.dwTrimIn = static_cast<uint32_t>(i * 1500);
    item.dwTrimOut = static_cast<uint32_t>(i * 1500 + 1499);
    item.dwLength = 1500;
    item.nIndex = count - i;  // stored out of order, listed in order
  }
  return items;
}

// count tasks of kItemsPerTask items each, tasks [first, first + count) of a batch.
inline std::vector<SQZGeZhuanTaskInfo> MakeTasks(uint32_t batch, int count, int first = 0) {
  std::vector<SQZGeZhuanTaskInfo> tasks(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    const int t = first + k;
    SQZGeZhuanTaskInfo& task = tasks[static_cast<size_t>(k)];
    task.guidTaskID = MakeGuid(batch, static_cast<uint32_t>(t));
    task.strTaskName = L"\x683C\x5F0F\x8F6C\x6362 " + std::to_wstring(t);  // 格式转换
    task.strTaskHint = L"Betacam SP to XDCAM HD";
    task.strPreferUserName = L"\x5F20\x4F1F";  // 张伟
    task.guidPreferUser = MakeGuid(5, static_cast<uint32_t>(t % 20));
    task.strFirstAuditorName = L"Li Na";
    task.guidFirstAuditor = MakeGuid(6, 1);
    task.odtTaskBeginDateTime = SQZDateTime(2024, 3, 1 + t % 28, 9, t % 60, 30);
    task.odtTaskEndDateTime.m_status = SQZDateTime::invalid;  // not finished: stored as NULL
    task.strOrgTapeTypeName = L"Betacam SP";
    task.guidOrgTapeType = MakeGuid(7, 1);
    task.strDSTTapeTypeName = L"XDCAM HD";
    task.guidDSTTapeType = MakeGuid(7, 2);
    task.ORGDeviceGuid = MakeGuid(8, 1);
    task.DSTDeviceGuid = MakeGuid(8, 2);
    task.strORGDeviceName = L"VTR-1";
    task.strDSTDeviceName = L"VTR-2";
    task.dwDuration = 3600;
    task.enumTaskType = 1;
    task.enumTaskRunStatus = t % 3;
    task.arrItems = MakeItems(batch, t);
  }
  return tasks;
}

inline bool SameTime(const SQZDateTime& a, const SQZDateTime& b) {
  return a.m_status == b.m_status && a.m_dt == b.m_dt;
}

inline bool SameItem(const SQZGeZhuanItemInfo& a, const SQZGeZhuanItemInfo& b) {
  return a.guidTask == b.guidTask && a.guidItem == b.guidItem && a.strItemName == b.strItemName &&
         a.nItemType == b.nItemType && a.dwTrimIn == b.dwTrimIn && a.dwTrimOut == b.dwTrimOut &&
         a.dwLength == b.dwLength && a.nIndex == b.nIndex;
}

// Every field of the task and its items, in order.
inline bool SameTask(const SQZGeZhuanTaskInfo& a, const SQZGeZhuanTaskInfo& b) {
  if (!(a.guidTaskID == b.guidTaskID && a.strTaskName == b.strTaskName && a.strTaskHint == b.strTaskHint &&
        a.strPreferUserName == b.strPreferUserName && a.guidPreferUser == b.guidPreferUser &&
        a.strFirstAuditorName == b.strFirstAuditorName && a.guidFirstAuditor == b.guidFirstAuditor &&
        a.strSecondAuditorname == b.strSecondAuditorname && a.guidSecondAuditor == b.guidSecondAuditor &&
        a.strFirstAuditInfo == b.strFirstAuditInfo && a.strSecondAuditInfo == b.strSecondAuditInfo &&
        SameTime(a.odtTaskPrepareBegin, b.odtTaskPrepareBegin) &&
        SameTime(a.odtTaskBeginDateTime, b.odtTaskBeginDateTime) &&
        SameTime(a.odtTaskEndDateTime, b.odtTaskEndDateTime) && a.dwDuration == b.dwDuration &&
        a.enumTaskType == b.enumTaskType && a.enumTaskEditStatus == b.enumTaskEditStatus &&
        a.enumTaskRunStatus == b.enumTaskRunStatus && a.strOrgTapeTypeName == b.strOrgTapeTypeName &&
        a.guidOrgTapeType == b.guidOrgTapeType && a.strDSTTapeTypeName == b.strDSTTapeTypeName &&
        a.guidDSTTapeType == b.guidDSTTapeType && a.ORGDeviceGuid == b.ORGDeviceGuid &&
        a.DSTDeviceGuid == b.DSTDeviceGuid && a.ORGVAPortGuid == b.ORGVAPortGuid &&
        a.DSTVAPortGuid == b.DSTVAPortGuid && a.ORGCtrlPortGuid == b.ORGCtrlPortGuid &&
        a.DSTCtrlPortGuid == b.DSTCtrlPortGuid && a.strORGDeviceName == b.strORGDeviceName &&
        a.strDSTDeviceName == b.strDSTDeviceName && a.arrItems.size() == b.arrItems.size()))
    return false;
  for (size_t i = 0; i < a.arrItems.size(); ++i)
    if (!SameItem(a.arrItems[i], b.arrItems[i])) return false;
  return true;
}

inline bool SameTasks(const std::vector<SQZGeZhuanTaskInfo>& a, const std::vector<SQZGeZhuanTaskInfo>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!SameTask(a[i], b[i])) return false;
  return true;
}

// Heap bytes of a string holding exactly its characters (none while they
// fit in the string object itself).
inline size_t OwnBytes(const std::wstring& text) {
  static const size_t kInline = std::wstring().capacity();
  return text.size() > kInline ? (text.size() + 1) * sizeof(wchar_t) : 0;
}

// The bytes a listing's result needs: the task and item arrays at their
// exact sizes and every string's characters.
inline size_t ResultOwnBytes(const std::vector<SQZGeZhuanTaskInfo>& tasks) {
  size_t bytes = tasks.size() * sizeof(SQZGeZhuanTaskInfo);
  for (const SQZGeZhuanTaskInfo& t : tasks) {
    for (const std::wstring* text :
         {&t.strTaskName, &t.strTaskHint, &t.strPreferUserName, &t.strFirstAuditorName, &t.strSecondAuditorname,
          &t.strFirstAuditInfo, &t.strSecondAuditInfo, &t.strOrgTapeTypeName, &t.strDSTTapeTypeName,
          &t.strORGDeviceName, &t.strDSTDeviceName})
      bytes += OwnBytes(*text);
    bytes += t.arrItems.size() * sizeof(SQZGeZhuanItemInfo);
    for (const SQZGeZhuanItemInfo& item : t.arrItems) bytes += OwnBytes(item.strItemName);
  }
  return bytes;
}

}  // namespace qz::bench
