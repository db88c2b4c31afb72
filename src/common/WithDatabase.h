// Connect, do the work, close: the frame of the host calls that work on a
// database named by a setting outside any control object, and of the
// tool's own queries.
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>

namespace qz::common {

// Connects to the database node names and runs work on it. 1 when work
// finished; 0 when the database could not be reached or work threw
// CQZDBException, with the message in *error when error is not null.
int WithDatabase(const DBsSetNode& node, std::wstring* error,
                 const std::function<void(CQZDatabase& database, DATABASETYPE type)>& work);

}  // namespace qz::common
