// The settings file's format: UTF-8 INI text with one section per setting
// name and "key=value" lines. Parsing goes through libinih; this file adds
// the checks that keep its quirks from changing a value silently, and the
// writing side, which only writes what will read back the same.
#pragma once

#include <string>
#include <vector>

namespace qz::settings::ini {

struct Entry {
  std::string key;
  std::string value;
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
};

// Sections in file order. Section and key names compare without regard to
// ASCII case, as the registry does.
using Document = std::vector<Section>;

// The longest line, in bytes without its line end, that libinih reads as
// one line. Longer lines it splits into two without a word, truncating the
// value and inventing a key from the rest.
constexpr size_t kMaxLineBytes = 197;

// The longest section name, in bytes, that libinih hands over whole; it
// cuts longer ones short without a word.
constexpr size_t kMaxSectionNameBytes = 49;

// Where and why a text is not a file we can trust.
struct Problem {
  int line = 0;  // 1 for the first line
  std::string reason;
};

// Parses text into *out. False (and *out unspecified) when the text is not
// a file we can trust: libinih reports an error, a line or a section name is
// too long, a NUL byte is present, or a non-blank line begins with white
// space (libinih would take it as the continuation of the key above it). Then *problem,
// when not null, says which line and why.
bool Parse(const std::string& text, Document* out, Problem* problem = nullptr);

// The line (1 for the first) on which text, a file Parse accepted, sets key
// in section for the last time; 0 when it does not.
int LineOf(const std::string& text, const std::string& section, const std::string& key);

// The value of key in section, or null.
const std::string* Find(const Document& document, const std::string& section, const std::string& key);

// Sets key in section to value, adding the section at the end and the key at
// the end of its section when missing.
void Set(Document* document, const std::string& section, const std::string& key, const std::string& value);

// Whether "key=value" reads back as exactly key and value. When not, *why
// says why in a few words.
bool CanHold(const std::string& key, const std::string& value, std::string* why);

// Whether name can be a section header that reads back as name.
bool CanHoldSectionName(const std::string& name, std::string* why);

// The text of document: "[name]" then "key=value" lines per section, a blank
// line between sections, "\n" line ends.
std::string Render(const Document& document);

}  // namespace qz::settings::ini
