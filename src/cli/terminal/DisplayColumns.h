// How many terminal columns text takes: one per character, two for the East
// Asian wide ones, none for control characters. One implementation per
// platform (PosixDisplayColumns.cpp asks the C library, WindowsDisplayColumns.cpp
// uses the Unicode blocks alone).
#pragma once

#include <string>

namespace gezhuan {

int DisplayColumns(const std::u32string& code_points);

// The East Asian wide blocks, for when the C library cannot tell.
bool IsEastAsianWide(char32_t c);

}  // namespace gezhuan
