// The records of the C interface as JSON (the form QZNVGeZhuanDB.h
// documents): each record's field names, GUIDs as GUID text, date-times as
// "YYYY-MM-DD HH:MM:SS" or null.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace qz::capi {

using Json = nlohmann::ordered_json;

// A document the interface refuses, saying which field and why.
class RecordJsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Json TaskToJson(const SQZGeZhuanTaskInfo& task);
Json ItemToJson(const SQZGeZhuanItemInfo& item);
Json GroupToJson(const SQZGZVTRTapeTypeGroupInfo& group);
Json TapeToJson(const SQZGZVTRTapeTypeInfo& tape);

// Read one object each, starting from the record's defaults; throw
// RecordJsonError for a field of the wrong type or an unknown field.
SQZGeZhuanTaskInfo TaskFromJson(const Json& json);
SQZGeZhuanItemInfo ItemFromJson(const Json& json);

// Parses UTF-8 text; throws RecordJsonError when it is not JSON.
Json ParseJson(const std::string& text);

}  // namespace qz::capi
