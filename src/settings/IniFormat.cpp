#include "settings/IniFormat.h"

#include <ini.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace qz::settings::ini {
namespace {

// libinih's notion of white space: isspace on the byte, in the C locale.
bool IsIniSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// What libinih hands over, in file order.
struct Handed {
  std::string section;
  std::string key;
  std::string value;
};

int OnEntry(void* user, const char* section, const char* key, const char* value) {
  static_cast<std::vector<Handed>*>(user)->push_back(Handed{section, key, value != nullptr ? value : ""});
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

// Whether what follows a section header's ']' is nothing to libinih: white
// space, then nothing or a comment.
bool IsBlankOrComment(std::string_view rest) {
  while (!rest.empty() && IsIniSpace(rest.front())) rest.remove_prefix(1);
  return rest.empty() || rest.front() == ';' || rest.front() == '#';
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
    else if (!line.empty() && line.front() == '[' && line.find(']') != std::string_view::npos &&
             !IsBlankOrComment(line.substr(line.find(']') + 1)))
      why = "the line holds more than the section header, which would be dropped";
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

// Lays the entries libinih handed over onto the lines that set them, which
// gives each its line and each header its own section. Lines are read as
// libinih reads them in a file LinesAreSafe passed: no line is indented, a
// comment begins with ';' or '#', a header is "[name]", and every other
// line that is not blank sets a key. False when the two readings disagree.
bool Lay(const std::string& text, const std::vector<Handed>& handed, Document* out) {
  size_t next = 0;
  bool agree = true;
  ForEachLine(text, [&](int number, std::string_view line) {
    if (number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    if (line.empty() || IsIniSpace(line.front()) || line.front() == ';' || line.front() == '#') return true;
    if (line.front() == '[') {
      Section section;
      section.name = std::string(line.substr(1, line.find(']') - 1));
      section.line = number;
      out->push_back(std::move(section));
      return true;
    }
    if (next == handed.size()) return agree = false;
    const Handed& entry = handed[next++];
    if (out->empty()) {
      out->push_back(Section{});
      out->back().headed = false;
    }
    Section& section = out->back();
    const size_t end = line.find_first_of("=:");
    if (section.name != entry.section || end == std::string_view::npos || TrimRight(line.substr(0, end)) != entry.key)
      return agree = false;
    section.entries.push_back(Entry{entry.key, entry.value, number});
    return true;
  });
  return agree && next == handed.size();
}

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

bool Parse(const std::string& text, Document* out, Problem* problem) {
  out->clear();
  if (!LinesAreSafe(text, problem)) return false;
  // Entries before any section header arrive under "", which no setting uses.
  std::vector<Handed> handed;
  const int error = ini_parse_string(text.c_str(), OnEntry, &handed);
  if (error == 0 && Lay(text, handed, out)) return true;
  out->clear();
  if (problem) {
    // libinih answers the first line it could not read, or -1 when it ran
    // out of memory.
    problem->line = error > 0 ? error : 0;
    problem->reason = error > 0   ? "the line is neither [section], key=value nor a comment"
                      : error < 0 ? "out of memory"
                                  : "the file does not read line by line as libinih reads it";
  }
  return false;
}

std::vector<const Section*> SectionsNamed(const Document& document, const std::string& name) {
  std::vector<const Section*> found;
  for (const Section& section : document)
    if (SameName(section.name, name)) found.push_back(&section);
  return found;
}

std::vector<const Entry*> EntriesNamed(const Section& section, const std::string& key) {
  std::vector<const Entry*> found;
  for (const Entry& entry : section.entries)
    if (SameName(entry.key, key)) found.push_back(&entry);
  return found;
}

void Set(Document* document, const std::string& section, const std::string& key, const std::string& value) {
  // Merge the section: later sections of its name join the first...
  Section* target = nullptr;
  for (auto it = document->begin(); it != document->end();) {
    if (!SameName(it->name, section)) {
      ++it;
    } else if (target == nullptr) {
      target = &*it++;
    } else {
      const size_t kept = static_cast<size_t>(target - document->data());
      std::vector<Entry> moved = std::move(it->entries);
      it = document->erase(it);
      target = document->data() + kept;
      for (Entry& entry : moved) target->entries.push_back(std::move(entry));
    }
  }
  if (target == nullptr) {
    document->push_back(Section{section, {}});
    target = &document->back();
  }
  // ...and a key set more than once keeps its first place and last value.
  std::vector<Entry>& entries = target->entries;
  for (size_t i = 0; i < entries.size(); ++i) {
    for (size_t k = entries.size(); k-- > i + 1;) {
      if (SameName(entries[k].key, entries[i].key)) {
        entries[i].value = std::move(entries[k].value);
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(k));
      }
    }
  }
  for (Entry& entry : entries) {
    if (SameName(entry.key, key)) {
      entry.value = value;
      return;
    }
  }
  entries.push_back(Entry{key, value});
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
    // Entries that came before any section header go back there.
    if (!section.headed && section.entries.empty()) continue;
    if (!text.empty()) text += "\n";
    if (section.headed) text += "[" + section.name + "]\n";
    for (const Entry& entry : section.entries) text += entry.key + "=" + entry.value + "\n";
  }
  // A key that begins with the bytes of a byte-order mark must not stand
  // first: libinih would take them for one and drop them.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.insert(0, "\n");
  return text;
}

}  // namespace qz::settings::ini
