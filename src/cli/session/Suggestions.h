// "Did you mean ...?": the words a mistyped one was probably meant to be,
// for commands, options and catalogue names alike.
#pragma once

#include <string>
#include <vector>

namespace gezhuan {

// The candidates nearest to typed: those at the smallest edit distance of
// at most two (A-Z compared in either case), else the ones typed starts
// (at most mostStarts of them). Empty when
// nothing is near. Compared by character, so that CJK names count one edit
// per character.
std::vector<std::string> Suggestions(const std::string& typed, const std::vector<std::string>& candidates,
                                     size_t mostStarts = 1);

// "; did you mean 'x'?" or "; did you mean 'x' or 'y'?", with the given
// quote; "" when there are no suggestions.
std::string DidYouMean(const std::vector<std::string>& suggestions, const std::string& quote);

}  // namespace gezhuan
