#include "ToolRunner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace gezhuan_test {

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

void ToolTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "gezhuan-cli-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  m_dir = pattern;
  m_database = (m_dir / "test.db").string();
  m_settings = (m_dir / "dbsettings.ini").string();
  fs::create_directories(m_dir / "home");
  // QZ_DB_SETTINGS names this file, so it must exist: an empty store.
  WriteFile("dbsettings.ini", "");
}

void ToolTest::TearDown() {
  std::error_code ignored;
  fs::remove_all(m_dir, ignored);
}

std::string ToolTest::WriteFile(const std::string& name, const std::string& text) const {
  const fs::path path = m_dir / name;
  std::ofstream(path, std::ios::binary) << text;
  return path.string();
}

ToolResult ToolTest::Run(const std::vector<std::string>& args, const std::string& input) const {
  ToolProcess process = Start(args, input);
  return Wait(process);
}

ToolProcess ToolTest::Start(const std::vector<std::string>& args, const std::string& input) const {
  static int serial = 0;
  const std::string tag = std::to_string(++serial);
  const fs::path in = WriteFile("stdin" + tag, input), out = m_dir / ("stdout" + tag), err = m_dir / ("stderr" + tag);
  ToolProcess process;
  process.out = out.string();
  process.err = err.string();
  int typed = -1;  // the terminal's side that the tool reads
  if (m_terminalInput) {
    process.terminal = posix_openpt(O_RDWR | O_NOCTTY);
    if (process.terminal >= 0 && grantpt(process.terminal) == 0 && unlockpt(process.terminal) == 0)
      typed = open(ptsname(process.terminal), O_RDWR | O_NOCTTY);
    if (typed < 0) {
      ADD_FAILURE() << "no terminal to type at";
      return process;
    }
  }

  const pid_t pid = fork();
  if (pid == 0) {
    const int inFd = m_terminalInput ? typed : open(in.c_str(), O_RDONLY);
    const int outFd = open(m_stdout.empty() ? out.c_str() : m_stdout.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(inFd, 0);
    dup2(outFd, 1);
    dup2(errFd, 2);
    if (process.terminal >= 0) close(process.terminal);
    setenv("HOME", (m_dir / "home").c_str(), 1);
    setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    setenv("QZ_DB_SETTINGS", m_settings.c_str(), 1);
    setenv("LC_ALL", m_locale.c_str(), 1);
    for (const std::string& name : m_unset) unsetenv(name.c_str());
    for (const auto& [name, value] : m_setenv) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(QZ_GEZHUAN_PATH));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(QZ_GEZHUAN_PATH, argv.data());
    _exit(127);
  }
  process.pid = pid;
  if (m_terminalInput) {
    close(typed);
    // Typed ahead: the terminal keeps it until the tool reads.
    if (write(process.terminal, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
      ADD_FAILURE() << "could not type the input";
  }
  return process;
}

ToolResult ToolTest::Wait(ToolProcess& process) const {
  ToolResult result;
  if (process.pid < 0) return result;
  // The child's ru_maxrss counts the copy of this process it began as, so
  // the tool's own peak is watched in /proc as it runs (VmHWM of the
  // program once it is gezhuan), and ru_maxrss is the answer only when the
  // tool ended before it could be seen.
  int status = 0;
  rusage usage{};
  long seen = 0;
  while (wait4(process.pid, &status, WNOHANG, &usage) == 0) {
    std::ifstream proc("/proc/" + std::to_string(process.pid) + "/status");
    bool tool = false;
    for (std::string line; std::getline(proc, line);) {
      if (line.rfind("Name:", 0) == 0) tool = line.find("gezhuan") != std::string::npos;
      if (tool && line.rfind("VmHWM:", 0) == 0) seen = std::max(seen, std::atol(line.c_str() + 6));
    }
    usleep(2000);
  }
  result.peakMemoryKb = seen > 0 ? seen : usage.ru_maxrss;
  if (process.terminal >= 0) close(process.terminal);
  process.terminal = -1;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadAll(process.out);
  result.err = ReadAll(process.err);
  return result;
}

ToolResult ToolTest::RunDb(std::vector<std::string> args, const std::string& input) const {
  return RunOn(m_database, std::move(args), input);
}

ToolResult ToolTest::RunOn(const std::string& database, std::vector<std::string> args, const std::string& input) const {
  args.insert(args.begin(), {"--database", database});
  return Run(args, input);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int Columns(const std::string& utf8) {
  int columns = 0;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t point = c;
    size_t length = 1;
    if (c >= 0xF0) {
      point = c & 0x07;
      length = 4;
    } else if (c >= 0xE0) {
      point = c & 0x0F;
      length = 3;
    } else if (c >= 0xC0) {
      point = c & 0x1F;
      length = 2;
    }
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k)
      point = (point << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    const bool wide = (point >= 0x1100 && point <= 0x115F) || (point >= 0x2E80 && point <= 0xA4CF) ||
                      (point >= 0xAC00 && point <= 0xD7A3) || (point >= 0xF900 && point <= 0xFAFF) ||
                      (point >= 0xFF00 && point <= 0xFF60) || (point >= 0xFFE0 && point <= 0xFFE6) ||
                      (point >= 0x20000 && point <= 0x3FFFD);
    columns += wide ? 2 : 1;
  }
  return columns;
}

}  // namespace gezhuan_test
