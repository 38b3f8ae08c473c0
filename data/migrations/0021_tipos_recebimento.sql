-- Payment types of a boleto: the display masks of each bank's agency and account, which a
-- cheque of that bank is shown with, and the cheque identity by which what a registered
-- cheque is already used for is summed.
ALTER TABLE BANCO ADD COLUMN CDPICTAGEN TEXT;
ALTER TABLE BANCO ADD COLUMN CDPICTCONT TEXT;
CREATE INDEX CHEQUEBOLREC_CHEQUE ON CHEQUEBOLREC (NRCHEQBOLREC, CDBANCBOLREC, CDAGENBOLREC,
  CDCONTBOLREC);
