// The settings store in the registry, where the suite's programs keep it:
// one key per setting name under HKEY_CURRENT_USER\Software\QZ\DBSettings,
// holding DBType (REG_DWORD) and Connect1 to Connect4 (REG_SZ).
#include <windows.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/KindCode.h"
#include "platform/DebugOutput.h"
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

// The type of the value name, or nothing when the key holds no such value.
std::optional<DWORD> TypeOf(HKEY key, const wchar_t* name) {
  DWORD type = REG_NONE;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return {};
  return type;
}

std::wstring TypeName(DWORD type) {
  switch (type) {
    case REG_SZ:
      return L"REG_SZ";
    case REG_EXPAND_SZ:
      return L"REG_EXPAND_SZ";
    case REG_MULTI_SZ:
      return L"REG_MULTI_SZ";
    case REG_DWORD:
      return L"REG_DWORD";
    case REG_QWORD:
      return L"REG_QWORD";
    case REG_BINARY:
      return L"REG_BINARY";
    default:
      return L"value of type " + std::to_wstring(type);
  }
}

// Why a stored setting cannot be trusted: the value at fault and what is
// wrong with it.
struct Distrust {
  std::wstring value;
  std::wstring reason;
};

// Reads the five values of an open setting key into *info. A value of
// another type than its own (DBType as the text "2", say) or a text that
// holds a NUL (which most readers would cut short there) cannot be trusted
// to name the database a person meant: then the reason, and *info is to be
// ignored. A value that is missing reads as 0 or empty.
std::optional<Distrust> ReadSetting(HKEY key, SQZDataBaseInfo* info) {
  if (const std::optional<DWORD> type = TypeOf(key, L"DBType")) {
    if (*type != REG_DWORD) return Distrust{L"DBType", L"it is a " + TypeName(*type) + L" where a REG_DWORD belongs"};
    const std::optional<DWORD> kind = ReadDword(key, L"DBType");
    if (!kind) return Distrust{L"DBType", L"it cannot be read"};
    info->nDBType = static_cast<int>(*kind);
  }
  std::wstring* const texts[4] = {&info->strConnect1, &info->strConnect2, &info->strConnect3, &info->strConnect4};
  for (int i = 0; i < 4; ++i) {
    const std::optional<DWORD> type = TypeOf(key, kConnectValues[i]);
    if (!type) continue;
    if (*type != REG_SZ) return Distrust{kConnectValues[i], L"it is a " + TypeName(*type) + L" where a REG_SZ belongs"};
    const std::optional<std::wstring> text = ReadText(key, kConnectValues[i]);
    if (!text) return Distrust{kConnectValues[i], L"it cannot be read"};
    if (text->find(L'\0') != std::wstring::npos) return Distrust{kConnectValues[i], L"it holds a NUL character"};
    *texts[i] = *text;
  }
  return std::nullopt;
}

// What the settings methods read for name: the stored setting, or kind 0
// and four empty texts when the store does not hold it or cannot be trusted.
// Why not, in *distrust when it is not null.
SQZDataBaseInfo Stored(const std::wstring& name, std::optional<Distrust>* distrust = nullptr) {
  Key key;
  if (!IsKeyName(name) ||
      RegOpenKeyExW(HKEY_CURRENT_USER, SettingKey(name).c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
    return SQZDataBaseInfo();
  SQZDataBaseInfo info;
  std::optional<Distrust> why = ReadSetting(key.get(), &info);
  if (why) info = SQZDataBaseInfo();
  if (distrust) *distrust = std::move(why);
  return info;
}

LONG WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG WriteDword(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// One value as the registry holds it, whatever its type.
struct RawValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

std::optional<RawValue> ReadRaw(HKEY key, const wchar_t* name) {
  for (;;) {
    RawValue value;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return {};
    value.data.resize(size);
    const LONG result = RegQueryValueExW(key, name, nullptr, &value.type, value.data.data(), &size);
    if (result == ERROR_MORE_DATA) continue;  // it grew in between
    if (result != ERROR_SUCCESS) return {};
    value.data.resize(size);
    return value;
  }
}

// What a setting's key held before a save, so that a failed save can put it
// back: whether the key existed and each of its five values as they were,
// of whatever type.
struct Snapshot {
  std::wstring name;
  bool existed = false;
  std::optional<RawValue> values[5];
};

const wchar_t* const kValueNames[5] = {L"DBType", L"Connect1", L"Connect2", L"Connect3", L"Connect4"};

Snapshot Take(const std::wstring& name) {
  Snapshot snapshot;
  snapshot.name = name;
  Key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingKey(name).c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS)
    return snapshot;
  snapshot.existed = true;
  for (int i = 0; i < 5; ++i) snapshot.values[i] = ReadRaw(key.get(), kValueNames[i]);
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
  for (int i = 0; i < 5; ++i) {
    if (const std::optional<RawValue>& value = snapshot.values[i])
      RegSetValueExW(key.get(), kValueNames[i], 0, value->type, value->data.data(),
                     static_cast<DWORD>(value->data.size()));
    else
      RegDeleteValueW(key.get(), kValueNames[i]);
  }
}

// Holds the named mutex that every save of the settings takes, in every
// process of the session, while it reads, compares and writes: two saves of
// one setting at once would otherwise mix their values.
class SaveLock {
 public:
  SaveLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\QZ.DBSettings.Save")) {
    // A mutex its last holder left without releasing it is ours all the same.
    const DWORD waited = mutex_ != nullptr ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  }
  ~SaveLock() {
    if (held_) ReleaseMutex(mutex_);
    if (mutex_ != nullptr) CloseHandle(mutex_);
  }
  SaveLock(const SaveLock&) = delete;
  SaveLock& operator=(const SaveLock&) = delete;
  bool held() const { return held_; }

 private:
  HANDLE mutex_;
  bool held_ = false;
};

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
  std::optional<Distrust> distrust;
  info = Stored(name, &distrust);
  if (distrust)
    platform::WriteDebugOutput(L"settings key " + std::wstring(kRoot) + StoreKey() + L", setting " + name +
                               L", value " + distrust->value + L": " + distrust->reason +
                               L"; the setting reads as empty");
}

// Why node cannot be saved as it is, or empty: what the registry could not
// give back unchanged is refused, never written shortened.
std::wstring Refusal(const DBsSetNode& node) {
  if (!IsKeyName(node.strSettingName))
    return L"a setting cannot be saved: its name \"" + node.strSettingName +
           L"\" is not a registry key name (empty, longer than 255 characters or holding a backslash)";
  const std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
  for (int i = 0; i < 4; ++i)
    if (texts[i]->find(L'\0') != std::wstring::npos)
      return std::wstring(L"the ") + kConnectValues[i] + L" text of " + node.strSettingName +
             L" cannot be saved: it holds a NUL character";
  return std::wstring();
}

// A node the registry cannot hold is refused and the others are saved. A
// setting that already reads as the node says is left as it stands, so one
// that cannot be trusted, shown as empty and left empty, keeps what a
// person wrote there for them to put right. A write that fails puts back
// what the keys written so far held.
bool SaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error) {
  auto fail = [error](const std::wstring& reason) {
    if (error) *error = reason;
    return false;
  };
  const SaveLock lock;
  if (!lock.held())
    return fail(L"cannot take the lock that saves of the settings share: " +
                SystemMessage(static_cast<LONG>(GetLastError())));
  std::wstring refused;
  size_t refused_count = 0;
  std::vector<Snapshot> written;
  for (const DBsSetNode& node : settings) {
    const std::wstring why = Refusal(node);
    if (!why.empty()) {
      refused += (refused.empty() ? L"" : L"; ") + why;
      ++refused_count;
      continue;
    }
    if (SameSetting(Stored(node.strSettingName), node)) continue;
    written.push_back(Take(node.strSettingName));
    const LONG result = Write(node);
    if (result != ERROR_SUCCESS) {
      for (auto it = written.rbegin(); it != written.rend(); ++it) Restore(*it);
      return fail(L"cannot write " + std::wstring(kRoot) + SettingKey(node.strSettingName) + L": " +
                  SystemMessage(result));
    }
  }
  if (!refused.empty())
    return fail(refused + (refused_count < settings.size() ? L"; the other settings were saved" : L""));
  return true;
}

// Registry values carry their own types and are read one by one, so the
// store has no text that could be malformed as a whole: what can be wrong is
// one setting's value, and the first such is reported.
QZNVGeZhuanSettingsStoreState CheckStore() {
  QZNVGeZhuanSettingsStoreState state;
  state.strFile = SettingsFilePath();
  Key store;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, StoreKey().c_str(), 0, KEY_ENUMERATE_SUB_KEYS, store.out()) != ERROR_SUCCESS)
    return state;
  for (DWORD i = 0;; ++i) {
    wchar_t name[kMaxKeyNameLength + 1];
    DWORD length = kMaxKeyNameLength + 1;
    if (RegEnumKeyExW(store.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::optional<Distrust> distrust;
    const SQZDataBaseInfo info = Stored(std::wstring(name, length), &distrust);
    if (!distrust && !common::IsKnownKind(info.nDBType))
      distrust = Distrust{L"DBType", std::to_wstring(info.nDBType) +
                                         L" is not a kind code (0 embedded, 2 PostgreSQL, 4 ODBC, 8, 16, 32)"};
    if (!distrust) continue;
    state.nState = 2;
    state.strSection = platform::WideToUtf8(std::wstring(name, length));
    state.strKey = platform::WideToUtf8(distrust->value);
    state.strReason = platform::WideToUtf8(distrust->reason);
    break;
  }
  return state;
}

// Nothing can be wrong with the store as a whole; each setting that cannot
// be trusted is reported as it is read.
void ReportUntrustedStore() {}

}  // namespace qz::settings
