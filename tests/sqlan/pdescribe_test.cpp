// Probe queries of the parameter describer: statement in, probes out with the
// marker each result column describes; names quoted (and folded as the
// source stores plain names), literals re-quoted, and what cannot be written
// safely left out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqlan/pdescribe.h"

namespace {

struct Probe {
  std::string text;
  std::vector<int32_t> markers;
};

struct Case {
  const char* sql;
  const char* quote;  // the source's identifier quote; "" none
  std::vector<Probe> probes;
};

const char* const kQuoted = "\"";
const char* const kNone = "";

std::string Show(const std::vector<Probe>& ps) {
  std::string s;
  for (const Probe& p : ps) {
    s += "[" + p.text + "]";
    for (int32_t m : p.markers) s += " " + std::to_string(m);
    s += "\n";
  }
  return s;
}

class ProbeTest : public ::testing::TestWithParam<Case> {};

TEST_P(ProbeTest, BuildsProbes) {
  const Case& c = GetParam();
  PD_QUOTING q;
  q.quote = c.quote;
  q.identCase = PD_CASE_UPPER;
  PD_RECORD rec;
  PD_Init(&rec, q);
  ASSERT_EQ(0, PD_Describe(&rec, c.sql)) << c.sql;
  std::vector<Probe> got;
  for (const PD_PROBE& p : rec.probes) got.push_back({p.text, p.markers});
  EXPECT_EQ(Show(c.probes), Show(got)) << c.sql;
  PD_Free(&rec);
  EXPECT_TRUE(rec.probes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Statements, ProbeTest,
    ::testing::Values(
        Case{"SELECT a FROM t WHERE b = ? AND c BETWEEN ? AND ?",
             kQuoted,
             {{"SELECT \"B\", \"C\", \"C\" FROM \"T\" WHERE 1=0 ", {0, 1, 2}}}},
        // The other side describes; two markers describe each other not.
        Case{"SELECT * FROM t WHERE ? = b AND ? = ? AND x IN (?, ?)",
             kQuoted,
             {{"SELECT \"B\", \"X\", \"X\" FROM \"T\" WHERE 1=0 ", {0, 3, 4}}}},
        Case{"INSERT INTO t VALUES (?, 1, ?)",
             kQuoted,
             {{"SELECT * FROM \"T\" WHERE 1=0 ", {0, -1, 1}}}},
        Case{"INSERT INTO s.t (c, a) VALUES (?, ?)",
             kQuoted,
             {{"SELECT \"C\", \"A\" FROM \"S\".\"T\" WHERE 1=0 ", {0, 1}}}},
        Case{"UPDATE t SET a = ? WHERE b LIKE ?",
             kQuoted,
             {{"SELECT \"A\", \"B\" FROM \"T\" WHERE 1=0 ", {0, 1}}}},
        // Beside a FROM list the target names its own columns.
        Case{"UPDATE t SET a = ? FROM u WHERE u.k = t.k AND b = ?",
             kQuoted,
             {{"SELECT \"T\".\"A\", \"T\".\"B\" FROM \"T\", \"U\" WHERE 1=0 ", {0, 1}}}},
        Case{"DELETE FROM t WHERE a <> ?", kQuoted, {{"SELECT \"A\" FROM \"T\" WHERE 1=0 ", {0}}}},
        // A marker inside a function call is described by nothing.
        Case{"SELECT * FROM t WHERE ABS(?) = a AND b = ?",
             kQuoted,
             {{"SELECT \"B\" FROM \"T\" WHERE 1=0 ", {1}}}},
        // A subquery describes its own markers and what is compared with it.
        Case{"SELECT * FROM t WHERE a = ? AND b IN (SELECT y FROM u WHERE z = ?) AND ? = ANY "
             "(SELECT v FROM w)",
             kQuoted,
             {{"SELECT \"A\" FROM \"T\" WHERE 1=0 ", {0}},
              {"SELECT \"Z\" FROM \"U\" WHERE 1=0 ", {1}},
              {"SELECT \"V\" FROM \"W\" WHERE 1=0 ", {2}}}},
        Case{"SELECT a FROM t WHERE a = ? UNION SELECT b FROM u x WHERE x.b = ?",
             kQuoted,
             {{"SELECT \"A\" FROM \"T\" WHERE 1=0 ", {0}},
              {"SELECT \"X\".\"B\" FROM \"U\"  \"X\" WHERE 1=0 ", {1}}}},
        // Aggregates beside other items stand for their argument.
        Case{"SELECT a FROM t GROUP BY a HAVING SUM(b) > ? AND COUNT(*) < ?",
             kQuoted,
             {{"SELECT (\"B\"), 1 FROM \"T\" WHERE 1=0 ", {0, 1}}}},
        // Names keep their case when delimited, quotes inside doubled; a name
        // that would end the quote cannot break out of it.
        Case{"SELECT * FROM \"My Tab\" WHERE \"Mixed\"\"Q\" = ? AND plain = ? AND "
             "\"x\"\" FROM t; DROP TABLE t; --\" = ?",
             kQuoted,
             {{"SELECT \"Mixed\"\"Q\", \"PLAIN\", \"x\"\" FROM t; DROP TABLE t; --\" FROM \"My "
               "Tab\" WHERE 1=0 ",
               {0, 1, 2}}}},
        Case{"SELECT * FROM t WHERE ? BETWEEN 'a''b' AND c AND d = ? AND 'x\\' = ?",
             kQuoted,
             {{"SELECT 'a''b', \"D\" FROM \"T\" WHERE 1=0 ", {0, 1}}}},
        // Without a quote only plain names go in, as written.
        Case{"SELECT * FROM t WHERE \"a b\" = ? AND c = ?",
             kNone,
             {{"SELECT c FROM t WHERE 1=0 ", {1}}}},
        Case{"SELECT * FROM \"My Tab\" WHERE c = ?", kNone, {}},
        Case{"CREATE TABLE t (a INTEGER)", kQuoted, {}}));

TEST(ProbeRecord, UnparsableTextLeavesNoProbe) {
  PD_RECORD rec;
  PD_Init(&rec, PD_QUOTING{});
  EXPECT_EQ(SCR_SQL_SYNTAX, PD_Describe(&rec, "SELECT a FROM WHERE ?"));
  EXPECT_TRUE(rec.probes.empty());
  EXPECT_EQ(0u, rec.markerCount);
  ASSERT_EQ(0, PD_Describe(&rec, "INSERT INTO t VALUES (?, 'x', ?)"));
  EXPECT_EQ(2u, rec.markerCount);
  EXPECT_EQ(2u, rec.described);
  PD_Free(&rec);
}

}  // namespace
