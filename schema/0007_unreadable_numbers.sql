-- Schema version 7: numbers of an order that could not be read.
--
-- The staging writer stores a number it cannot read (text, or too large for a decimal) as 0, and
-- keeps the text it found here, beside the staged row it belongs to. Decoding compares each of
-- them with the decoded value it fed: while that value is still the 0 the text became, the order
-- carries decoding message 107 and is held for a clerk instead of being imported with 0. The
-- rows of a document are replaced whenever its staging rows are.
CREATE TABLE KVAD_UNREADABLE_NUMBER (
    UNREADABLE_ID        INTEGER       PRIMARY KEY AUTOINCREMENT,
    UNREADABLE_ID_IE91   int           NOT NULL
        REFERENCES IE91_NSOFILES (IE91_ID) ON DELETE CASCADE,
    UNREADABLE_TABLE     varchar(30)   COLLATE NOCASE NOT NULL, -- the staging table
    UNREADABLE_ROW       int           NOT NULL,                -- its row: IE92_ID, IE96_ID, ...
    UNREADABLE_COLUMN    varchar(100)  COLLATE NOCASE NOT NULL, -- the staging column
    UNREADABLE_TEXT      nvarchar(200) COLLATE NOCASE NOT NULL  -- the text the order holds
);
CREATE INDEX KVAD_UNREADABLE_NUMBER_ID_IE91 ON KVAD_UNREADABLE_NUMBER (UNREADABLE_ID_IE91);

INSERT INTO IE97_NSO_ERRORS (IE97_CODE, IE97_MESSAGE) VALUES
    (107, 'Il valore "%1" dell''ordine non è un numero leggibile ed è stato preso come 0: correggere il campo');
