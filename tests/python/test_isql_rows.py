"""isql and iusql print the rows of a query through both builds."""
import subprocess
import unittest

SCRIPT = """CREATE TABLE ROWS_T (ID INTEGER, NAME VARCHAR(20), PRICE DECIMAL(8,2))
INSERT INTO ROWS_T VALUES (1, 'alpha', 1.50)
INSERT INTO ROWS_T VALUES (2, 'gr\u00fc\u00dfe', NULL)
INSERT INTO ROWS_T VALUES (3, NULL, 300.25)
SELECT ID, NAME, PRICE FROM ROWS_T ORDER BY ID
"""


class IsqlRows(unittest.TestCase):
    def test_rows_are_printed(self):
        for tool in ("isql", "iusql"):
            for dsn in ("QmrHsqlU", "QmrHsqlA"):
                with self.subTest(tool=tool, dsn=dsn):
                    p = subprocess.run([tool, "-b", "-d|", dsn], input=SCRIPT,
                                       capture_output=True, text=True, timeout=120)
                    out = p.stdout + p.stderr
                    self.assertEqual(p.returncode, 0, out)
                    self.assertNotIn("[ISQL]ERROR", out)
                    lines = [l.strip() for l in p.stdout.splitlines() if l.count("|") == 2]
                    self.assertIn("1|alpha|1.50", lines, out)
                    self.assertIn("3||300.25", lines, out)
                    self.assertTrue(any(l.startswith("2|gr") and l.endswith("|") for l in lines),
                                    out)
                    # Without a trace file only failures may reach the
                    # application's standard error, never the driver's
                    # debugging lines.
                    self.assertNotIn("connect: class=", p.stderr)


if __name__ == "__main__":
    unittest.main()
