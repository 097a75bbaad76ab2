-- Schema version 4: what the ERP's document import needs: the counters that number its
-- documents, the import layouts that say how a decoded order becomes an ERP order, and the
-- per-line mark of an order line that is no longer to be fulfilled.

-- Registration numbers (DO11_NUMREG_CO99): the last one given, per company. A company without
-- a row starts after the highest registration number its documents already have.
CREATE TABLE CO99_NUMREG (
    CO99_DITTA_CG18  int NOT NULL PRIMARY KEY,
    CO99_ULTIMO      int NOT NULL DEFAULT 0
);

-- Document numbers (DO11_NUMDOC): the last one given, per company, document code, section and
-- year. A missing row starts after the highest number of those documents.
CREATE TABLE DO10_NUMERAZIONE (
    DO10_DITTA_CG18  int          NOT NULL,
    DO10_DOCUM_MG36  varchar(10)  COLLATE NOCASE NOT NULL,
    DO10_SEZDOC      varchar(10)  COLLATE NOCASE NOT NULL,
    DO10_ANNODOC     smallint     NOT NULL,
    DO10_ULTIMO      int          NOT NULL DEFAULT 0,
    PRIMARY KEY (DO10_DITTA_CG18, DO10_DOCUM_MG36, DO10_SEZDOC, DO10_ANNODOC)
);

-- Import layouts, named by the configuration's IE90_TRACCIATO_IE25.
CREATE TABLE IE25_TRACCIATI (
    IE25_CODICE       varchar(20)   COLLATE NOCASE NOT NULL PRIMARY KEY,
    IE25_DESCRIZIONE  nvarchar(100) COLLATE NOCASE NULL
);

-- The fields of a layout: each row fills one column of an ERP document table from one column of
-- the decoded order. Header tables (DO11_DOCTESTATA, DO12_DOCTESTARIF, DO13_DOCPIEDE) read the
-- decoded header IE93_NSOTESTATA, line tables (DO30_DOCCORPO, DO31_DOCCORPOORD) the decoded lines
-- IE95_NSOCORPO. The import object fills the keys itself: company, registration number, GUID,
-- document number and year, and the line number from IE95_DO30_PROGRIGA. Every layout must fill
-- DO11_DOCUM_MG36, DO11_SEZDOC, DO11_DATADOC, DO11_TIPOCF_CG44, DO11_CLIFOR_CG44 and the order's
-- identity DO12_FEIDDOC, DO12_FEDATADOC, DO12_FEIDSOGGETTO, by which the import finds the
-- document it made.
CREATE TABLE IE26_TRACCIATICAMPI (
    IE26_CODICE_IE25  varchar(20)  COLLATE NOCASE NOT NULL
        REFERENCES IE25_TRACCIATI (IE25_CODICE) ON DELETE CASCADE,
    IE26_TABELLA      varchar(30)  COLLATE NOCASE NOT NULL, -- ERP table written
    IE26_CAMPO        varchar(50)  COLLATE NOCASE NOT NULL, -- its column
    IE26_ORIGINE      varchar(50)  COLLATE NOCASE NOT NULL, -- decoded column read
    PRIMARY KEY (IE26_CODICE_IE25, IE26_TABELLA, IE26_CAMPO)
);

-- The layout that `nso init --demo` configures: every decoded value to the ERP field it is
-- named after.
INSERT INTO IE25_TRACCIATI (IE25_CODICE, IE25_DESCRIZIONE) VALUES
    ('NSO', 'Ordini NSO: ogni valore decodificato nel campo del documento da cui prende il nome');

INSERT INTO IE26_TRACCIATICAMPI (IE26_CODICE_IE25, IE26_TABELLA, IE26_CAMPO, IE26_ORIGINE) VALUES
    ('NSO', 'DO11_DOCTESTATA',  'DO11_DOCUM_MG36',     'IE93_DO11_CODDOCUM_MG3G'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_SEZDOC',         'IE93_DO11_SEZDOC'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_DATADOC',        'IE93_DO11_DATADOC'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_TIPOCF_CG44',    'IE93_DO11_TIPOCF_CG44'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_CLIFOR_CG44',    'IE93_DO11_CLIFOR_CG44'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_CODDEP',         'IE93_DO11_CODDEP'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_VALUTA_CG08',    'IE93_DO11_VALUTA_CG08'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_UFFICIOPA_CG1M', 'IE93_DO11_UFFICIOPA_CG1M'),
    ('NSO', 'DO11_DOCTESTATA',  'DO11_CLIFORDEST',     'IE93_DO11_CLIFORDEST'),
    ('NSO', 'DO12_DOCTESTARIF', 'DO12_FEIDDOC',        'IE93_DO12_FEIDDOC'),
    ('NSO', 'DO12_DOCTESTARIF', 'DO12_FEDATADOC',      'IE93_DO12_FEDATADOC'),
    ('NSO', 'DO12_DOCTESTARIF', 'DO12_FEIDSOGGETTO',   'IE93_DO12_FEIDSOGGETTO'),
    ('NSO', 'DO12_DOCTESTARIF', 'DO12_NOTEVSDOC',      'IE93_DO12_NOTEVSDOC'),
    ('NSO', 'DO13_DOCPIEDE',    'DO13_SCIMPCASSA',     'IE93_DO13_SCIMPCASSA'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_INDTIPORIGA',    'IE95_DO30_INDTIPORIGA'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_CODART_MG66',    'IE95_DO30_CODART_MG66'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_OPZIONE_MG5E',   'IE95_DO30_OPZIONE_MG5E'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_DESCART',        'IE95_DO30_DESCART'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_QTA1',           'IE95_DO30_QTA1'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_PREZZO1',        'IE95_DO30_PREZZO1'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_SCPER1',         'IE95_DO30_SCPER1'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_SCPER2',         'IE95_DO30_SCPER2'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_SCPER3',         'IE95_DO30_SCPER3'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_SCPER4',         'IE95_DO30_SCPER4'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_SCPER5',         'IE95_DO30_SCPER5'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_SCPER6',         'IE95_DO30_SCPER6'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_SCIMP',          'IE95_DO30_SCIMP'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_MAGPER1',        'IE95_DO30_MAGPER1'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_MAGPER2',        'IE95_DO30_MAGPER2'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_MAGIMP',         'IE95_DO30_MAGIMP'),
    ('NSO', 'DO30_DOCCORPO',    'DO30_ALIVA_CG28',     'IE95_DO30_ALIVA_CG28'),
    ('NSO', 'DO31_DOCCORPOORD', 'DO31_DATACONS',       'IE95_DO31_DATACONS');

-- An order line that is no longer to be fulfilled (its order was replaced by a revision).
-- DO11_FLGNONPIUEV marks the order once none of its lines is still open.
ALTER TABLE DO31_DOCCORPOORD ADD COLUMN DO31_FLGNONPIUEV smallint NOT NULL DEFAULT 0;
