#include "cli/formats/Output.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "cli/formats/Table.h"
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

// TSV keeps a row on one line: tabs, line breaks and backslashes are
// written as the escapes \t \n \r \\. A value that begins with a double
// quote is put in double quotes with its quotes doubled, because csv
// readers (Python's csv with delimiter '\t', spreadsheets) take a leading
// quote as the start of a quoted value and would run on into the next
// fields; a quote further in is literal to them and left alone.
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
  if (out.empty() || out[0] != '"') return out;
  std::string quoted = "\"";
  for (char c : out) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void PrintDelimited(const GlobalOptions& options, const Listing& listing, char separator) {
  auto printRow = [&](const std::vector<std::wstring>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) std::cout << separator;
      const std::string text = ToUtf8(cells[i]);
      std::cout << (separator == ',' ? CsvField(text) : TsvField(text));
    }
    std::cout << '\n';
  };
  if (!options.noHeader) printRow(listing.headers);
  for (const auto& row : listing.rows) printRow(row);
}

}  // namespace

void PrintDocument(const GlobalOptions& options, const Json& document) {
  if (options.format == "jsonl")
    std::cout << document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  else
    std::cout << DocumentText(document);
}

void PrintListing(const GlobalOptions& options, const Listing& listing, const std::string& whenEmpty) {
  if (options.quiet) {
    for (const std::string& key : listing.keys) std::cout << key << '\n';
  } else if (options.format == "json") {
    Json out = Json::array();
    for (const Json& record : listing.records) out.push_back(record);
    std::cout << DocumentText(out);
  } else if (options.format == "jsonl") {
    for (const Json& record : listing.records) PrintDocument(options, record);
  } else if (options.format == "csv") {
    PrintDelimited(options, listing, ',');
  } else if (options.format == "tsv") {
    PrintDelimited(options, listing, '\t');
  } else if (listing.rows.empty()) {
    std::cout << whenEmpty << '\n';
  } else {
    Table table(listing.headers);
    for (const auto& row : listing.rows) table.AddRow(row);
    table.Print(std::cout, !options.noHeader, TerminalColumns());
  }
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
