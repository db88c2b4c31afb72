#include "cli/formats/GuidPrefix.h"

#include <algorithm>
#include <cctype>
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

}  // namespace

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
