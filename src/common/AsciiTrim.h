// Trimming of text a person typed: arguments, answers, dates and GUIDs.
#pragma once

#include <string>
#include <string_view>

namespace qz::common {

// text with the leading and trailing white space removed (ASCII only: the
// blanks a terminal or an editor adds around what was meant).
inline std::string TrimAscii(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\f\v";
  const size_t begin = text.find_first_not_of(kSpace);
  if (begin == std::string_view::npos) return std::string();
  const size_t end = text.find_last_not_of(kSpace);
  return std::string(text.substr(begin, end - begin + 1));
}

}  // namespace qz::common
