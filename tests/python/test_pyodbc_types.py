"""pyodbc and the way the driver describes types: a timestamp inserted with
fractions of a second keeps them (pyodbc cuts them to what SQLGetTypeInfo
says TIMESTAMP holds), and array and unbounded text columns come back as
str."""
import datetime
import unittest

import qmr_testlib

DSNS = qmr_testlib.dsns()  # QMR_DSNS


class Types(unittest.TestCase):
    def each_connection(self):
        return qmr_testlib.each_connection(self, DSNS, autocommit=True)

    def test_timestamp_fractions_survive_an_insert(self):
        values = [datetime.datetime(2021, 3, 4, 5, 6, 7, 123456),
                  datetime.datetime(1999, 12, 31, 23, 59, 59, 999999),
                  datetime.datetime(2000, 1, 1, 0, 0, 0, 500000)]
        for dsn, cnxn in self.each_connection():
            table = "qmr_pyts_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            cur.execute("CREATE TABLE %s (id INTEGER, ts TIMESTAMP(6))" % table)
            for i, v in enumerate(values):
                cur.execute("INSERT INTO %s VALUES (?, ?)" % table, i, v)
            cur.execute("SELECT ts FROM %s ORDER BY id" % table)
            self.assertEqual(values, [r[0] for r in cur.fetchall()])

    def test_arrays_and_unbounded_text_read_as_str(self):
        for dsn, cnxn in self.each_connection():
            table = "qmr_pyarr_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            if dsn.startswith("QmrPg"):
                cur.execute("CREATE TABLE %s (a text[], t text, j json)" % table)
                cur.execute("INSERT INTO %s VALUES (ARRAY['a', 'b c'], 'long', '{\"k\": 1}')"
                            % table)
                want = ('{a,"b c"}', "long", '{"k": 1}')
            else:
                cur.execute("CREATE TABLE %s (a INTEGER ARRAY, t LONGVARCHAR, j VARCHAR(10))"
                            % table)
                cur.execute("INSERT INTO %s VALUES (ARRAY[1, 2], 'long', 'short')" % table)
                want = ("ARRAY[1,2]", "long", "short")
            cur.execute("SELECT a, t, j FROM " + table)
            self.assertEqual([str, str, str], [d[1] for d in cur.description])
            self.assertEqual(want, tuple(cur.fetchone()))


if __name__ == "__main__":
    unittest.main()
