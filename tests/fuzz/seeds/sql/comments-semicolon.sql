/* c */ INSERT INTO t (i) VALUES (?); -- note ?
