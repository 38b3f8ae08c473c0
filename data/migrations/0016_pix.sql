-- Boleto with Pix: a collection account may carry the Pix key its boletos are also paid by,
-- and a boleto keeps the "copia e cola" text printed on it (built at emission from the key,
-- or the one the bank returned), which, like its nosso número, never changes once stored.
ALTER TABLE CONTCORR ADD COLUMN DSCHAVEPIX TEXT;
ALTER TABLE BOLRECEBER ADD COLUMN DSPIXBOLREC TEXT;
