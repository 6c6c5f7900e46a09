// The describe of result columns against HSQLDB: SQL types, sizes and
// row-buffer codes for ODBC 3 and ODBC 2 applications, and values of every
// type fetched into the row buffer.
#include <gtest/gtest.h>

#include <jni.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-classload.h"
#include "drv_jdbc/j-exec.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap-types.h"
#include "exec_env.h"

using namespace jexec_test;

namespace {

class DescribeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const uint32_t c = Connect("describe");
    ASSERT_NE(c, 0u);
    Exec(c, {"CREATE TABLE types (i INTEGER, b BIGINT, s SMALLINT, d DECIMAL(12,2), "
             "f DOUBLE, v VARCHAR(20), c CHAR(10), dt DATE, tm TIME, ts TIMESTAMP, "
             "bo BOOLEAN, vb VARBINARY(16), cl CLOB, bl BLOB)",
             "INSERT INTO types VALUES (-7, 9000000000, 12, -1234567890.25, 2.5, 'h\xC3\xA9llo', "
             "'abc', DATE '2020-12-24', TIME '10:30:15', TIMESTAMP '2021-01-02 03:04:05.123456', "
             "TRUE, X'00FF10', 'a clob', X'CAFE')",
             "INSERT INTO types VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
             "NULL, NULL, NULL, NULL, NULL)"});
    Ops().DRV_Disconnect(c);
  }

  // The descriptions of SELECT * FROM types on a connection of the ODBC
  // version given.
  void DescribeAs(uint32_t version) {
    conn_ = Connect("describe");
    ASSERT_NE(conn_, 0u);
    ASSERT_EQ(Ops().DRV_SetOption(conn_, OPT_ODBC_VERSION, &version), 0u);
    stmt_ = std::make_unique<Stmt>(conn_);
    ASSERT_EQ(stmt_->Prepare("SELECT * FROM types"), 0u)
        << ::testing::PrintToString(Errors(stmt_->h()));
    ASSERT_EQ(Ops().DRV_NumResultCols(stmt_->h(), &count_, &cols_), 0u);
    ASSERT_EQ(count_, 14u);
  }

  void TearDown() override {
    ColDescFree(cols_, count_);
    stmt_.reset();
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }

  void Expect(uint16_t i, const char* name, int32_t type, uint32_t precision, uint32_t display,
              uint32_t code, uint32_t elemLen) {
    SCOPED_TRACE(name);
    const JdbcColDesc& d = cols_[i];
    EXPECT_STREQ(d.name, name);
    EXPECT_EQ(d.sql_type, type);
    EXPECT_EQ(d.precision, precision);
    EXPECT_EQ(d.display_size, display);
    EXPECT_EQ(d.value_type, code);
    EXPECT_EQ(d.elem_len, elemLen);
    EXPECT_EQ(ColDescNullable(&d), 1u);
  }

  uint32_t conn_ = 0;
  std::unique_ptr<Stmt> stmt_;
  uint16_t count_ = 0;
  JdbcColDesc* cols_ = nullptr;
};

TEST_F(DescribeTest, Odbc3Types) {
  DescribeAs(3);
  Expect(0, "I", 4, 10, 11, 5, 4);
  Expect(1, "B", -5, 19, 20, 17, 22);
  Expect(2, "S", 5, 5, 6, 4, 2);
  Expect(3, "D", 3, 12, 14, 17, 15);
  EXPECT_EQ(cols_[3].scale, 2);
  Expect(4, "F", 8, 15, 24, 10, 8);
  Expect(5, "V", 12, 20, 20, 20, 121);
  Expect(6, "C", 1, 10, 10, 20, 61);
  Expect(7, "DT", 91, 10, 10, 11, 6);
  Expect(8, "TM", 92, 8, 8, 12, 12);
  Expect(9, "TS", 93, 26, 26, 13, 16);
  EXPECT_EQ(cols_[9].scale, 6);
  Expect(10, "BO", -7, 1, 1, 2, 1);
  Expect(11, "VB", -3, 16, 32, 23, 20);
  Expect(12, "CL", -1, 1073741824, 1073741824, 15, 0);
  Expect(13, "BL", -4, 1073741824, 1073741824, 16, 0);
}

TEST_F(DescribeTest, Odbc2DatesAndTimes) {
  DescribeAs(2);
  Expect(7, "DT", 9, 10, 10, 11, 6);
  Expect(8, "TM", 10, 8, 8, 12, 12);
  Expect(9, "TS", 11, 26, 26, 13, 16);
  Expect(0, "I", 4, 10, 11, 5, 4);
  Expect(3, "D", 3, 12, 14, 17, 15);
}

TEST_F(DescribeTest, ValuesOfEveryTypeAndTheirNulls) {
  DescribeAs(3);
  ASSERT_EQ(stmt_->Execute(), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(stmt_->h(), 10, &r.set), 0u)
      << ::testing::PrintToString(Errors(stmt_->h()));
  // The long columns make it one row per fetch.
  ASSERT_EQ(r.set.rows_held, 1u);
  EXPECT_EQ(r.Int(0, 0), -7);
  EXPECT_EQ(r.Text(1, 0), "9000000000");
  EXPECT_EQ(r.Short(2, 0), 12);
  EXPECT_EQ(r.Text(3, 0), "-1234567890.25");
  EXPECT_DOUBLE_EQ(r.Double(4, 0), 2.5);
  EXPECT_EQ(r.Text(5, 0), "h\xC3\xA9llo");
  EXPECT_EQ(r.Text(6, 0), "abc       ");
  JC_Date date;
  std::memcpy(&date, r.Elem(7, 0), sizeof date);
  EXPECT_EQ(date.year, 2020);
  EXPECT_EQ(date.month, 12);
  EXPECT_EQ(date.day, 24);
  JC_Time time;
  std::memcpy(&time, r.Elem(8, 0), sizeof time);
  EXPECT_EQ(time.hour, 10);
  EXPECT_EQ(time.minute, 30);
  EXPECT_EQ(time.second, 15);
  JC_Timestamp ts;
  std::memcpy(&ts, r.Elem(9, 0), sizeof ts);
  EXPECT_EQ(ts.year, 2021);
  EXPECT_EQ(ts.second, 5);
  EXPECT_EQ(ts.fraction, 123456000u);
  EXPECT_EQ(r.Elem(10, 0)[0], 1);
  EXPECT_EQ(r.Prefixed(11, 0), std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(r.Long(12, 0), "a clob");
  EXPECT_EQ(r.Long(13, 0), "\xCA\xFE");
  for (uint16_t c = 0; c < 14; ++c) EXPECT_FALSE(r.IsNull(c, 0)) << c;

  ASSERT_EQ(Ops().DRV_Fetch(stmt_->h(), 10, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 1u);
  for (uint16_t c = 0; c < 14; ++c) EXPECT_TRUE(r.IsNull(c, 0)) << c;

  ASSERT_EQ(Ops().DRV_Fetch(stmt_->h(), 10, &r.set), 0u);
  EXPECT_EQ(r.set.rows_held, 0u);
}

// Both sides read the one-call describe's answer by position: each name of
// the Java class must stand for the number the agent reads it at.
TEST_F(DescribeTest, OneCallLayoutIsTheJavaClasses) {
  ASSERT_NE(Env(), 0u);
  JNIEnv* env = attachJVM();
  ASSERT_NE(env, nullptr);
  jclass cls = nullptr;
  ASSERT_EQ(JC_GetDescribeClass(env, &cls), 0u);
  const struct {
    const char* name;
    int64_t agent;
  } rows[] = {
      {"TYPE", jexec::kDescribeType},
      {"DISPLAY_SIZE", jexec::kDescribeDisplaySize},
      {"SCALE", jexec::kDescribeScale},
      {"PRECISION", jexec::kDescribePrecision},
      {"NULLABLE", jexec::kDescribeNullable},
      {"FLAGS", jexec::kDescribeFlags},
      {"INTS", jexec::kDescribeInts},
      {"READ_ONLY", jexec::kDescribeReadOnly},
      {"WRITABLE", jexec::kDescribeWritable},
      {"GUID", jexec::kDescribeGuid},
      {"MONEY", jexec::kDescribeMoney},
      {"ZONED", jexec::kDescribeZoned},
      {"LABEL", jexec::kDescribeLabel},
      {"TABLE", jexec::kDescribeTable},
      {"SCHEMA", jexec::kDescribeSchema},
      {"TEXTS", jexec::kDescribeTexts},
      // The attributes call's ints.
      {"ATTR_WRITABLE", jexec::kAnswerWritable},
      {"ATTR_READ_ONLY", jexec::kAnswerReadOnly},
      {"ATTR_AUTO_INCREMENT", jexec::kAnswerAutoIncrement},
      {"ATTR_CASE_SENSITIVE", jexec::kAnswerCaseSensitive},
      {"ATTR_SEARCHABLE", jexec::kAnswerSearchable},
      {"ATTRIBUTE_INTS", jexec::kAnswerIntCount},
  };
  for (const auto& row : rows) {
    const jfieldID f = env->GetStaticFieldID(cls, row.name, "I");
    if (f == nullptr) {
      env->ExceptionClear();
      ADD_FAILURE() << row.name << " is not a field of QMRDescribe";
      continue;
    }
    EXPECT_EQ(int64_t{env->GetStaticIntField(cls, f)}, row.agent) << row.name;
  }
  env->DeleteLocalRef(cls);
}

// Every field of a description, for comparing two reads of one result.
std::string Fields(const JdbcColDesc& d) {
  std::ostringstream o;
  o << d.name << " type " << d.sql_type << "/" << d.delivered_type << " flags " << d.flags
    << " display " << d.display_size << " scale " << d.scale << " precision " << d.precision
    << " code " << d.value_type << " len " << d.elem_len;
  for (unsigned k = 0; k < COLDESC_TEXTS; ++k) {
    const char* t = ColDescText(&d, k);
    o << " text" << k << " " << (t != nullptr ? t : "(none)");
  }
  return o.str();
}

// The column-by-column read the agent falls back on when the one call is
// not to be had describes every column as the one call does.
TEST_F(DescribeTest, ColumnByColumnDescribesAsTheOneCall) {
  conn_ = Connect("describe");
  ASSERT_NE(conn_, 0u);
  const auto describe = [this](bool oneCall) {
    jexec::SetDescribeInOneCall(oneCall);
    const uint64_t before = jexec::DescribedInOneCall();
    std::vector<std::string> out;
    Stmt s(conn_);
    uint16_t n = 0;
    JdbcColDesc* cols = nullptr;
    EXPECT_EQ(s.Prepare("SELECT t.*, i + 1 AS e, 'x' AS lit FROM types t"), 0u);
    EXPECT_EQ(Ops().DRV_NumResultCols(s.h(), &n, &cols), 0u);
    for (uint16_t i = 0; i < n; ++i) out.push_back(Fields(cols[i]));
    ColDescFree(cols, n);
    jexec::SetDescribeInOneCall(true);
    EXPECT_EQ(jexec::DescribedInOneCall() > before, oneCall);
    return out;
  };
  const std::vector<std::string> one = describe(true);
  const std::vector<std::string> byColumn = describe(false);
  ASSERT_EQ(one.size(), 16u);
  ASSERT_EQ(byColumn.size(), one.size());
  for (size_t i = 0; i < one.size(); ++i) EXPECT_EQ(byColumn[i], one[i]) << "column " << i + 1;
}

TEST_F(DescribeTest, DecimalTextKeepsSignPointAndEveryDigit) {
  conn_ = Connect("describe");
  ASSERT_NE(conn_, 0u);
  Exec(conn_, {"CREATE TABLE dec2 (a DECIMAL(2,2), b DECIMAL(12,2), c NUMERIC(5,0))",
               "INSERT INTO dec2 VALUES (-0.12, -9999999999.99, -99999)"});
  stmt_ = std::make_unique<Stmt>(conn_);
  ASSERT_EQ(stmt_->Run("SELECT a, b, c FROM dec2"), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(stmt_->h(), 5, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 1u);
  EXPECT_EQ(r.Text(0, 0), "-0.12");
  EXPECT_EQ(r.Text(1, 0), "-9999999999.99");
  EXPECT_EQ(r.Text(2, 0), "-99999");
  // Each text ends inside its own element.
  for (uint16_t c = 0; c < 3; ++c) {
    EXPECT_LT(r.Text(c, 0).size(), r.set.cols[c].elem_size) << c;
  }
}

TEST_F(DescribeTest, WideColumnsHoldTheirTextAndItsNul) {
  conn_ = Connect("describe");
  ASSERT_NE(conn_, 0u);
  Exec(conn_,
       {"CREATE TABLE wide (v VARCHAR(5), c CHAR(3))",
        "INSERT INTO wide VALUES ('h\xC3\xA9llo', 'x')",
        "INSERT INTO wide VALUES ('\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC', "
        "'abc')"});
  stmt_ = std::make_unique<Stmt>(conn_);
  stmt_->rec()->wide = 1;  // as a connection in UTF-8 mode gives its statements
  ASSERT_EQ(stmt_->Prepare("SELECT v, c FROM wide ORDER BY c DESC"), 0u);
  ASSERT_EQ(Ops().DRV_NumResultCols(stmt_->h(), &count_, &cols_), 0u);
  ASSERT_EQ(count_, 2u);
  EXPECT_EQ(cols_[0].sql_type, -9);
  EXPECT_EQ(cols_[0].value_type, static_cast<uint32_t>(COLSET_VT_WCHAR32));
  EXPECT_EQ(cols_[1].sql_type, -8);
  ASSERT_EQ(stmt_->Execute(), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(stmt_->h(), 5, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 2u);
  EXPECT_EQ(r.Wide(0, 0), u"h\u00e9llo");
  EXPECT_EQ(r.Wide(1, 0), u"x  ");
  EXPECT_EQ(r.Wide(0, 1), u"\u20ac\u20ac\u20ac\u20ac\u20ac");
  EXPECT_EQ(r.Wide(1, 1), u"abc");
}

TEST_F(DescribeTest, NarrowColumnsKeepNonAsciiText) {
  conn_ = Connect("describe");
  ASSERT_NE(conn_, 0u);
  Exec(conn_, {"CREATE TABLE narrow (v VARCHAR(4))",
               "INSERT INTO narrow VALUES ('\xE2\x82\xAC\xE2\x82\xAC\xC3\xA9\xC3\xA9')"});
  stmt_ = std::make_unique<Stmt>(conn_);
  ASSERT_EQ(stmt_->Run("SELECT v FROM narrow"), 0u);
  Rows r;
  ASSERT_EQ(Ops().DRV_Fetch(stmt_->h(), 5, &r.set), 0u);
  ASSERT_EQ(r.set.rows_held, 1u);
  EXPECT_EQ(r.Text(0, 0), "\xE2\x82\xAC\xE2\x82\xAC\xC3\xA9\xC3\xA9");
}

}  // namespace
