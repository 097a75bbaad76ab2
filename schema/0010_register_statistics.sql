-- Schema version 10: what SQLite's planner is told of the register's indexes.
--
-- Without statistics SQLite takes an equality on an index's first column to select about ten
-- rows. On the register's company column, one value for every document, that made it walk an
-- index on the company alone instead of looking documents up by id: reading the chains of a
-- batch, and following its documents to the later ones that refer to them, went through the
-- whole register once per batch. These rows say what the indexes are: the company selects every
-- document, a document's number and date about two, its endpoint one; a reference, or an ERP
-- order's GUID, one. They are shapes, not counts (the planner only compares them); an ANALYZE
-- replaces them with measured ones.
-- kvad: sqlite only
ANALYZE sqlite_master;
DELETE FROM sqlite_stat1 WHERE tbl = 'IE91_NSOFILES';
INSERT INTO sqlite_stat1 (tbl, idx, stat) VALUES
    ('IE91_NSOFILES', 'IE91_NSOFILES_DOCUMENTO', '100000 100000 2 1 1'),
    ('IE91_NSOFILES', 'IE91_NSOFILES_RIFERIMENTO', '100000 100000 2 1 1'),
    ('IE91_NSOFILES', 'IE91_NSOFILES_GUID_DO11', '100000 100000 1');
ANALYZE sqlite_master;
-- kvad: end
