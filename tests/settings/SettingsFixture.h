// What the settings tests share: a store file of the test's own, captions
// in English, a dialog that records how it was called, and the environment
// put back as it was afterwards.
#pragma once

#include <QZNVGeZhuanHost.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qz::testing {

// Restores the named environment variables when it goes.
class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(std::vector<std::string> names);
  ~EnvironmentGuard();
  EnvironmentGuard(const EnvironmentGuard&) = delete;
  EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

  // value nullopt unsets the variable.
  static void Set(const std::string& name, const std::optional<std::string>& value);

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

// The dialog a test installs: it records each call and answers `answer`,
// after letting `edit` change the array.
struct RecordingDialog {
  int answer = 1;
  int calls = 0;
  int mode = -1;
  std::vector<DBsSetNode> seen;
  std::function<void(std::vector<DBsSetNode>&)> edit;
};

// One section of a store file.
std::string Section(const std::string& name, const std::string& kind, const std::string& connect1,
                    const std::string& connect2, const std::string& connect3 = "", const std::string& connect4 = "");

// The six setting names in table order.
extern const char* const kSettingNames[6];

// A store holding all six settings, complete.
std::string CompleteStore();

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest();
  ~SettingsTest() override;

  // Points the library at path_, in the C locale, with dialog_ as the
  // settings dialog. Each platform's constructor calls it once path_ is set.
  void UseStoreAndRecordingDialog();

  void WriteStore(const std::string& text) const;
  std::string ReadStore() const;

  EnvironmentGuard environment_;
  std::string folder_;
  std::string path_;
  RecordingDialog dialog_;
  CQZNVGeZhuanDBControl control_;
};

}  // namespace qz::testing
