// A directly run statement's result is described by the first call asking
// about its columns (count, describe, attribute, fetch). One handle runs the
// texts in turn, so a description left from the result before would show.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

enum class Ask { Count, Describe, Attribute, Fetch };

struct DirectCase {
  const char* sql;
  Ask first;
  SQLSMALLINT columns;
  SQLSMALLINT lastType;  // SQL type of the last column (asked only by Describe, Attribute)
  const char* lastValue;
};

class DirectResult : public qmr_test::DmTest {
 protected:
  // The answer to the first ask, then the full picture, which must agree.
  void Check(const DirectCase& c) {
    if (c.first == Ask::Fetch) FetchLast(c);
    if (c.first == Ask::Describe || c.first == Ask::Attribute) {
      EXPECT_EQ(c.lastType, TypeOfLast(c)) << c.sql;
    }
    SQLSMALLINT n = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt_, &n)) << c.sql;
    EXPECT_EQ(c.columns, n) << c.sql;
    if (c.first != Ask::Fetch) FetchLast(c);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_)) << c.sql;
  }

  SQLLEN TypeOfLast(const DirectCase& c) {
    SQLLEN attribute = 0;
    SQLCHAR name[64];
    SQLSMALLINT type = 0, len = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    const SQLRETURN rc = c.first == Ask::Attribute
                             ? SQLColAttribute(stmt_, c.columns, SQL_DESC_CONCISE_TYPE, nullptr, 0,
                                               nullptr, &attribute)
                             : SQLDescribeCol(stmt_, c.columns, name, sizeof name, &len, &type,
                                              &size, &scale, &nullable);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << c.sql << Diag(SQL_HANDLE_STMT, stmt_);
    return c.first == Ask::Attribute ? attribute : type;
  }

  void FetchLast(const DirectCase& c) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << c.sql << Diag(SQL_HANDLE_STMT, stmt_);
    char text[64] = "";
    SQLLEN len = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, c.columns, SQL_C_CHAR, text, sizeof text, &len)))
        << c.sql << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(std::string(c.lastValue), text) << c.sql;
  }
};

TEST_P(DirectResult, FirstAskDescribesTheResultNowOpen) {
  const DirectCase cases[] = {
      {"VALUES (1, 'abc')", Ask::Fetch, 2, 0, "abc"},
      {"VALUES (7)", Ask::Count, 1, SQL_INTEGER, "7"},
      {"VALUES ('x', 'y', CAST(2 AS SMALLINT))", Ask::Describe, 3, SQL_SMALLINT, "2"},
      {"VALUES (CAST(3 AS SMALLINT), 4)", Ask::Attribute, 2, SQL_INTEGER, "4"},
      {"VALUES (CAST(5 AS BIGINT))", Ask::Fetch, 1, 0, "5"},
  };
  for (const DirectCase& c : cases) {
    ASSERT_EQ(SQL_SUCCESS, Exec(c.sql)) << c.sql << Diag(SQL_HANDLE_STMT, stmt_);
    Check(c);
  }
}

INSTANTIATE_TEST_SUITE_P(Backend, DirectResult, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const ::testing::TestParamInfo<std::string>& p) { return p.param; });

}  // namespace
