-- What the register's field checks read: the collection instructions each bank accepts, the
-- cheques received from customers, the boletos already cleared by the bank, and the number
-- of the write-off of a boleto.

-- Collection instructions per bank (code of 2 characters, as the boleto stores it).
CREATE TABLE INSTRCOBR (
  CDBANCO TEXT NOT NULL REFERENCES BANCO (CDBANCO),
  CDINSTCOBR TEXT NOT NULL,
  DSINSTCOBR TEXT NOT NULL,
  PRIMARY KEY (CDBANCO, CDINSTCOBR)
);

-- Cheques registered for a customer; CDREDUCONT is the collection account the cheque is
-- deposited in. A cheque is known by its number, bank, agency and account together.
CREATE TABLE CHEQUE (
  NRCHEQUERECE TEXT NOT NULL,
  CDBANCHEQREC TEXT NOT NULL,
  CDAGECHEQREC TEXT NOT NULL,
  CDCNTCHEQREC TEXT NOT NULL,
  CDEMPRESA TEXT NOT NULL REFERENCES EMPRESA (CDEMPRESA),
  CDCLIENTE TEXT NOT NULL REFERENCES CLIENTE (CDCLIENTE),
  VRCHEQUERECE DOUBLE PRECISION NOT NULL,
  IDSITCHEQREC TEXT,
  CDREDUCONT TEXT,
  PRIMARY KEY (NRCHEQUERECE, CDBANCHEQREC, CDAGECHEQREC, CDCNTCHEQREC)
);
CREATE INDEX CHEQUE_CLIENTE ON CHEQUE (CDCLIENTE, NRCHEQUERECE);

-- Boletos cleared by the bank: once here, a boleto is not reshaped (split, joined, deleted).
CREATE TABLE COMPENSACAO (
  CDFILIAL TEXT NOT NULL,
  NRLANBOLREC TEXT NOT NULL,
  DTCOMPENSACAO TEXT NOT NULL,
  PRIMARY KEY (CDFILIAL, NRLANBOLREC),
  FOREIGN KEY (CDFILIAL, NRLANBOLREC) REFERENCES BOLRECEBER (CDFILIAL, NRLANBOLREC)
);

-- The write-off that settled a boleto; a boleto with one can no longer be changed.
ALTER TABLE BOLRECEBER ADD COLUMN NRBAIXAREC TEXT;
