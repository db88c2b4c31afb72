#include <errno.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/WriterProcesses.h"

namespace qz::testing {
namespace {

// A pipe whose ends are closed with the object unless taken.
struct Pipe {
  int read_end = -1;
  int write_end = -1;
  Pipe() {
    int ends[2];
    if (pipe(ends) == 0) read_end = ends[0], write_end = ends[1];
  }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  void CloseRead() {
    if (read_end >= 0) close(read_end);
    read_end = -1;
  }
  void CloseWrite() {
    if (write_end >= 0) close(write_end);
    write_end = -1;
  }
};

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return text;
    text.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

// The byte says "here"; closing the end at once lets the parent's read see
// the end of the pipe when every process has either arrived or died. The
// go pipe then ends for all of them at once.
void StartGate::Wait() const {
  WriteAll(ready_fd_, "r");
  close(ready_fd_);
  char ignored;
  while (read(go_fd_, &ignored, 1) < 0 && errno == EINTR) {
  }
  close(go_fd_);
}

std::vector<ProcessReport> RunInProcesses(int count,
                                          const std::function<std::string(int number, const StartGate& gate)>& work,
                                          const std::function<void()>& meanwhile) {
  Pipe ready, go;
  std::vector<pid_t> children;
  std::vector<int> results;  // read ends, one per child
  for (int number = 0; number < count; ++number) {
    Pipe result;
    const pid_t pid = fork();
    if (pid == 0) {
      // The child: nothing of the parent's runs here, and _exit leaves its
      // buffers and destructors alone.
      go.CloseWrite();
      ready.CloseRead();
      result.CloseRead();
      for (int fd : results) close(fd);
      int status = 1;
      try {
        const std::string report = work(number, StartGate(ready.write_end, go.read_end));
        if (WriteAll(result.write_end, report)) status = 0;
      } catch (...) {
      }
      _exit(status);
    }
    if (pid < 0) break;
    children.push_back(pid);
    results.push_back(result.read_end);
    result.read_end = -1;  // kept in results
  }
  ready.CloseWrite();
  ReadToEnd(ready.read_end);  // every child at the gate, or gone
  go.CloseWrite();            // all pass at once
  meanwhile();

  std::vector<ProcessReport> reports(static_cast<size_t>(count));
  for (size_t i = 0; i < children.size(); ++i) {
    reports[i].text = ReadToEnd(results[i]);
    close(results[i]);
    int status = 0;
    while (waitpid(children[i], &status, 0) < 0 && errno == EINTR) {
    }
    reports[i].exited_normally = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return reports;
}

}  // namespace qz::testing
