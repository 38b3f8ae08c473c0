-- The directory each operator last exported to, per program (the generation of text files
-- keeps its own, "REC12006").
CREATE TABLE DIRETORIOOPER (
  CDOPERADOR TEXT NOT NULL,
  CDPROGRAMA TEXT NOT NULL,
  DSDIRETORIO TEXT,
  PRIMARY KEY (CDOPERADOR, CDPROGRAMA)
);
