-- An extension that drops a boleto's nosso número keeps, in its history row, the number with
-- the account that issued it and the codes made from it: the bank may hold that number, so
-- numbering never hands it out again to another boleto of the account.
ALTER TABLE PRORROGACAO ADD COLUMN CDREDUCONTANT TEXT;
ALTER TABLE PRORROGACAO ADD COLUMN CDNOSNUMANT TEXT;
ALTER TABLE PRORROGACAO ADD COLUMN CDBARRAANT TEXT;
ALTER TABLE PRORROGACAO ADD COLUMN DSLINHAANT TEXT;
ALTER TABLE PRORROGACAO ADD COLUMN DTPRORROG TEXT;
CREATE INDEX PRORROGACAO_NNUM ON PRORROGACAO (CDREDUCONTANT, CDNOSNUMANT);
