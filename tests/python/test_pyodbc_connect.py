"""pyodbc connects through the Driver Manager with a data source and with a
DSN-less string, through each build of the driver."""
import unittest

import pyodbc

HSQLDB = "JDBC=org.hsqldb.jdbc.JDBCDriver;UID=SA;PWD="


class PyodbcConnect(unittest.TestCase):
    def check_open(self, cnxn):
        self.assertFalse(cnxn.closed if hasattr(cnxn, "closed") else False)
        cnxn.close()

    def test_dsn_each_build(self):
        for dsn in ("QmrHsqlU", "QmrHsqlA"):
            with self.subTest(dsn=dsn):
                self.check_open(pyodbc.connect("DSN=" + dsn))

    def test_dsn_less_each_build(self):
        for driver, db in (("Quillmar Unicode", "pyu"), ("Quillmar ANSI", "pya")):
            with self.subTest(driver=driver):
                conn_str = "DRIVER={%s};%s;URL=jdbc:hsqldb:mem:%s" % (driver, HSQLDB, db)
                self.check_open(pyodbc.connect(conn_str))

    def test_braced_password(self):
        # The first connection creates the database with the password.
        first = pyodbc.connect("DRIVER={Quillmar Unicode};JDBC=org.hsqldb.jdbc.JDBCDriver;"
                               "URL=jdbc:hsqldb:mem:pypw;UID=SA;PWD={p;w}}d}")
        again = pyodbc.connect("DRIVER={Quillmar ANSI};JDBC=org.hsqldb.jdbc.JDBCDriver;"
                               "URL=jdbc:hsqldb:mem:pypw;UID=SA;PWD={p;w}}d}")
        again.close()
        with self.assertRaises(pyodbc.Error):
            pyodbc.connect("DRIVER={Quillmar ANSI};JDBC=org.hsqldb.jdbc.JDBCDriver;"
                           "URL=jdbc:hsqldb:mem:pypw;UID=SA;PWD=p")
        first.close()

    def test_bad_url_fails_with_the_cause(self):
        # pyodbc shows one record: it is the cause, not a summary.
        with self.assertRaises(pyodbc.Error) as cm:
            pyodbc.connect("DSN=QmrBadUrl")
        self.assertEqual(cm.exception.args[0], "08001")
        message = cm.exception.args[1]
        self.assertIn("[Quillmar][ODBC]", message)
        self.assertIn("Connection refused", message)

if __name__ == "__main__":
    unittest.main()
