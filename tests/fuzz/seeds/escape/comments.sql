INSERT INTO t VALUES (?) -- ? {
; /* { ? */