// Buffers are never written past their length: every SQL type of a row read
// into every C type, through SQLGetData and through bound columns, with
// buffer lengths 0 to 40 and guard bytes behind the buffer. A fixed-size C
// type may take its own size whatever the length says (ODBC ignores the
// length for it); a text or binary one never more than the length, and a
// SQL_SUCCESS claims no more than the buffer holds. Both builds, on HSQLDB
// and (dm_tests_pg) PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

constexpr int kMaxLength = 40;
constexpr size_t kArea = 96;  // buffer and guard
constexpr unsigned char kGuard = 0xA5;

struct CType {
  SQLSMALLINT type;
  const char* name;
  size_t fixed;  // bytes a fixed-size type may write; 0 for text and binary
  size_t term;   // terminator of a text type
};

const CType kCTypes[] = {
    {SQL_C_CHAR, "CHAR", 0, 1},
    {SQL_C_WCHAR, "WCHAR", 0, 2},
    {SQL_C_BINARY, "BINARY", 0, 0},
    {SQL_C_BIT, "BIT", 1, 0},
    {SQL_C_STINYINT, "STINYINT", 1, 0},
    {SQL_C_UTINYINT, "UTINYINT", 1, 0},
    {SQL_C_SSHORT, "SSHORT", 2, 0},
    {SQL_C_USHORT, "USHORT", 2, 0},
    {SQL_C_SLONG, "SLONG", 4, 0},
    {SQL_C_ULONG, "ULONG", 4, 0},
    {SQL_C_SBIGINT, "SBIGINT", 8, 0},
    {SQL_C_UBIGINT, "UBIGINT", 8, 0},
    {SQL_C_FLOAT, "FLOAT", 4, 0},
    {SQL_C_DOUBLE, "DOUBLE", 8, 0},
    {SQL_C_NUMERIC, "NUMERIC", sizeof(SQL_NUMERIC_STRUCT), 0},
    {SQL_C_TYPE_DATE, "DATE", sizeof(SQL_DATE_STRUCT), 0},
    {SQL_C_TYPE_TIME, "TIME", sizeof(SQL_TIME_STRUCT), 0},
    {SQL_C_TYPE_TIMESTAMP, "TIMESTAMP", sizeof(SQL_TIMESTAMP_STRUCT), 0},
    {SQL_C_GUID, "GUID", sizeof(SQLGUID), 0},
    {SQL_C_DEFAULT, "DEFAULT", 0, 0},  // the column's own C type: kDefaultSize
};

// The columns of the test table after N, one per kind of SQL type.
const char* const kColumns[] = {"T", "W", "S", "I", "B", "D", "F", "R", "DT", "TM", "TS", "BIN"};
constexpr SQLUSMALLINT kColumnCount = sizeof kColumns / sizeof kColumns[0];
// The size of the default C type of an SQL type (ODBC's table), 0 where it
// is text or binary.
size_t DefaultSize(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_BIT: case SQL_TINYINT: return 1;
    case SQL_SMALLINT: return 2;
    case SQL_INTEGER: case SQL_REAL: return 4;
    case SQL_BIGINT: case SQL_FLOAT: case SQL_DOUBLE: return 8;
    case SQL_TYPE_DATE: case SQL_TYPE_TIME: return 6;
    case SQL_TYPE_TIMESTAMP: case SQL_GUID: return 16;
    default: return 0;
  }
}

class GuardDm : public qmr_test::DmTest {
 protected:
  void SetUp() override {
    qmr_test::DmTest::SetUp();
    const bool pg = qmr_test::OnPostgres();
    Exec("DROP TABLE IF EXISTS QGUARD");
    MustExec(std::string("CREATE TABLE QGUARD (N INTEGER, T VARCHAR(40), W VARCHAR(40), ") +
             "S SMALLINT, I INTEGER, B BIGINT, D DECIMAL(14,3), F DOUBLE PRECISION, R REAL, "
             "DT DATE, TM TIME, TS TIMESTAMP, BIN " + (pg ? "BYTEA)" : "VARBINARY(20))"));
    const std::string bin = pg ? "decode('00112233445566778899AABBCCDDEEFF', 'hex')"
                               : "X'00112233445566778899AABBCCDDEEFF'";
    for (int n = 0; n <= kMaxLength; ++n)
      MustExec("INSERT INTO QGUARD VALUES (" + std::to_string(n) +
               ", 'guard bytes 0123456789', '\xC3\xA4rger \xC3\xBC" "ber \xE2\x82\xAC \xF0\x9D\x84\x9E x', "
               "-12345, 1234567890, 1234567890123, 123456789.125, 0.1, 1.5, DATE '2024-02-29', "
               "TIME '12:34:56', TIMESTAMP '2024-02-29 12:34:56.789', " + bin + ")");
  }
  void TearDown() override {
    SQLFreeStmt(stmt_, SQL_UNBIND);
    Exec("DROP TABLE QGUARD");
    qmr_test::DmTest::TearDown();
  }

  void OpenRows() {
    std::string sql = "SELECT N";
    for (const char* c : kColumns) sql += std::string(", ") + c;
    ASSERT_TRUE(SQL_SUCCEEDED(Exec(sql + " FROM QGUARD ORDER BY N")))
        << Diag(SQL_HANDLE_STMT, stmt_);
    for (SQLUSMALLINT k = 0; k < kColumnCount; ++k)
      SQLDescribeCol(stmt_, k + 2, nullptr, 0, nullptr, &types_[k], nullptr, nullptr, nullptr);
  }
  SQLSMALLINT types_[kColumnCount] = {};
};

// What a call left in its buffer: nothing past what it may write, and a
// success that claims no more than the buffer holds. Empty when all is well.
std::string Check(const CType& c, SQLSMALLINT sqlType, SQLLEN length, const unsigned char* area,
                  SQLRETURN rc, SQLLEN ind) {
  const size_t fixed = c.type == SQL_C_DEFAULT ? DefaultSize(sqlType) : c.fixed;
  const size_t room = fixed > static_cast<size_t>(length) ? fixed : static_cast<size_t>(length);
  for (size_t i = room; i < kArea; ++i)
    if (area[i] != kGuard)
      return "byte " + std::to_string(i) + " written past " + std::to_string(room);
  if (rc == SQL_SUCCESS && fixed == 0 && ind >= 0 &&
      static_cast<size_t>(ind) + c.term > static_cast<size_t>(length))
    return "SQL_SUCCESS with length " + std::to_string(ind);
  return "";
}

TEST_P(GuardDm, GetDataStaysWithinTheBuffer) {
  for (const CType& c : kCTypes) {
    for (SQLUSMALLINT col = 2; col <= kColumnCount + 1; ++col) {
      OpenRows();
      for (int length = 0; length <= kMaxLength; ++length) {
        ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
        std::vector<unsigned char> area(kArea, kGuard);
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(stmt_, col, c.type, area.data(), length, &ind);
        const std::string fault = Check(c, types_[col - 2], length, area.data(), rc, ind);
        EXPECT_EQ("", fault) << kColumns[col - 2] << " (SQL type " << types_[col - 2]
                             << ") as SQL_C_" << c.name << ", length " << length << ": "
                             << Diag(SQL_HANDLE_STMT, stmt_);
        if (!fault.empty()) break;
      }
    }
  }
}

TEST_P(GuardDm, BoundColumnsStayWithinTheirBuffers) {
  std::vector<std::vector<unsigned char>> areas(kColumnCount);
  std::vector<SQLLEN> inds(kColumnCount);
  for (const CType& c : kCTypes) {
    OpenRows();
    bool bindable = true;
    for (int length = 0; length <= kMaxLength && bindable; ++length) {
      for (SQLUSMALLINT k = 0; k < kColumnCount; ++k) {
        areas[k].assign(kArea, kGuard);
        const SQLRETURN bound =
            SQLBindCol(stmt_, k + 2, c.type, areas[k].data(), length, &inds[k]);
        // A C type that cannot be bound at all has nothing to overrun.
        if (bound == SQL_ERROR && qmr_test::State(SQL_HANDLE_STMT, stmt_) == "HY003") {
          bindable = false;
          break;
        }
        ASSERT_EQ(SQL_SUCCESS, bound) << c.name << " " << Diag(SQL_HANDLE_STMT, stmt_);
      }
      if (!bindable) break;
      const SQLRETURN rc = SQLFetch(stmt_);
      ASSERT_NE(SQL_NO_DATA, rc);
      for (SQLUSMALLINT k = 0; k < kColumnCount; ++k) {
        // A column the row could not take reports its own failure; its
        // buffer must still be unharmed.
        const SQLRETURN colRc = rc == SQL_SUCCESS ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
        EXPECT_EQ("", Check(c, types_[k], length, areas[k].data(), colRc, inds[k]))
            << kColumns[k] << " as SQL_C_" << c.name << ", length " << length;
      }
    }
    SQLFreeStmt(stmt_, SQL_UNBIND);
  }
}

INSTANTIATE_TEST_SUITE_P(Backend, GuardDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
