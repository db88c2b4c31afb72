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

// A setting's keys: DBType, then the four connection texts.
const char* const kKeys[5] = {"DBType", "Connect1", "Connect2", "Connect3", "Connect4"};
const char* const* const kConnectKeys = kKeys + 1;

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

bool IsUtf8(const std::string& text) { return platform::WideToUtf8(platform::Utf8ToWide(text)) == text; }

enum class Loaded { kDocument, kNoFile, kBad };

// The store's document. A missing file is an empty store; a file that cannot
// be read or trusted is kBad, with where and why in *problem.
Loaded Load(const std::string& path, ini::Document* document, ini::Problem* problem = nullptr) {
  document->clear();
  if (path.empty()) return Loaded::kNoFile;
  std::string text, why;
  switch (ReadWholeFile(path, &text, &why)) {
    case FileRead::kMissing:
      return Loaded::kNoFile;
    case FileRead::kUnreadable:
      if (problem) *problem = ini::Problem{0, "the file cannot be read: " + why};
      return Loaded::kBad;
    case FileRead::kRead:
      break;
  }
  return ini::Parse(text, document, problem) ? Loaded::kDocument : Loaded::kBad;
}

// Why one setting of a well-formed file cannot be trusted.
struct Distrust {
  int line = 0;
  std::string key;  // empty when the fault is the section itself
  std::string reason;
};

std::string Lines(int first, int second) { return "lines " + std::to_string(first) + " and " + std::to_string(second); }

// A setting cannot be trusted when the file says two things about it, or
// says something that is not a setting: its section comes twice, one of its
// keys is set twice, a value is not UTF-8 text, or DBType is no number.
// Read as written, any of these could name another database than the one
// the person meant, so the setting reads as missing instead.
std::optional<Distrust> DistrustOf(const ini::Document& document, const std::string& name) {
  const std::vector<const ini::Section*> sections = ini::SectionsNamed(document, name);
  if (sections.empty()) return std::nullopt;
  if (sections.size() > 1)
    return Distrust{sections[1]->line, "",
                    "the section [" + name + "] comes twice (" + Lines(sections[0]->line, sections[1]->line) + ")"};
  const ini::Section& section = *sections[0];
  for (const char* key : kKeys) {
    const std::vector<const ini::Entry*> entries = ini::EntriesNamed(section, key);
    if (entries.empty()) continue;
    if (entries.size() > 1)
      return Distrust{entries[1]->line, key,
                      std::string(key) + " is set twice (" + Lines(entries[0]->line, entries[1]->line) + ")"};
    const ini::Entry& entry = *entries[0];
    if (!IsUtf8(entry.value)) return Distrust{entry.line, key, "the value is not UTF-8 text"};
  }
  if (const std::vector<const ini::Entry*> kind = ini::EntriesNamed(section, "DBType");
      !kind.empty() && !KindNumber(kind[0]->value))
    return Distrust{kind[0]->line, "DBType", "\"" + kind[0]->value + "\" is not a 32-bit whole number"};
  return std::nullopt;
}

// The five fields of a setting the store holds and trusts; a key it does
// not hold reads as 0 or empty.
SQZDataBaseInfo Setting(const ini::Document& document, const std::string& name) {
  SQZDataBaseInfo info;
  const std::vector<const ini::Section*> sections = ini::SectionsNamed(document, name);
  if (sections.empty()) return info;
  auto value = [&](const char* key) -> const std::string* {
    const std::vector<const ini::Entry*> entries = ini::EntriesNamed(*sections[0], key);
    return entries.empty() ? nullptr : &entries[0]->value;
  };
  if (const std::string* kind = value("DBType")) info.nDBType = KindNumber(*kind).value_or(0);
  std::wstring* const texts[4] = {&info.strConnect1, &info.strConnect2, &info.strConnect3, &info.strConnect4};
  for (int i = 0; i < 4; ++i)
    if (const std::string* text = value(kConnectKeys[i])) *texts[i] = platform::Utf8ToWide(*text);
  return info;
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
// settings dialog may have saved it between two calls. A whole file that
// cannot be trusted is reported once per method (ReportUntrustedStore); a
// setting that cannot be trusted is reported here, as it is read.
void ReadQZDBSettingFromReg(const std::wstring& name, SQZDataBaseInfo& info) {
  info = SQZDataBaseInfo();
  const std::string path = SettingsFilePath();
  ini::Document document;
  if (Load(path, &document) != Loaded::kDocument) return;
  const std::string section = platform::WideToUtf8(name);
  if (const std::optional<Distrust> distrust = DistrustOf(document, section)) {
    std::string line = "settings file " + path + ", setting " + section;
    if (!distrust->key.empty()) line += ", key " + distrust->key;
    line += ", line " + std::to_string(distrust->line) + ": " + distrust->reason + "; the setting reads as empty";
    platform::WriteDebugOutput(platform::Utf8ToWide(line));
    return;
  }
  info = Setting(document, section);
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

// Besides what the settings read as missing, a kind code that names no
// engine is reported: the setting reads as written, but it would open the
// embedded database.
QZNVGeZhuanSettingsStoreState CheckStoreText(const std::string& text) {
  ini::Document document;
  ini::Problem problem;
  if (!ini::Parse(text, &document, &problem)) return Untrusted(problem.line, "", "", problem.reason);
  for (const ini::Section& section : document) {
    if (!section.headed) continue;
    if (const std::optional<Distrust> distrust = DistrustOf(document, section.name))
      return Untrusted(distrust->line, section.name, distrust->key, distrust->reason);
    const std::vector<const ini::Entry*> kind = ini::EntriesNamed(section, "DBType");
    if (!kind.empty() && !common::IsKnownKind(*KindNumber(kind[0]->value)))
      return Untrusted(kind[0]->line, section.name, "DBType",
                       "\"" + kind[0]->value + "\" is not a kind code (0 embedded, 2 PostgreSQL, 4 ODBC, 8, 16, 32)");
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
  const std::string path = SettingsFilePath();
  ini::Document document;
  ini::Problem problem;
  if (Load(path, &document, &problem) != Loaded::kBad) return;
  std::string line = "settings file " + path;
  if (problem.line > 0) line += " line " + std::to_string(problem.line);
  line += ": " + problem.reason + "; every setting reads as empty";
  platform::WriteDebugOutput(platform::Utf8ToWide(line));
}

namespace {

// Why node cannot be saved as it is, or empty: what the file could not give
// back unchanged is refused, never written shortened.
std::string Refusal(const DBsSetNode& node) {
  const std::string section = platform::WideToUtf8(node.strSettingName);
  std::string why;
  if (!ini::CanHoldSectionName(section, &why)) return "a setting cannot be saved: " + why;
  const std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
  for (int i = 0; i < 4; ++i) {
    const std::string value = platform::WideToUtf8(*texts[i]);
    const std::string what = std::string("the ") + kConnectKeys[i] + " text of " + section + " cannot be saved: ";
    if (platform::Utf8ToWide(value) != *texts[i]) return what + "it holds characters that are not Unicode text";
    if (!ini::CanHold(kConnectKeys[i], value, &why)) return what + why;
  }
  return std::string();
}

}  // namespace

// Under the store's lock: read, change, write. A setting that already reads
// as the node says is left as the file has it, so a setting the file does
// not let us trust, shown as empty and left empty, keeps what a person wrote
// there for them to put right.
bool SaveSettings(const std::vector<DBsSetNode>& settings, std::wstring* error) {
  auto fail = [error](const std::string& reason) {
    if (error) *error = platform::Utf8ToWide(reason);
    return false;
  };
  const std::string path = SettingsFilePath();
  if (path.empty()) return fail("there is no place for the settings file: set QZ_DB_SETTINGS or HOME");
  const StoreLock lock(path);
  if (!lock.held()) return fail(lock.error());

  // Other entries of the store are kept, so a file we cannot read is never
  // written over: that would lose whatever it held.
  ini::Document document;
  if (Load(path, &document) == Loaded::kBad)
    return fail(path + " cannot be read or is not a well-formed settings file; it was left as it is");

  std::string refused;
  size_t refused_count = 0;
  bool changed = false;
  for (const DBsSetNode& node : settings) {
    const std::string why = Refusal(node);
    if (!why.empty()) {
      refused += (refused.empty() ? "" : "; ") + why;
      ++refused_count;
      continue;
    }
    const std::string section = platform::WideToUtf8(node.strSettingName);
    const bool trusted = !DistrustOf(document, section);
    if (SameSetting(trusted ? Setting(document, section) : SQZDataBaseInfo(), node)) continue;
    ini::Set(&document, section, "DBType", std::to_string(node.nDBType));
    const std::wstring* const texts[4] = {&node.strConnect1, &node.strConnect2, &node.strConnect3, &node.strConnect4};
    for (int i = 0; i < 4; ++i) ini::Set(&document, section, kConnectKeys[i], platform::WideToUtf8(*texts[i]));
    changed = true;
  }

  std::string reason;
  if (changed && !ReplaceFile(path, ini::Render(document), &reason)) return fail(reason);
  if (!refused.empty())
    return fail(refused + (refused_count < settings.size() ? "; the other settings were saved" : ""));
  return true;
}

}  // namespace qz::settings
