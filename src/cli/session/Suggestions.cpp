#include "cli/session/Suggestions.h"

#include <algorithm>

#include "cli/commands/TaskFilter.h"
#include "cli/terminal/Text.h"

namespace gezhuan {

namespace {

std::wstring Folded(const std::string& utf8) { return FoldLatinCase(FromUtf8(utf8)); }

// Edit distance counting a swap of two neighbours as one edit (optimal
// string alignment), since "lsit" is one slip from "list", not two.
size_t Distance(const std::wstring& a, const std::wstring& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

}  // namespace

std::vector<std::string> Suggestions(const std::string& typed, const std::vector<std::string>& candidates,
                                     size_t mostStarts) {
  const std::wstring word = Folded(typed);
  if (word.empty()) return {};
  const size_t allowed = 2;
  std::vector<std::string> nearest, started;
  size_t best = allowed + 1;
  for (const std::string& candidate : candidates) {
    const std::wstring folded = Folded(candidate);
    const size_t d = Distance(word, folded);
    if (d < best) {
      best = d;
      nearest.clear();
    }
    if (d <= allowed && d == best && std::find(nearest.begin(), nearest.end(), candidate) == nearest.end())
      nearest.push_back(candidate);
    if (folded.compare(0, word.size(), word) == 0 &&
        std::find(started.begin(), started.end(), candidate) == started.end())
      started.push_back(candidate);
  }
  if (!nearest.empty()) return nearest;
  if (!started.empty() && started.size() <= mostStarts) return started;
  return {};
}

std::string DidYouMean(const std::vector<std::string>& suggestions, const std::string& quote) {
  if (suggestions.empty()) return "";
  std::string out = "; did you mean ";
  for (size_t i = 0; i < suggestions.size(); ++i)
    out += (i == 0 ? "" : i + 1 == suggestions.size() ? " or " : ", ") + quote + suggestions[i] + quote;
  return out + "?";
}

}  // namespace gezhuan
