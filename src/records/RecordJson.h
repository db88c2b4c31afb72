// Tasks, items and catalogue records as JSON, for the tool's documents and
// the C interface alike: one member per column under the column's name
// (records/RecordColumns.h), GUIDs as GUID text, date-times as ISO 8601
// local text "YYYY-MM-DDTHH:MM:SS" or null when invalid, and a task's items
// nested under "arrItems". What one side writes the other reads.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

namespace qz::records {

using Json = nlohmann::ordered_json;

// JSON text refused, saying where in it, which field and why.
class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Every column, in table order; a task's arrItems last.
Json TaskToJson(const SQZGeZhuanTaskInfo& task);
Json ItemToJson(const SQZGeZhuanItemInfo& item);
Json GroupToJson(const SQZGZVTRTapeTypeGroupInfo& group);
Json TapeToJson(const SQZGZVTRTapeTypeInfo& tape);

// Reads the members object holds into *record; a column left out keeps the
// value *record had. Refuses, with JsonError naming path (where object
// stands, "$[2]"), anything but an object, a member that is no column, a
// value of the wrong type or out of range, GUID text that is not one and
// an impossible date. A task's "arrItems" is left to the caller.
// Date-times are read in the form written or with a blank for the T, and
// as "YYYY-MM-DD" or "YYYY-MM-DDTHH:MM"; GUIDs in either case, also in
// braces; blanks around either are ignored.
void ReadFields(const Json& object, const std::string& path, SQZGeZhuanTaskInfo* task);
void ReadFields(const Json& object, const std::string& path, SQZGeZhuanItemInfo* item);
void ReadFields(const Json& object, const std::string& path, SQZGZVTRTapeTypeGroupInfo* group);
void ReadFields(const Json& object, const std::string& path, SQZGZVTRTapeTypeInfo* tape);

// Parses UTF-8 JSON text. Refuses text that is not JSON, arrays and objects
// nested more than 32 deep and an object that holds one key twice (which
// would otherwise keep only the last value without a word).
Json ParseJson(const std::string& text);

// Throws JsonError: "document refused at <path> (field <field>): <why>".
[[noreturn]] void Refuse(const std::string& path, const std::string& field, const std::string& why);

// A value as it stands in the text, cut to about 60 bytes for a message.
std::string Shown(const Json& value);

}  // namespace qz::records
