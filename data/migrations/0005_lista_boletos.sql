-- The register lists a company's boletos by due date, branch and entry number. With the index
-- in that order the list is read already sorted; before, SQLite sorted every row of it, with
-- all its columns, in a temporary tree. It also serves whatever the old company and due-date
-- index served, so that one goes.
CREATE INDEX BOLRECEBER_LISTA ON BOLRECEBER (CDEMPRESA, DTVENBOLREC, CDFILIAL, NRLANBOLREC);
DROP INDEX BOLRECEBER_EMPRESA;
