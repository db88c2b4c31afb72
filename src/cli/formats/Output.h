// Listings and results in the form the command line asks for: an aligned
// table for people, JSON (one document, or one object a line), CSV or TSV
// for other programs, or only the GUIDs (-q) to pipe into another command.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/formats/JsonCodec.h"
#include "cli/session/Options.h"

namespace gezhuan {

class Session;

// What a table may do with a column to fit it to the terminal: a text
// column may be cut (ending in "…"), a GUID column of tasks or items shows
// the shortest unique start of each GUID (--wide: the whole GUID), a fixed
// column (numbers, dates, tape GUIDs, which no command takes a start of) is
// shown whole.
enum class ColumnKind { kFixed, kText, kTaskGuid, kItemGuid };

// Rows as a table shows them, each with its JSON record and its key.
struct Listing {
  std::vector<std::wstring> headers;
  std::vector<ColumnKind> kinds;  // one per header; kFixed where missing
  std::vector<std::vector<std::wstring>> rows;
  std::vector<Json> records;      // one per row: what json and jsonl print
  std::vector<std::string> keys;  // one per row: what -q prints

  void Add(std::vector<std::wstring> cells, Json record, std::string key) {
    rows.push_back(std::move(cells));
    records.push_back(std::move(record));
    keys.push_back(std::move(key));
  }
};

// Prints a listing in the chosen form as its rows come, so that a listing
// of any length needs the memory of one batch of rows. JSON, jsonl, CSV,
// TSV and -q print each row at once. A table takes its column widths from
// its first kTableBatch rows (or all, when fewer), fits them to the
// terminal, then prints those and every later row at those widths: on a
// terminal a later cell that is wider is cut to its column; elsewhere it is
// printed whole (scripts get whole values) and widens its column from that
// row on. --columns chooses and orders the columns of a table, CSV and TSV
// (JSON keeps whole records); a name it does not know is a usage error.
// session, when given, is asked which GUID starts are unique in the
// database; without it a start is unique among the rows printed.
class ListingPrinter {
 public:
  static constexpr size_t kTableBatch = 256;

  ListingPrinter(const GlobalOptions& options, std::vector<std::wstring> headers, std::vector<ColumnKind> kinds,
                 std::string whenEmpty, Session* session = nullptr);
  ~ListingPrinter();
  ListingPrinter(const ListingPrinter&) = delete;
  ListingPrinter& operator=(const ListingPrinter&) = delete;

  void Add(std::vector<std::wstring> cells, const Json& record, const std::string& key);
  // Prints what is held back (a table's first batch, the end of a JSON
  // array, or whenEmpty).
  void Finish();

 private:
  struct Table;
  const GlobalOptions& m_options;
  std::vector<std::wstring> m_headers;
  std::vector<size_t> m_chosen;  // the columns shown, in order
  std::string m_whenEmpty;
  size_t m_count = 0;
  std::unique_ptr<Table> m_table;                 // table form only
  std::unique_ptr<class JsonArrayWriter> m_json;  // json form, once a row came
};

// Prints a whole listing through a ListingPrinter. A table with no rows
// prints whenEmpty instead ("no tasks"); the other forms print an empty
// listing.
void PrintListing(const GlobalOptions& options, const Listing& listing, const std::string& whenEmpty,
                  Session* session = nullptr);

// A JSON array written an element at a time: the same text DocumentText
// gives for the whole array.
class JsonArrayWriter {
 public:
  void Add(const Json& element);
  void Finish();

 private:
  bool m_first = true;
};

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
