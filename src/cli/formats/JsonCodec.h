// The tool's documents: task files, item files and the tape catalogue, made
// of records as records/RecordJson.h writes them. The same text written,
// read and written again is the same text.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>
#include <vector>

#include "records/RecordJson.h"

namespace gezhuan {

using qz::records::GroupToJson;
using qz::records::ItemToJson;
using qz::records::Json;
using qz::records::TapeToJson;

// A task as the tool writes it: every column, its items nested, and an
// unset begin or end (records/DateText.h) as null, as it shows blank.
Json TaskToJson(const SQZGeZhuanTaskInfo& task);

// The text of a document: two-space indentation, UTF-8, a final newline.
std::string DocumentText(const Json& document);

// A document the tool refuses, with where in it and which field.
using DocumentError = qz::records::JsonError;

// Reads a task document: an array of task objects. Every field is checked
// before anything is returned; a field left out keeps the record's default
// (a missing guidTaskID or guidItem gets a fresh one, a missing guidTask
// the task's, a missing nIndex the item's place, a missing dwLength the
// distance between the trim points). A null begin or end is stored as
// unset, the value a task holds until they are set. Throws DocumentError.
// checked, when given, is told after each task how many of how many are
// checked (for a progress line).
std::vector<SQZGeZhuanTaskInfo> TasksFromDocument(
    const std::string& text, const std::function<void(size_t done, size_t total)>& checked = nullptr);

// Reads an array of item objects (the arrItems of one task) for task.
std::vector<SQZGeZhuanItemInfo> ItemsFromDocument(const std::string& text, const GUID& task);

// The tape catalogue as `tape export` writes it:
// {"groups": [group...], "tapes": [tape...]}.
struct CatalogueDocument {
  std::vector<SQZGZVTRTapeTypeGroupInfo> groups;
  std::vector<SQZGZVTRTapeTypeInfo> tapes;
};

Json CatalogueToJson(const CatalogueDocument& catalogue);

// Reads a catalogue document, checking every field; every record needs its
// GUID, unique in the document. Throws DocumentError.
CatalogueDocument CatalogueFromDocument(const std::string& text);

}  // namespace gezhuan
