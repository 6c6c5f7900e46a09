// A NULL is stored as NULL into a column of any type, whatever C and SQL
// type the application bound it with: the NULL goes with the column's type
// where the driver can learn it, since strictly typed servers refuse a NULL
// of another type.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::Diag;

class NullTypesDm : public qmr_test::DmTest {};

TEST_P(NullTypesDm, ANullOfAnyBoundTypeIsStoredIntoAnyColumn) {
  const Db db = qmr_test::DbOf(GetParam());
  const std::string binary = db == Db::Pg      ? "BYTEA"
                             : db == Db::Derby ? "VARCHAR(16) FOR BIT DATA"
                                               : "VARBINARY(16)";
  std::vector<std::string> columns = {"INTEGER",       "BIGINT",      "DOUBLE PRECISION",
                                      "DECIMAL(10,2)", "VARCHAR(10)", "BOOLEAN",
                                      "DATE",          "TIMESTAMP",   binary};
  if (db == Db::Pg) columns.push_back("UUID");
  const struct {
    SQLSMALLINT cType, sqlType;
  } bound[] = {{SQL_C_CHAR, SQL_VARCHAR},        {SQL_C_SLONG, SQL_INTEGER},
               {SQL_C_SBIGINT, SQL_BIGINT},      {SQL_C_DOUBLE, SQL_DOUBLE},
               {SQL_C_NUMERIC, SQL_NUMERIC},     {SQL_C_BIT, SQL_BIT},
               {SQL_C_TYPE_DATE, SQL_TYPE_DATE}, {SQL_C_BINARY, SQL_VARBINARY},
               {SQL_C_ULONG, SQL_NUMERIC},       {SQL_C_GUID, SQL_GUID}};
  const std::string t = "qnt_" + qmr_test::Lower(GetParam());
  std::string ddl = "CREATE TABLE " + t + " (k INTEGER";
  for (size_t c = 0; c < columns.size(); ++c) ddl += ", c" + std::to_string(c) + " " + columns[c];
  Exec("DROP TABLE " + t);
  MustExec(ddl + ")");
  int k = 0;
  for (const auto& b : bound) {
    for (size_t c = 0; c < columns.size(); ++c) {
      ++k;
      char buf[32] = {};
      SQLLEN ind = SQL_NULL_DATA;
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, b.cType, b.sqlType, 10, 0, buf, sizeof buf, &ind);
      const std::string sql = "INSERT INTO " + t + " (k, c" + std::to_string(c) + ") VALUES (" +
                              std::to_string(k) + ", ?)";
      EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)))
          << "C " << b.cType << " SQL " << b.sqlType << " into " << columns[c] << ": "
          << Diag(SQL_HANDLE_STMT, stmt_);
      SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    }
  }
  std::string nulls = "SELECT COUNT(*) FROM " + t + " WHERE 1 = 1";
  for (size_t c = 0; c < columns.size(); ++c) nulls += " AND c" + std::to_string(c) + " IS NULL";
  MustExec(nulls);
  EXPECT_EQ(std::to_string(k), qmr_test::FetchRows(stmt_).at(0).at(0).text);
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, NullTypesDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
