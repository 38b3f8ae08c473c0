-- The register's list reads, per boleto, the smallest invoice, fiscal note, issuing branch
-- and vehicle of its receivables in one grouped pass: an index that holds those columns
-- along the boleto key lets that pass read the index alone, never the table.
CREATE INDEX CTRECEBER_BOLETO_LISTA ON CTRECEBER (CDFILBOLREC, NRLANBOLREC, NRDUPLICATA,
  NRNOTAFISC, CDFILIEMIT, CDVIATURA);
