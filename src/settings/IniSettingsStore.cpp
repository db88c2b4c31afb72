// The settings store as an INI file: one section per setting name, keys
// DBType and Connect1 to Connect4, UTF-8 text.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <utility>

#include "common/KindCode.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "settings/IniFormat.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsLocation.h"
#include "settings/SettingsStore.h"

namespace qz::settings {
namespace {

const char* const kConnectKeys[4] = {"Connect1", "Connect2", "Connect3", "Connect4"};

std::mutex& PathMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string& HostPath() {
  static std::string path;
  return path;
}

// DBType as a signed 32-bit decimal (empty is 0); nullopt for anything else.
std::optional<int> KindNumber(const std::string& text) {
  if (text.empty()) return 0;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

// DBType as the settings methods read it: what is not a number is kind 0.
int ParseKind(const std::string& text) { return KindNumber(text).value_or(0); }

enum class Loaded { kDocument, kNoFile, kBad };

// The store's document. A missing file is an empty store; a file that cannot
// be read or trusted is kBad.
Loaded Load(const std::string& path, ini::Document* document) {
  document->clear();
  if (path.empty()) return Loaded::kNoFile;
  std::string text;
  switch (ReadWholeFile(path, &text)) {
    case FileRead::kMissing:
      return Loaded::kNoFile;
    case FileRead::kUnreadable:
      return Loaded::kBad;
    case FileRead::kRead:
      break;
  }
  return ini::Parse(text, document) ? Loaded::kDocument : Loaded::kBad;
}

}  // namespace

std::string SettingsFilePath() {
  {
    std::lock_guard<std::mutex> lock(PathMutex());
    if (!HostPath().empty()) return HostPath();
  }
  return DefaultSettingsFilePath();
}

void SetSettingsFilePath(const std::string& path) {
  std::lock_guard<std::mutex> lock(PathMutex());
  HostPath() = path;
}

// The store is read afresh for every setting: it is a small file, and the
// settings dialog may have saved it between two calls.
void ReadQZDBSettingFromReg(const std::wstring& name, SQZDataBaseInfo& info) {
  info = SQZDataBaseInfo();
  ini::Document document;
  if (Load(SettingsFilePath(), &document) != Loaded::kDocument) return;
  const std::string section = platform::WideToUtf8(name);
  if (const std::string* kind = ini::Find(document, section, "DBType")) info.nDBType = ParseKind(*kind);
  std::wstring* const texts[4] = {&info.strConnect1, &info.strConnect2, &info.strConnect3, &info.strConnect4};
  for (int i = 0; i < 4; ++i)
    if (const std::string* text = ini::Find(document, section, kConnectKeys[i]))
      *texts[i] = platform::Utf8ToWide(*text);
}

namespace {

// For a store in state 2: where and why.
QZNVGeZhuanSettingsStoreState Untrusted(int line, const std::string& section, const std::string& key,
                                        const std::string& why) {
  QZNVGeZhuanSettingsStoreState state;
  state.nState = 2;
  state.nLine = line;
  state.strSection = section;
  state.strKey = key;
  state.strReason = why;
  return state;
}

}  // namespace

QZNVGeZhuanSettingsStoreState CheckStoreText(const std::string& text) {
  ini::Document document;
  ini::Problem problem;
  if (!ini::Parse(text, &document, &problem)) return Untrusted(problem.line, "", "", problem.reason);
  for (const ini::Section& section : document) {
    for (const ini::Entry& entry : section.entries)
      if (platform::WideToUtf8(platform::Utf8ToWide(entry.value)) != entry.value)
        return Untrusted(ini::LineOf(text, section.name, entry.key), section.name, entry.key,
                         "the value is not UTF-8 text");
    if (const std::string* kind = ini::Find(document, section.name, "DBType")) {
      const std::optional<int> number = KindNumber(*kind);
      if (!number || !common::IsKnownKind(*number))
        return Untrusted(ini::LineOf(text, section.name, "DBType"), section.name, "DBType",
                         "\"" + *kind + "\" is not a kind code (0 embedded, 2 PostgreSQL, 4 ODBC, 8, 16, 32)");
    }
  }
  return QZNVGeZhuanSettingsStoreState();
}

QZNVGeZhuanSettingsStoreState CheckStore() {
  const std::string file = SettingsFilePath();
  QZNVGeZhuanSettingsStoreState state;
  std::string text, why;
  switch (file.empty() ? FileRead::kMissing : ReadWholeFile(file, &text, &why)) {
    case FileRead::kMissing:
      state.nState = 1;
      break;
    case FileRead::kUnreadable:
      state = Untrusted(0, "", "", "the file cannot be read: " + why);
      break;
    case FileRead::kRead:
      state = CheckStoreText(text);
      break;
  }
  state.strFile = file;
  return state;
}

void ReportUntrustedStore() {
  const QZNVGeZhuanSettingsStoreState state = CheckStore();
  if (state.nState != 2) return;
  std::string line = "settings file " + state.strFile;
  if (state.nLine > 0) line += " line " + std::to_string(state.nLine);
  if (!state.strKey.empty()) line += " key " + state.strKey;
  line += ": " + state.strReason + "; every setting reads as empty";
  platform::WriteDebugOutput(platform::Utf8ToWide(line));
}

bool SaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error) {
  auto fail = [error](const std::string& reason) {
    if (error) *error = platform::Utf8ToWide(reason);
    return false;
  };
  const std::string path = SettingsFilePath();
  if (path.empty()) return fail("there is no place for the settings file: set QZ_DB_SETTINGS or HOME");

  // Other entries of the store are kept, so a file we cannot read is never
  // written over: that would lose whatever it held.
  ini::Document document;
  if (Load(path, &document) == Loaded::kBad)
    return fail(path + " cannot be read or is not a well-formed settings file; it was left as it is");

  std::string why;
  for (const DBsSetNode& node : settings) {
    const std::string section = platform::WideToUtf8(node.strSettingName);
    if (!ini::CanHoldSectionName(section, &why)) return fail("a setting cannot be saved: " + why);
    const std::string kind = std::to_string(node.nDBType);
    ini::Set(&document, section, "DBType", kind);
    const std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
    for (int i = 0; i < 4; ++i) {
      const std::string value = platform::WideToUtf8(*texts[i]);
      if (platform::Utf8ToWide(value) != *texts[i])
        return fail(std::string("the ") + kConnectKeys[i] + " text of " + section +
                    " cannot be saved: it holds characters that are not Unicode text");
      if (!ini::CanHold(kConnectKeys[i], value, &why))
        return fail(std::string("the ") + kConnectKeys[i] + " text of " + section + " cannot be saved: " + why);
      ini::Set(&document, section, kConnectKeys[i], value);
    }
  }

  std::string reason;
  if (!ReplaceFile(path, ini::Render(document), &reason)) return fail(reason);
  return true;
}

}  // namespace qz::settings
