// A database file we may read but not write (a read-only folder, a
// read-only file, or both) opens for reading: listings work, writes answer
// 0, and the engine's message reaches whoever uses the access component.
//
// Tests often run as root, for whom file permissions do not hold. On Linux
// the checks therefore run with the capabilities that override permissions
// put aside for the thread, so root meets the permissions as their owner;
// each case first proves that writing really is refused.
#include <QZNVGeZhuanDBControl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "conversions/Conversions.h"
#include "platform/TextEncoding.h"
#include "support/ScriptedDriver.h"
#include "support/TempDatabase.h"
#if defined(__linux__)
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

namespace qz::testing {
namespace {

// While it lives, file permissions hold for this thread even for root: the
// capabilities that override them leave its effective set (they stay
// permitted, so the destructor can take them back).
class PermissionsHold {
 public:
  PermissionsHold() {
#if defined(__linux__)
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    header_.pid = 0;
    saved_ = syscall(SYS_capget, &header_, data_) == 0;
    if (!saved_) return;
    __user_cap_data_struct lowered[2] = {data_[0], data_[1]};
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
      lowered[capability / 32].effective &= ~(1u << (capability % 32));
    if (syscall(SYS_capset, &header_, lowered) != 0) ADD_FAILURE() << "capset: " << errno;
#endif
  }
  ~PermissionsHold() {
#if defined(__linux__)
    if (saved_) syscall(SYS_capset, &header_, data_);
#endif
  }
  PermissionsHold(const PermissionsHold&) = delete;
  PermissionsHold& operator=(const PermissionsHold&) = delete;

 private:
#if defined(__linux__)
  __user_cap_header_struct header_{};
  __user_cap_data_struct data_[2]{};
  bool saved_ = false;
#endif
};

// True when a file can be made in folder, or when path can be opened for
// writing.
bool CanCreateIn(const std::string& folder) {
  const std::string probe = folder + "/probe";
  const int fd = open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
  if (fd < 0) return false;
  close(fd);
  unlink(probe.c_str());
  return true;
}
bool CanWrite(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The message of the CQZDBException that running sql on a connection of
// its own throws; "" when none is thrown.
std::string MessageOfRunning(const DBsSetNode& node, const std::wstring& sql) {
  CQZDatabase database;
  try {
    database.Connect(QZDB_SQLITE, node.strConnect1, node.strConnect2, L"", L"");
    CQZRecordSet set(&database);
    set.Open(sql, ROWOPERATION_WRITE);
  } catch (CQZDBException* e) {
    std::string message = platform::WideToUtf8(e->GetErrorMessage());
    e->Delete();
    return message;
  }
  return "";
}

// Makes the folder and the file writable again on every way out, so that
// the temporary folder can be removed.
class WritableAgain {
 public:
  explicit WritableAgain(const TempDatabase& temp) : temp_(temp) {}
  ~WritableAgain() {
    chmod(temp_.folder().c_str(), 0755);
    chmod(temp_.path().c_str(), 0644);
  }
  WritableAgain(const WritableAgain&) = delete;
  WritableAgain& operator=(const WritableAgain&) = delete;

 private:
  const TempDatabase& temp_;
};

struct Case {
  const char* what;
  mode_t folder;
  mode_t file;
};

TEST(SqliteReadOnly, ADatabaseWeMayOnlyReadIsOpenedForReading) {
  TempDatabase temp;
  const GUID id{0x5A3E0001, 0x7C1B, 0x4D2A, {0x9F, 0, 0, 0, 0, 0, 0, 1}};
  {
    CQZNVGeZhuanDBControl control;
    ASSERT_EQ(control.OpenQZNVGeZhuanDB(temp.Node()), 1);
    std::vector<SQZGeZhuanTaskInfo> tasks(1);
    tasks[0].guidTaskID = id;
    tasks[0].strTaskName = L"kept";
    tasks[0].arrItems.resize(1);
    tasks[0].arrItems[0].guidTask = id;
    ASSERT_EQ(control.AddGeZhuanTasks(&tasks), 1);
  }
  const std::wstring key = L"guidTaskID = '" + conversions::GuidToText(id) + L"'";

  const Case kCases[] = {
      {"read-only folder and file", 0555, 0444},
      {"read-only folder", 0555, 0644},
      {"read-only file", 0755, 0444},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    WritableAgain writable_again(temp);
    ASSERT_EQ(chmod(temp.path().c_str(), c.file), 0);
    ASSERT_EQ(chmod(temp.folder().c_str(), c.folder), 0);
    {
      PermissionsHold hold;
      ASSERT_EQ(CanCreateIn(temp.folder()), (c.folder & S_IWUSR) != 0);
      ASSERT_EQ(CanWrite(temp.path()), (c.file & S_IWUSR) != 0);

      DebugCapture debug;
      CQZNVGeZhuanDBControl control;
      ASSERT_EQ(control.OpenQZNVGeZhuanDB(temp.Node()), 1);
      std::vector<SQZGeZhuanTaskInfo> read;
      EXPECT_EQ(control.GetGeZhuanTasksByCondition(L"", &read), 1);
      ASSERT_EQ(read.size(), 1u);
      EXPECT_EQ(read[0].strTaskName, L"kept");
      EXPECT_EQ(read[0].arrItems.size(), 1u);

      std::vector<SQZGeZhuanTaskInfo> added(1);
      EXPECT_EQ(control.AddGeZhuanTasks(&added), 0);
      EXPECT_EQ(control.DeleteGeZhuanTask(id), 0);
      EXPECT_EQ(debug.lines(), (std::vector<std::wstring>{L"select * from GeZhuanTaskInfo",
                                                          L"delete from GeZhuanTaskInfo where " + key}));
      EXPECT_NE(MessageOfRunning(temp.Node(), L"delete from GeZhuanTaskInfo").find("readonly"), std::string::npos);
      control.CloseQZNVGeZhuanDB();
    }
  }

  // Nothing was changed on the way.
  CQZNVGeZhuanDBControl writer;
  ASSERT_EQ(writer.OpenQZNVGeZhuanDB(temp.Node()), 1);
  std::vector<SQZGeZhuanTaskInfo> read;
  EXPECT_EQ(writer.GetGeZhuanTasksByCondition(L"", &read), 1);
  EXPECT_EQ(read.size(), 1u);

  // While a writer (with rights we lack) has the database open, its latest
  // commit is still in the WAL file, not yet in the database file; a
  // reader must see it.
  std::vector<SQZGeZhuanTaskInfo> added(1);
  added[0].strTaskName = L"in the log";
  ASSERT_EQ(writer.AddGeZhuanTasks(&added), 1);
  WritableAgain writable_again(temp);
  ASSERT_EQ(chmod(temp.path().c_str(), 0444), 0);
  ASSERT_EQ(chmod(temp.folder().c_str(), 0555), 0);
  PermissionsHold hold;
  ASSERT_FALSE(CanCreateIn(temp.folder()));
  CQZNVGeZhuanDBControl reader;
  ASSERT_EQ(reader.OpenQZNVGeZhuanDB(temp.Node()), 1);
  EXPECT_EQ(reader.GetGeZhuanTasksByCondition(L"strTaskName = 'in the log'", &read), 1);
  EXPECT_EQ(read.size(), 1u);
}

}  // namespace
}  // namespace qz::testing
