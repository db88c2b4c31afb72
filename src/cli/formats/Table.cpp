#include "cli/formats/Table.h"

#include <algorithm>

#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

// The longest start of line that fits in columns - 1 terminal columns,
// followed by "…"; line itself when it fits.
std::wstring CutToColumns(const std::wstring& line, int columns) {
  if (DisplayWidth(line) <= columns) return line;
  std::wstring cut;
  int used = 0;
  for (wchar_t c : line) {
    const int width = DisplayWidth(std::wstring(1, c));
    if (used + width > columns - 1) break;
    cut += c;
    used += width;
  }
  return cut + L"\u2026";
}

}  // namespace

Table::Table(std::vector<std::wstring> headers) : m_headers(std::move(headers)) {}

void Table::AddRow(std::vector<std::wstring> cells) {
  cells.resize(m_headers.size());
  // A line break inside a cell would tear the listing apart, an escape
  // sequence recolour the terminal: they are shown as escapes.
  for (std::wstring& cell : cells) cell = EscapeControls(cell);
  m_rows.push_back(std::move(cells));
}

void Table::Print(std::ostream& out, bool header, int maxColumns) const {
  std::vector<int> widths(m_headers.size(), 0);
  for (size_t i = 0; i < m_headers.size(); ++i) widths[i] = DisplayWidth(m_headers[i]);
  for (const auto& row : m_rows)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));

  auto printLine = [&](const std::vector<std::wstring>& cells) {
    std::wstring line;
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) line += L"  ";
      line += i + 1 < cells.size() ? PadToWidth(cells[i], widths[i]) : cells[i];
    }
    while (!line.empty() && line.back() == L' ') line.pop_back();
    if (maxColumns > 0) line = CutToColumns(line, maxColumns);
    out << ToUtf8(line) << '\n';
  };
  if (header) {
    printLine(m_headers);
    std::vector<std::wstring> rule;
    for (int w : widths) rule.emplace_back(static_cast<size_t>(w), L'-');
    printLine(rule);
  }
  for (const auto& row : m_rows) printLine(row);
}

}  // namespace gezhuan
