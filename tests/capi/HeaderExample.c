/*
 * The header's example as a caller writes it, built twice from this one
 * text: as C, and as C++ (where QZNVChar is char16_t, or wchar_t on
 * Windows). In C++ the literals of the caller's platform pass as they are:
 * u"..." and char16_t text here, L"..." and wide Win32 strings on Windows.
 * Exit status 0 when every call answered as expected.
 */
#include <QZNVGeZhuanDB.h>
#include <stdio.h>

#ifdef __cplusplus
#include <string>
#endif

int main(void) {
  int failures = 0;
  QZNVGeZhuanDB* db = QZNVGeZhuanDB_Create();
  if (QZNVGeZhuanDB_Open(db, 0, QZNV_TEXT("."), QZNV_TEXT("header-example.db"), NULL, NULL)) {
    QZNVChar* tasks = NULL;
    if (!QZNVGeZhuanDB_CreateTables(db)) ++failures;
    if (QZNVGeZhuanDB_GetTasks(db, QZNV_TEXT(""), &tasks)) {
      QZNVGeZhuanDB_FreeText(tasks); /* an empty database: not reached */
      ++failures;
    } else if (QZNVGeZhuanDB_LastErrorState(db, NULL, 0) != QZNV_GEZHUAN_NOTHING_FOUND) {
      ++failures;
    }
  } else {
    char state[6];
    int kind = QZNVGeZhuanDB_LastErrorState(db, state, sizeof state);
    fprintf(stderr, "open failed: kind %d, SQLSTATE '%s'\n", kind, state);
    ++failures;
  }

#ifdef __cplusplus
#ifdef _WIN32
  const std::wstring condition = L"strTaskName = '" + std::wstring(L"\u65b0\u95fb") + L"'";
  const wchar_t* guid = L"5A3E0001-7C1B-4D2A-9F00-00000000C001";
#else
  const std::u16string condition = u"strTaskName = '" + std::u16string(u"\u65b0\u95fb") + u"'";
  const char16_t* guid = u"5A3E0001-7C1B-4D2A-9F00-00000000C001";
#endif
  QZNVChar* found = nullptr;
  if (QZNVGeZhuanDB_GetTasks(db, condition.c_str(), &found) != 0) ++failures;
  if (QZNVGeZhuanDB_DeleteTask(db, guid) != 1) ++failures;
  /* A setting's texts take the platform's literals as they are. */
  QZNVGeZhuanDBSetting setting = {};
  setting.strSettingName = QZNV_TEXT("NoSuchSetting");
  if (QZNVGeZhuanDB_SetSetting(db, &setting) != 0) ++failures; /* refused: not one of the six */
  if (QZNVGeZhuanDB_GetSetting(db, QZNV_TEXT("QZNVCENTERDBSetting"), &setting) != 1) ++failures;
  QZNVGeZhuanDB_FreeSettings(&setting, 1);
#endif

  QZNVGeZhuanDB_Destroy(db);
  remove("header-example.db");
  if (failures == 0) puts("the header's example: every call answered as expected");
  return failures == 0 ? 0 : 1;
}
