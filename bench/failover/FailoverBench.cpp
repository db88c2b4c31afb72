// What a failover costs a writer through the library, on the primary and
// synchronous standby of scripts/postgres-failover-cluster.sh:
//   - the writer's throughput with synchronous replication on, and with the
//     standby streaming but not waited for (the price of an answered 1 that
//     survives the primary's loss);
//   - the time from the primary's stop (pg_ctl stop -m immediate) to the
//     first write that succeeds on the promoted standby, with the writer
//     calling all the while and the standby promoted at once;
//   - the throughput after, on the new primary alone and once the old one
//     has rejoined as its synchronous standby.
// Each write is AddGeZhuanTasks of one task with 10 items.
#include <QZNVGeZhuanDBControl.h>
#include <QZNVGeZhuanHost.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kMeasureFor = std::chrono::seconds(2);

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

bool RunCluster(const std::string& command) {
  const std::string line = "'" + Environment("QZ_PG_CLUSTER_SCRIPT") + "' " + command + " '" +
                           Environment("QZ_PG_CLUSTER_DIR") + "' >/dev/null";
  if (std::system(line.c_str()) == 0) return true;
  std::fprintf(stderr, "failover bench: %s failed\n", command.c_str());
  return false;
}

class Writer {
 public:
  explicit Writer(CQZNVGeZhuanDBControl* control) : control_(control) {}

  // One task of 10 items, a new one each call; true when it answered 1.
  bool Write() {
    std::vector<SQZGeZhuanTaskInfo> tasks(1);
    SQZGeZhuanTaskInfo& task = tasks[0];
    task.guidTaskID.Data1 = ++number_;
    task.guidTaskID.Data2 = 0xBE;
    task.strTaskName = L"bench " + std::to_wstring(number_);
    for (int i = 0; i < 10; ++i) {
      SQZGeZhuanItemInfo item;
      item.guidTask = task.guidTaskID;
      item.guidItem = task.guidTaskID;
      item.guidItem.Data3 = static_cast<uint16_t>(i + 1);
      item.nIndex = i;
      task.arrItems.push_back(item);
    }
    return control_->AddGeZhuanTasks(&tasks) == 1;
  }

  // Writes for kMeasureFor; successful writes per second.
  double Throughput() {
    int written = 0;
    const Clock::time_point start = Clock::now(), end = start + kMeasureFor;
    while (Clock::now() < end) written += Write() ? 1 : 0;
    return written / std::chrono::duration<double>(Clock::now() - start).count();
  }

 private:
  CQZNVGeZhuanDBControl* control_;
  uint32_t number_ = 0;
};

}  // namespace

int main() {
  if (Environment("QZ_PG_CLUSTER_HOSTS").empty()) {
    std::fprintf(stderr, "failover bench: run under scripts/postgres-failover-cluster.sh start (QZ_PG_CLUSTER_*)\n");
    return 2;
  }
  DBsSetNode node;
  node.nDBType = 2;
  node.strConnect1 = Wide(Environment("QZ_PG_CLUSTER_HOSTS"));
  node.strConnect2 = Wide(Environment("QZ_PG_CLUSTER_DATABASE"));
  node.strConnect3 = Wide(Environment("QZ_PG_CLUSTER_USER"));
  std::wstring error;
  if (!QZNVGeZhuanCreateTables(node, &error) || !RunCluster("ready")) return 1;
  QZNVGeZhuanSetDebugOutput([](const std::wstring&) {});

  CQZNVGeZhuanDBControl control;
  if (!control.OpenQZNVGeZhuanDB(node)) return 1;
  Writer writer(&control);
  // Alternated and the best of each kept, so that a busy moment of the
  // machine does not decide the comparison.
  double synchronous = 0, asynchronous = 0;
  for (int round = 0; round < 2; ++round) {
    synchronous = std::max(synchronous, writer.Throughput());
    if (!RunCluster("asynchronous")) return 1;
    asynchronous = std::max(asynchronous, writer.Throughput());
    if (!RunCluster("synchronous")) return 1;
  }

  // The writer keeps calling; the primary is stopped and the standby
  // promoted at once, as a failover manager would. The switch ends with the
  // first write that began after the primary was down and answered 1.
  std::atomic<int64_t> down_time{0}, back_time{0};
  std::thread writing([&] {
    while (back_time == 0) {
      const int64_t began = Clock::now().time_since_epoch().count();
      const bool ok = writer.Write();
      if (ok && down_time != 0 && began > down_time) back_time = Clock::now().time_since_epoch().count();
    }
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const int64_t stop_time = Clock::now().time_since_epoch().count();
  const bool down = RunCluster("stop-primary");
  down_time = Clock::now().time_since_epoch().count();
  const bool switched = down && RunCluster("promote");
  if (!switched) back_time = -1;
  writing.join();
  if (!switched) return 1;
  const double switch_seconds = static_cast<double>(back_time - stop_time) * Clock::period::num / Clock::period::den;

  const double alone = writer.Throughput();
  if (!RunCluster("rejoin")) return 1;
  const double rejoined = writer.Throughput();
  control.CloseQZNVGeZhuanDB();

  std::printf("failover of a primary with a synchronous standby (AddGeZhuanTasks, one task of 10 items a call)\n");
  std::printf("  before: %8.0f writes/s synchronous, %8.0f writes/s with the standby not waited for (x%.2f)\n",
              synchronous, asynchronous, asynchronous / synchronous);
  std::printf("  primary stopped -> first write on the promoted standby: %.3f s\n", switch_seconds);
  std::printf(
      "  after:  %8.0f writes/s on the new primary alone, %8.0f writes/s with the old one back as its "
      "synchronous standby\n",
      alone, rejoined);
  return 0;
}
