"""pyodbc reads a long text value in pieces with SQLGetData: a first piece
of 4096 bytes, taken as full when it is cut, then the rest. A value of
characters outside the basic plane (a surrogate pair each in UTF-16, four
bytes each in UTF-8) must come back exactly, read as UTF-16 (SQL_C_WCHAR)
and as UTF-8 (SQL_C_CHAR), through each build."""
import unittest

import pyodbc

import qmr_testlib

DSNS = qmr_testlib.dsns()  # QMR_DSNS

MOON = "\U0001F31C"
# More than 1024 of them: the first piece of each read ends inside one.
VALUE = MOON * 1100 + "xyz"
PATHS = {
    "wide": ("utf-16le", pyodbc.SQL_WCHAR),
    "narrow": ("utf-8", pyodbc.SQL_CHAR),
}


class LongText(unittest.TestCase):
    def test_a_long_value_outside_the_basic_plane_comes_back_exactly(self):
        for dsn, cnxn in qmr_testlib.each_connection(self, DSNS, autocommit=True):
            cur = cnxn.cursor()
            if dsn.startswith("QmrPg"):
                query, args = "SELECT repeat(chr(127772), 1100) || 'xyz'", ()
            else:
                table = "qmr_pygd_" + dsn.lower()
                cur.execute("DROP TABLE IF EXISTS " + table)
                cur.execute("CREATE TABLE %s (v VARCHAR(4000))" % table)
                cur.execute("INSERT INTO %s VALUES (?)" % table, VALUE)
                query, args = "SELECT v FROM " + table, ()
            for path, (encoding, ctype) in PATHS.items():
                with self.subTest(path=path):
                    for sqltype in (pyodbc.SQL_CHAR, pyodbc.SQL_WCHAR):
                        cnxn.setdecoding(sqltype, encoding=encoding, ctype=ctype)
                    got = cur.execute(query, *args).fetchone()[0]
                    self.assertEqual(len(VALUE), len(got))
                    self.assertEqual(VALUE, got)


if __name__ == "__main__":
    unittest.main()
