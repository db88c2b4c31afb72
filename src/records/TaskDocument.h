// Task and item documents as callers write them: arrays of task objects
// with their items, read for the tool's files and the C interface alike.
// What a document leaves out is filled so that the records it gives can be
// stored and found again: a fresh guidTaskID or guidItem, the task's GUID
// as an item's guidTask, the item's place as its nIndex.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>
#include <vector>

#include "records/RecordJson.h"

namespace qz::records {

// Reads a task document: an array of task objects. Every field is checked
// before anything is returned; a field left out keeps the record's default
// (a missing guidTaskID or guidItem gets a fresh one, a missing guidTask
// the task's, a missing nIndex the item's place, a missing dwLength the
// distance between the trim points). The null GUID as a
// guidTaskID, a GUID given twice and an item that names another task are
// refused. Throws JsonError. checked, when given, is told after each task
// how many of how many are checked (for a progress line).
std::vector<SQZGeZhuanTaskInfo> TasksFromDocument(
    const std::string& text, const std::function<void(size_t done, size_t total)>& checked = nullptr);

// Reads an array of item objects (the arrItems of one task) for task.
std::vector<SQZGeZhuanItemInfo> ItemsFromDocument(const std::string& text, const GUID& task);

// The same for an array already parsed, standing at path in its document.
std::vector<SQZGeZhuanItemInfo> ItemsFromJson(const Json& array, const std::string& path, const GUID& task);

}  // namespace qz::records
