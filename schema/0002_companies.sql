-- Schema version 2: the ERP's companies, so that a configuration can only be written for a
-- company that exists. `nso init` registers the company of its settings.
CREATE TABLE CG18_DITTA (
    CG18_CODICE    int           NOT NULL PRIMARY KEY,
    CG18_RAGSOC    nvarchar(80)  COLLATE NOCASE NULL,
    CG18_PARTIVA   varchar(16)   COLLATE NOCASE NULL  -- VAT number without the country prefix
);

-- Companies that already have a configuration or received documents exist.
INSERT INTO CG18_DITTA (CG18_CODICE)
    SELECT IE90_DITTA_CG18 FROM IE90_CONFIGNSO
    UNION
    SELECT DISTINCT IE91_DITTA_CG18 FROM IE91_NSOFILES;

-- The chain list joins every document to its ERP order by company and GUID.
CREATE INDEX DO11_DOCTESTATA_DITTA_GUID ON DO11_DOCTESTATA (DO11_DITTA_CG18, DO11_GUID);
