"""pyodbc binds parameters of the common types through each build: a
10,000-row executemany lands exactly those values, NULLs included, with
and without parameter arrays; UPDATE counts follow the parameters. (Whole
seconds: pyodbc sends timestamp fractions only when SQLGetTypeInfo reports
the precision.)"""
import datetime
from decimal import Decimal
import unittest

import pyodbc

import qmr_testlib

DSNS = qmr_testlib.dsns()  # QMR_DSNS
ROWS = 10000


def row(i):
    return (i,
            "name-%d-\u00e4" % i if i % 7 else None,
            i * 0.5,
            Decimal("%d.%02d" % (i, i % 100)),
            datetime.date(2000 + i % 30, 1 + i % 12, 1 + i % 28),
            datetime.datetime(2020, 1, 1, i % 24, i % 60, i % 60),
            bytes([i % 256, (i * 7) % 256]),
            i * 1000000007)


class Params(unittest.TestCase):
    def each_connection(self):
        return qmr_testlib.each_connection(self, DSNS, autocommit=True)

    def test_executemany_lands_every_value(self):
        for dsn, cnxn in self.each_connection():
            table = "qmr_pyp_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            binary = "BYTEA" if dsn.startswith("QmrPg") else "VARBINARY(4)"
            cur.execute("CREATE TABLE %s (id INTEGER, name VARCHAR(40), dbl DOUBLE PRECISION,"
                        " amount DECIMAL(12,2), d DATE, ts TIMESTAMP(6), b %s,"
                        " big BIGINT)" % (table, binary))
            rows = [row(i) for i in range(ROWS)]
            # Row by row, and as one array bound by the described types.
            for fast in (False, True):
                cur.execute("DELETE FROM " + table)
                cur.fast_executemany = fast
                cur.executemany("INSERT INTO %s VALUES (?, ?, ?, ?, ?, ?, ?, ?)" % table, rows)
                cur.execute("SELECT COUNT(*), COUNT(name), SUM(id), SUM(big) FROM " + table)
                self.assertEqual((ROWS, ROWS - (ROWS + 6) // 7, sum(range(ROWS)),
                                  sum(i * 1000000007 for i in range(ROWS))), tuple(cur.fetchone()))
                cur.execute("SELECT id, name, dbl, amount, d, ts, b, big FROM %s ORDER BY id"
                            % table)
                got = [tuple(r) for r in cur.fetchall()]
                self.assertEqual(rows, got)

    def test_fast_executemany_sends_one_parameter_array(self):
        # pyodbc's array mode binds each column once, by the C type of its
        # first value and the SQL type SQLDescribeParam answers. (The typed
        # columns on PostgreSQL are test_pyodbc_describe's.) Unbounded
        # columns (BYTEA, TEXT) are described with size 0, so pyodbc sends
        # their values at execution instead of a buffer of their full size.
        for dsn, cnxn in self.each_connection():
            table = "qmr_pyf_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            pg = dsn.startswith("QmrPg")
            cur.execute("CREATE TABLE %s (id INTEGER, name %s, dbl DOUBLE PRECISION,"
                        " d DATE, b %s, big BIGINT)"
                        % (table, "TEXT" if pg else "VARCHAR(40)", "BYTEA" if pg else "VARBINARY(4)"))
            rows = [(i, "fast-%d-\u00e4" % i if i % 5 else None, i * 0.25,
                     datetime.date(2001 + i % 20, 1 + i % 12, 1 + i % 28),
                     bytes([i % 256, 255 - i % 256]), i * 3000000001) for i in range(2000)]
            cur.fast_executemany = True
            cur.executemany("INSERT INTO %s VALUES (?, ?, ?, ?, ?, ?)" % table, rows)
            cur.fast_executemany = False
            cur.execute("SELECT id, name, dbl, d, b, big FROM %s ORDER BY id" % table)
            self.assertEqual(rows, [tuple(r) for r in cur.fetchall()])

    def test_update_counts_with_parameters(self):
        for dsn, cnxn in self.each_connection():
            table = "qmr_pyu_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            cur.execute("CREATE TABLE %s (id INTEGER, v VARCHAR(10))" % table)
            cur.executemany("INSERT INTO %s VALUES (?, ?)" % table, [(i, "x") for i in range(50)])
            cur.execute("UPDATE %s SET v = ? WHERE id < ?" % table, "y", 20)
            self.assertEqual(20, cur.rowcount)
            cur.execute("SELECT COUNT(*) FROM %s WHERE v = ?" % table, "y")
            self.assertEqual(20, cur.fetchone()[0])


if __name__ == "__main__":
    unittest.main()
