// GUIDs as people type them at a prompt: whole, or a unique start of at
// least 8 characters in either case, as git takes abbreviated hashes.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>
#include <vector>

namespace gezhuan {

class Session;

// A typed GUID or GUID start, checked for form but not yet looked up.
struct GuidReference {
  std::string typed;
  std::string prefix;  // upper case, as far as typed; 36 characters for a whole GUID
  GUID whole{};        // the GUID when prefix is whole
  bool IsWhole() const { return prefix.size() == 36; }
};

// Checks the form: a usage error naming what ("task") when text is neither a
// GUID nor at least 8 characters of one.
GuidReference ReadGuidReference(const std::string& text, const std::string& what);

// Where the GUIDs of a kind of record live.
struct GuidColumn {
  const wchar_t* table;   // L"GeZhuanTaskInfo"
  const wchar_t* column;  // L"guidTaskID"
  std::string what;       // "task", for messages
};

extern const GuidColumn kTaskGuids;
extern const GuidColumn kItemGuids;

// The GUID a reference stands for. A whole GUID is returned as typed
// (whether such a row exists is the caller's question); a start must match
// exactly one row, else the command fails (exit 1), listing the candidates
// when there are several.
GUID ResolveGuid(Session& session, const GuidReference& reference, const GuidColumn& where);

// The shortest start of each GUID that a command takes for it: at least 8
// characters, not ending in a dash, and long enough that no other GUID of
// where starts with it, as git shortens hashes. The other GUIDs are those
// of guids themselves and, when session is given, those of the database
// that share a GUID's first 8 characters (found through the column's
// index, a question per 64 GUIDs). guids are whole GUID texts.
std::vector<std::wstring> ShortGuids(Session* session, const GuidColumn& where, const std::vector<std::wstring>& guids);

}  // namespace gezhuan
