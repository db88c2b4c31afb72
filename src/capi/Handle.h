// What a handle of the C interface holds (one control object, the setting
// it was opened with and its last failure: text, kind and SQLSTATE), and
// the frame every call runs in, so that no C++ exception crosses into C.
#pragma once

#include <QZNVGeZhuanDB.h>
#include <QZNVGeZhuanDBControl.h>

#include <string>

struct QZNVGeZhuanDB {
  CQZNVGeZhuanDBControl control;
  DBsSetNode node;
  bool open = false;
  std::u16string error;
  int kind = QZNV_GEZHUAN_OK;
  std::string sql_state;
};

namespace qz::capi {

// Records the failure of the call running on db; returns 0, its answer.
int Fail(QZNVGeZhuanDB* db, int kind, const std::string& why, const std::string& sql_state = std::string());

// A failure refused before the database.
inline int Fail(QZNVGeZhuanDB* db, const std::string& why) { return Fail(db, QZNV_GEZHUAN_REFUSED, why); }

// After the class answered 0: what the database said, when it failed (the
// class has written its lines to the debug output as well); otherwise the
// answer was found before it, and why says so with its kind.
int FailOperation(QZNVGeZhuanDB* db, const std::string& what, int kind, const std::string& why);

// Clears db's last failure before a call.
void Begin(QZNVGeZhuanDB* db);

// Records what the running call threw; the exception is current.
int FailThrown(QZNVGeZhuanDB* db);

// Opens db's connection on node, replacing the one it had; 0 with the
// engine's reason when the database cannot be opened.
int OpenNode(QZNVGeZhuanDB* db, const DBsSetNode& node);

// Runs body on a live handle: clears the last error first, turns a false
// result or anything thrown into 0 with its reason.
template <typename Body>
int Run(QZNVGeZhuanDB* db, bool needs_connection, Body body) {
  if (db == nullptr) return 0;
  Begin(db);
  if (needs_connection && !db->open) return Fail(db, "no database is open: call QZNVGeZhuanDB_Open first");
  try {
    return body();
  } catch (...) {
    return FailThrown(db);
  }
}

}  // namespace qz::capi
