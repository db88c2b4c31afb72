#include "cli/formats/Output.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "cli/formats/GuidPrefix.h"
#include "cli/formats/Table.h"
#include "cli/session/CommandLineHabits.h"
#include "cli/session/Diagnostics.h"
#include "cli/terminal/StandardOutput.h"
#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

// RFC 4180: a field holding a comma, quote or line break is quoted, its
// quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// TSV has no quoting: tabs, line breaks and backslashes are written as
// escapes so that a row stays one line of fields.
std::string TsvField(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\\')
      out += "\\\\";
    else
      out += c;
  }
  return out;
}

std::string DelimitedLine(const std::vector<std::wstring>& cells, char separator) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += separator;
    const std::string text = ToUtf8(cells[i]);
    line += separator == ',' ? CsvField(text) : TsvField(text);
  }
  return line + '\n';
}

std::string UpperAscii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The columns --columns names, in its order: every column when it is
// empty. Header names are matched in either case.
std::vector<size_t> ChosenColumns(const std::string& typed, const std::vector<std::wstring>& headers) {
  std::vector<size_t> chosen;
  if (typed.empty()) {
    for (size_t i = 0; i < headers.size(); ++i) chosen.push_back(i);
    return chosen;
  }
  std::vector<std::string> names;
  for (const std::wstring& header : headers) names.push_back(ToUtf8(header));
  size_t from = 0;
  while (from <= typed.size()) {
    size_t comma = typed.find(',', from);
    if (comma == std::string::npos) comma = typed.size();
    const std::string name = UpperAscii(TrimAscii(typed.substr(from, comma - from)));
    from = comma + 1;
    const auto found = std::find(names.begin(), names.end(), name);
    if (found != names.end()) {
      chosen.push_back(static_cast<size_t>(found - names.begin()));
      continue;
    }
    std::string all;
    for (const std::string& n : names) all += (all.empty() ? "" : ", ") + n;
    const std::string nearest = NearestWord(name, names);
    UsageError("--columns: no column \"" + name + "\"" + (nearest.empty() ? "" : "; did you mean " + nearest + "?") +
               " (the columns: " + all + ")");
  }
  return chosen;
}

}  // namespace

void JsonArrayWriter::Add(const Json& element) {
  std::string text = element.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  // One level deeper, as an element of the array.
  for (size_t line = text.find('\n'); line != std::string::npos; line = text.find('\n', line + 1))
    text.insert(line + 1, "  ");
  std::cout << (m_first ? "[\n  " : ",\n  ") << text;
  m_first = false;
}

void JsonArrayWriter::Finish() { std::cout << (m_first ? "[]\n" : "\n]\n"); }

// A table's rows held back until a batch is full: the first batch decides
// the column widths, each batch has its GUIDs shortened together.
struct ListingPrinter::Table {
  std::vector<ColumnKind> kinds;  // of the chosen columns
  Session* session = nullptr;
  bool whole = false;  // --wide: whole GUIDs, nothing cut
  int terminal = 0;    // the terminal's width, 0 when not one
  std::vector<std::vector<std::wstring>> held;
  std::vector<int> widths;  // empty until the first batch is laid out
  std::vector<bool> cut;    // the columns cut to their width
  bool header = true;

  void Flush(const std::vector<std::wstring>& headers);
};

void ListingPrinter::Table::Flush(const std::vector<std::wstring>& headers) {
  if (held.empty()) return;
  for (size_t c = 0; c < kinds.size() && !whole; ++c) {
    if (kinds[c] != ColumnKind::kTaskGuid && kinds[c] != ColumnKind::kItemGuid) continue;
    std::vector<std::wstring> guids;
    for (const auto& row : held) guids.push_back(row[c]);
    const std::vector<std::wstring> shortened =
        ShortGuids(session, kinds[c] == ColumnKind::kTaskGuid ? kTaskGuids : kItemGuids, guids);
    for (size_t r = 0; r < held.size(); ++r) held[r][c] = shortened[r];
  }
  for (auto& row : held)
    for (std::wstring& cell : row) cell = TableCell(cell);
  const bool first = widths.empty();
  if (first) {
    widths.assign(headers.size(), 0);
    for (size_t c = 0; c < headers.size(); ++c) widths[c] = DisplayWidth(headers[c]);
  }
  // Until the columns are fitted to the terminal, and where nothing is cut,
  // a wider cell widens its column.
  for (const auto& row : held)
    for (size_t c = 0; c < row.size(); ++c)
      if (first || !cut[c]) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  if (first) {
    cut.assign(kinds.size(), false);
    if (terminal > 0 && !whole) {
      std::vector<int> minimum(kinds.size());
      for (size_t c = 0; c < kinds.size(); ++c) {
        cut[c] = kinds[c] == ColumnKind::kText;
        minimum[c] = std::min(widths[c], std::max(DisplayWidth(headers[c]), 6));
      }
      widths = FitWidths(widths, cut, minimum, terminal);
    }
  }
  auto print = [this](const std::vector<std::wstring>& cells) {
    std::wstring line = TableLine(cells, widths, cut);
    // What narrowing the text columns could not fit is cut at the edge.
    if (terminal > 0 && !whole) line = CutToColumns(line, terminal);
    std::cout << ToUtf8(line) << '\n';
  };
  if (first && header) {
    std::vector<std::wstring> shown;
    for (size_t c = 0; c < headers.size(); ++c) shown.push_back(CutToColumns(headers[c], widths[c]));
    print(shown);
    print(TableRule(widths));
  }
  for (const auto& row : held) print(row);
  held.clear();
  CheckStandardOutput();
}

ListingPrinter::ListingPrinter(const GlobalOptions& options, std::vector<std::wstring> headers,
                               std::vector<ColumnKind> kinds, std::string whenEmpty, Session* session)
    : m_options(options), m_whenEmpty(std::move(whenEmpty)) {
  m_chosen = ChosenColumns(options.columns, headers);
  for (size_t c : m_chosen) m_headers.push_back(headers[c]);
  kinds.resize(headers.size(), ColumnKind::kFixed);
  if (options.quiet || options.WantsJson() || options.format == "csv" || options.format == "tsv") {
    if (!options.quiet && !options.noHeader && (options.format == "csv" || options.format == "tsv"))
      std::cout << DelimitedLine(m_headers, options.format == "csv" ? ',' : '\t');
    return;
  }
  m_table = std::make_unique<Table>();
  for (size_t c : m_chosen) m_table->kinds.push_back(kinds[c]);
  m_table->session = session;
  m_table->whole = options.wide;
  m_table->terminal = TerminalColumns();
  m_table->header = !options.noHeader;
}

ListingPrinter::~ListingPrinter() = default;

void ListingPrinter::Add(std::vector<std::wstring> cells, const Json& record, const std::string& key) {
  cells.resize(std::max(cells.size(), m_chosen.empty() ? 0 : *std::max_element(m_chosen.begin(), m_chosen.end()) + 1));
  std::vector<std::wstring> shown;
  shown.reserve(m_chosen.size());
  for (size_t c : m_chosen) shown.push_back(std::move(cells[c]));
  if (m_options.quiet) {
    std::cout << key << '\n';
  } else if (m_options.format == "json") {
    if (m_count == 0) m_json = std::make_unique<JsonArrayWriter>();
    m_json->Add(record);
  } else if (m_options.format == "jsonl") {
    PrintDocument(m_options, record);
  } else if (m_options.format == "csv" || m_options.format == "tsv") {
    std::cout << DelimitedLine(shown, m_options.format == "csv" ? ',' : '\t');
  } else {
    m_table->held.push_back(std::move(shown));
    if (m_table->held.size() == kTableBatch) m_table->Flush(m_headers);
  }
  ++m_count;
}

void ListingPrinter::Finish() {
  if (m_options.quiet) return;
  if (m_options.format == "json") {
    if (m_json)
      m_json->Finish();
    else
      std::cout << "[]\n";
  } else if (m_table) {
    if (m_count == 0)
      std::cout << m_whenEmpty << '\n';
    else
      m_table->Flush(m_headers);
  }
}

void PrintListing(const GlobalOptions& options, const Listing& listing, const std::string& whenEmpty,
                  Session* session) {
  ListingPrinter printer(options, listing.headers, listing.kinds, whenEmpty, session);
  for (size_t r = 0; r < listing.rows.size(); ++r) printer.Add(listing.rows[r], listing.records[r], listing.keys[r]);
  printer.Finish();
}

void PrintDocument(const GlobalOptions& options, const Json& document) {
  if (options.format == "jsonl")
    std::cout << document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  else
    std::cout << DocumentText(document);
}

void PrintFieldLines(const GlobalOptions& options, const FieldLines& lines) {
  if (options.format == "csv" || options.format == "tsv") {
    Listing listing;
    listing.headers = {L"FIELD", L"VALUE"};
    for (const auto& line : lines) listing.Add({FromUtf8(line.first), line.second}, Json(), "");
    PrintListing(options, listing, "");
    return;
  }
  size_t width = 0;
  for (const auto& line : lines) width = std::max(width, line.first.size());
  for (const auto& line : lines)
    std::cout << line.first << ':'
              << (line.second.empty()
                      ? std::string()
                      : std::string(width + 2 - line.first.size(), ' ') + ToUtf8(EscapeControls(line.second)))
              << '\n';
}

void PrintResult(const GlobalOptions& options, const Json& result, const std::string& sentence) {
  if (options.WantsJson())
    PrintDocument(options, result);
  else
    std::cout << sentence << '\n';
}

}  // namespace gezhuan
