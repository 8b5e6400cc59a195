INSERT INTO T (Id, Name, Day, At, Stamp) VALUES (7, "seven", '2/29/2004', '0:0:0:', '12/31/1999 23:59:59');
UPDATE T SET Amount = Amount * 2 + 1, Note = 'changed' WHERE Day >= '1/1/2000' AND Id <> 2;
DELETE FROM T WHERE Small IS NULL OR Amount < 0;
SELECT DISTINCT Name, Day FROM "T.db" AS t ORDER BY Day DESC, Name
