#include "cli/formats/GuidPrefix.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <set>

#include "cli/session/DatabaseOpen.h"
#include "cli/session/Diagnostics.h"
#include "cli/terminal/Text.h"
#include "common/GuidText.h"

namespace gezhuan {

using qz::common::GuidToUtf8;
using qz::common::ReadTypedGuid;
using qz::common::Utf8TextToGuid;

const GuidColumn kTaskGuids{L"GeZhuanTaskInfo", L"guidTaskID", "task"};
const GuidColumn kItemGuids{L"GeZhuanTaskItem", L"guidItem", "item"};

namespace {

constexpr size_t kShortestPrefix = 8;
constexpr size_t kCandidatesShown = 10;

// True when text is the start of the 8-4-4-4-12 form: GUID text once the
// rest of the null GUID's text is put after it.
bool IsGuidStart(const std::string& text) {
  static const std::string kNullText = GuidToUtf8(GUID{});
  if (text.size() > kNullText.size()) return false;
  GUID unused;
  return Utf8TextToGuid(text + kNullText.substr(text.size()), &unused);
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return text;
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}

// "column >= 'P' and column < 'PG'": the GUID texts starting with P, a
// start of 8 hex digits. Every character that may follow in GUID text (a
// dash, a digit, A-F) orders before G, in byte order and in the collations
// of locales alike, so the engine can answer from the column's index. The
// same again in lower case, for GUIDs other programs wrote so.
std::wstring StartRanges(const std::wstring& column, const std::wstring& start) {
  std::wstring ranges;
  for (const std::wstring& s : {Upper(start), Lower(start)}) {
    if (!ranges.empty()) ranges += L" or ";
    ranges +=
        L"(" + column + L" >= '" + s + L"' and " + column + L" < '" + s + (s == Upper(start) ? L"G" : L"g") + L"')";
  }
  return ranges;
}

size_t CommonStart(const std::wstring& a, const std::wstring& b) {
  size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

}  // namespace

std::vector<std::wstring> ShortGuids(Session* session, const GuidColumn& where,
                                     const std::vector<std::wstring>& guids) {
  constexpr size_t kStartsPerQuestion = 64;
  std::set<std::wstring> starts;  // first 8 characters, upper case
  std::set<std::wstring> known;   // every GUID to tell apart, upper case
  for (const std::wstring& guid : guids) {
    if (guid.size() < kShortestPrefix) continue;
    starts.insert(Upper(guid.substr(0, kShortestPrefix)));
    known.insert(Upper(guid));
  }
  if (session != nullptr) {
    std::wstring condition;
    size_t asked = 0;
    auto ask = [&] {
      if (asked == 0) return;
      session->EachValue(L"select " + std::wstring(where.column) + L" from " + where.table + L" where " + condition,
                         where.column, [&known](std::wstring found) {
                           known.insert(Upper(std::move(found)));
                           return true;
                         });
      condition.clear();
      asked = 0;
    };
    for (const std::wstring& start : starts) {
      // Only hex digits can start a GUID; anything else is no question to ask.
      if (start.find_first_not_of(L"0123456789ABCDEF") != std::wstring::npos) continue;
      condition += (condition.empty() ? L"" : L" or ") + StartRanges(where.column, start);
      if (++asked == kStartsPerQuestion) ask();
    }
    ask();
  }
  std::vector<std::wstring> shortened;
  shortened.reserve(guids.size());
  for (const std::wstring& guid : guids) {
    const std::wstring upper = Upper(guid);
    size_t length = kShortestPrefix;
    // The neighbours in order are the GUIDs sharing the longest start.
    auto at = known.lower_bound(upper);
    if (at != known.end() && *at == upper) {
      if (at != known.begin()) length = std::max(length, CommonStart(upper, *std::prev(at)) + 1);
      if (std::next(at) != known.end()) length = std::max(length, CommonStart(upper, *std::next(at)) + 1);
    }
    if (length < guid.size() && guid[length - 1] == L'-') ++length;
    shortened.push_back(guid.substr(0, std::min(length, guid.size())));
  }
  return shortened;
}

GuidReference ReadGuidReference(const std::string& text, const std::string& what) {
  GuidReference reference;
  reference.typed = text;
  if (ReadTypedGuid(text, &reference.whole)) {
    reference.prefix = GuidToUtf8(reference.whole);
    return reference;
  }
  std::string prefix = TrimAscii(text);
  std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (prefix.size() < kShortestPrefix || !IsGuidStart(prefix))
    UsageError(what + " \"" + text + "\" is not a GUID or its first " + std::to_string(kShortestPrefix) +
               " or more characters (8-4-4-4-12 hex digits)");
  reference.prefix = prefix;
  return reference;
}

GUID ResolveGuid(Session& session, const GuidReference& reference, const GuidColumn& where) {
  if (reference.IsWhole()) return reference.whole;
  // upper() on both sides: GUID text written by other programs may be in
  // lower case. The prefix holds only hex digits and dashes, so it needs no
  // escaping in a like pattern.
  const std::wstring sql = L"select " + std::wstring(where.column) + L" from " + where.table + L" where upper(" +
                           where.column + L") like '" + FromUtf8(reference.prefix) + L"%'";
  std::set<std::string> found;
  for (const std::wstring& text : session.QueryColumn(sql, where.column)) found.insert(ToUtf8(text));
  if (found.empty()) Fail("no " + where.what + " GUID starts with " + reference.typed);
  if (found.size() > 1) {
    std::string message = where.what + " GUID start " + reference.typed + " is ambiguous; it matches:";
    size_t shown = 0;
    for (const std::string& guid : found) {
      if (shown++ == kCandidatesShown) {
        message += "\n  ... and " + std::to_string(found.size() - kCandidatesShown) + " more";
        break;
      }
      message += "\n  " + guid;
    }
    Fail(message);
  }
  GUID guid{};
  if (!ReadTypedGuid(*found.begin(), &guid))
    Fail("the database holds a damaged " + where.what + " GUID: " + *found.begin());
  return guid;
}

}  // namespace gezhuan
