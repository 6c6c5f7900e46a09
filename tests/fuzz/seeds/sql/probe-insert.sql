INSERT INTO s.t VALUES (?, 1, 'a', ?, {d '2020-01-02'})
