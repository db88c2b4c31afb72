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

}  // namespace gezhuan
