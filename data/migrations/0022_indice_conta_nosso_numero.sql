-- Whether a nosso número is already taken in an account is asked for every boleto numbered.
-- Without an index that leads with the account and the number, SQLite answers it by walking
-- every boleto of the company, which makes numbering a run grow with the size of the table.
CREATE INDEX BOLRECEBER_CONTA_NOSNUM ON BOLRECEBER (CDEMPRESA, CDREDUCONT, CDNOSNUMREC);
