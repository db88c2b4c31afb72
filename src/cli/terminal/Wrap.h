// Long lines broken to a terminal's width where a reader expects the break:
// at spaces, and between two Chinese characters, which have no spaces
// between them.
#pragma once

#include <string>
#include <vector>

namespace gezhuan {

// line as lines of at most columns terminal columns. Breaks replace the
// spaces they fall on; a word wider than a whole line is broken between its
// characters. Lines after the first are indented as far as line is. With
// columns <= 0, or when line fits, line itself.
std::vector<std::wstring> WrapToColumns(const std::wstring& line, int columns);

}  // namespace gezhuan
