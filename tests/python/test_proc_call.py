"""pyodbc calls procedures through each build: {call p(?)} with an input
parameter returns the procedure's result set (pyodbc has no output
parameters), the same prepared call runs again with another value, and a
procedure that only changes data leaves no result set behind. On HSQLDB and
(py_test_proc_call_pg, QMR_DSNS) on PostgreSQL, where the call escape runs
a function."""
import unittest

import pyodbc

import qmr_testlib

DSNS = qmr_testlib.dsns()  # QMR_DSNS


def on_pg(dsn):
    return dsn.startswith("QmrPg")


class ProcCall(unittest.TestCase):
    def each_connection(self):
        return qmr_testlib.each_connection(self, DSNS, autocommit=True)

    def create_rows_proc(self, cur, dsn, name):
        if on_pg(dsn):
            cur.execute("DROP FUNCTION IF EXISTS %s(INTEGER)" % name)
            cur.execute("CREATE FUNCTION %s(n INTEGER) RETURNS TABLE(k INTEGER, label VARCHAR(20))"
                        " LANGUAGE sql AS $$ SELECT g, 'r' || g || '\u00e9'"
                        " FROM generate_series(1, n) g $$" % name)
        else:
            cur.execute("DROP PROCEDURE %s IF EXISTS" % name)
            cur.execute("CREATE PROCEDURE %s(IN n INTEGER) READS SQL DATA DYNAMIC RESULT SETS 1"
                        " BEGIN ATOMIC DECLARE cur CURSOR WITH RETURN FOR"
                        " SELECT c1, 'r' || CAST(c1 AS VARCHAR(5)) || '\u00e9'"
                        " FROM (VALUES (1), (2), (3), (4)) AS t(c1) WHERE c1 <= n;"
                        " OPEN cur; END" % name)

    def test_call_with_input_returns_rows(self):
        for dsn, cnxn in self.each_connection():
            name = "qmr_pyrows_" + dsn.lower()
            cur = cnxn.cursor()
            self.create_rows_proc(cur, dsn, name)
            cur.execute("{call %s(?)}" % name, 3)
            self.assertEqual([(1, "r1\u00e9"), (2, "r2\u00e9"), (3, "r3\u00e9")],
                             [tuple(r) for r in cur.fetchall()])
            # The same text again: another value, another result.
            cur.execute("{call %s(?)}" % name, 1)
            self.assertEqual([(1, "r1\u00e9")], [tuple(r) for r in cur.fetchall()])
            cur.execute("{call %s(?)}" % name, 0)
            self.assertEqual([], cur.fetchall())

    def test_call_that_changes_data(self):
        for dsn, cnxn in self.each_connection():
            table = "qmr_pylog_" + dsn.lower()
            name = "qmr_pyins_" + dsn.lower()
            cur = cnxn.cursor()
            # The procedure depends on the table: it goes first.
            drop = ("DROP PROCEDURE IF EXISTS %s(INTEGER, VARCHAR)" if on_pg(dsn)
                    else "DROP PROCEDURE %s IF EXISTS") % name
            cur.execute(drop)
            cur.execute("DROP TABLE IF EXISTS " + table)
            cur.execute("CREATE TABLE %s (id INTEGER, note VARCHAR(30))" % table)
            if on_pg(dsn):
                cur.execute("CREATE PROCEDURE %s(a INTEGER, t VARCHAR) LANGUAGE sql AS"
                            " $$ INSERT INTO %s VALUES (a, t) $$" % (name, table))
                sql = "CALL %s(?, ?)" % name
            else:
                cur.execute("CREATE PROCEDURE %s(IN a INTEGER, IN t VARCHAR(30)) MODIFIES SQL DATA"
                            " BEGIN ATOMIC INSERT INTO %s VALUES (a, t); END" % (name, table))
                sql = "{call %s(?, ?)}" % name
            cur.execute(sql, 7, "seven \u20ac")
            cur.execute(sql, 8, None)
            cur.execute("SELECT id, note FROM %s ORDER BY id" % table)
            self.assertEqual([(7, "seven \u20ac"), (8, None)], [tuple(r) for r in cur.fetchall()])
            cur.execute(drop)
            cur.execute("DROP TABLE " + table)


if __name__ == "__main__":
    unittest.main()
