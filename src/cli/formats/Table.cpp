#include "cli/formats/Table.h"

#include <algorithm>

#include "cli/terminal/Text.h"

namespace gezhuan {

std::wstring TableCell(const std::wstring& text) { return EscapeControls(text); }

std::wstring CutToColumns(const std::wstring& text, int columns) {
  if (DisplayWidth(text) <= columns) return text;
  std::wstring cut;
  int used = 0;
  for (wchar_t c : text) {
    const int width = DisplayWidth(std::wstring(1, c));
    if (used + width > columns - 1) break;
    cut += c;
    used += width;
  }
  return cut + L"\u2026";
}

std::vector<int> FitWidths(std::vector<int> widths, const std::vector<bool>& cuttable, const std::vector<int>& minimum,
                           int total) {
  int line = widths.empty() ? 0 : 2 * static_cast<int>(widths.size() - 1);
  for (int w : widths) line += w;
  while (line > total) {
    size_t widest = widths.size();
    for (size_t i = 0; i < widths.size(); ++i)
      if (cuttable[i] && widths[i] > minimum[i] && (widest == widths.size() || widths[i] > widths[widest])) widest = i;
    if (widest == widths.size()) break;
    --widths[widest];
    --line;
  }
  return widths;
}

std::wstring TableLine(const std::vector<std::wstring>& cells, const std::vector<int>& widths,
                       const std::vector<bool>& cut) {
  std::wstring line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += L"  ";
    const std::wstring cell = i < cut.size() && cut[i] ? CutToColumns(cells[i], widths[i]) : cells[i];
    line += i + 1 < cells.size() ? PadToWidth(cell, widths[i]) : cell;
  }
  while (!line.empty() && line.back() == L' ') line.pop_back();
  return line;
}

std::vector<std::wstring> TableRule(const std::vector<int>& widths) {
  std::vector<std::wstring> rule;
  for (int w : widths) rule.emplace_back(static_cast<size_t>(w), L'-');
  return rule;
}

Table::Table(std::vector<std::wstring> headers) : m_headers(std::move(headers)) {}

void Table::AddRow(std::vector<std::wstring> cells) {
  cells.resize(m_headers.size());
  for (std::wstring& cell : cells) cell = TableCell(cell);
  m_rows.push_back(std::move(cells));
}

void Table::Print(std::ostream& out, bool header, int maxColumns) const {
  std::vector<int> widths(m_headers.size(), 0);
  for (size_t i = 0; i < m_headers.size(); ++i) widths[i] = DisplayWidth(m_headers[i]);
  for (const auto& row : m_rows)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  auto printLine = [&](const std::vector<std::wstring>& cells) {
    std::wstring line = TableLine(cells, widths);
    if (maxColumns > 0) line = CutToColumns(line, maxColumns);
    out << ToUtf8(line) << '\n';
  };
  if (header) {
    printLine(m_headers);
    printLine(TableRule(widths));
  }
  for (const auto& row : m_rows) printLine(row);
}

}  // namespace gezhuan
