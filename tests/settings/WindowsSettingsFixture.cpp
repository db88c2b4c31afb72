// The settings fixture on the registry store: a key of the test's own under
// HKEY_CURRENT_USER\Software\QZ\Tests, written from and read back into the
// same INI-style text the file store's tests use, so that one set of tests
// runs on both stores.
#include <windows.h>

#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

#include "platform/TextEncoding.h"
#include "settings/SettingsFixture.h"

namespace qz::testing {
namespace {

std::wstring KeyBelowRoot(const std::string& path) {
  const std::wstring wide = platform::Utf8ToWide(path);
  const std::wstring root = L"HKEY_CURRENT_USER\\";
  return wide.compare(0, root.size(), root) == 0 ? wide.substr(root.size()) : wide;
}

// DBType is written as the DWORD it reads as when the text is a number, and
// as text otherwise, which makes the store read the setting as empty.
void WriteValue(HKEY key, const std::string& name, const std::string& value) {
  const std::wstring wide_name = platform::Utf8ToWide(name);
  char* end = nullptr;
  const long number = std::strtol(value.c_str(), &end, 10);
  if (name == "DBType" && !value.empty() && *end == '\0') {
    const DWORD dword = static_cast<DWORD>(number);
    RegSetValueExW(key, wide_name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
    return;
  }
  const std::wstring text = platform::Utf8ToWide(value);
  RegSetValueExW(key, wide_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

void EnvironmentGuard::Set(const std::string& name, const std::optional<std::string>& value) {
  _putenv_s(name.c_str(), value ? value->c_str() : "");
}

SettingsTest::SettingsTest() : environment_({"LC_ALL", "LC_MESSAGES", "LANG"}) {
  std::random_device seed;
  path_ = "HKEY_CURRENT_USER\\Software\\QZ\\Tests\\" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(seed()) + "\\DBSettings";
  UseStoreAndRecordingDialog();
}

SettingsTest::~SettingsTest() {
  QZNVGeZhuanSetSettingsDialog(nullptr);
  QZNVGeZhuanSetSettingsFile("");
  const std::wstring key = KeyBelowRoot(path_);
  RegDeleteTreeW(HKEY_CURRENT_USER, key.substr(0, key.rfind(L'\\')).c_str());
}

// Replaces the test's key with the sections of text.
void SettingsTest::WriteStore(const std::string& text) const {
  const std::wstring store = KeyBelowRoot(path_);
  RegDeleteTreeW(HKEY_CURRENT_USER, store.c_str());
  std::istringstream lines(text);
  std::string line;
  HKEY section = nullptr;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      if (section != nullptr) RegCloseKey(section);
      section = nullptr;
      const std::wstring key = store + L"\\" + platform::Utf8ToWide(line.substr(1, line.size() - 2));
      RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &section, nullptr);
    } else if (section != nullptr && line.find('=') != std::string::npos) {
      const size_t equals = line.find('=');
      WriteValue(section, line.substr(0, equals), line.substr(equals + 1));
    }
  }
  if (section != nullptr) RegCloseKey(section);
}

// The test's key as text: each setting, then each value, in name order.
std::string SettingsTest::ReadStore() const {
  HKEY store = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyBelowRoot(path_).c_str(), 0, KEY_READ, &store) != ERROR_SUCCESS) return "";
  std::map<std::wstring, std::map<std::wstring, std::wstring>> settings;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(store, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    HKEY setting = nullptr;
    if (RegOpenKeyExW(store, name, 0, KEY_READ, &setting) != ERROR_SUCCESS) continue;
    auto& values = settings[name];
    for (DWORD j = 0;; ++j) {
      wchar_t value_name[256];
      DWORD value_length = 256;
      BYTE data[4096];
      DWORD data_size = sizeof data;
      DWORD type = 0;
      if (RegEnumValueW(setting, j, value_name, &value_length, nullptr, &type, data, &data_size) != ERROR_SUCCESS)
        break;
      if (type == REG_DWORD)
        values[value_name] = std::to_wstring(*reinterpret_cast<const DWORD*>(data));
      else
        values[value_name] = std::wstring(reinterpret_cast<const wchar_t*>(data), data_size / sizeof(wchar_t));
    }
    RegCloseKey(setting);
  }
  RegCloseKey(store);
  std::wstring text;
  for (const auto& [setting, values] : settings) {
    text += L"[" + setting + L"]\n";
    for (const auto& [value_name, value] : values) text += value_name + L"=" + value + L"\n";
  }
  return platform::WideToUtf8(text);
}

}  // namespace qz::testing
