// A listing of rows whose columns line up on a terminal, Chinese text
// included: cells are padded by display width, not by characters.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace gezhuan {

class Table {
 public:
  explicit Table(std::vector<std::wstring> headers);

  void AddRow(std::vector<std::wstring> cells);
  size_t RowCount() const { return m_rows.size(); }

  // Header and rule (unless header is false) and rows, two spaces between
  // columns, no trailing blanks. With maxColumns > 0 a longer line is cut to
  // that many terminal columns, ending in "…".
  void Print(std::ostream& out, bool header = true, int maxColumns = 0) const;

 private:
  std::vector<std::wstring> m_headers;
  std::vector<std::vector<std::wstring>> m_rows;
};

// The pieces of a table, for a listing printed as its rows come.

// A cell as a table shows it: control characters escaped, so that a line
// break cannot tear the listing apart nor an escape sequence recolour the
// terminal.
std::wstring TableCell(const std::wstring& text);

// The longest start of text that fits in columns - 1 terminal columns,
// followed by "…"; text itself when it fits in columns.
std::wstring CutToColumns(const std::wstring& text, int columns);

// Narrows the cuttable columns, the widest first, until the line (two
// spaces between columns) fits in total terminal columns or each is down to
// its minimum. Returns the narrowed widths.
std::vector<int> FitWidths(std::vector<int> widths, const std::vector<bool>& cuttable, const std::vector<int>& minimum,
                           int total);

// One line: each cell but the last padded to its width, no trailing blanks.
// A cell wider than its width is cut to it where cut (one per cell, or
// empty for none) says so, else printed whole (the cells after it move
// right).
std::wstring TableLine(const std::vector<std::wstring>& cells, const std::vector<int>& widths,
                       const std::vector<bool>& cut = {});

// The rule under the header: dashes as wide as each column.
std::vector<std::wstring> TableRule(const std::vector<int>& widths);

}  // namespace gezhuan
