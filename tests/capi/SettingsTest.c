/*
 * The suite's named settings through the C interface, from a program
 * compiled as C: the six read in their order, one saved and read back
 * (text outside the BMP included) while the others stay, a database opened
 * by a setting's name, an unknown name and an incomplete setting refused
 * with a reason, and the dialog: refused where the build has none,
 * cancelled by the user (a thread of this program) where it has one.
 * On Linux the store is the file $QZ_DB_SETTINGS; on Windows the registry
 * of the Wine prefix the test runs in. Exit status 0 when every check held.
 */
#include <QZNVGeZhuanDB.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uchar.h>

#include "Check.h"

#ifdef _WIN32
#include <windows.h>
#endif

#define U(text) ((const QZNVChar*)(text))

static int Same(const QZNVChar* text, const char16_t* expected) {
  return text != NULL && Length(text) == Length(U(expected)) &&
         memcmp(text, expected, Length(text) * sizeof(QZNVChar)) == 0;
}

static int Contains(const QZNVChar* text, const char16_t* needle) {
  const size_t n = Length(text), m = Length(U(needle));
  for (size_t i = 0; i + m <= n; ++i)
    if (memcmp(text + i, needle, m * sizeof(QZNVChar)) == 0) return 1;
  return 0;
}

static int Kind(QZNVGeZhuanDB* db) { return QZNVGeZhuanDB_LastErrorState(db, NULL, 0); }

#ifdef _WIN32
/* Cancels the settings dialog of this process once it shows. */
static BOOL CALLBACK CancelIfOurs(HWND window, LPARAM found) {
  DWORD process = 0;
  wchar_t name[16];
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  if (GetClassNameW(window, name, 16) == 0 || wcscmp(name, L"#32770") != 0) return TRUE;
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  *(int*)found = 1;
  return FALSE;
}

static DWORD WINAPI CancelDialog(LPVOID unused) {
  int found = 0;
  (void)unused;
  for (int i = 0; i < 500 && !found; ++i) {
    EnumWindows(CancelIfOurs, (LPARAM)&found);
    if (!found) Sleep(20);
  }
  return 0;
}
#endif

static const char16_t* const kNames[QZNV_GEZHUAN_SETTING_COUNT] = {
    u"CommonDataDBSetting",    u"NetManageDBSetting",      u"UserVerifyDBSetting",
    u"AccountManageDBSetting", u"LogEventManageDBSetting", u"QZNVCENTERDBSetting"};

int main(void) {
  QZNVGeZhuanDB* db = QZNVGeZhuanDB_Create();
  QZNVGeZhuanDBSetting all[QZNV_GEZHUAN_SETTING_COUNT];
  QZNVGeZhuanDBSetting one;
  remove("设置 settings-test.db");
#ifndef _WIN32
  if (getenv("QZ_DB_SETTINGS") != NULL) remove(getenv("QZ_DB_SETTINGS")); /* start from an empty store */
#endif

  /* The six, in their order, each with a caption; an empty store has
   * only incomplete ones, and opening by name says so. */
  CHECK(QZNVGeZhuanDB_GetSettings(db, all) == 1);
  for (int i = 0; i < QZNV_GEZHUAN_SETTING_COUNT; ++i) {
    CHECK(Same(all[i].strSettingName, kNames[i]));
    CHECK(all[i].strCaption != NULL && Length(all[i].strCaption) > 0);
  }
  QZNVGeZhuanDB_FreeSettings(all, QZNV_GEZHUAN_SETTING_COUNT);
  CHECK(all[0].strSettingName == NULL);

  /* Save this library's setting under the name in another case: it is
   * stored under the setting's own name, the others stay as they were. */
  memset(&one, 0, sizeof one);
  one.nDBType = 0;
  one.strSettingName = U(u"qznvcenterdbsetting");
  one.strConnect1 = U(u".");
  one.strConnect2 = U(u"设置 settings-test.db");
  one.strConnect3 = U(u"用户 \U0001D11E");
  CHECK(QZNVGeZhuanDB_SetSetting(db, &one) == 1);
  memset(&one, 0, sizeof one);
  CHECK(QZNVGeZhuanDB_GetSetting(db, U(u"QZNVCENTERDBSetting"), &one) == 1);
  CHECK(one.nDBType == 0 && Same(one.strConnect1, u".") && Same(one.strConnect2, u"设置 settings-test.db"));
  CHECK(Same(one.strConnect3, u"用户 \U0001D11E") && Same(one.strConnect4, u""));
  CHECK(Same(one.strSettingName, u"QZNVCENTERDBSetting"));
  QZNVGeZhuanDB_FreeSettings(&one, 1);
  CHECK(QZNVGeZhuanDB_GetSetting(db, U(u"CommonDataDBSetting"), &one) == 1 && Length(one.strConnect1) == 0);
  QZNVGeZhuanDB_FreeSettings(&one, 1);

  /* A line break: the registry keeps it whole; an INI file cannot, and the
   * setting is refused and stays as it was. */
  memset(&one, 0, sizeof one);
  one.strSettingName = U(u"QZNVCENTERDBSetting");
  one.strConnect1 = U(u"two\nlines");
  one.strConnect2 = U(u"x.db");
#ifdef _WIN32
  CHECK(QZNVGeZhuanDB_SetSetting(db, &one) == 1);
  CHECK(QZNVGeZhuanDB_GetSetting(db, U(u"QZNVCENTERDBSetting"), &one) == 1 && Same(one.strConnect1, u"two\nlines"));
  QZNVGeZhuanDB_FreeSettings(&one, 1);
  memset(&one, 0, sizeof one);
  one.strSettingName = U(u"QZNVCENTERDBSetting");
  one.strConnect1 = U(u".");
  one.strConnect2 = U(u"设置 settings-test.db");
  one.strConnect3 = U(u"用户 \U0001D11E");
  CHECK(QZNVGeZhuanDB_SetSetting(db, &one) == 1);
#else
  CHECK(QZNVGeZhuanDB_SetSetting(db, &one) == 0);
  CHECK(Kind(db) == QZNV_GEZHUAN_REFUSED && Length(QZNVGeZhuanDB_LastError(db)) > 0);
  CHECK(QZNVGeZhuanDB_GetSetting(db, U(u"QZNVCENTERDBSetting"), &one) == 1 && Same(one.strConnect1, u"."));
  QZNVGeZhuanDB_FreeSettings(&one, 1);
#endif

  /* A name that is none of the six is refused, naming the six. */
  memset(&one, 0xAB, sizeof one); /* what an uninitialized struct holds: emptied, safe to free */
  CHECK(QZNVGeZhuanDB_GetSetting(db, U(u"NoSuchSetting"), &one) == 0);
  CHECK(one.strConnect1 == NULL && one.strSettingName == NULL);
  QZNVGeZhuanDB_FreeSettings(&one, 1);
  CHECK(Kind(db) == QZNV_GEZHUAN_REFUSED && Contains(QZNVGeZhuanDB_LastError(db), u"QZNVCENTERDBSetting"));
  one.strSettingName = U(u"NoSuchSetting");
  CHECK(QZNVGeZhuanDB_SetSetting(db, &one) == 0 && Kind(db) == QZNV_GEZHUAN_REFUSED);
  CHECK(QZNVGeZhuanDB_OpenBySetting(db, U(u"NetManageDBSetting")) == 0);
  CHECK(Kind(db) == QZNV_GEZHUAN_REFUSED && Contains(QZNVGeZhuanDB_LastError(db), u"incomplete"));
  CHECK(QZNVGeZhuanDB_GetSettings(db, NULL) == 0 && Kind(db) == QZNV_GEZHUAN_REFUSED);

  /* Open by the setting's name, and use the database it names: a task
   * under a new GUID, deleted again by it. */
  CHECK(QZNVGeZhuanDB_OpenBySetting(db, U(u"QZNVCENTERDBSetting")) == 1);
  CHECK(QZNVGeZhuanDB_CreateTables(db) == 1);
  {
    QZNVChar guid[37], other[37];
    QZNVChar task[] = u"[{\"guidTaskID\": \"________-____-____-____-____________\"}]";
    QZNVChar* tasks = NULL;
    QZNVGeZhuanDB_NewGuid(guid);
    QZNVGeZhuanDB_NewGuid(other);
    CHECK(Length(guid) == 36 && guid[8] == '-' && guid[14] == '4' && memcmp(guid, other, sizeof guid) != 0);
    memcpy(task + 17, guid, 36 * sizeof(QZNVChar));
    CHECK(QZNVGeZhuanDB_AddTasks(db, task) == 1);
    CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &tasks) == 1 && Contains(tasks, U(guid)));
    QZNVGeZhuanDB_FreeText(tasks);
    CHECK(QZNVGeZhuanDB_DeleteTask(db, guid) == 1);
    CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &tasks) == 0 && Kind(db) == QZNV_GEZHUAN_NOTHING_FOUND);
  }

  /* The dialog. */
#ifdef _WIN32
  {
    HANDLE canceller = CreateThread(NULL, 0, CancelDialog, NULL, 0, NULL);
    CHECK(QZNVGeZhuanDB_ShowSettingsDialog(db, all) == 0);
    CHECK(Kind(db) == QZNV_GEZHUAN_CANCELLED);
    CHECK(Same(all[5].strSettingName, u"QZNVCENTERDBSetting") && Same(all[5].strConnect2, u"设置 settings-test.db"));
    QZNVGeZhuanDB_FreeSettings(all, QZNV_GEZHUAN_SETTING_COUNT);
    WaitForSingleObject(canceller, INFINITE);
    CloseHandle(canceller);
  }
#else
  CHECK(QZNVGeZhuanDB_ShowSettingsDialog(db, all) == 0);
  CHECK(Kind(db) == QZNV_GEZHUAN_REFUSED && Contains(QZNVGeZhuanDB_LastError(db), u"no settings dialog"));
#endif

  QZNVGeZhuanDB_Destroy(db);
  remove("设置 settings-test.db");
  remove("设置 settings-test.db-wal");
  remove("设置 settings-test.db-shm");
  if (failures == 0) puts("settings through the C interface: every check held");
  return failures == 0 ? 0 : 1;
}
