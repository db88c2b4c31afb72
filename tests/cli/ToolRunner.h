// Runs the built gezhuan as a person would: in a temporary home with its own
// data folder, settings file and database, capturing what it prints.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace gezhuan_test {

// Under AddressSanitizer a freed block waits in quarantine (256 MB of them)
// before it is reused, so the tool's resident set grows with everything it
// ever allocated: its peak says nothing about what it held at once.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZ_TEST_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QZ_TEST_UNDER_ASAN)
inline constexpr bool kPeakMemoryMeansWhatIsHeld = false;
#else
inline constexpr bool kPeakMemoryMeansWhatIsHeld = true;
#endif

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
  long peakMemoryKb = 0;  // the tool's largest resident set
};

// A gezhuan started and not yet waited for.
struct ToolProcess {
  int pid = -1;
  std::string out, err;  // the files its output goes to
  int terminal = -1;     // with terminal input: the terminal's other end
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // gezhuan ARGS with input on standard input (a file, never a terminal).
  ToolResult Run(const std::vector<std::string>& args, const std::string& input = "") const;
  // Run in two halves, for programs that run at the same time.
  ToolProcess Start(const std::vector<std::string>& args, const std::string& input = "") const;
  ToolResult Wait(ToolProcess& process) const;

  // gezhuan --database <the test database> ARGS.
  ToolResult RunDb(std::vector<std::string> args, const std::string& input = "") const;
  // The same with another database file in the temporary folder.
  ToolResult RunOn(const std::string& database, std::vector<std::string> args, const std::string& input = "") const;

  // Writes text to a file in the temporary folder and returns its path.
  std::string WriteFile(const std::string& name, const std::string& text) const;

  std::filesystem::path m_dir;
  std::string m_database;            // <dir>/test.db
  std::string m_settings;            // <dir>/dbsettings.ini, QZ_DB_SETTINGS for the tool, empty at first
  std::vector<std::string> m_unset;  // variables removed from the tool's environment
  std::string m_stdout;              // when set, where the tool's standard output goes (e.g. /dev/full)
  std::string m_locale = "C.UTF-8";  // LC_ALL of the tool
  std::vector<std::pair<std::string, std::string>> m_setenv;  // further variables set for the tool
  bool m_terminalInput = false;  // standard input a terminal, input typed at it ("\x04" ends input)
};

// Lines of text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// Terminal columns of UTF-8 text: CJK and full-width forms count 2.
int Columns(const std::string& utf8);

}  // namespace gezhuan_test
