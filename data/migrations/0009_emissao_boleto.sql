-- What an emission leaves on a boleto besides its codes. The model ("1" pre-printed, "2"
-- complete) is recorded with the nosso número it was numbered for, and becomes the boleto's
-- emitted model (IDBOLEMITIDO) once the boleto is marked emitted; the moment of that marking
-- is kept apart from DTEMISSAO, the document's own date, which printing must not move.
ALTER TABLE BOLRECEBER ADD COLUMN IDMODELONUM TEXT;
ALTER TABLE BOLRECEBER ADD COLUMN DTEMITBOLREC TEXT;

-- When a selection list's boletos were marked emitted: the emission reports its list once per
-- row of it, and only the first report has anything to do.
ALTER TABLE LISTA ADD COLUMN DTEMITLISTA TEXT;
