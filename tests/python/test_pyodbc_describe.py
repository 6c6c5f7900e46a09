"""pyodbc binds by the types SQLDescribeParam answers when fast_executemany
is on: 10,000 rows into INTEGER, BIGINT, NUMERIC(12,2), VARCHAR(40), DATE,
TIMESTAMP and DOUBLE columns land exactly, on PostgreSQL too (which refuses
text for a typed column), and Decimal values with fractions go through
execute and executemany (pyodbc refuses a fraction beyond the described
scale before anything reaches the driver)."""
import datetime
from decimal import Decimal
import unittest

import qmr_testlib

DSNS = qmr_testlib.dsns()  # QMR_DSNS
ROWS = 10000


def row(i):
    return (i,
            i * 3000000001,
            Decimal("%d.%02d" % (i - 5000, i % 100)),
            "fast-%d-\u00e4" % i if i % 9 else None,
            datetime.date(1990 + i % 40, 1 + i % 12, 1 + i % 28),
            datetime.datetime(2021, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60),
            i / 8.0)


class DescribedParams(unittest.TestCase):
    def each_table(self):
        for dsn, cnxn in qmr_testlib.each_connection(self, DSNS, autocommit=True):
            table = "qmr_pyd_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            cur.execute("CREATE TABLE %s (i INTEGER, big BIGINT, num NUMERIC(12,2),"
                        " name VARCHAR(40), d DATE, ts TIMESTAMP, dbl DOUBLE PRECISION)" % table)
            yield table, cur

    def test_fast_executemany_lands_every_value(self):
        for table, cur in self.each_table():
            rows = [row(i) for i in range(ROWS)]
            cur.fast_executemany = True
            cur.executemany("INSERT INTO %s VALUES (?, ?, ?, ?, ?, ?, ?)" % table, rows)
            cur.fast_executemany = False
            cur.execute("SELECT i, big, num, name, d, ts, dbl FROM %s ORDER BY i" % table)
            self.assertEqual(rows, [tuple(r) for r in cur.fetchall()])

    def test_decimal_fractions_through_execute_and_executemany(self):
        for table, cur in self.each_table():
            cur.execute("INSERT INTO %s (i, num) VALUES (?, ?)" % table, 1, Decimal("12.34"))
            for fast in (False, True):
                cur.fast_executemany = fast
                cur.executemany("INSERT INTO %s (i, num) VALUES (?, ?)" % table,
                                [(2, Decimal("12.34")), (3, Decimal("-0.05"))])
            cur.fast_executemany = False
            cur.execute("UPDATE %s SET num = num + ? WHERE i = ?" % table, Decimal("0.01"), 3)
            cur.execute("SELECT i, num FROM %s ORDER BY i, num" % table)
            self.assertEqual([(1, Decimal("12.34")), (2, Decimal("12.34")), (2, Decimal("12.34")),
                              (3, Decimal("-0.04")), (3, Decimal("-0.04"))],
                             [tuple(r) for r in cur.fetchall()])


if __name__ == "__main__":
    unittest.main()
