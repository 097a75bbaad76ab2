-- kvad: foreign keys off
-- kvad: sqlite only
-- Schema version 6: the register keeps each document's XML in its last column. SQLite reaches a
-- column stored after a long value by walking that value's overflow pages, so every read of a
-- document's reference, processed mark or ERP order link went through its whole XML. The table is
-- rebuilt with the same rows, ids and id sequence; the staging tables, the log and the intake
-- records keep referring to it by name (foreign keys are off while it is rebuilt, and checked
-- before the change is kept).
CREATE TABLE KVAD_IE91_REBUILT (
    IE91_ID                 INTEGER      PRIMARY KEY AUTOINCREMENT,
    IE91_DITTA_CG18         int          NOT NULL,
    IE91_STATUS             smallint     NULL DEFAULT 0,
    IE91_DATAORA_RICEZIONE  datetime     NULL,
    IE91_ID_FW07            int          NULL,
    IE91_HUBID              varchar(100) COLLATE NOCASE NULL, -- the platform's document id
    IE91_IDORD              varchar(50)  COLLATE NOCASE NULL, -- order number
    IE91_ISSUEDATE          datetime     NULL,                -- order date
    IE91_ENDPOINTID         varchar(50)  COLLATE NOCASE NULL, -- buyer's endpoint id
    IE91_OPERAZIONE         smallint     NULL DEFAULT 0,      -- 0 order, 1 revision, 2 cancellation
    IE91_RIF_IDORD          varchar(50)  COLLATE NOCASE NULL, -- the order revised or cancelled
    IE91_RIF_ISSUEDATE      datetime     NULL,
    IE91_RIF_ENDPOINTID     varchar(50)  COLLATE NOCASE NULL,
    IE91_PROCESSATO         smallint     NULL DEFAULT 0,      -- 1: dealt with; Null counts as 0
    IE91_GUID_DO11          varchar(36)  COLLATE NOCASE NULL, -- DO11_GUID of the ERP order made
    IE91_XML                ntext        NULL                 -- the UBL document, Null until downloaded
);
INSERT INTO KVAD_IE91_REBUILT (IE91_ID, IE91_DITTA_CG18, IE91_STATUS, IE91_DATAORA_RICEZIONE,
    IE91_ID_FW07, IE91_HUBID, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE,
    IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, IE91_PROCESSATO, IE91_GUID_DO11,
    IE91_XML)
SELECT IE91_ID, IE91_DITTA_CG18, IE91_STATUS, IE91_DATAORA_RICEZIONE, IE91_ID_FW07, IE91_HUBID,
    IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID, IE91_OPERAZIONE, IE91_RIF_IDORD,
    IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID, IE91_PROCESSATO, IE91_GUID_DO11, IE91_XML
FROM IE91_NSOFILES ORDER BY IE91_ID;
-- A deleted document's id is never given again: the sequence goes on from where it was.
DELETE FROM sqlite_sequence WHERE name = 'KVAD_IE91_REBUILT';
INSERT INTO sqlite_sequence (name, seq)
    SELECT 'KVAD_IE91_REBUILT', seq FROM sqlite_sequence WHERE name = 'IE91_NSOFILES';
DROP TABLE IE91_NSOFILES;
ALTER TABLE KVAD_IE91_REBUILT RENAME TO IE91_NSOFILES;
CREATE UNIQUE INDEX IE91_NSOFILES_DOCUMENTO
    ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_IDORD, IE91_ISSUEDATE, IE91_ENDPOINTID);
CREATE INDEX IE91_NSOFILES_RIFERIMENTO
    ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_RIF_IDORD, IE91_RIF_ISSUEDATE, IE91_RIF_ENDPOINTID);
CREATE INDEX IE91_NSOFILES_GUID_DO11 ON IE91_NSOFILES (IE91_DITTA_CG18, IE91_GUID_DO11);
-- kvad: end
