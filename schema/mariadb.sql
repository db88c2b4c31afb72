-- The tables of the conversion database, for MariaDB (and MySQL)
-- reached through ODBC. Statements end with ";" at the end of a line; each
-- runs on its own.
-- InnoDB for transactions, utf8mb4 so that every character (those outside
-- the BMP too) is kept, and binary collation so that texts compare exactly
-- as on the other engines. GUIDs are their 36-character upper-case text,
-- date-times DATETIME (NULL when invalid), the n/dw/enum/b columns 32-bit
-- integers.

CREATE TABLE IF NOT EXISTS GeZhuanTaskInfo (
  guidTaskID            VARCHAR(36) NOT NULL PRIMARY KEY,
  strTaskName           LONGTEXT,
  strTaskHint           LONGTEXT,
  strPreferUserName     LONGTEXT,
  guidPreferUser        VARCHAR(36),
  strFirstAuditorName   LONGTEXT,
  guidFirstAuditor      VARCHAR(36),
  strSecondAuditorname  LONGTEXT,
  guidSecondAuditor     VARCHAR(36),
  strFirstAuditInfo     LONGTEXT,
  strSecondAuditInfo    LONGTEXT,
  odtTaskPrepareBegin   DATETIME,
  odtTaskBeginDateTime  DATETIME,
  odtTaskEndDateTime    DATETIME,
  dwDuration            INTEGER,
  enumTaskType          INTEGER,
  enumTaskEditStatus    INTEGER,
  enumTaskRunStatus     INTEGER,
  strOrgTapeTypeName    LONGTEXT,
  guidOrgTapeType       VARCHAR(36),
  strDSTTapeTypeName    LONGTEXT,
  guidDSTTapeType       VARCHAR(36),
  ORGDeviceGuid         VARCHAR(36),
  DSTDeviceGuid         VARCHAR(36),
  ORGVAPortGuid         VARCHAR(36),
  DSTVAPortGuid         VARCHAR(36),
  ORGCtrlPortGuid       VARCHAR(36),
  DSTCtrlPortGuid       VARCHAR(36),
  strORGDeviceName      LONGTEXT,
  strDSTDeviceName      LONGTEXT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

-- Items have no key of their own: ItemRowID is a surrogate.
CREATE TABLE IF NOT EXISTS GeZhuanTaskItem (
  ItemRowID    BIGINT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  guidTask     VARCHAR(36),
  guidItem     VARCHAR(36),
  strItemName  LONGTEXT,
  nItemType    INTEGER,
  dwTrimIn     INTEGER,
  dwTrimOut    INTEGER,
  dwLength     INTEGER,
  nIndex       INTEGER,
  INDEX GeZhuanTaskItem_guidItem (guidItem),
  INDEX GeZhuanTaskItem_guidTask_nIndex (guidTask, nIndex)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

CREATE TABLE IF NOT EXISTS VTRTAPEGROUPINFO (
  guidGroupID   VARCHAR(36) NOT NULL PRIMARY KEY,
  strGroupName  LONGTEXT,
  strGroupHint  LONGTEXT
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

CREATE TABLE IF NOT EXISTS VTRTAPEINFO (
  TAPEGUID     VARCHAR(36) NOT NULL PRIMARY KEY,
  TAPENAME     LONGTEXT,
  TAPEHINT     LONGTEXT,
  guidGroupID  VARCHAR(36),
  nMaxLength   INTEGER,
  bIfDefault   INTEGER,
  INDEX VTRTAPEINFO_guidGroupID (guidGroupID)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_bin;

-- One row per writing transaction committed through the ODBC driver, its
-- token stored in the same transaction: the row exists exactly when the
-- transaction committed. A COMMIT whose answer was lost with the link is
-- settled by looking for it on the next connection; Fenced marks a token
-- written by that settling instead, which keeps the lost transaction from
-- committing later. The driver deletes the tokens of commits it knows, and
-- creates the table when a database lacks it.
CREATE TABLE IF NOT EXISTS QZCommitToken (
  Token   CHAR(32) NOT NULL PRIMARY KEY,
  Fenced  BOOLEAN NOT NULL DEFAULT FALSE,
  Stored  TIMESTAMP(6) NOT NULL DEFAULT CURRENT_TIMESTAMP(6)
) ENGINE=InnoDB DEFAULT CHARSET=ascii COLLATE=ascii_bin;
