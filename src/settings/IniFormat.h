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
  int line = 0;  // where the file sets it, 1 for the first line; 0 when not read from a file
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
  int line = 0;        // the header's line; 0 when not read from a file
  bool headed = true;  // false for the entries that come before any header
};

// Sections and their entries in file order, each as often as the file
// writes it: a section header that comes twice gives two sections, a key
// set twice two entries, so that a reader can tell (one that kept the last
// would let a line added lower down change a setting without a word).
// Section and key names compare without regard to ASCII case, as the
// registry does.
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
// too long, a NUL byte is present, a non-blank line begins with white space
// (libinih would take it as the continuation of the key above it), or a
// section header is followed by more than a comment (libinih would drop
// it). Then *problem, when not null, says which line and why.
bool Parse(const std::string& text, Document* out, Problem* problem = nullptr);

// Whether two section or key names are the same name.
bool SameName(const std::string& a, const std::string& b);

// The sections named name, in file order.
std::vector<const Section*> SectionsNamed(const Document& document, const std::string& name);

// The entries of section that set key, in file order.
std::vector<const Entry*> EntriesNamed(const Section& section, const std::string& key);

// Sets key in section to value, adding the section at the end and the key
// at the end of its section when missing. The section is first made one
// section holding each key once, as libinih would read it: later sections
// of that name join the first, and a key set more than once keeps its first
// place and its last value. So what is set reads back as set.
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
