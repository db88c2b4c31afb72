// The settings store in the registry, where the suite's programs keep it:
// one key per setting name under HKEY_CURRENT_USER\Software\QZ\DBSettings,
// holding DBType (REG_DWORD) and Connect1 to Connect4 (REG_SZ).
#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/TextEncoding.h"
#include "settings/SettingsLocation.h"
#include "settings/SettingsStore.h"

namespace qz::settings {
namespace {

const wchar_t kRoot[] = L"HKEY_CURRENT_USER\\";
const wchar_t* const kConnectValues[4] = {L"Connect1", L"Connect2", L"Connect3", L"Connect4"};
constexpr size_t kMaxKeyNameLength = 255;

std::mutex& KeyMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& HostKey() {
  static std::string key;
  return key;
}

// Closes a registry key when it goes out of scope.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The store's key below HKEY_CURRENT_USER, without the root's name.
std::wstring StoreKey() {
  std::wstring key = platform::Utf8ToWide(SettingsFilePath());
  const std::wstring root = kRoot;
  if (key.compare(0, root.size(), root) == 0) key.erase(0, root.size());
  return key;
}

// A setting name is one key name: not empty, no backslash (which would
// reach into another key), at most 255 characters.
bool IsKeyName(const std::wstring& name) {
  return !name.empty() && name.size() <= kMaxKeyNameLength && name.find(L'\\') == std::wstring::npos &&
         name.find(L'\0') == std::wstring::npos;
}

std::wstring SettingKey(const std::wstring& name) { return StoreKey() + L"\\" + name; }

// A REG_SZ value, or nothing when the value is missing or of another type.
std::optional<std::wstring> ReadText(HKEY key, const wchar_t* name) {
  for (;;) {
    DWORD bytes = 0;
    if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS) return {};
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LONG result = RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, text.data(), &size);
    if (result == ERROR_MORE_DATA) continue;  // it grew in between
    if (result != ERROR_SUCCESS) return {};
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
  }
}

std::optional<DWORD> ReadDword(HKEY key, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegGetValueW(key, nullptr, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) return {};
  return value;
}

LONG WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG WriteDword(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// What a setting's key held before a save, so that a failed save can put it
// back: whether the key existed and each of its five values.
struct Snapshot {
  std::wstring name;
  bool existed = false;
  std::optional<DWORD> kind;
  std::optional<std::wstring> texts[4];
};

Snapshot Take(const std::wstring& name) {
  Snapshot snapshot;
  snapshot.name = name;
  Key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingKey(name).c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
    return snapshot;
  snapshot.existed = true;
  snapshot.kind = ReadDword(key.get(), L"DBType");
  for (int i = 0; i < 4; ++i) snapshot.texts[i] = ReadText(key.get(), kConnectValues[i]);
  return snapshot;
}

void Restore(const Snapshot& snapshot) {
  if (!snapshot.existed) {
    RegDeleteTreeW(HKEY_CURRENT_USER, SettingKey(snapshot.name).c_str());
    return;
  }
  Key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingKey(snapshot.name).c_str(), 0, KEY_SET_VALUE, key.out()) != ERROR_SUCCESS)
    return;
  if (snapshot.kind)
    WriteDword(key.get(), L"DBType", *snapshot.kind);
  else
    RegDeleteValueW(key.get(), L"DBType");
  for (int i = 0; i < 4; ++i) {
    if (snapshot.texts[i])
      WriteText(key.get(), kConnectValues[i], *snapshot.texts[i]);
    else
      RegDeleteValueW(key.get(), kConnectValues[i]);
  }
}

std::wstring SystemMessage(LONG code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(code);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
    message.pop_back();
  return message;
}

// Writes one node's five values into its key, creating the key.
LONG Write(const DBsSetNode& node) {
  Key key;
  LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, SettingKey(node.strSettingName).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, key.out(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = WriteDword(key.get(), L"DBType", static_cast<DWORD>(node.nDBType));
  const std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
  for (int i = 0; i < 4 && result == ERROR_SUCCESS; ++i) result = WriteText(key.get(), kConnectValues[i], *texts[i]);
  return result;
}

}  // namespace

std::string SettingsFilePath() {
  {
    std::lock_guard<std::mutex> lock(KeyMutex());
    if (!HostKey().empty()) return HostKey();
  }
  return DefaultSettingsFilePath();
}

void SetSettingsFilePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(KeyMutex());
  HostKey() = path;
}

// The registry is read afresh for every setting: the settings dialog may
// have saved between two calls.
void ReadQZDBSettingFromReg(const std::wstring& name, SQZDataBaseInfo& info) {
  info = SQZDataBaseInfo();
  if (!IsKeyName(name)) return;
  Key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingKey(name).c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
    return;
  if (std::optional<DWORD> kind = ReadDword(key.get(), L"DBType")) info.nDBType = static_cast<int>(*kind);
  std::wstring* const texts[4] = {&info.strConnect1, &info.strConnect2, &info.strConnect3, &info.strConnect4};
  for (int i = 0; i < 4; ++i)
    if (std::optional<std::wstring> text = ReadText(key.get(), kConnectValues[i])) *texts[i] = *text;
}

// Every node is checked before anything is written; a write that fails
// then puts back what the keys written so far held.
bool SaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error) {
  auto fail = [error](const std::wstring& reason) {
    if (error) *error = reason;
    return false;
  };
  for (const DBsSetNode& node : settings) {
    if (!IsKeyName(node.strSettingName))
      return fail(L"a setting cannot be saved: its name \"" + node.strSettingName +
                  L"\" is not a registry key name (empty, longer than 255 characters or holding a backslash)");
    const std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
    for (int i = 0; i < 4; ++i)
      if (texts[i]->find(L'\0') != std::wstring::npos)
        return fail(std::wstring(L"the ") + kConnectValues[i] + L" text of " + node.strSettingName +
                    L" cannot be saved: it holds a NUL character");
  }

  std::vector<Snapshot> written;
  for (const DBsSetNode& node : settings) {
    written.push_back(Take(node.strSettingName));
    const LONG result = Write(node);
    if (result != ERROR_SUCCESS) {
      for (auto it = written.rbegin(); it != written.rend(); ++it) Restore(*it);
      return fail(L"cannot write " + std::wstring(kRoot) + SettingKey(node.strSettingName) + L": " +
                  SystemMessage(result));
    }
  }
  return true;
}

// Registry values carry their own types and are read one by one, so the
// store has no text that could be malformed as a whole: it is either there
// (state 0) or not (state 1), and there is nothing to report.
QZNVGeZhuanSettingsStoreState CheckStore() {
  QZNVGeZhuanSettingsStoreState state;
  state.strFile = SettingsFilePath();
  return state;
}

void ReportUntrustedStore() {}

}  // namespace qz::settings
