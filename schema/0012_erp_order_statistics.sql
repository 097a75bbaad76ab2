-- Schema version 12: what SQLite's planner is told of the ERP order headers' indexes.
--
-- Without statistics SQLite takes an equality on an index's first column to select about ten
-- rows. Making a cancelled chain's ERP orders no longer to be fulfilled looks them up from the
-- chain's document ids; with three ids or more the planner preferred the company alone on the
-- headers' key, and walked every ERP order of the company once for each cancellation. These rows
-- say what the indexes are, as the register's do: the company selects every order, its
-- registration number one, a GUID one; a document code, section and year many, a number one.
-- They are shapes, not counts, written only where the file has no measured ones; an
-- ANALYZE replaces them.
-- kvad: sqlite only
ANALYZE sqlite_master;
INSERT INTO sqlite_stat1 (tbl, idx, stat)
    SELECT 'DO11_DOCTESTATA', idx, stat FROM (
        SELECT 'sqlite_autoindex_DO11_DOCTESTATA_1' AS idx, '100000 100000 1' AS stat
        UNION ALL SELECT 'DO11_DOCTESTATA_GUID', '100000 1'
        UNION ALL SELECT 'DO11_DOCTESTATA_DITTA_GUID', '100000 100000 1'
        UNION ALL SELECT 'DO11_DOCTESTATA_NUMBER', '100000 100000 20000 10000 5000 1')
    WHERE NOT EXISTS (SELECT 1 FROM sqlite_stat1 WHERE tbl = 'DO11_DOCTESTATA');
ANALYZE sqlite_master;
-- kvad: end
