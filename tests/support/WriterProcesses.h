// Several programs working on one database at once, as the suite's programs
// do: each is a process of its own (forked from this one, so that its
// connection and its file locks are its own), and all of them start their
// work at the same moment.
//
//   const auto reports = RunInProcesses(4, [&](int number, const StartGate& gate) {
//     CQZNVGeZhuanDBControl control;      // each process connects by itself
//     control.OpenQZNVGeZhuanDB(node);
//     gate.Wait();                        // ready: all start together
//     ... calls ...
//     return std::string("zeros 0");      // what the process reports
//   });
//
// POSIX only (fork). Used by the shared-use tests and the multi-writer
// benchmark.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qz::testing {

// Holds a process back until every process of the run has reached it.
class StartGate {
 public:
  StartGate(int ready_fd, int go_fd) : ready_fd_(ready_fd), go_fd_(go_fd) {}
  // REQUIRES: called at most once per process.
  void Wait() const;

 private:
  int ready_fd_;
  int go_fd_;
};

// What one process reported, and whether it ended normally.
struct ProcessReport {
  bool exited_normally = false;  // returned from work, report sent whole
  std::string text;              // what work returned
};

// Runs work(number, gate) in count processes, numbered 0 to count - 1, and
// answers their reports in that order. The processes pass the gate together
// once all of them have reached it (or have ended without reaching it);
// meanwhile() then runs here, while they work. work runs in the child
// alone: it must not touch connections opened before the call, and nothing
// it changes in memory reaches this process.
std::vector<ProcessReport> RunInProcesses(
    int count, const std::function<std::string(int number, const StartGate& gate)>& work,
    const std::function<void()>& meanwhile = [] {});

}  // namespace qz::testing
