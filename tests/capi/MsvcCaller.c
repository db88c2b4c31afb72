/*
 * The C interface from a program built as an MSVC caller builds it: clang
 * for x86_64-pc-windows-msvc, linked by lld-link against the installed
 * MSVC import library QZNVGeZhuanDB.lib. There is no MSVC C runtime here,
 * so the program uses none: its entry is Start, and it reaches Windows
 * through kernel32 alone. Exit status 0 when every check held.
 */
#include <QZNVGeZhuanDB.h>

typedef void* Handle;
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) Handle __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(Handle file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);

static int failures = 0;

static void Say(const char* text) {
  unsigned long length = 0, written = 0;
  while (text[length] != 0) ++length;
  WriteFile(GetStdHandle((unsigned long)-11), text, length, &written, 0);
}

static void Check(int held, const char* what) {
  if (held) return;
  Say("failed: ");
  Say(what);
  Say("\r\n");
  ++failures;
}

static int Contains(const QZNVChar* text, const char* ascii) {
  for (; *text != 0; ++text) {
    int i = 0;
    while (ascii[i] != 0 && text[i] == (QZNVChar)ascii[i]) ++i;
    if (ascii[i] == 0) return 1;
  }
  return 0;
}

/* Static, so that no copy (and no memcpy) is needed to fill it. */
static QZNVChar task[] =
    QZNV_TEXT("[{\"guidTaskID\": \"________-____-____-____-____________\", \"strTaskName\": \"from MSVC\"}]");

void Start(void) {
  QZNVGeZhuanDB* db = QZNVGeZhuanDB_Create();
  QZNVChar guid[37];
  QZNVChar* found = 0;
  QZNVGeZhuanDBSetting settings[QZNV_GEZHUAN_SETTING_COUNT];
  char state[6];

  Check(db != 0, "Create");
  QZNVGeZhuanDB_NewGuid(guid);
  for (int i = 0; i < 36; ++i) task[17 + i] = guid[i];
  Check(QZNVGeZhuanDB_Open(db, 0, QZNV_TEXT("."), QZNV_TEXT("msvc-caller.db"), 0, 0) == 1, "Open");
  Check(QZNVGeZhuanDB_CreateTables(db) == 1, "CreateTables");
  Check(QZNVGeZhuanDB_AddTasks(db, task) == 1, "AddTasks");
  Check(QZNVGeZhuanDB_GetTasks(db, QZNV_TEXT("strTaskName = 'from MSVC'"), &found) == 1, "GetTasks");
  Check(found != 0 && Contains(found, "\"strTaskName\":\"from MSVC\""), "the task read back");
  QZNVGeZhuanDB_FreeText(found);
  Check(QZNVGeZhuanDB_DeleteTask(db, guid) == 1, "DeleteTask");
  /* A failure: its kind and SQLSTATE through a char buffer. */
  Check(QZNVGeZhuanDB_GetTasks(db, QZNV_TEXT("no_such_column = 1"), &found) == 0, "a refused query");
  Check(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_DATABASE, "its kind");
  Check(Contains(QZNVGeZhuanDB_LastError(db), "no_such_column"), "its reason");
  /* The settings struct, as this compiler lays it out. */
  Check(QZNVGeZhuanDB_GetSettings(db, settings) == 1, "GetSettings");
  Check(settings[5].strSettingName != 0 && Contains(settings[5].strSettingName, "QZNVCENTERDBSetting"),
        "the sixth setting's name");
  QZNVGeZhuanDB_FreeSettings(settings, QZNV_GEZHUAN_SETTING_COUNT);
  QZNVGeZhuanDB_Destroy(db);
  if (failures == 0) Say("an MSVC-style caller: every check held\r\n");
  ExitProcess(failures == 0 ? 0 : 1);
}
