-- The four tables of the conversion database, for PostgreSQL, and one of
-- the library's own.
-- Statements end with ";" at the end of a line; each runs on its own.
-- Names are unquoted, so the server folds them to lower case; the library
-- sends them unquoted too, and reads columns by name without regard to case.
-- GUIDs are their 36-character upper-case text, date-times are timestamps
-- (NULL when invalid), the n/dw/enum/b columns 32-bit integers.

CREATE TABLE IF NOT EXISTS GeZhuanTaskInfo (
  guidTaskID            VARCHAR(36) NOT NULL PRIMARY KEY,
  strTaskName           TEXT,
  strTaskHint           TEXT,
  strPreferUserName     TEXT,
  guidPreferUser        VARCHAR(36),
  strFirstAuditorName   TEXT,
  guidFirstAuditor      VARCHAR(36),
  strSecondAuditorname  TEXT,
  guidSecondAuditor     VARCHAR(36),
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
  guidOrgTapeType       VARCHAR(36),
  strDSTTapeTypeName    TEXT,
  guidDSTTapeType       VARCHAR(36),
  ORGDeviceGuid         VARCHAR(36),
  DSTDeviceGuid         VARCHAR(36),
  ORGVAPortGuid         VARCHAR(36),
  DSTVAPortGuid         VARCHAR(36),
  ORGCtrlPortGuid       VARCHAR(36),
  DSTCtrlPortGuid       VARCHAR(36),
  strORGDeviceName      TEXT,
  strDSTDeviceName      TEXT
);

-- Items have no key of their own: ItemRowID is a surrogate.
CREATE TABLE IF NOT EXISTS GeZhuanTaskItem (
  ItemRowID    BIGSERIAL PRIMARY KEY,
  guidTask     VARCHAR(36),
  guidItem     VARCHAR(36),
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
  guidGroupID   VARCHAR(36) NOT NULL PRIMARY KEY,
  strGroupName  TEXT,
  strGroupHint  TEXT
);

CREATE TABLE IF NOT EXISTS VTRTAPEINFO (
  TAPEGUID     VARCHAR(36) NOT NULL PRIMARY KEY,
  TAPENAME     TEXT,
  TAPEHINT     TEXT,
  guidGroupID  VARCHAR(36),
  nMaxLength   INTEGER,
  bIfDefault   INTEGER
);
CREATE INDEX IF NOT EXISTS VTRTAPEINFO_guidGroupID ON VTRTAPEINFO (guidGroupID);

-- The library's own. Every transaction that writes stores a token here (128
-- random bits) in the same flight as its COMMIT, so the row exists exactly
-- when the transaction committed: a COMMIT whose answer was lost, to a
-- broken link or a failover, is settled by looking for it on the server
-- reached next. Fenced marks a token written by that settling instead,
-- which keeps the lost transaction from committing later. Rows are deleted
-- once their commits are known, and any left behind after a day. The
-- driver creates the table when a database lacks it.
CREATE TABLE IF NOT EXISTS QZCommitToken (
  Token   UUID NOT NULL PRIMARY KEY,
  Fenced  BOOLEAN NOT NULL DEFAULT false,
  Stored  TIMESTAMPTZ NOT NULL DEFAULT clock_timestamp()
);
