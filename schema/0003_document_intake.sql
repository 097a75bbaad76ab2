-- Schema version 3: how each received document was taken in.
--
-- The retrieval writes a document's register row, its XML, its staging rows, its error-log
-- entries, its references and its row here in one transaction. A registered document without a
-- row here was cut short (a crash or a database failure under a program that did not keep the
-- document whole, or a program that does not write this table), and so was a document whose
-- staging rows no longer number what the row says: the next retrieval takes both in again.
-- The outcome says what became of the document, in words for the user when it was not loaded.
CREATE TABLE KVAD_DOCUMENT_INTAKE (
    INTAKE_ID_IE91         int            NOT NULL PRIMARY KEY
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    -- 0 loaded, 1 download failed, 2 empty, 3 unreadable, 4 not an Order, 5 load failed,
    -- 6 reference unreadable
    INTAKE_OUTCOME         smallint       NOT NULL,
    INTAKE_REASON          nvarchar(1000) COLLATE NOCASE NULL, -- why it was not loaded
    -- staging rows when the intake ended: IE92, IE96, IE94, IE9A
    INTAKE_HEADERS         int            NOT NULL,
    INTAKE_HEADER_CHARGES  int            NOT NULL,
    INTAKE_LINES           int            NOT NULL,
    INTAKE_LINE_CHARGES    int            NOT NULL
);
