-- Schema version 5: indexes that keep decoding and import flat as the ERP's documents grow.

-- "Is this NSO order already an ERP document?" is asked by decoding, by the import and by the
-- document import itself, comparing the order's number, date and sender with null taken as
-- empty. The index is on those expressions exactly as the statements compare them, so that the
-- question is one index lookup instead of a scan of every ERP document.
CREATE INDEX DO12_DOCTESTARIF_NSO_ORDER ON DO12_DOCTESTARIF (
    IFNULL(DO12_FEIDDOC, '') COLLATE NOCASE,
    IFNULL(DO12_FEDATADOC, '1900-01-01 00:00:00') COLLATE NOCASE,
    IFNULL(DO12_FEIDSOGGETTO, '') COLLATE NOCASE
);

-- The highest document number of a document code, section and year, where the counter has no
-- row yet.
CREATE INDEX DO11_DOCTESTATA_NUMBER ON DO11_DOCTESTATA (
    DO11_DITTA_CG18, DO11_DOCUM_MG36, DO11_SEZDOC, DO11_ANNODOC, DO11_NUMDOC
);
