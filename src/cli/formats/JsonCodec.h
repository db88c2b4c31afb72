// The tool's documents: task files, item files and the tape catalogue, made
// of records as records/RecordJson.h writes them. The same text written,
// read and written again is the same text.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>
#include <vector>

#include "records/RecordJson.h"
#include "records/TaskDocument.h"

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

// Task and item documents (records/TaskDocument.h). The tool reads a null
// begin or end as unset, the value a task holds until they are set, which
// it writes as null.
std::vector<SQZGeZhuanTaskInfo> TasksFromDocument(
    const std::string& text, const std::function<void(size_t done, size_t total)>& checked = nullptr);
using qz::records::ItemsFromDocument;

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
