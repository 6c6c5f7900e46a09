// SQLColAttribute as applications call it for numeric fields: whatever the
// buffer length says (SQL_IS_INTEGER and its kind, 0, garbage), the number
// comes back; a character field still refuses a negative length. Both builds,
// through the 8-bit and the wide call, on HSQLDB and PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::State;

class ColAttrDm : public qmr_test::DmTest {};

TEST_P(ColAttrDm, NumericFieldsIgnoreTheBufferLength) {
  ASSERT_TRUE(
      SQL_SUCCEEDED(Exec("SELECT CAST(12.5 AS DECIMAL(9,2)) AS D, 'x' AS V FROM "
                         "(VALUES (0)) AS T(Z)")))
      << Diag(SQL_HANDLE_STMT, stmt_);
  struct Field {
    SQLUSMALLINT id;
    SQLLEN want;
  };
  const Field fields[] = {{SQL_DESC_PRECISION, 9},        {SQL_DESC_SCALE, 2},
                          {SQL_DESC_UNSIGNED, SQL_FALSE}, {SQL_DESC_COUNT, 2},
                          {SQL_COLUMN_SCALE, 2},          {SQL_DESC_NUM_PREC_RADIX, 10}};
  const SQLSMALLINT lengths[] = {
      SQL_IS_INTEGER, SQL_IS_UINTEGER, SQL_IS_SMALLINT, SQL_IS_USMALLINT, SQL_IS_POINTER, 0, -1, 4};
  for (bool wide : {false, true}) {
    for (const Field& f : fields) {
      for (SQLSMALLINT len : lengths) {
        SCOPED_TRACE((wide ? "W field " : "field ") + std::to_string(f.id) + " length " +
                     std::to_string(len));
        SQLLEN number = -12345;
        const SQLRETURN rc = wide ? SQLColAttributeW(stmt_, 1, f.id, nullptr, len, nullptr, &number)
                                  : SQLColAttribute(stmt_, 1, f.id, nullptr, len, nullptr, &number);
        EXPECT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
        EXPECT_EQ(f.want, number);
      }
    }
  }
  // A character field reads the length: a negative one is refused.
  char name[32];
  SQLSMALLINT got = 0;
  EXPECT_EQ(SQL_ERROR,
            SQLColAttribute(stmt_, 2, SQL_DESC_NAME, name, SQL_IS_INTEGER, &got, nullptr));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt_));
  ASSERT_EQ(SQL_SUCCESS,
            SQLColAttribute(stmt_, 2, SQL_DESC_NAME, name, sizeof name, &got, nullptr));
  EXPECT_EQ("v", qmr_test::Lower(name));
}

INSTANTIATE_TEST_SUITE_P(Backend, ColAttrDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
