// No buffer is written past its length: every column type into every C type,
// by SQLGetData and bound, lengths 0 to 40, guard bytes behind. A fixed-size
// C type may take its size whatever the length (ODBC ignores it there).
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

constexpr int kMaxLength = 40, kArea = 96, kCols = 15;
constexpr unsigned char kGuard = 0xA5;
// C type, bytes a fixed-size one may write (0: text and binary).
const std::pair<SQLSMALLINT, size_t> kCTypes[] = {
    {SQL_C_CHAR, 0},      {SQL_C_WCHAR, 0},           {SQL_C_BINARY, 0},   {SQL_C_BIT, 1},
    {SQL_C_STINYINT, 1},  {SQL_C_UTINYINT, 1},        {SQL_C_SSHORT, 2},   {SQL_C_USHORT, 2},
    {SQL_C_SLONG, 4},     {SQL_C_ULONG, 4},           {SQL_C_SBIGINT, 8},  {SQL_C_UBIGINT, 8},
    {SQL_C_FLOAT, 4},     {SQL_C_DOUBLE, 8},          {SQL_C_NUMERIC, 19}, {SQL_C_TYPE_DATE, 6},
    {SQL_C_TYPE_TIME, 6}, {SQL_C_TYPE_TIMESTAMP, 16}, {SQL_C_GUID, 16}};

class GuardDm : public qmr_test::DmTest {
 protected:
  void SetUp() override {
    qmr_test::DmTest::SetUp();
    const bool pg = qmr_test::OnPostgres();
    Exec("DROP TABLE QGUARD");
    MustExec(
        std::string(
            "CREATE TABLE QGUARD (N INTEGER, T VARCHAR(40), W VARCHAR(40), S SMALLINT,"
            " I INTEGER, B BIGINT, D DECIMAL(14,3), F DOUBLE PRECISION, R REAL, DT DATE, TM TIME,"
            " TS TIMESTAMP, BIN ") +
        (pg ? "BYTEA, L TEXT" : "VARBINARY(20), L CLOB") + ", C CHAR(10), BO BOOLEAN)");
    for (int n = 0; n <= kMaxLength; ++n)
      MustExec(
          "INSERT INTO QGUARD VALUES (" + std::to_string(n) +
          ", 'guard bytes 0123456789', "
          "'\xC3\xA4rger \xE2\x82\xAC \xF0\x9D\x84\x9E x', -12345, 1234567890, 1234567890123, "
          "123456789.125, 0.1, 1.5, DATE '2024-02-29', TIME '12:34:56', TIMESTAMP "
          "'2024-02-29 12:34:56.789', " +
          (pg ? "'\\x00112233445566778899AABBCCDDEEFF'" : "X'00112233445566778899AABBCCDDEEFF'") +
          ", 'a long value \xE2\x82\xAC 0123456789 0123456789 0123456789', 'fixed', TRUE)");
  }
  void OpenRows() { ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT * FROM QGUARD ORDER BY N"))); }
  // What a call left: "" when nothing lies past what it may write and a
  // success claims no more than the buffer holds.
  static std::string Check(SQLSMALLINT cType, size_t fixed, SQLLEN length,
                           const std::vector<unsigned char>& area, SQLRETURN rc, SQLLEN ind) {
    const size_t room = std::max(fixed, static_cast<size_t>(length));
    for (size_t i = room; i < area.size(); ++i)
      if (area[i] != kGuard) return "byte " + std::to_string(i) + " written";
    const SQLLEN term = cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? 2 : 0;
    if (rc == SQL_SUCCESS && fixed == 0 && ind >= 0 && ind + term > length)
      return "SQL_SUCCESS with length " + std::to_string(ind);
    return "";
  }
};

TEST_P(GuardDm, NothingIsWrittenPastABuffer) {
  std::vector<std::vector<unsigned char>> areas(kCols);
  std::vector<SQLLEN> inds(kCols);
  for (const auto& [cType, fixed] : kCTypes) {
    for (int col = 0; col < kCols; ++col) {  // SQLGetData
      OpenRows();
      for (SQLLEN length = 0; length <= kMaxLength && SQLFetch(stmt_) == SQL_SUCCESS; ++length) {
        areas[0].assign(kArea, kGuard);
        const SQLRETURN rc = SQLGetData(stmt_, col + 2, cType, areas[0].data(), length, &inds[0]);
        EXPECT_EQ("", Check(cType, fixed, length, areas[0], rc, inds[0]))
            << "SQLGetData column " << col + 2 << " C type " << cType << " length " << length;
      }
    }
    OpenRows();  // bound, every column at once
    for (SQLLEN length = 0; length <= kMaxLength; ++length) {
      for (int k = 0; k < kCols; ++k) {
        areas[k].assign(kArea, kGuard);
        SQLBindCol(stmt_, k + 2, cType, areas[k].data(), length, &inds[k]);
      }
      const SQLRETURN rc = SQLFetch(stmt_);
      ASSERT_NE(SQL_NO_DATA, rc);
      for (int k = 0; k < kCols; ++k)
        EXPECT_EQ("", Check(cType, fixed, length, areas[k], rc == SQL_SUCCESS ? rc : 1, inds[k]))
            << "bound column " << k + 2 << " C type " << cType << " length " << length;
    }
    SQLFreeStmt(stmt_, SQL_UNBIND);
  }
  Exec("DROP TABLE QGUARD");
}

INSTANTIATE_TEST_SUITE_P(Backend, GuardDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
