-- The import selection of fiscal notes: a flag per note, "S" to be imported into
-- receivables, "N" not; notes already there start unflagged.
ALTER TABLE NOTAFISCAL ADD COLUMN IDIMPONFCR TEXT DEFAULT 'N';
UPDATE NOTAFISCAL SET IDIMPONFCR = 'N' WHERE IDIMPONFCR IS NULL;
