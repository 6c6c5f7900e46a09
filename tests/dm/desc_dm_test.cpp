// Descriptors through unixODBC's Driver Manager on HSQLDB in memory, with
// both builds: the implicit descriptors' defaults, the type fields kept
// consistent, fields an application may not set, the implementation row
// descriptor of a result, and SQLCopyDesc.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>

#include "tests/support/dm_session.h"

namespace {

using qmr_test::State;

class DescDm : public ::testing::TestWithParam<const char*>, public qmr_test::DmSession {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    ASSERT_TRUE(NewEnv());
    ASSERT_TRUE(ConnectString(std::string("DSN=") + GetParam()));
  }
  void TearDown() override { Close(); }

  SQLHDESC Implicit(SQLINTEGER attr) {
    SQLHDESC d = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, attr, &d, SQL_IS_POINTER, nullptr));
    EXPECT_NE(nullptr, d);
    return d;
  }
  // A field read in its own width: SQLSMALLINT for most, SQLLEN/SQLULEN
  // for the lengths and the array size.
  static SQLLEN Get(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field) {
    const bool wide =
        field == SQL_DESC_LENGTH || field == SQL_DESC_OCTET_LENGTH || field == SQL_DESC_ARRAY_SIZE;
    SQLLEN big = 0;
    SQLSMALLINT small = 0;
    SQLINTEGER mid = 0;
    const bool four = field == SQL_DESC_BIND_TYPE;
    void* where = wide ? static_cast<void*>(&big) : four ? static_cast<void*>(&mid) : &small;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(d, rec, field, where, wide ? sizeof big : 4, nullptr))
        << "record " << rec << " field " << field << " " << State(SQL_HANDLE_DESC, d);
    return wide ? big : four ? mid : small;
  }
  static SQLRETURN Set(SQLHDESC d, SQLSMALLINT rec, SQLSMALLINT field, SQLLEN v) {
    return SQLSetDescField(d, rec, field, reinterpret_cast<SQLPOINTER>(v), 0);
  }
  std::string Name(SQLHDESC d, SQLSMALLINT rec) {
    SQLWCHAR buf[64] = {0};
    SQLINTEGER len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDescFieldW(d, rec, SQL_DESC_NAME, buf, sizeof buf, &len))
        << State(SQL_HANDLE_DESC, d);
    std::string s;
    for (size_t i = 0; buf[i] != 0; ++i) s.push_back(static_cast<char>(buf[i]));
    // The Driver Manager converts the 8-bit build's answer and counts it its
    // own way; the Unicode build answers in bytes.
    if (Wide()) {
      EXPECT_EQ(static_cast<SQLINTEGER>(2 * s.size()), len);
    }
    return s;
  }
  void Select() {
    const std::string t = "ddm_t";
    SQLExecDirect(stmt_, (SQLCHAR*)"DROP TABLE ddm_t", SQL_NTS);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLExecDirect(stmt_,
                      (SQLCHAR*)"CREATE TABLE ddm_t (id INTEGER NOT NULL, name VARCHAR(30), "
                                "price DECIMAL(12,2), ts TIMESTAMP)",
                      SQL_NTS)));
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(stmt_, (SQLCHAR*)"SELECT id, name, price, ts FROM ddm_t", SQL_NTS))
        << State(SQL_HANDLE_STMT, stmt_);
  }
  bool Wide() const { return std::string(GetParam()) == "QmrHsqlU"; }
};

TEST_P(DescDm, ImplicitDescriptorsAndTheirDefaults) {
  SQLHDESC ard = Implicit(SQL_ATTR_APP_ROW_DESC);
  SQLHDESC apd = Implicit(SQL_ATTR_APP_PARAM_DESC);
  SQLHDESC ipd = Implicit(SQL_ATTR_IMP_PARAM_DESC);
  SQLHDESC ird = Implicit(SQL_ATTR_IMP_ROW_DESC);
  ASSERT_TRUE(ard && apd && ipd && ird);
  // (The Driver Manager answers for the row descriptor itself, HY007, until
  // the statement is prepared.)
  for (SQLHDESC d : {ard, apd, ipd}) EXPECT_EQ(SQL_DESC_ALLOC_AUTO, Get(d, 0, SQL_DESC_ALLOC_TYPE));
  EXPECT_EQ(0, Get(ard, 0, SQL_DESC_COUNT));
  EXPECT_EQ(1, Get(ard, 0, SQL_DESC_ARRAY_SIZE));
  EXPECT_EQ(SQL_BIND_BY_COLUMN, Get(ard, 0, SQL_DESC_BIND_TYPE));
  // New application records default to SQL_C_DEFAULT; parameters are input.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 0, SQL_DESC_COUNT, 2)) << State(SQL_HANDLE_DESC, ard);
  EXPECT_EQ(2, Get(ard, 0, SQL_DESC_COUNT));
  EXPECT_EQ(SQL_C_DEFAULT, Get(ard, 2, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_C_DEFAULT, Get(ard, 2, SQL_DESC_CONCISE_TYPE));
  ASSERT_EQ(SQL_SUCCESS, Set(apd, 0, SQL_DESC_COUNT, 1));
  EXPECT_EQ(SQL_C_DEFAULT, Get(apd, 1, SQL_DESC_CONCISE_TYPE));
  ASSERT_EQ(SQL_SUCCESS, Set(ipd, 0, SQL_DESC_COUNT, 1));
  EXPECT_EQ(SQL_PARAM_INPUT, Get(ipd, 1, SQL_DESC_PARAMETER_TYPE));
  // Lowering the count leaves the remaining records as they were.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 0, SQL_DESC_COUNT, 1));
  EXPECT_EQ(1, Get(ard, 0, SQL_DESC_COUNT));
}

TEST_P(DescDm, TypeAndConciseTypeFollowEachOther) {
  SQLHDESC ard = Implicit(SQL_ATTR_APP_ROW_DESC);
  ASSERT_NE(nullptr, ard);
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_CONCISE_TYPE, SQL_C_TYPE_TIMESTAMP))
      << State(SQL_HANDLE_DESC, ard);
  EXPECT_EQ(SQL_DATETIME, Get(ard, 1, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_CODE_TIMESTAMP, Get(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE));
  EXPECT_EQ(6, Get(ard, 1, SQL_DESC_PRECISION));
  // The verbose type with its code gives the concise type.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_TYPE, SQL_DATETIME));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_DATE));
  EXPECT_EQ(SQL_C_TYPE_DATE, Get(ard, 1, SQL_DESC_CONCISE_TYPE));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_TYPE, SQL_INTERVAL));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_DAY_TO_SECOND));
  EXPECT_EQ(SQL_C_INTERVAL_DAY_TO_SECOND, Get(ard, 1, SQL_DESC_CONCISE_TYPE));
  // A plain type is its own concise type; numbers get the default precision.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 1, SQL_DESC_TYPE, SQL_C_NUMERIC));
  EXPECT_EQ(SQL_C_NUMERIC, Get(ard, 1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(38, Get(ard, 1, SQL_DESC_PRECISION));
  // SQLSetDescRec sets them together.
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetDescRec(ard, 1, SQL_DATETIME, SQL_CODE_TIME, 0, 0, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ(SQL_C_TYPE_TIME, Get(ard, 1, SQL_DESC_CONCISE_TYPE));
  // An unknown type is refused.
  EXPECT_EQ(SQL_ERROR, Set(ard, 1, SQL_DESC_TYPE, 4711));
  EXPECT_EQ("HY092", State(SQL_HANDLE_DESC, ard));
}

TEST_P(DescDm, FieldsAnApplicationMayNotSet) {
  SQLHDESC ard = Implicit(SQL_ATTR_APP_ROW_DESC);
  SQLHDESC ird = Implicit(SQL_ATTR_IMP_ROW_DESC);
  ASSERT_TRUE(ard && ird);
  // Read-only header field.
  EXPECT_EQ(SQL_ERROR, Set(ard, 0, SQL_DESC_ALLOC_TYPE, SQL_DESC_ALLOC_USER));
  EXPECT_EQ("HY091", State(SQL_HANDLE_DESC, ard));
  // A field of implementation descriptors only.
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(ard, 1, SQL_DESC_NAME, (SQLPOINTER) "X", SQL_NTS));
  EXPECT_EQ("HY091", State(SQL_HANDLE_DESC, ard));
  // Nothing of an implementation row descriptor can be set.
  EXPECT_EQ(SQL_ERROR, Set(ird, 1, SQL_DESC_CONCISE_TYPE, SQL_INTEGER));
  EXPECT_EQ("HY016", State(SQL_HANDLE_DESC, ird));
  EXPECT_EQ(SQL_ERROR, SQLSetDescRec(ird, 1, SQL_INTEGER, 0, 0, 0, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ("HY016", State(SQL_HANDLE_DESC, ird));
}

TEST_P(DescDm, ImplementationRowDescriptorOfAResult) {
  SQLHDESC ird = Implicit(SQL_ATTR_IMP_ROW_DESC);
  ASSERT_NE(nullptr, ird);
  Select();
  EXPECT_EQ(SQL_DESC_ALLOC_AUTO, Get(ird, 0, SQL_DESC_ALLOC_TYPE));
  EXPECT_EQ(4, Get(ird, 0, SQL_DESC_COUNT));
  EXPECT_EQ(SQL_INTEGER, Get(ird, 1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(SQL_NO_NULLS, Get(ird, 1, SQL_DESC_NULLABLE));
  EXPECT_EQ(Wide() ? SQL_WVARCHAR : SQL_VARCHAR, Get(ird, 2, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(30, Get(ird, 2, SQL_DESC_LENGTH));
  EXPECT_EQ(SQL_DECIMAL, Get(ird, 3, SQL_DESC_TYPE));
  EXPECT_EQ(12, Get(ird, 3, SQL_DESC_PRECISION));
  EXPECT_EQ(2, Get(ird, 3, SQL_DESC_SCALE));
  EXPECT_EQ(SQL_DATETIME, Get(ird, 4, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_TYPE_TIMESTAMP, Get(ird, 4, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(SQL_CODE_TIMESTAMP, Get(ird, 4, SQL_DESC_DATETIME_INTERVAL_CODE));
  EXPECT_EQ("NAME", Name(ird, 2));
  // The whole record at once.
  SQLCHAR name[32];
  SQLSMALLINT nameLen = 0, type = 0, sub = -1, precision = 0, scale = 0, nullable = -1;
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(ird, 3, name, sizeof name, &nameLen, &type, &sub, &length,
                                       &precision, &scale, &nullable));
  EXPECT_STREQ("PRICE", reinterpret_cast<char*>(name));
  EXPECT_EQ(SQL_DECIMAL, type);
  EXPECT_EQ(0, sub);
  EXPECT_EQ(14, length);
  EXPECT_EQ(12, precision);
  EXPECT_EQ(2, scale);
  EXPECT_EQ(SQL_NULLABLE, nullable);
  // Beyond the last column there is no record.
  SQLSMALLINT v = 0;
  EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(ird, 5, SQL_DESC_TYPE, &v, sizeof v, nullptr));
}

TEST_P(DescDm, CopyDesc) {
  SQLHDESC ard = Implicit(SQL_ATTR_APP_ROW_DESC);
  SQLHDESC ird = Implicit(SQL_ATTR_IMP_ROW_DESC);
  ASSERT_TRUE(ard && ird);
  SQLHDESC mine = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc_, &mine));
  EXPECT_EQ(SQL_DESC_ALLOC_USER, Get(mine, 0, SQL_DESC_ALLOC_TYPE));
  // Application to application: records and header.
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 0, SQL_DESC_ARRAY_SIZE, 5));
  ASSERT_EQ(SQL_SUCCESS, Set(ard, 2, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG));
  ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(ard, mine)) << State(SQL_HANDLE_DESC, mine);
  EXPECT_EQ(2, Get(mine, 0, SQL_DESC_COUNT));
  EXPECT_EQ(5, Get(mine, 0, SQL_DESC_ARRAY_SIZE));
  EXPECT_EQ(SQL_C_SLONG, Get(mine, 2, SQL_DESC_CONCISE_TYPE));
  // A result's description into an application descriptor.
  Select();
  ASSERT_EQ(SQL_SUCCESS, SQLCopyDesc(ird, mine)) << State(SQL_HANDLE_DESC, mine);
  EXPECT_EQ(4, Get(mine, 0, SQL_DESC_COUNT));
  EXPECT_EQ(SQL_INTEGER, Get(mine, 1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(SQL_DECIMAL, Get(mine, 3, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(12, Get(mine, 3, SQL_DESC_PRECISION));
  EXPECT_EQ(2, Get(mine, 3, SQL_DESC_SCALE));
  EXPECT_EQ(SQL_TYPE_TIMESTAMP, Get(mine, 4, SQL_DESC_CONCISE_TYPE));
  // Nothing is copied into an implementation row descriptor.
  EXPECT_EQ(SQL_ERROR, SQLCopyDesc(mine, ird));
  EXPECT_EQ("HY016", State(SQL_HANDLE_DESC, ird));
  // Installed as a statement's row descriptor and freed: the statement
  // gets its implicit one back.
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, mine, 0))
      << State(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(mine, Implicit(SQL_ATTR_APP_ROW_DESC));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, mine));
  EXPECT_EQ(ard, Implicit(SQL_ATTR_APP_ROW_DESC));
}

TEST_P(DescDm, CopyFromTheRowDescriptorOfAnUnpreparedStatement) {
  SQLHSTMT fresh = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &fresh));
  SQLHDESC ird = nullptr;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetStmtAttr(fresh, SQL_ATTR_IMP_ROW_DESC, &ird, SQL_IS_POINTER, nullptr));
  SQLHDESC mine = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc_, &mine));
  EXPECT_EQ(SQL_ERROR, SQLCopyDesc(ird, mine));
  EXPECT_EQ("HY010", State(SQL_HANDLE_DESC, mine));
  SQLFreeHandle(SQL_HANDLE_DESC, mine);
  SQLFreeHandle(SQL_HANDLE_STMT, fresh);
}

INSTANTIATE_TEST_SUITE_P(Builds, DescDm, ::testing::Values("QmrHsqlU", "QmrHsqlA"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param).substr(7);
                         });

}  // namespace
