#include "capi/Handle.h"

#include <new>
#include <stdexcept>

#include "capi/Utf16Text.h"
#include "control/LastFailure.h"
#include "platform/TextEncoding.h"
#include "records/RecordJson.h"

namespace qz::capi {

int Fail(QZNVGeZhuanDB* db, int kind, const std::string& why, const std::string& sql_state) {
  db->error = Utf8ToUtf16(why);
  db->kind = kind;
  db->sql_state = sql_state;
  return 0;
}

int FailOperation(QZNVGeZhuanDB* db, const std::string& what, int kind, const std::string& why) {
  const qz::control::Failure failure = qz::control::LastFailure();
  if (!failure.recorded) return Fail(db, kind, why);
  return Fail(db, QZNV_GEZHUAN_DATABASE, what + ": " + qz::platform::WideToUtf8(failure.message), failure.sql_state);
}

void Begin(QZNVGeZhuanDB* db) {
  db->error.clear();
  db->kind = QZNV_GEZHUAN_OK;
  db->sql_state.clear();
  qz::control::ForgetFailure();
}

int OpenNode(QZNVGeZhuanDB* db, const DBsSetNode& node) {
  db->open = false;
  if (!db->control.OpenQZNVGeZhuanDB(node))
    return FailOperation(db, "the database could not be opened", QZNV_GEZHUAN_DATABASE,
                         "the database could not be opened");
  db->node = node;
  db->open = true;
  return 1;
}

int FailThrown(QZNVGeZhuanDB* db) {
  try {
    throw;
  } catch (const qz::records::JsonError& e) {
    return Fail(db, e.what());
  } catch (const TextError& e) {
    return Fail(db, e.what());
  } catch (const std::bad_alloc&) {
    return Fail(db, QZNV_GEZHUAN_OTHER, "out of memory");
  } catch (const std::exception& e) {
    return Fail(db, QZNV_GEZHUAN_OTHER, e.what());
  } catch (CQZDBException* e) {
    const std::string message = qz::platform::WideToUtf8(e->GetErrorMessage());
    const std::string sql_state = e->GetSQLState();
    e->Delete();
    return Fail(db, QZNV_GEZHUAN_DATABASE, message, sql_state);
  } catch (...) {
    return Fail(db, QZNV_GEZHUAN_OTHER, "an unexpected failure");
  }
}

}  // namespace qz::capi
