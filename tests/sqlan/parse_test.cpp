// Scanner and parser: the normalised statement text, byte for byte (the
// blanks of empty optional clauses included), the statement kinds, and the
// failures with their error texts.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "sqlan/sqlanalyse.h"

namespace {

struct Analysed {
  int rc;
  uint32_t kind;
  std::string text, errText, errMsg;
  bool hasTree;
};

Analysed analyse(const std::string& sql, uint32_t parseOnly = 1) {
  SCR_SQLINFO info;
  SCR_InitSQLInfo(&info);
  Analysed a;
  a.rc = SCR_AnalyseSQL(&info, sql.c_str(), parseOnly, 1);
  a.kind = info.kind;
  a.hasTree = info.tree != nullptr;
  a.text = info.tree ? info.tree->text : "";
  a.errText = info.result ? info.result : "";
  a.errMsg = info.errmsg ? info.errmsg : "";
  SCR_FreeSQLInfo(&info);
  return a;
}

struct TextCase {
  const char* sql;
  uint32_t kind;
  const char* text;
};

class NormalisedTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(NormalisedTextTest, RegeneratesExactly) {
  const TextCase& c = GetParam();
  Analysed a = analyse(c.sql);
  ASSERT_EQ(0, a.rc) << c.sql << " -> " << a.errMsg << " at " << a.errText;
  EXPECT_EQ(c.kind, a.kind) << c.sql;
  EXPECT_EQ(c.text, a.text) << c.sql;
  if (c.kind == SCR_KIND_OTHER || c.kind == SCR_KIND_CALL) {
    EXPECT_EQ("", a.text);
    return;
  }
  // The normalised text is a fixed point of the analyser.
  Analysed again = analyse(a.text);
  EXPECT_EQ(0, again.rc);
  EXPECT_EQ(a.text, again.text);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, NormalisedTextTest,
    ::testing::Values(
        TextCase{"select a from t where b=1 order by a desc", SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE b = 1    ORDER BY a DESC "},
        TextCase{"select a from t union select b from u order by 1", SCR_KIND_SELECT,
                 "SELECT  a FROM t    UNION SELECT  b FROM u     ORDER BY 1   "},
        TextCase{"update t set a = 1 where current of c1", SCR_KIND_POS_UPDATE,
                 "UPDATE t SET a = 1 WHERE CURRENT OF c1"},
        TextCase{"select 1", SCR_KIND_SELECT, "SELECT  1      "},
        TextCase{"insert into t values (?, 1)", SCR_KIND_INSERT, "INSERT INTO t  VALUES ( ?, 1 )"},
        TextCase{"insert into t (a, b) select c, d from u", SCR_KIND_INSERT,
                 "INSERT INTO t ( a, b ) SELECT  c, d FROM u     "},
        TextCase{"select * from t where", SCR_KIND_SELECT, "SELECT  * FROM t WHERE      "},
        TextCase{"delete from t where current of c", SCR_KIND_POS_DELETE,
                 "DELETE FROM t WHERE CURRENT OF c"},
        TextCase{"delete from t where a = 1", SCR_KIND_DELETE, "DELETE FROM t WHERE a = 1"},
        TextCase{"delete from t", SCR_KIND_DELETE, "DELETE FROM t "},
        TextCase{"update t from u set a = u.b where t.k = u.k", SCR_KIND_UPDATE,
                 "UPDATE t FROM u SET a = u.b WHERE t.k = u.k"},
        TextCase{"update t set a = null, b = 2 from u", SCR_KIND_UPDATE,
                 "UPDATE t SET a = NULL, b = 2 FROM u "},
        // Operators and aggregate names are kept as written.
        TextCase{"update t set a < 1", SCR_KIND_UPDATE, "UPDATE t SET a < 1 "},
        TextCase{"select sum(*), Count(*) from t", SCR_KIND_SELECT,
                 "SELECT  sum (*), COUNT (*) FROM t      "},
        TextCase{"select a from t where b != 1", SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE b <> 1     "},
        TextCase{"select left(name, 2) from t", SCR_KIND_SELECT,
                 "SELECT  left( name, 2 ) FROM t      "},
        TextCase{"select a from t ORDER \t BY a", SCR_KIND_SELECT,
                 "SELECT  a FROM t     ORDER BY a  "},
        TextCase{"select a from t orderby", SCR_KIND_SELECT, "SELECT  a FROM t  orderby      "},
        TextCase{"select a-b, a - b from t", SCR_KIND_SELECT, "SELECT  a-b, a - b FROM t      "},
        TextCase{"select 'it''s', \"a b\", `q x` from t", SCR_KIND_SELECT,
                 "SELECT  'it''s', \"a b\", `q x` FROM t      "},
        TextCase{"select x@12 from t@db", SCR_KIND_SELECT, "SELECT  x@12 FROM t@db      "},
        // "@" joins only a name written right before it; "-@a" stays a sign
        // and the name @a once regenerated.
        TextCase{"select - @a, @@b from \"t\"@db", SCR_KIND_SELECT,
                 "SELECT  -@a, @@b FROM \"t\"@db      "},
        TextCase{"select 1.5e3, 1., .5, 0x1F, 0x from t", SCR_KIND_SELECT,
                 "SELECT  1.5e3, 1., .5, 0x1F, 0  x FROM t      "},
        // Names compare without case; literals and delimited names keep it.
        TextCase{"select a, A from t", SCR_KIND_SELECT, "SELECT  a, a FROM t      "},
        TextCase{"select 'abc', 'ABC', \"Abc\", \"abc\" from t", SCR_KIND_SELECT,
                 "SELECT  'abc', 'ABC', \"Abc\", \"abc\" FROM t      "},
        TextCase{"select a from t where c like 'x' escape '!' or d like 'y' ESCAPE '!'",
                 SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE c LIKE 'x' escape '!' OR d LIKE 'y' ESCAPE '!'     "},
        // A string literal may span lines; other line ends become blanks.
        TextCase{"select a\n   from t where x = 'a\nb'", SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE x = 'a\nb'     "},
        TextCase{"select distinct top 10 percent with ties a from t", SCR_KIND_SELECT,
                 "SELECT DISTINCT TOP 10 PERCENT WITH TIES a FROM t      "},
        TextCase{"select top (5, 2) a from t", SCR_KIND_SELECT,
                 "SELECT  TOP (5, 2)   a FROM t      "},
        TextCase{"select all top 3,4 a from t", SCR_KIND_SELECT,
                 "SELECT ALL TOP 3,4   a FROM t      "},
        TextCase{
            "select case a when 1 then 'x' else 'y' end, case when a > 1 then 2 end from t",
            SCR_KIND_SELECT,
            "SELECT  CASE a WHEN 1 THEN 'x' ELSE 'y' END, CASE WHEN a > 1 THEN 2 END FROM t      "},
        TextCase{"select a from t where exists (select b from u where u.b = t.a) and c in (1, 2, "
                 "?) and d not in "
                 "(select e from v)",
                 SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE EXISTS ( SELECT  b FROM u WHERE u.b = t.a   ) AND c IN ( "
                 "1, 2, ? ) AND d NOT "
                 "IN ( SELECT  e FROM v    )     "},
        TextCase{"select a from t where x = {d '2020-01-02'} or y = {t '10:11:12'} or z = {ts "
                 "'2020-01-02 10:11:12.5'}",
                 SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE x = { d '2020-01-02' } OR y = { t '10:11:12' } OR z = { "
                 "ts '2020-01-02 "
                 "10:11:12.5' }     "},
        TextCase{
            "select a from t where c like ? --(* vendor(Microsoft), product(ODBC) escape '!' *)--",
            SCR_KIND_SELECT,
            "SELECT  a FROM t WHERE c LIKE ?  --(* VENDOR(Microsoft), PRODUCT(ODBC)  escape '!'  "
            "*)--     "},
        TextCase{"SELECT {fn EXTRACT(YEAR FROM d)} FROM t", SCR_KIND_SELECT,
                 "SELECT  { fn EXTRACT( YEAR FROM d ) } FROM t      "},
        TextCase{"select * from {oj a LEFT OUTER JOIN b ON a.x = b.x}", SCR_KIND_SELECT,
                 "SELECT  * FROM { oj a LEFT OUTER JOIN b ON a.x = b.x }      "},
        TextCase{"select * from (select a from t) x order by a", SCR_KIND_SELECT,
                 "SELECT  * FROM ( SELECT  a FROM t      )  x      ORDER BY a  "},
        TextCase{"select a from t where a *= b", SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE a *= b     "},
        TextCase{"select a || b, -c, +d, e * f / g from t", SCR_KIND_SELECT,
                 "SELECT  a || b, -c, +d, e * f / g FROM t      "},
        TextCase{"select a from t group by a having count(distinct b) > 1", SCR_KIND_SELECT,
                 "SELECT  a FROM t  GROUP BY a HAVING count( DISTINCT b ) > 1   "},
        TextCase{"select a from t where b = any (select c from u)", SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE b = ANY ( SELECT  c FROM u    )     "},
        TextCase{"select a from t where b is null or c is not null or ? is null", SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE b IS NULL OR c IS NOT NULL OR ? IS NULL     "},
        TextCase{"select a from t where (a = 1 or b = 2) and not c = 3", SCR_KIND_SELECT,
                 "SELECT  a FROM t WHERE ( a = 1 OR b = 2 ) AND NOT c = 3     "},
        TextCase{"select d.o.t.*, o.t.*, t.*, d:o.t.*, d@s:o.t.* from d..t", SCR_KIND_SELECT,
                 "SELECT  d.o.t.*, o.t.*, t.*, d:o.t.*, d@s:o.t.* FROM d..t      "},
        TextCase{"select a from t1 inner join t2 on t1.k = t2.k", SCR_KIND_SELECT,
                 "SELECT  a FROM t1 INNER JOIN t2 ON t1.k = t2.k      "},
        TextCase{"  call proc", SCR_KIND_OTHER, ""}, TextCase{"call p(?)", SCR_KIND_OTHER, ""},
        TextCase{"{call p(?)}", SCR_KIND_CALL, ""}, TextCase{"SELECTED", SCR_KIND_OTHER, ""},
        TextCase{"grant  select on t to u", SCR_KIND_OTHER, ""}));

struct ErrorCase {
  const char* sql;
  const char* msg;
  const char* errText;
};

class ParseErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseErrorTest, FailsWithItsMessage) {
  const ErrorCase& c = GetParam();
  Analysed a = analyse(c.sql, 0);
  EXPECT_EQ(SCR_SQL_SYNTAX, a.rc) << c.sql;
  EXPECT_EQ(0u, a.kind) << "the kind stays 0 after a failed parse";
  EXPECT_FALSE(a.hasTree) << "every node built by a failed parse is freed";
  EXPECT_EQ(c.msg, a.errMsg) << c.sql;
  EXPECT_EQ(c.errText, a.errText) << c.sql;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ParseErrorTest,
    ::testing::Values(
        ErrorCase{"select a from t join u on t.x = u.x", "syntax error", "select a from t join^"},
        ErrorCase{"insert into t values (1+2)", "syntax error", "insert into t values (1+^"},
        ErrorCase{"select * from t; x", "syntax error", "select * from t; x^"},
        ErrorCase{"select a from t where x = 1 )", "syntax error",
                  "select a from t where x = 1 )^"},
        // Characters the scanner does not know fail the statement.
        ErrorCase{"select # from t", "Unexpected character.", "select #^"},
        ErrorCase{"select a from t where b | c", "Unexpected character.",
                  "select a from t where b |^"},
        ErrorCase{"select a from t where b ! c", "Unexpected character.",
                  "select a from t where b !^"},
        ErrorCase{"select a from t where x = 'abc", "Unterminated string literal.",
                  "select a from t where x = ^"},
        // The scanned text restarts at the last statement word.
        ErrorCase{"select a from t where b in (select c from u where ;)", "syntax error",
                  "select c from u where ;^"},
        ErrorCase{"select * from {oj a LEFT OUTER JOIN b ON a.x = b.x WHERE y}", "syntax error",
                  "select * from {oj a LEFT OUTER JOIN b ON a.x = b.x WHERE^"}));

TEST(ParseLimitsTest, DeepNestingFailsCleanly) {
  std::string sql = "select a from t where ";
  for (int i = 0; i < 20000; ++i) sql += "(";
  sql += "a = 1";
  for (int i = 0; i < 20000; ++i) sql += ")";
  Analysed a = analyse(sql);
  EXPECT_EQ(SCR_SQL_SYNTAX, a.rc);
  EXPECT_EQ("memory exhausted", a.errMsg);
  EXPECT_FALSE(a.hasTree);
}

TEST(ParseLimitsTest, LongListsKeepEveryItem) {
  const int n = 100000;
  std::string sql = "select a from t where a in (";
  std::string want = "SELECT  a FROM t WHERE a IN ( ";
  for (int i = 0; i < n; ++i) {
    std::string v = std::to_string(i);
    sql += (i ? "," : "") + v;
    want += (i ? ", " : "") + v;
  }
  sql += ")";
  want += " )     ";
  Analysed a = analyse(sql, 0);
  ASSERT_EQ(0, a.rc) << a.errMsg;
  EXPECT_EQ(want, a.text);
}

TEST(ParseLimitsTest, LongScannedTextInTheErrorText) {
  std::string sql = "select " + std::string(30000, 'x') + " from t; t";
  Analysed a = analyse(sql);
  EXPECT_EQ(SCR_SQL_SYNTAX, a.rc);
  EXPECT_EQ(sql + "^", a.errText) << "the scanned-text buffer grows";
}

TEST(ParseConcurrencyTest, ParallelAnalysesDoNotMix) {
  std::vector<std::thread> threads;
  std::vector<int> bad(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &bad] {
      for (int i = 0; i < 200; ++i) {
        std::string col = "c" + std::to_string(t) + "_" + std::to_string(i);
        Analysed a = analyse("select " + col + " from t" + std::to_string(t));
        if (a.rc != 0 || a.text != "SELECT  " + col + " FROM t" + std::to_string(t) + "      ")
          ++bad[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(0, bad[t]) << "thread " << t;
}

}  // namespace
