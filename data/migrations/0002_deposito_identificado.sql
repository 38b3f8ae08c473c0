-- The cost centre of a branch, the fourth part of an identified-deposit code.
ALTER TABLE FILIAL ADD COLUMN CDCENTCUST TEXT;
