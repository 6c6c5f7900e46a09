"""isql and iusql connect with each data source and quit cleanly."""
import subprocess
import unittest


class IsqlConnect(unittest.TestCase):
    def run_tool(self, tool, dsn):
        p = subprocess.run([tool, "-v", dsn], input="quit\n", capture_output=True, text=True,
                           timeout=120)
        return p

    def test_isql_and_iusql(self):
        for tool in ("isql", "iusql"):
            for dsn in ("QmrHsqlU", "QmrHsqlA"):
                with self.subTest(tool=tool, dsn=dsn):
                    p = self.run_tool(tool, dsn)
                    self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
                    self.assertIn("Connected!", p.stdout)
                    self.assertNotIn("[ISQL]ERROR", p.stdout + p.stderr)

    def test_bad_url_fails_with_the_cause(self):
        p = self.run_tool("isql", "QmrBadUrl")
        self.assertNotEqual(p.returncode, 0)
        self.assertIn("Connection refused", p.stdout + p.stderr)
        self.assertNotIn("Unable to allocate connection handle", p.stdout + p.stderr)


if __name__ == "__main__":
    unittest.main()
