UPDATE t SET a = ?, "b""c" = ? FROM u WHERE u.k = t.k AND d BETWEEN ? AND 'x''y' AND e IN (SELECT f FROM g WHERE h LIKE ?)
