#include "settings/IniFormat.h"

#include <ini.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qz::settings::ini {
namespace {

// libinih's notion of white space: isspace on the byte, in the C locale.
bool IsIniSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

Section* FindSection(Document* document, const std::string& name) {
  for (Section& section : *document)
    if (SameName(section.name, name)) return &section;
  return nullptr;
}

// libinih hands each key to us with its section; keys are kept in file
// order, a repeated key keeping its first place and its last value.
int OnEntry(void* user, const char* section, const char* key, const char* value) {
  Document* document = static_cast<Document*>(user);
  Set(document, section, key, value != nullptr ? value : "");
  return 1;
}

// Calls visit(number, line) for each line of text, without its line end;
// stops early when visit returns false.
template <class Visit>
void ForEachLine(const std::string& text, Visit visit) {
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t length = end - start;
    if (length > 0 && text[end - 1] == '\r') --length;
    if (!visit(number, std::string_view(text.data() + start, length))) return;
    start = end + 1;
  }
}

// The checks libinih does not make; see Parse.
bool LinesAreSafe(const std::string& text, Problem* problem) {
  bool safe = true;
  ForEachLine(text, [&](int number, std::string_view line) {
    const char* why = nullptr;
    const bool long_line = line.size() > kMaxLineBytes;
    // libinih skips a byte-order mark before the first line (but counts it
    // in the line's length).
    if (number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    if (line.find('\0') != std::string_view::npos)
      why = "it holds a NUL byte: this is not a text file";
    else if (long_line)
      why = "the line is longer than the settings file allows";
    else if (!line.empty() && IsIniSpace(line.front()) && !std::all_of(line.begin(), line.end(), IsIniSpace))
      why = "the line begins with white space";
    else if (!line.empty() && line.front() == '[' && std::min(line.find(']'), line.size()) > kMaxSectionNameBytes + 1)
      why = "the section name is longer than the settings file allows";
    if (why == nullptr) return true;
    safe = false;
    if (problem) *problem = Problem{number, why};
    return false;
  });
  return safe;
}

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && IsIniSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool Parse(const std::string& text, Document* out, Problem* problem) {
  out->clear();
  if (!LinesAreSafe(text, problem)) return false;
  // Entries before any section header arrive under "", which no setting uses.
  const int error = ini_parse_string(text.c_str(), OnEntry, out);
  if (error == 0) return true;
  if (problem) {
    // libinih answers the first line it could not read, or -1 when it ran
    // out of memory.
    problem->line = error > 0 ? error : 0;
    problem->reason = error > 0 ? "the line is neither [section], key=value nor a comment" : "out of memory";
  }
  return false;
}

// Reads lines as libinih does for a file Parse accepted: no line is
// indented, a comment begins with ';' or '#', a header is "[name]", and a
// key ends at the first '=' or ':'.
int LineOf(const std::string& text, const std::string& section, const std::string& key) {
  int found = 0;
  std::string current;
  ForEachLine(text, [&](int number, std::string_view line) {
    if (number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    if (line.empty() || line.front() == ';' || line.front() == '#') return true;
    if (line.front() == '[') {
      const size_t close = line.find(']');
      current = std::string(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      return true;
    }
    const size_t end = line.find_first_of("=:");
    if (end != std::string_view::npos && SameName(current, section) &&
        SameName(std::string(TrimRight(line.substr(0, end))), key))
      found = number;
    return true;
  });
  return found;
}

const std::string* Find(const Document& document, const std::string& section, const std::string& key) {
  for (const Section& s : document) {
    if (!SameName(s.name, section)) continue;
    for (const Entry& entry : s.entries)
      if (SameName(entry.key, key)) return &entry.value;
  }
  return nullptr;
}

void Set(Document* document, const std::string& section, const std::string& key, const std::string& value) {
  Section* target = FindSection(document, section);
  if (target == nullptr) {
    document->push_back(Section{section, {}});
    target = &document->back();
  }
  for (Entry& entry : target->entries) {
    if (SameName(entry.key, key)) {
      entry.value = value;
      return;
    }
  }
  target->entries.push_back(Entry{key, value});
}

bool CanHold(const std::string& key, const std::string& value, std::string* why) {
  if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    *why = "it holds a line break or a NUL character";
    return false;
  }
  if (!value.empty() && (IsIniSpace(value.front()) || IsIniSpace(value.back()))) {
    *why = "it begins or ends with white space";
    return false;
  }
  // libinih ends a value at a ';' that follows white space (an inline comment).
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] == ';' && IsIniSpace(value[i - 1])) {
      *why = "it holds a ';' after white space, which would read as a comment";
      return false;
    }
  }
  if (key.size() + 1 + value.size() > kMaxLineBytes) {
    *why =
        "it is longer than the settings file can hold (" + std::to_string(kMaxLineBytes - key.size() - 1) + " bytes)";
    return false;
  }
  return true;
}

bool CanHoldSectionName(const std::string& name, std::string* why) {
  if (name.empty()) {
    *why = "the setting has no name";
    return false;
  }
  if (name.find_first_of(std::string("[]\r\n\0", 5)) != std::string::npos || IsIniSpace(name.front()) ||
      IsIniSpace(name.back()) || name.size() > kMaxSectionNameBytes) {
    *why = "the setting's name cannot be a section name";
    return false;
  }
  return true;
}

std::string Render(const Document& document) {
  std::string text;
  for (const Section& section : document) {
    if (section.name.empty() && section.entries.empty()) continue;
    // Entries that came before any section header go back there; if the
    // file named that section later ("[]"), it is named again.
    if (!text.empty())
      text += "\n[" + section.name + "]\n";
    else if (!section.name.empty())
      text += "[" + section.name + "]\n";
    for (const Entry& entry : section.entries) text += entry.key + "=" + entry.value + "\n";
  }
  // A key that begins with the bytes of a byte-order mark must not stand
  // first: libinih would take them for one and drop them.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.insert(0, "\n");
  return text;
}

}  // namespace qz::settings::ini
