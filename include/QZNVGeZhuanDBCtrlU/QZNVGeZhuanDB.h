/*
 * QZNVGeZhuanDB.h: the C interface of QZNVGeZhuanDBCtrlU, for callers that
 * cannot use the C++ class: programs built with another compiler than the
 * library (a C++ class exported from a DLL binds its callers to the
 * compiler that built it) and other languages (Python's ctypes, C#, Delphi).
 * The same operations as CQZNVGeZhuanDBControl, on an opaque handle.
 *
 *   QZNVGeZhuanDB* db = QZNVGeZhuanDB_Create();
 *   if (QZNVGeZhuanDB_Open(db, 0, QZNV_TEXT("C:\\data"), QZNV_TEXT("gezhuan.db"), NULL, NULL)) {
 *     QZNVChar* tasks = NULL;
 *     if (QZNVGeZhuanDB_GetTasks(db, QZNV_TEXT(""), &tasks)) {
 *       ...                               (a JSON array of tasks)
 *       QZNVGeZhuanDB_FreeText(tasks);
 *     }
 *   } else {
 *     char state[6];
 *     int kind = QZNVGeZhuanDB_LastErrorState(db, state, sizeof state);
 *     ... QZNVGeZhuanDB_LastError(db) ...
 *   }
 *   QZNVGeZhuanDB_Destroy(db);
 *
 * Text is UTF-16, NUL-terminated, in QZNVChar units: 16 bits in every
 * language and on every platform. To C it is uint16_t; to C++ it is wchar_t
 * on Windows, so that Win32 strings and L"..." pass as they are, and
 * char16_t elsewhere, so that u"..." does. QZNV_TEXT("...") is a literal of
 * the right type everywhere. A NULL text argument is the empty text. Text
 * the library returns through an out parameter belongs to the caller, who
 * frees it with QZNVGeZhuanDB_FreeText. Text that UTF-16 cannot carry
 * whole (a lone surrogate) is refused, never replaced.
 *
 * Every call returns 1 on success and 0 on failure, as the class does; a
 * query that finds nothing is 0 as well. After a 0, QZNVGeZhuanDB_LastError
 * says why, in the database's own words where the database failed, and
 * QZNVGeZhuanDB_LastErrorState tells the kinds of failure apart. A handle
 * is used by one thread at a time; different handles may be used from
 * different threads at once. Nothing is thrown.
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
 * odtTaskPrepareBegin is now, its begin and end 1900-01-01 01:01:01). In
 * the tasks given to AddTasks and the items of a task, a guidTaskID or
 * guidItem left out is a new random GUID, an item's guidTask the task's
 * and its nIndex its place in arrItems; the null GUID as a guidTaskID, a
 * GUID given twice and an item naming another task are refused. A field of
 * the wrong type, an unknown field, a field given twice in one object or
 * text that is not JSON refuses the whole call before anything is written.
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

/* Every call uses the C calling convention, stated so that a caller whose
 * compiler defaults to another one (MSVC's /Gz or /Gr) still agrees. */
#if defined(_WIN32)
#define QZNV_CALL __cdecl
#else
#define QZNV_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One UTF-16 code unit. */
#if defined(__cplusplus) && defined(_WIN32)
typedef wchar_t QZNVChar;
#elif defined(__cplusplus)
typedef char16_t QZNVChar;
#else
typedef uint16_t QZNVChar;
#endif
#if defined(_WIN32)
#define QZNV_TEXT(text) L##text
#else
#define QZNV_TEXT(text) u##text
#endif
#ifdef __cplusplus
static_assert(sizeof(QZNVChar) == 2, "QZNVChar is a 16-bit unit");
#endif

/* A control object with its connection; opaque. */
typedef struct QZNVGeZhuanDB QZNVGeZhuanDB;

/* A new handle without a connection; NULL only when memory ran out. */
QZNV_GEZHUAN_C_API QZNVGeZhuanDB* QZNV_CALL QZNVGeZhuanDB_Create(void);

/* Closes the connection, if any, and frees the handle. NULL is allowed. */
QZNV_GEZHUAN_C_API void QZNV_CALL QZNVGeZhuanDB_Destroy(QZNVGeZhuanDB* db);

/* Why the last call on db that returned 0 failed; the empty text after a
 * call that succeeded. Valid until the next call on db. */
QZNV_GEZHUAN_C_API const QZNVChar* QZNV_CALL QZNVGeZhuanDB_LastError(QZNVGeZhuanDB* db);

/* The kinds of answer QZNVGeZhuanDB_LastErrorState gives. */
enum {
  QZNV_GEZHUAN_OK = 0,            /* the last call succeeded */
  QZNV_GEZHUAN_NOTHING_FOUND = 1, /* a query or a rewrite matched no row */
  QZNV_GEZHUAN_REFUSED = 2,       /* refused before the database: no connection, an argument, JSON or text */
  QZNV_GEZHUAN_DATABASE = 3,      /* the database or its driver failed; a SQLSTATE where it gave one */
  QZNV_GEZHUAN_OTHER = 4,         /* out of memory, or a failure of the library itself */
  QZNV_GEZHUAN_CANCELLED = 5      /* the user cancelled the settings dialog */
};

/* The kind of answer of the last call on db. When sql_state is not NULL
 * and size is at least 6 it receives the SQLSTATE of a database failure
 * (five characters and a NUL), or the empty text; a smaller buffer, when
 * size is not 0, receives the empty text. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_LastErrorState(QZNVGeZhuanDB* db, char* sql_state, size_t size);

/* Frees text the library returned. NULL is allowed. */
QZNV_GEZHUAN_C_API void QZNV_CALL QZNVGeZhuanDB_FreeText(QZNVChar* text);

/* Writes a new random GUID's text (36 characters and a NUL) into guid, to
 * key a new task or item. */
QZNV_GEZHUAN_C_API void QZNV_CALL QZNVGeZhuanDB_NewGuid(QZNVChar guid[37]);

/* --- Connection ---------------------------------------------------------
 * kind: 0 the embedded SQLite database (connect1 folder, connect2 file or
 * ":memory:"), 2 PostgreSQL, 4 ODBC; the kind codes of DBsSetNode. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_Open(QZNVGeZhuanDB* db, int kind, const QZNVChar* connect1,
                                                    const QZNVChar* connect2, const QZNVChar* connect3,
                                                    const QZNVChar* connect4);
/* Closes the connection; 1 also when there was none. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_Close(QZNVGeZhuanDB* db);
/* Create the four tables where missing / add the small sample catalogue of
 * tape groups and tape types, on the database db was opened with, through
 * a connection of their own (so not on ":memory:", which is a database of
 * each connection). */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_CreateTables(QZNVGeZhuanDB* db);
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_AddSampleCatalogue(QZNVGeZhuanDB* db);

/* --- The suite's named connection settings --------------------------------
 * Six settings, in this order: "CommonDataDBSetting", "NetManageDBSetting",
 * "UserVerifyDBSetting", "AccountManageDBSetting",
 * "LogEventManageDBSetting" and "QZNVCENTERDBSetting" (this library's own
 * database). They live in the settings store (the registry on Windows, an
 * INI file elsewhere); a setting the store does not hold reads as kind 0 and
 * four empty texts. A setting is complete when connect1 and connect2 are
 * set. A name is one of the six, in any letter case; any other is refused.
 * None of these calls needs an open database. */
enum { QZNV_GEZHUAN_SETTING_COUNT = 6 };

/* One named setting: the fields of DBsSetNode. Texts the library fills
 * belong to the caller, who frees them with QZNVGeZhuanDB_FreeSettings.
 * A call that fills settings empties them first (every text NULL), so that
 * freeing them is safe whatever it answers. */
typedef struct QZNVGeZhuanDBSetting {
  int nDBType; /* kind code, as QZNVGeZhuanDB_Open takes it */
  const QZNVChar* strConnect1;
  const QZNVChar* strConnect2;
  const QZNVChar* strConnect3;
  const QZNVChar* strConnect4;
  const QZNVChar* strSettingName;
  const QZNVChar* strCaption; /* for display, in the user's language; not stored */
} QZNVGeZhuanDBSetting;

/* All six settings, in the order above, into settings[0..5]. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_GetSettings(QZNVGeZhuanDB* db,
                                                           QZNVGeZhuanDBSetting settings[QZNV_GEZHUAN_SETTING_COUNT]);
/* The setting called name into *setting. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_GetSetting(QZNVGeZhuanDB* db, const QZNVChar* name,
                                                          QZNVGeZhuanDBSetting* setting);
/* Saves the kind and four texts of *setting under its strSettingName (its
 * caption is not stored); the other settings stay as they are. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_SetSetting(QZNVGeZhuanDB* db, const QZNVGeZhuanDBSetting* setting);
/* Opens the database the setting called name describes, as
 * QZNVGeZhuanDB_Open would; an incomplete setting is refused. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_OpenBySetting(QZNVGeZhuanDB* db, const QZNVChar* name);
/* Shows the settings dialog with the six settings, which saves what the
 * user confirms. 1 when accepted; 0 with QZNV_GEZHUAN_CANCELLED when the
 * user cancelled, or with QZNV_GEZHUAN_REFUSED when this build has no
 * dialog (only the Windows build has one). When settings is not NULL it
 * receives the six settings as the dialog left them, also after a cancel. */
QZNV_GEZHUAN_C_API int QZNV_CALL
QZNVGeZhuanDB_ShowSettingsDialog(QZNVGeZhuanDB* db, QZNVGeZhuanDBSetting settings[QZNV_GEZHUAN_SETTING_COUNT]);
/* Frees the texts of count settings the library filled and sets them to
 * NULL. Settings whose texts are NULL are allowed. */
QZNV_GEZHUAN_C_API void QZNV_CALL QZNVGeZhuanDB_FreeSettings(QZNVGeZhuanDBSetting* settings, size_t count);

/* --- Conversion tasks with their items ----------------------------------
 * condition: SQL after "where" (empty: every row), as in the C++ class. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_AddTasks(QZNVGeZhuanDB* db, const QZNVChar* tasks_json);
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_GetTasks(QZNVGeZhuanDB* db, const QZNVChar* condition,
                                                        QZNVChar** tasks_json);
/* One task object; with_items nonzero also replaces its items by arrItems. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_ModifyTask(QZNVGeZhuanDB* db, const QZNVChar* task_json, int with_items);
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_DeleteTask(QZNVGeZhuanDB* db, const QZNVChar* task_guid);

/* --- Conversion items ---------------------------------------------------- */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_AddItems(QZNVGeZhuanDB* db, const QZNVChar* items_json);
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_GetItems(QZNVGeZhuanDB* db, const QZNVChar* condition,
                                                        QZNVChar** items_json);
/* By task, by item, or one item of one task: NULL or empty for either. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_DeleteItems(QZNVGeZhuanDB* db, const QZNVChar* task_guid,
                                                           const QZNVChar* item_guid);

/* --- The tape catalogue, read only --------------------------------------- */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_GetTapeGroups(QZNVGeZhuanDB* db, const QZNVChar* condition,
                                                             QZNVChar** groups_json);
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_GetTapes(QZNVGeZhuanDB* db, const QZNVChar* condition,
                                                        QZNVChar** tapes_json);
/* The default tape type as one tape object. */
QZNV_GEZHUAN_C_API int QZNV_CALL QZNVGeZhuanDB_GetDefaultTape(QZNVGeZhuanDB* db, QZNVChar** tape_json);

#ifdef __cplusplus
}
#endif

#endif /* QZNVGEZHUANDB_H */
