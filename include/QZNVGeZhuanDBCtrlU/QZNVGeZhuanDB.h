/*
 * QZNVGeZhuanDB.h: the C interface of QZNVGeZhuanDBCtrlU, for callers that
 * cannot use the C++ class: programs built with another compiler than the
 * library (a C++ class exported from a DLL binds its callers to the
 * compiler that built it) and other languages (Python's ctypes, C#, Delphi).
 * The same operations as CQZNVGeZhuanDBControl, on an opaque handle.
 *
 *   QZNVGeZhuanDB* db = QZNVGeZhuanDB_Create();
 *   if (QZNVGeZhuanDB_Open(db, 0, u"C:\\data", u"gezhuan.db", NULL, NULL)) {
 *     QZNVChar* tasks = NULL;
 *     if (QZNVGeZhuanDB_GetTasks(db, u"", &tasks)) {
 *       ...                               (a JSON array of tasks)
 *       QZNVGeZhuanDB_FreeText(tasks);
 *     }
 *   } else {
 *     ... QZNVGeZhuanDB_LastError(db) ...
 *   }
 *   QZNVGeZhuanDB_Destroy(db);
 *
 * Text is UTF-16, NUL-terminated, in QZNVChar units (wchar_t on Windows;
 * char16_t literals, u"...", everywhere). A NULL text argument is the
 * empty text. Text the library returns through an out parameter belongs to
 * the caller, who frees it with QZNVGeZhuanDB_FreeText.
 *
 * Every call returns 1 on success and 0 on failure, as the class does; a
 * query that finds nothing is 0 as well. After a 0, QZNVGeZhuanDB_LastError
 * says why. A handle is used by one thread at a time; different handles may
 * be used from different threads at once. Nothing is thrown.
 *
 * Records travel as JSON text (UTF-16 like all text), with the field names
 * of the C++ records:
 *   task:  {"guidTaskID": "0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9",
 *           "strTaskName": "...", "strTaskHint", "strPreferUserName",
 *           "guidPreferUser", "strFirstAuditorName", "guidFirstAuditor",
 *           "strSecondAuditorname", "guidSecondAuditor", "strFirstAuditInfo",
 *           "strSecondAuditInfo", "odtTaskPrepareBegin": "2024-03-01T09:00:00",
 *           "odtTaskBeginDateTime", "odtTaskEndDateTime", "dwDuration": 0,
 *           "enumTaskType", "enumTaskEditStatus", "enumTaskRunStatus",
 *           "strOrgTapeTypeName", "guidOrgTapeType", "strDSTTapeTypeName",
 *           "guidDSTTapeType", "ORGDeviceGuid", "DSTDeviceGuid",
 *           "ORGVAPortGuid", "DSTVAPortGuid", "ORGCtrlPortGuid",
 *           "DSTCtrlPortGuid", "strORGDeviceName", "strDSTDeviceName",
 *           "arrItems": [item, ...]}
 *   item:  {"guidTask", "guidItem", "strItemName", "nItemType", "dwTrimIn",
 *           "dwTrimOut", "dwLength", "nIndex"}
 *   group: {"guidGroupID", "strGroupName", "strGroupHint"}
 *   tape:  {"TAPEGUID", "TAPENAME", "TAPEHINT", "guidGroupID", "nMaxLength",
 *           "bIfDefault"}
 * GUIDs are GUID text; date-times are ISO 8601 local time without a zone,
 * "YYYY-MM-DDTHH:MM:SS", or null for an invalid date-time (read also with a
 * blank for the T, and without the seconds or the time); n/enum/b fields
 * are signed 32-bit numbers, dw fields unsigned 32-bit numbers. On input a
 * field left out keeps the record's default (a new task's
 * odtTaskPrepareBegin is now, its begin and end 1900-01-01 01:01:01); a
 * field of the wrong type, an unknown field, a field given twice in one
 * object or text that is not JSON refuses the whole call before anything is
 * written.
 */
#ifndef QZNVGEZHUANDB_H
#define QZNVGEZHUANDB_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(QZ_STATIC_LIBRARIES)
#define QZNV_GEZHUAN_C_API
#elif defined(QZNV_GEZHUAN_BUILD)
#define QZNV_GEZHUAN_C_API __declspec(dllexport)
#else
#define QZNV_GEZHUAN_C_API __declspec(dllimport)
#endif
#else
#define QZNV_GEZHUAN_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One UTF-16 code unit. */
typedef uint16_t QZNVChar;

/* A control object with its connection; opaque. */
typedef struct QZNVGeZhuanDB QZNVGeZhuanDB;

/* A new handle without a connection; NULL only when memory ran out. */
QZNV_GEZHUAN_C_API QZNVGeZhuanDB* QZNVGeZhuanDB_Create(void);

/* Closes the connection, if any, and frees the handle. NULL is allowed. */
QZNV_GEZHUAN_C_API void QZNVGeZhuanDB_Destroy(QZNVGeZhuanDB* db);

/* Why the last call on db that returned 0 failed; the empty text after a
 * call that succeeded. Valid until the next call on db. */
QZNV_GEZHUAN_C_API const QZNVChar* QZNVGeZhuanDB_LastError(QZNVGeZhuanDB* db);

/* Frees text the library returned. NULL is allowed. */
QZNV_GEZHUAN_C_API void QZNVGeZhuanDB_FreeText(QZNVChar* text);

/* --- Connection ---------------------------------------------------------
 * kind: 0 the embedded SQLite database (connect1 folder, connect2 file or
 * ":memory:"), 2 PostgreSQL, 4 ODBC; the kind codes of DBsSetNode. */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_Open(QZNVGeZhuanDB* db, int kind, const QZNVChar* connect1,
                                          const QZNVChar* connect2, const QZNVChar* connect3, const QZNVChar* connect4);
/* Closes the connection; 1 also when there was none. */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_Close(QZNVGeZhuanDB* db);
/* Create the four tables where missing / add the small sample catalogue of
 * tape groups and tape types, on the database db was opened with, through
 * a connection of their own (so not on ":memory:", which is a database of
 * each connection). */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_CreateTables(QZNVGeZhuanDB* db);
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_AddSampleCatalogue(QZNVGeZhuanDB* db);

/* --- Conversion tasks with their items ----------------------------------
 * condition: SQL after "where" (empty: every row), as in the C++ class. */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_AddTasks(QZNVGeZhuanDB* db, const QZNVChar* tasks_json);
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_GetTasks(QZNVGeZhuanDB* db, const QZNVChar* condition, QZNVChar** tasks_json);
/* One task object; with_items nonzero also replaces its items by arrItems. */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_ModifyTask(QZNVGeZhuanDB* db, const QZNVChar* task_json, int with_items);
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_DeleteTask(QZNVGeZhuanDB* db, const QZNVChar* task_guid);

/* --- Conversion items ---------------------------------------------------- */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_AddItems(QZNVGeZhuanDB* db, const QZNVChar* items_json);
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_GetItems(QZNVGeZhuanDB* db, const QZNVChar* condition, QZNVChar** items_json);
/* By task, by item, or one item of one task: NULL or empty for either. */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_DeleteItems(QZNVGeZhuanDB* db, const QZNVChar* task_guid,
                                                 const QZNVChar* item_guid);

/* --- The tape catalogue, read only --------------------------------------- */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_GetTapeGroups(QZNVGeZhuanDB* db, const QZNVChar* condition,
                                                   QZNVChar** groups_json);
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_GetTapes(QZNVGeZhuanDB* db, const QZNVChar* condition, QZNVChar** tapes_json);
/* The default tape type as one tape object. */
QZNV_GEZHUAN_C_API int QZNVGeZhuanDB_GetDefaultTape(QZNVGeZhuanDB* db, QZNVChar** tape_json);

#ifdef __cplusplus
}
#endif

#endif /* QZNVGEZHUANDB_H */
