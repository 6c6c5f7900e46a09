"""pyodbc runs statements on each backend's data sources: HSQLDB in memory by
default, the throw-away PostgreSQL server when CTest names its data sources in
QMR_DSNS (py_test_backend_query_pg)."""
import datetime
from decimal import Decimal
import unittest

import pyodbc

import qmr_testlib

DSNS = qmr_testlib.dsns()  # QMR_DSNS


class BackendQuery(unittest.TestCase):
    def each_connection(self):
        return qmr_testlib.each_connection(self, DSNS)

    def test_dbms_of_the_data_source(self):
        for dsn, cnxn in self.each_connection():
            expected = "PostgreSQL" if dsn.startswith("QmrPg") else "HSQL Database Engine"
            self.assertEqual(expected, cnxn.getinfo(pyodbc.SQL_DBMS_NAME))

    def test_table_rows_and_description(self):
        for dsn, cnxn in self.each_connection():
            table = "qmr_pyq_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            cur.execute("CREATE TABLE %s (id INTEGER, name VARCHAR(30), amount DECIMAL(12,2))"
                        % table)
            cur.execute("INSERT INTO %s VALUES (1, 'eins', 1.25), (2, 'zwei', NULL)" % table)
            self.assertEqual(2, cur.rowcount)
            cur.execute("UPDATE %s SET name = 'deux' WHERE id = 2" % table)
            self.assertEqual(1, cur.rowcount)
            cur.execute("SELECT id, name, amount FROM %s ORDER BY id" % table)
            self.assertEqual(["id", "name", "amount"], [c[0].lower() for c in cur.description])
            rows = [tuple(r) for r in cur.fetchall()]
            self.assertEqual([(1, "eins", Decimal("1.25")), (2, "deux", None)], rows)
            cur.close()
            cnxn.cursor().execute("DROP TABLE " + table)

    def test_values_of_each_type(self):
        for dsn, cnxn in self.each_connection():
            table = "qmr_pytypes_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            cur.execute("CREATE TABLE %s (i INTEGER, b BIGINT, v VARCHAR(30), d DOUBLE PRECISION,"
                        " n DECIMAL(12,2), dt DATE, ts TIMESTAMP)" % table)
            cur.execute("INSERT INTO %s VALUES (-7, 9007199254740993, 'gr\u00fc\u00df \u20ac',"
                        " 0.125, -1234567.89, DATE '2024-02-29', TIMESTAMP '2001-02-03 04:05:06')"
                        % table)
            row = cur.execute("SELECT i, b, v, d, n, dt, ts FROM " + table).fetchone()
            self.assertEqual((-7, 9007199254740993, "gr\u00fc\u00df \u20ac", 0.125,
                              Decimal("-1234567.89"), datetime.date(2024, 2, 29),
                              datetime.datetime(2001, 2, 3, 4, 5, 6)), tuple(row))
            self.assertIsNone(cur.fetchone())
            cur.execute("DROP TABLE " + table)

    def test_commit_and_rollback_with_autocommit_on(self):
        # Applications commit unconditionally; in auto-commit mode there is
        # nothing to end, and every row is already there for others to see.
        for dsn, cnxn in qmr_testlib.each_connection(self, DSNS, autocommit=True):
            table = "qmr_pyac_" + dsn.lower()
            cur = cnxn.cursor()
            cur.execute("DROP TABLE IF EXISTS " + table)
            cur.execute("CREATE TABLE %s (n INTEGER)" % table)
            cur.execute("INSERT INTO %s VALUES (1)" % table)
            cnxn.commit()
            cur.execute("INSERT INTO %s VALUES (2)" % table)
            cnxn.rollback()
            other = pyodbc.connect("DSN=" + dsn)
            rows = other.cursor().execute("SELECT n FROM %s ORDER BY n" % table).fetchall()
            other.close()
            self.assertEqual([1, 2], [r[0] for r in rows])
            cur.execute("DROP TABLE " + table)

    def test_server_error_names_the_table(self):
        for dsn, cnxn in self.each_connection():
            with self.assertRaises(pyodbc.Error) as cm:
                cnxn.cursor().execute("SELECT * FROM qmr_no_such_table")
            self.assertIn("qmr_no_such_table", str(cm.exception).lower())


if __name__ == "__main__":
    unittest.main()
