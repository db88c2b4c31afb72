// Listings and results in the form the command line asks for: an aligned
// table for people, JSON (one document, or one object a line), CSV or TSV
// for other programs, or only the GUIDs (-q) to pipe into another command.
#pragma once

#include <string>
#include <vector>

#include "cli/formats/JsonCodec.h"
#include "cli/session/Options.h"

namespace gezhuan {

// Rows as a table shows them, each with its JSON record and its key.
struct Listing {
  std::vector<std::wstring> headers;
  std::vector<std::vector<std::wstring>> rows;
  std::vector<Json> records;      // one per row: what json and jsonl print
  std::vector<std::string> keys;  // one per row: what -q prints

  void Add(std::vector<std::wstring> cells, Json record, std::string key) {
    rows.push_back(std::move(cells));
    records.push_back(std::move(record));
    keys.push_back(std::move(key));
  }
};

// Prints the listing in the chosen form. A table with no rows prints
// whenEmpty instead ("no tasks"); the other forms print an empty listing.
void PrintListing(const GlobalOptions& options, const Listing& listing, const std::string& whenEmpty);

// The result of a command that changes something: the JSON object under
// --format json|jsonl, else the sentence and a newline.
void PrintResult(const GlobalOptions& options, const Json& result, const std::string& sentence);

// One record as "field: value" lines with the values aligned (or as FIELD
// and VALUE rows under csv and tsv).
using FieldLines = std::vector<std::pair<std::string, std::wstring>>;
void PrintFieldLines(const GlobalOptions& options, const FieldLines& lines);

// A JSON document (json: indented; jsonl: one line).
void PrintDocument(const GlobalOptions& options, const Json& document);

// The terminal's width when standard output is a terminal, else 0. One
// implementation per platform (PosixTerminalColumns.cpp, WindowsTerminalColumns.cpp).
int TerminalColumns();

}  // namespace gezhuan
