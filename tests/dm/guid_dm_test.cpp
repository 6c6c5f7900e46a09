// A GUID converts to and from SQL_C_GUID, 16-byte binary and text, in both
// builds, on every database that has a UUID type, and from text columns.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::Diag;

constexpr char kText[] = "6f9619ff-8b86-d011-b42d-00c04fc964ff";
const SQLGUID kGuid = {
    0x6f9619ff, 0x8b86, 0xd011, {0xb4, 0x2d, 0x00, 0xc0, 0x4f, 0xc9, 0x64, 0xff}};

bool Same(const SQLGUID& a, const SQLGUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, 8) == 0;
}

std::string Lowered(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

class GuidDm : public qmr_test::DmTest {
 protected:
  // Reads row k's column u every way and checks it is kGuid.
  void ReadsAsTheGuid(const std::string& t, int k, const std::string& how) {
    const std::string sql = "SELECT u, u, u, u FROM " + t + " WHERE k = " + std::to_string(k);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)))
        << how << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << how;
    SQLGUID g{};
    SQLLEN len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_GUID, &g, sizeof g, &len))
        << how << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_TRUE(Same(kGuid, g)) << how << " as SQL_C_GUID";
    char text[64] = {};
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, &len)) << how;
    const bool binaryColumn = std::strlen(text) == 32;  // a UUID described as BINARY(16)
    EXPECT_EQ(binaryColumn ? "6F9619FF8B86D011B42D00C04FC964FF" : kText,
              binaryColumn ? std::string(text) : Lowered(text))
        << how << " as SQL_C_CHAR";
    char16_t wide[64] = {};
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 3, SQL_C_WCHAR, wide, sizeof wide, &len)) << how;
    EXPECT_EQ(binaryColumn ? 64 : 72, len) << how << " as SQL_C_WCHAR";
    unsigned char bytes[32] = {};
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 4, SQL_C_BINARY, bytes, sizeof bytes, &len)) << how;
    EXPECT_EQ(16, len) << how << " as SQL_C_BINARY";
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
};

TEST_P(GuidDm, AGuidConvertsEveryWay) {
  const Db db = qmr_test::DbOf(GetParam());
  if (db == Db::Derby) GTEST_SKIP() << "Derby has no UUID type";
  const std::string t = "qgu_" + qmr_test::Lower(GetParam());
  Exec("DROP TABLE " + t);
  MustExec("CREATE TABLE " + t + " (k INTEGER, u UUID, v VARCHAR(36))");
  SQLGUID g = kGuid;
  SQLLEN ind = sizeof g;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_GUID, SQL_GUID, 16, 0, &g, sizeof g, &ind);
  const std::string ins = "INSERT INTO " + t + " (k, u, v) VALUES (1, ?, '" + kText + "')";
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)ins.c_str(), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  ReadsAsTheGuid(t, 1, "from SQL_C_GUID");

  // The 16 bytes SQL_C_BINARY gave back go in again as they came.
  const std::string sel = "SELECT u FROM " + t + " WHERE k = 1";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)sel.c_str(), SQL_NTS)));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  unsigned char bytes[16] = {};
  SQLLEN len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_BINARY, bytes, sizeof bytes, &len));
  SQLFreeStmt(stmt_, SQL_CLOSE);
  ind = 16;
  // A binary column takes the bytes as binary; a GUID one as a GUID.
  const SQLSMALLINT sqlType = db == Db::Pg ? SQL_GUID : SQL_BINARY;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_BINARY, sqlType, 16, 0, bytes, 16, &ind);
  const std::string again = "INSERT INTO " + t + " (k, u) VALUES (2, ?)";
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)again.c_str(), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  ReadsAsTheGuid(t, 2, "from SQL_C_BINARY");

  // A text column holding a GUID's text reads as SQL_C_GUID in both builds.
  const std::string text = "SELECT v FROM " + t + " WHERE k = 1";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)text.c_str(), SQL_NTS)));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  SQLGUID fromText{};
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_GUID, &fromText, sizeof fromText, &len))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_TRUE(Same(kGuid, fromText));
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, GuidDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
