-- The four tables of the conversion database, for SQLite.
-- Statements end with ";" at the end of a line; each runs on its own.
-- GUIDs are stored as their 36-character upper-case text, date-times as
-- 'YYYY-MM-DD HH:MM:SS' text (NULL when invalid), integers as 32-bit values.

CREATE TABLE IF NOT EXISTS GeZhuanTaskInfo (
  guidTaskID            CHAR(36) NOT NULL PRIMARY KEY,
  strTaskName           TEXT,
  strTaskHint           TEXT,
  strPreferUserName     TEXT,
  guidPreferUser        CHAR(36),
  strFirstAuditorName   TEXT,
  guidFirstAuditor      CHAR(36),
  strSecondAuditorname  TEXT,
  guidSecondAuditor     CHAR(36),
  strFirstAuditInfo     TEXT,
  strSecondAuditInfo    TEXT,
  odtTaskPrepareBegin   TIMESTAMP,
  odtTaskBeginDateTime  TIMESTAMP,
  odtTaskEndDateTime    TIMESTAMP,
  dwDuration            INTEGER,
  enumTaskType          INTEGER,
  enumTaskEditStatus    INTEGER,
  enumTaskRunStatus     INTEGER,
  strOrgTapeTypeName    TEXT,
  guidOrgTapeType       CHAR(36),
  strDSTTapeTypeName    TEXT,
  guidDSTTapeType       CHAR(36),
  ORGDeviceGuid         CHAR(36),
  DSTDeviceGuid         CHAR(36),
  ORGVAPortGuid         CHAR(36),
  DSTVAPortGuid         CHAR(36),
  ORGCtrlPortGuid       CHAR(36),
  DSTCtrlPortGuid       CHAR(36),
  strORGDeviceName      TEXT,
  strDSTDeviceName      TEXT
);

-- Items have no key of their own: ItemRowID is a surrogate (SQLite's rowid).
CREATE TABLE IF NOT EXISTS GeZhuanTaskItem (
  ItemRowID    INTEGER PRIMARY KEY,
  guidTask     CHAR(36),
  guidItem     CHAR(36),
  strItemName  TEXT,
  nItemType    INTEGER,
  dwTrimIn     INTEGER,
  dwTrimOut    INTEGER,
  dwLength     INTEGER,
  nIndex       INTEGER
);
CREATE INDEX IF NOT EXISTS GeZhuanTaskItem_guidItem ON GeZhuanTaskItem (guidItem);
CREATE INDEX IF NOT EXISTS GeZhuanTaskItem_guidTask_nIndex ON GeZhuanTaskItem (guidTask, nIndex);

CREATE TABLE IF NOT EXISTS VTRTAPEGROUPINFO (
  guidGroupID   CHAR(36) NOT NULL PRIMARY KEY,
  strGroupName  TEXT,
  strGroupHint  TEXT
);

CREATE TABLE IF NOT EXISTS VTRTAPEINFO (
  TAPEGUID     CHAR(36) NOT NULL PRIMARY KEY,
  TAPENAME     TEXT,
  TAPEHINT     TEXT,
  guidGroupID  CHAR(36),
  nMaxLength   INTEGER,
  bIfDefault   INTEGER
);
CREATE INDEX IF NOT EXISTS VTRTAPEINFO_guidGroupID ON VTRTAPEINFO (guidGroupID);
