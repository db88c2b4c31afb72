// The item listing shared by GetGeZhuanItemsByCondition and the task
// listing, which must tell a task without items from a failed item query.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <string>
#include <vector>

#include "control/OperationFrame.h"

namespace qz::tasks {

// The rows of "select * from GeZhuanTaskItem" with condition appended (see
// WithCondition) into *items, read through control's item row mapping.
// REQUIRES: database is control's usable connection; items != nullptr.
control::ListOutcome ListItems(CQZNVGeZhuanDBControl& control, CQZDatabase* database, const std::wstring& condition,
                               std::vector<SQZGeZhuanItemInfo>* items);

}  // namespace qz::tasks
