-- Login sessions, shared by every server instance on this database. The token itself is never
-- stored, only its SHA-256: a copy of the table opens no session. Times are milliseconds since
-- 1970-01-01 UTC.
CREATE TABLE SESSAO (
  CDSESSAO TEXT PRIMARY KEY,
  CDOPERADOR TEXT NOT NULL,
  NRCRIADA BIGINT NOT NULL,
  NRUSADA BIGINT NOT NULL
);

CREATE INDEX SESSAO_USADA ON SESSAO (NRUSADA);

-- Failed logins, per operator ("O:" and the code typed, known or not) and per address ("E:"
-- and the caller's address): how many in a row, the last one, and the moment before which the
-- next attempt is refused unheard.
CREATE TABLE LOGINFALHA (
  DSCHAVE TEXT PRIMARY KEY,
  QTFALHAS INTEGER NOT NULL,
  NRULTFALHA BIGINT NOT NULL,
  NRBLOQATE BIGINT NOT NULL
);
