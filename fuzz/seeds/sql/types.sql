CREATE TABLE V (A bcd(2), B bytes(3), C autoinc, D fmtmemo(12), E graphic(11), PRIMARY KEY (C));
INSERT INTO V (A, B) VALUES (-12.345, NULL);
SELECT * FROM V WHERE A > -(5) OR B IS NOT NULL
