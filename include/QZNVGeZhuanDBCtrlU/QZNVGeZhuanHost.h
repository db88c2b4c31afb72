// What a host program sets up around CQZNVGeZhuanDBControl: where the debug
// output goes and the tables of a new database. (Kept apart from the
// exported class so that the class stays exactly what callers know.)
#pragma once

#include <QZNVGeZhuanDBControl.h>

#include <functional>
#include <string>

// Replaces the debug output sink. The library hands it each debug line's
// text exactly (an operation's SQL text, or "Open QZNVMANAGE DBERROR"),
// without a line end. An empty function restores the default: standard
// error, one line per text.
QZNV_GEZHUAN_API void QZNVGeZhuanSetDebugOutput(std::function<void(const std::wstring&)> sink);

// Creates the four tables and their indexes on the database that node names,
// where they do not exist yet. Returns 1 on success; on failure 0, with the
// database's message in *error when error is not null.
QZNV_GEZHUAN_API int QZNVGeZhuanCreateTables(const DBsSetNode& node, std::wstring* error);
