/*
 * The C interface used from a program compiled as C, as a caller built
 * with another compiler would: tasks with items in and out as JSON (text
 * outside the BMP included), rewriting and deleting, the catalogue, and the
 * error text of each handle. Runs on a database file in the working
 * folder; exit status 0 when every check held.
 */
#include <QZNVGeZhuanDB.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <uchar.h>

#include "Check.h"

/* Where needle first occurs in text at or after from, both UTF-16; -1 when
 * it does not. */
static long Position(const QZNVChar* text, const char16_t* needle, size_t from) {
  const size_t n = Length(text), m = Length((const QZNVChar*)needle);
  for (size_t i = from; i + m <= n; ++i)
    if (memcmp(text + i, needle, m * sizeof(QZNVChar)) == 0) return (long)i;
  return -1;
}

static int Contains(const QZNVChar* text, const char16_t* needle) { return Position(text, needle, 0) >= 0; }

static int Count(const QZNVChar* text, const char16_t* needle) {
  int count = 0;
  for (long at = Position(text, needle, 0); at >= 0; at = Position(text, needle, (size_t)at + 1)) ++count;
  return count;
}

#define U(text) ((const QZNVChar*)(text))

static const char16_t kTasks[] =
    u"[{\"guidTaskID\": \"5A3E0001-7C1B-4D2A-9F00-00000000C001\", \"strTaskName\": \"  \U0001D11E 乐谱 转录  \","
    u"  \"odtTaskBeginDateTime\": \"2024-03-01 09:00:00\", \"odtTaskEndDateTime\": null, \"dwDuration\": 4294967295,"
    u"  \"arrItems\": [{\"guidItem\": \"5A3E0001-7C1B-4D2A-9F00-00000000D002\", \"strItemName\": \"正片\", \"nIndex\": "
    u"1,"
    u"                  \"guidTask\": \"5A3E0001-7C1B-4D2A-9F00-00000000C001\"},"
    u"                 {\"guidItem\": \"5A3E0001-7C1B-4D2A-9F00-00000000D001\", \"strItemName\": \"片头\", \"nIndex\": "
    u"0,"
    u"                  \"guidTask\": \"5A3E0001-7C1B-4D2A-9F00-00000000C001\", \"dwTrimOut\": 250}]},"
    u" {\"guidTaskID\": \"5A3E0001-7C1B-4D2A-9F00-00000000C002\", \"strTaskName\": \"second\"}]";

int main(void) {
  QZNVGeZhuanDB* db = QZNVGeZhuanDB_Create();
  CHECK(db != NULL);
  QZNVChar* out = NULL;

  /* Nothing works before Open, and says why. */
  CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &out) == 0);
  CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"QZNVGeZhuanDB_Open"));

  remove("c-interface-test.db");
  CHECK(QZNVGeZhuanDB_Open(db, 0, NULL, U(u"c-interface-test.db"), NULL, NULL) == 1);
  CHECK(Length(QZNVGeZhuanDB_LastError(db)) == 0);
  CHECK(QZNVGeZhuanDB_CreateTables(db) == 1);
  CHECK(QZNVGeZhuanDB_AddSampleCatalogue(db) == 1);

  CHECK(QZNVGeZhuanDB_AddTasks(db, U(kTasks)) == 1);
  CHECK(QZNVGeZhuanDB_GetTasks(db, U(u"guidTaskID = '5A3E0001-7C1B-4D2A-9F00-00000000C001'"), &out) == 1);
  if (out != NULL) {
    /* Trimmed, non-BMP text intact, dw as unsigned, null for the invalid end. */
    CHECK(Contains(out, u"\"strTaskName\":\"\U0001D11E 乐谱 转录\""));
    CHECK(Contains(out, u"\"dwDuration\":4294967295"));
    /* Read with a blank for the T, written in ISO 8601 form. */
    CHECK(Contains(out, u"\"odtTaskBeginDateTime\":\"2024-03-01T09:00:00\""));
    CHECK(Contains(out, u"\"odtTaskEndDateTime\":null"));
    CHECK(Count(out, u"\"guidItem\"") == 2);
    /* Items in nIndex order: the title first. */
    CHECK(Contains(out, u"\"strItemName\":\"片头\",\"nItemType\":0,\"dwTrimIn\":0,\"dwTrimOut\":250"));
    CHECK(Position(out, u"片头", 0) >= 0 && Position(out, u"片头", 0) < Position(out, u"正片", 0));
    QZNVGeZhuanDB_FreeText(out);
    out = NULL;
  }
  CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &out) == 1 && Count(out, u"\"guidTaskID\"") == 2);
  QZNVGeZhuanDB_FreeText(out);
  out = NULL;

  /* A refused document writes nothing and says which field. */
  CHECK(QZNVGeZhuanDB_AddTasks(db, U(u"[{\"strTaskName\": \"x\"}, {\"strTaskNmae\": \"y\"}]")) == 0);
  CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"strTaskNmae"));
  CHECK(QZNVGeZhuanDB_AddTasks(db, U(u"[{\"dwDuration\": -1}]")) == 0);
  CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"dwDuration"));
  CHECK(QZNVGeZhuanDB_AddTasks(db, U(u"[{\"odtTaskBeginDateTime\": \"2008-02-30 12:00:00\"}]")) == 0);
  CHECK(QZNVGeZhuanDB_AddTasks(db, U(u"not json")) == 0);
  /* A key given twice is refused, not decided by the last one. */
  CHECK(QZNVGeZhuanDB_AddTasks(db, U(u"[{\"guidTaskID\": \"5A3E0001-7C1B-4D2A-9F00-00000000C003\", \"arrItems\": "
                                     u"[{\"strItemName\": \"kept\"}], \"arrItems\": []}]")) == 0);
  CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"twice"));
  CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &out) == 1 && Count(out, u"\"guidTaskID\"") == 2);
  QZNVGeZhuanDB_FreeText(out);
  out = NULL;
  /* The database's own refusal: the same key twice. */
  CHECK(QZNVGeZhuanDB_AddTasks(db, U(u"[{\"guidTaskID\": \"5A3E0001-7C1B-4D2A-9F00-00000000C002\"}]")) == 0);
  CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"refused"));

  /* A task left without a GUID gets a new one each time, and its items
   * that name no task are its own: deleting the task takes them along.
   * The null GUID cannot key a task. */
  {
    static const char16_t kUnkeyed[] = u"[{\"strTaskName\": \"unkeyed\", \"arrItems\": [{\"strItemName\": \"i\"}]}]";
    CHECK(QZNVGeZhuanDB_AddTasks(db, U(kUnkeyed)) == 1);
    CHECK(QZNVGeZhuanDB_AddTasks(db, U(kUnkeyed)) == 1);
    CHECK(QZNVGeZhuanDB_GetTasks(db, U(u"strTaskName = 'unkeyed'"), &out) == 1 && Count(out, u"\"guidTaskID\"") == 2);
    CHECK(!Contains(out, u"\"guidTaskID\":\"00000000-0000-0000-0000-000000000000\""));
    if (out != NULL) {
      /* The first task's GUID, taken from the text: delete it with its item. */
      QZNVChar guid[37];
      const long at = Position(out, u"\"guidTaskID\":\"", 0);
      memcpy(guid, out + at + 14, 36 * sizeof(QZNVChar));
      guid[36] = 0;
      QZNVGeZhuanDB_FreeText(out);
      out = NULL;
      CHECK(QZNVGeZhuanDB_DeleteTask(db, guid) == 1);
    }
    CHECK(QZNVGeZhuanDB_GetItems(db, U(u"strItemName = 'i'"), &out) == 1 && Count(out, u"\"guidItem\"") == 1);
    CHECK(!Contains(out, u"\"guidTask\":\"00000000-0000-0000-0000-000000000000\""));
    CHECK(!Contains(out, u"\"guidItem\":\"00000000-0000-0000-0000-000000000000\""));
    QZNVGeZhuanDB_FreeText(out);
    out = NULL;
    CHECK(QZNVGeZhuanDB_AddTasks(db, U(u"[{\"guidTaskID\": \"00000000-0000-0000-0000-000000000000\"}]")) == 0);
    CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"null GUID"));
    CHECK(QZNVGeZhuanDB_GetTasks(db, U(u"strTaskName = 'unkeyed'"), &out) == 1);
    if (out != NULL) {
      const long at = Position(out, u"\"guidTaskID\":\"", 0);
      out[at + 14 + 36] = 0;
      CHECK(QZNVGeZhuanDB_DeleteTask(db, out + at + 14) == 1);
    }
    QZNVGeZhuanDB_FreeText(out);
    out = NULL;
  }

  /* Rewrite a task with its items, then delete one item and a task. */
  CHECK(QZNVGeZhuanDB_ModifyTask(db,
                                 U(u"{\"guidTaskID\": \"5A3E0001-7C1B-4D2A-9F00-00000000C002\", \"strTaskName\": "
                                   u"\"renamed\", \"arrItems\": [{\"guidTask\": "
                                   u"\"5A3E0001-7C1B-4D2A-9F00-00000000C002\", \"strItemName\": \"only\"}]}"),
                                 1) == 1);
  CHECK(QZNVGeZhuanDB_GetItems(db, U(u"guidTask = '5A3E0001-7C1B-4D2A-9F00-00000000C002'"), &out) == 1 &&
        Count(out, u"\"only\"") == 1);
  QZNVGeZhuanDB_FreeText(out);
  out = NULL;
  CHECK(QZNVGeZhuanDB_DeleteItems(db, NULL, U(u"5a3e0001-7c1b-4d2a-9f00-00000000d002")) == 1);
  CHECK(QZNVGeZhuanDB_GetItems(db, U(u"guidTask = '5A3E0001-7C1B-4D2A-9F00-00000000C001'"), &out) == 1 &&
        Count(out, u"\"guidItem\"") == 1);
  QZNVGeZhuanDB_FreeText(out);
  out = NULL;
  CHECK(QZNVGeZhuanDB_DeleteItems(db, NULL, NULL) == 0);
  CHECK(QZNVGeZhuanDB_DeleteTask(db, U(u"{5A3E0001-7C1B-4D2A-9F00-00000000C001}")) == 0);
  CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"GUID text"));
  CHECK(QZNVGeZhuanDB_DeleteTask(db, U(u"5A3E0001-7C1B-4D2A-9F00-00000000C001")) == 1);
  CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &out) == 1 && Count(out, u"\"guidTaskID\"") == 1);
  QZNVGeZhuanDB_FreeText(out);
  out = NULL;

  /* The catalogue. */
  CHECK(QZNVGeZhuanDB_GetTapeGroups(db, NULL, &out) == 1 && Count(out, u"\"guidGroupID\"") >= 2);
  QZNVGeZhuanDB_FreeText(out);
  out = NULL;
  CHECK(QZNVGeZhuanDB_GetDefaultTape(db, &out) == 1 && Contains(out, u"\"bIfDefault\":1"));
  QZNVGeZhuanDB_FreeText(out);
  out = NULL;
  CHECK(QZNVGeZhuanDB_GetTapes(db, U(u"TAPENAME = 'no such tape'"), &out) == 0 && out == NULL);
  CHECK(Length(QZNVGeZhuanDB_LastError(db)) > 0);

  /* Every 0 says why, and which kind of failure it was. */
  {
    char state[6] = "x";
    CHECK(QZNVGeZhuanDB_GetTapes(db, QZNV_TEXT("TAPENAME = 'no such tape'"), &out) == 0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_NOTHING_FOUND && state[0] == 0);
    CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"nothing found"));
    /* The engine's own words, not only "refused". */
    CHECK(QZNVGeZhuanDB_GetTasks(db, QZNV_TEXT("no_such_column = 1"), &out) == 0 && out == NULL);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_DATABASE);
    CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"no_such_column"));
    CHECK(QZNVGeZhuanDB_AddTasks(db, QZNV_TEXT("[{\"guidTaskID\": \"5A3E0001-7C1B-4D2A-9F00-00000000C002\"}]")) == 0);
    CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"UNIQUE"));
    /* The SQLSTATE of what the access component refused for the engine. */
    CHECK(QZNVGeZhuanDB_AddTasks(db, QZNV_TEXT("[{\"strTaskName\": \"a\\u0000b\"}]")) == 0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_DATABASE &&
          strcmp(state, "22021") == 0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, 5) == QZNV_GEZHUAN_DATABASE && state[0] == 0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, NULL, 0) == QZNV_GEZHUAN_DATABASE);
    CHECK(QZNVGeZhuanDB_ModifyTask(db, QZNV_TEXT("{\"guidTaskID\": \"5A3E0001-7C1B-4D2A-9F00-0000000000FF\"}"), 0) ==
          0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_NOTHING_FOUND);
    CHECK(QZNVGeZhuanDB_AddTasks(db, QZNV_TEXT("not json")) == 0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_REFUSED && state[0] == 0);
    CHECK(QZNVGeZhuanDB_GetDefaultTape(db, &out) == 1);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_OK);
    QZNVGeZhuanDB_FreeText(out);
    out = NULL;

    /* A lone surrogate is refused, in a record and in a condition, before
     * the database; nothing is stored in its place. */
    static const QZNVChar kLone[] = {'[', '{', '"', 's', 't', 'r', 'T',    'a', 's', 'k', 'N', 'a',
                                     'm', 'e', '"', ':', '"', 'x', 0xD800, 'y', '"', '}', ']', 0};
    static const QZNVChar kLoneCondition[] = {'s', 't', 'r', 'T', 'a',  's',    'k',  'N',
                                              'a', 'm', 'e', '=', '\'', 0xDC00, '\'', 0};
    CHECK(QZNVGeZhuanDB_AddTasks(db, kLone) == 0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_REFUSED);
    CHECK(Contains(QZNVGeZhuanDB_LastError(db), u"surrogate"));
    CHECK(QZNVGeZhuanDB_GetTasks(db, kLoneCondition, &out) == 0 && out == NULL);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_REFUSED);
    CHECK(QZNVGeZhuanDB_AddTasks(db, QZNV_TEXT("[{\"strTaskName\": \"x\\ud800y\"}]")) == 0);
    CHECK(QZNVGeZhuanDB_GetTasks(db, QZNV_TEXT("strTaskName like 'x%'"), &out) == 0);
    CHECK(QZNVGeZhuanDB_LastErrorState(db, state, sizeof state) == QZNV_GEZHUAN_NOTHING_FOUND);
  }

  /* Each handle keeps its own error text. */
  QZNVGeZhuanDB* other = QZNVGeZhuanDB_Create();
  CHECK(QZNVGeZhuanDB_Open(other, 32, U(u"x"), U(u"y"), NULL, NULL) == 0);
  CHECK(Length(QZNVGeZhuanDB_LastError(other)) > 0);
  /* A file that cannot be opened: the engine says why. */
  CHECK(QZNVGeZhuanDB_Open(other, 0, QZNV_TEXT("no-such-folder/deeper"), QZNV_TEXT("x.db"), NULL, NULL) == 0);
  CHECK(QZNVGeZhuanDB_LastErrorState(other, NULL, 0) == QZNV_GEZHUAN_DATABASE);
  CHECK(Contains(QZNVGeZhuanDB_LastError(other), u"no-such-folder") &&
        !Contains(QZNVGeZhuanDB_LastError(other), u"debug output"));
  CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &out) == 1);
  CHECK(Length(QZNVGeZhuanDB_LastError(db)) == 0 && Length(QZNVGeZhuanDB_LastError(other)) > 0);
  QZNVGeZhuanDB_FreeText(out);
  QZNVGeZhuanDB_Destroy(other);

  CHECK(QZNVGeZhuanDB_Close(db) == 1);
  CHECK(QZNVGeZhuanDB_GetTasks(db, NULL, &out) == 0);
  QZNVGeZhuanDB_Destroy(db);
  QZNVGeZhuanDB_Destroy(NULL);
  QZNVGeZhuanDB_FreeText(NULL);
  remove("c-interface-test.db");
  remove("c-interface-test.db-wal");
  remove("c-interface-test.db-shm");

  if (failures == 0) puts("C interface: every check held");
  return failures == 0 ? 0 : 1;
}
