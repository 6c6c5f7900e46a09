// Which '?' of a text are parameter markers, through the Driver Manager in
// both builds: none inside literals, quoted names or comments, and on
// PostgreSQL none inside its dollar-quoted and E'' strings either. Each
// statement takes exactly its markers' values and returns the literals as
// written.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

struct MarkerCase {
  const char* sql;  // "one" stands for the test's one-row table
  SQLSMALLINT markers;
  std::vector<std::string> row;  // each marker n is given "pn"
  bool pgOnly;
};

const MarkerCase kCases[] = {
    {"SELECT 'it''s ?', CAST(? AS VARCHAR(9)) FROM one", 1, {"it's ?", "p1"}, false},
    {"SELECT k AS \"a?\", CAST(? AS VARCHAR(9)) FROM one", 1, {"1", "p1"}, false},
    {"SELECT /* ? */ CAST(? AS VARCHAR(9)) FROM one /* ? */", 1, {"p1"}, false},
    {"SELECT CAST(? AS VARCHAR(9)), CAST(? AS VARCHAR(9)) FROM one -- ?\n", 2, {"p1", "p2"},
     false},
    {"SELECT $$ ? $$ FROM one", 0, {" ? "}, true},
    {"SELECT $q$ it's ? $$ $q$, ?::text FROM one", 1, {" it's ? $$ ", "p1"}, true},
    {"SELECT E'it\\'s ?' FROM one", 0, {"it's ?"}, true},
    {"SELECT E'a\\'b', ?::text FROM one", 1, {"a'b", "p1"}, true},
    {"SELECT /* a /* ? */ ? */ ?::text FROM one", 1, {"p1"}, true},
    {"SELECT '{fn null()}', $${fn null()}$$ FROM one", 0, {"{fn null()}", "{fn null()}"}, true},
};

class AnyMarkersDm : public qmr_test::DmTest {};

TEST_P(AnyMarkersDm, QuotingHidesMarkers) {
  const bool pg = qmr_test::DbOf(GetParam()) == qmr_test::Db::Pg;
  const std::string one = "mk_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + one);
  MustExec("CREATE TABLE " + one + " (k INTEGER)");
  MustExec("INSERT INTO " + one + " VALUES (1)");
  for (const MarkerCase& c : kCases) {
    if (c.pgOnly && !pg) continue;
    std::string sql = c.sql;
    sql.replace(sql.find(" one"), 4, " " + one);
    SCOPED_TRACE(sql);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, stmt_);
    SQLSMALLINT n = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt_, &n));
    EXPECT_EQ(c.markers, n);
    std::vector<std::string> values;
    for (SQLSMALLINT i = 1; i <= c.markers; ++i) values.push_back("p" + std::to_string(i));
    for (SQLUSMALLINT i = 1; i <= values.size(); ++i)
      ASSERT_EQ(SQL_SUCCESS,
                SQLBindParameter(stmt_, i, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0,
                                 (SQLPOINTER)values[i - 1].c_str(), 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    const std::vector<qmr_test::Row> rows = qmr_test::FetchRows(stmt_);
    ASSERT_EQ(1u, rows.size());
    std::vector<std::string> got;
    for (const qmr_test::Cell& cell : rows[0]) got.push_back(cell.text);
    EXPECT_EQ(c.row, got);
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyMarkersDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
