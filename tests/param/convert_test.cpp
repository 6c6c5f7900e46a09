// Every C type into the value set, as the agent receives it.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "driver/rowset/paramset.h"
#include "param/param_fixture.h"

namespace qmrtest {
namespace {

class ConvertTest : public ParamTest {
 protected:
  // Binds one input parameter and executes "?" with it.
  void Run(SQLSMALLINT cType, SQLSMALLINT sqlType, void* value, SQLLEN size, SQLLEN* ind,
           SQLULEN columnSize = 0, SQLSMALLINT digits = 0) {
    ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?)", 1));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, cType, sqlType, columnSize,
                                            digits, value, size, ind));
    ASSERT_EQ(SQL_SUCCESS, Exec()) << State(SQL_HANDLE_STMT, stmt);
    ASSERT_NE(nullptr, script->lastSet);
    ASSERT_EQ(1u, script->lastSet->rows_held);
  }
};

TEST_F(ConvertTest, IntegersKeepTheirWidthAndSign) {
  struct Case {
    SQLSMALLINT c;
    uint32_t type;
    int64_t v;
  };
  const Case cases[] = {
      {SQL_C_UTINYINT, COLSET_VT_UTINYINT, 250},
      {SQL_C_STINYINT, COLSET_VT_TINYINT, -100},
      {SQL_C_TINYINT, COLSET_VT_TINYINT, -5},
      {SQL_C_USHORT, COLSET_VT_USMALLINT, 65000},
      {SQL_C_SSHORT, COLSET_VT_SMALLINT, -32000},
      {SQL_C_SHORT, COLSET_VT_SMALLINT, 7},
      {SQL_C_ULONG, COLSET_VT_UINTEGER, 4000000000LL},
      {SQL_C_SLONG, COLSET_VT_INTEGER, -2000000000},
      {SQL_C_LONG, COLSET_VT_INTEGER, 123456},
      {SQL_C_BIT, COLSET_VT_BIT, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.c);
    alignas(8) unsigned char buf[8] = {};
    const int64_t v = c.v;
    std::memcpy(buf, &v, 8);  // little-endian: the low bytes are the value
    SQLLEN ind = 0;
    Run(c.c, SQL_INTEGER, buf, 0, &ind);
    EXPECT_EQ(c.type, Col(0).type);
    const uint32_t w = Col(0).elem_size;
    int64_t got = 0;
    std::memcpy(&got, Cell(0, 0), w);
    const bool isSigned =
        c.type == COLSET_VT_TINYINT || c.type == COLSET_VT_SMALLINT || c.type == COLSET_VT_INTEGER;
    if (isSigned && w < 8 && (got >> (w * 8 - 1)) & 1) got |= ~((int64_t{1} << (w * 8)) - 1);
    EXPECT_EQ(c.v, got);
    EXPECT_EQ(0, Col(0).ind[0]);
  }
}

TEST_F(ConvertTest, FloatingPointAndDateTimeStructures) {
  float f = 1.5f;
  SQLLEN ind = 0;
  Run(SQL_C_FLOAT, SQL_REAL, &f, 0, &ind);
  EXPECT_EQ(COLSET_VT_REAL, Col(0).type);
  EXPECT_EQ(1.5f, Fixed<float>(0, 0));

  double d = -2.25e100;
  Run(SQL_C_DOUBLE, SQL_DOUBLE, &d, 0, &ind);
  EXPECT_EQ(COLSET_VT_DOUBLE, Col(0).type);
  EXPECT_EQ(d, Fixed<double>(0, 0));

  SQL_DATE_STRUCT date{2024, 2, 29};
  Run(SQL_C_TYPE_DATE, SQL_TYPE_DATE, &date, 0, &ind);
  EXPECT_EQ(COLSET_VT_DATE, Col(0).type);
  EXPECT_EQ(29, Fixed<SQL_DATE_STRUCT>(0, 0).day);

  SQL_TIME_STRUCT time{23, 59, 58};
  Run(SQL_C_TIME, SQL_TIME, &time, 0, &ind);
  EXPECT_EQ(COLSET_VT_TIME, Col(0).type);
  EXPECT_EQ(58, Fixed<SQL_TIME_STRUCT>(0, 0).second);

  SQL_TIMESTAMP_STRUCT ts{1999, 12, 31, 23, 59, 59, 123456789};
  Run(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, &ts, 0, &ind, 29, 9);
  EXPECT_EQ(COLSET_VT_TIMESTAMP, Col(0).type);
  EXPECT_EQ(123456789u, Fixed<SQL_TIMESTAMP_STRUCT>(0, 0).fraction);
}

TEST_F(ConvertTest, DateTimeStructuresForCharacterParametersGoAsIsoText) {
  SQLLEN ind = 0;
  SQL_DATE_STRUCT date{2024, 2, 9};
  Run(SQL_C_TYPE_DATE, SQL_VARCHAR, &date, 0, &ind, 10);
  EXPECT_EQ("2024-02-09", Prefixed(0, 0));
  SQL_TIME_STRUCT time{7, 8, 9};
  Run(SQL_C_TYPE_TIME, SQL_CHAR, &time, 0, &ind, 8);
  EXPECT_EQ("07:08:09", Prefixed(0, 0));
  SQL_TIMESTAMP_STRUCT ts{1999, 12, 31, 23, 59, 58, 500000000};
  Run(SQL_C_TYPE_TIMESTAMP, SQL_WVARCHAR, &ts, 0, &ind, 30);
  EXPECT_EQ("1999-12-31 23:59:58.5", Prefixed(0, 0));
}

TEST_F(ConvertTest, BigIntegersGuidAndNumericTravelAsExactText) {
  SQLBIGINT s = INT64_MIN;
  SQLLEN ind = 0;
  Run(SQL_C_SBIGINT, SQL_BIGINT, &s, 0, &ind);
  EXPECT_EQ("-9223372036854775808", Prefixed(0, 0));
  SQLUBIGINT u = UINT64_MAX;
  Run(SQL_C_UBIGINT, SQL_BIGINT, &u, 0, &ind);
  EXPECT_EQ("18446744073709551615", Prefixed(0, 0));

  SQLGUID g{0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 0xAB, 0xCD}};
  Run(SQL_C_GUID, SQL_GUID, &g, 0, &ind);
  EXPECT_EQ("12345678-9ABC-DEF0-0102-03040506ABCD", Prefixed(0, 0));

  // 30 significant digits: 123456789012345678901234567890 / 10^5, negative.
  SQL_NUMERIC_STRUCT n{};
  n.precision = 30;
  n.scale = 5;
  n.sign = 0;
  // 123456789012345678901234567890 = 0x18EE90FF6C373E0EE4E3F0AD2
  const uint8_t mag[] = {0xD2, 0x0A, 0x3F, 0x4E, 0xEE, 0xE0, 0x73,
                         0xC3, 0xF6, 0x0F, 0xE9, 0x8E, 0x01};
  std::memcpy(n.val, mag, sizeof mag);
  Run(SQL_C_NUMERIC, SQL_DECIMAL, &n, 0, &ind, 30, 5);
  EXPECT_EQ("-1234567890123456789012345.67890", Prefixed(0, 0));
}

TEST_F(ConvertTest, NumericTextForms) {
  SQL_NUMERIC_STRUCT n{};
  n.sign = 1;
  n.val[0] = 0x39;
  n.val[1] = 0x30;  // 12345
  n.scale = 2;
  EXPECT_EQ("123.45", ParamNumericText(n));
  n.scale = 7;
  EXPECT_EQ("0.0012345", ParamNumericText(n));
  n.scale = -3;
  EXPECT_EQ("12345000", ParamNumericText(n));
  n.sign = 0;
  n.scale = 0;
  EXPECT_EQ("-12345", ParamNumericText(n));
  std::memset(n.val, 0, sizeof n.val);
  EXPECT_EQ("0", ParamNumericText(n));
  std::memset(n.val, 0xFF, sizeof n.val);
  n.sign = 1;
  EXPECT_EQ("340282366920938463463374607431768211455", ParamNumericText(n));
}

TEST_F(ConvertTest, TextWideAndBinaryKeepExactLengths) {
  char text[] = "ab\0cd";
  SQLLEN len = 5;
  Run(SQL_C_CHAR, SQL_VARCHAR, text, sizeof text, &len, 10);
  EXPECT_EQ(COLSET_VT_CHAR32, Col(0).type);
  EXPECT_EQ(std::string("ab\0cd", 5), Prefixed(0, 0));

  SQLLEN nts = SQL_NTS;
  char hello[] = "hello";
  Run(SQL_C_CHAR, SQL_VARCHAR, hello, sizeof hello, &nts, 10);
  EXPECT_EQ("hello", Prefixed(0, 0));

  char16_t wide[] = u"\u00e9t\u00e9";
  Run(SQL_C_WCHAR, SQL_WVARCHAR, wide, sizeof wide, &nts, 10);
  EXPECT_EQ(COLSET_VT_WCHAR32, Col(0).type);
  EXPECT_EQ(u"\u00e9t\u00e9", Wide(0, 0));

  unsigned char bytes[] = {0, 1, 2, 0xFF};
  SQLLEN blen = 4;
  Run(SQL_C_BINARY, SQL_VARBINARY, bytes, sizeof bytes, &blen, 4);
  EXPECT_EQ(COLSET_VT_BINARY32, Col(0).type);
  EXPECT_EQ(std::string("\0\1\2\xFF", 4), Prefixed(0, 0));
}

TEST_F(ConvertTest, HexTextForABinaryParameterBecomesBytesSizedForItsContent) {
  char hex[] = "0A1b";
  SQLLEN nts = SQL_NTS;
  Run(SQL_C_CHAR, SQL_VARBINARY, hex, 0, &nts, 100);
  EXPECT_EQ(COLSET_VT_BINARY32, Col(0).type);
  EXPECT_EQ(std::string("\x0A\x1B", 2), Prefixed(0, 0));
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_BINARY32, 2), Col(0).elem_size);
}

TEST_F(ConvertTest, NullIndicatorSendsNullWithoutReadingTheValue) {
  SQLLEN ind = SQL_NULL_DATA;
  Run(SQL_C_CHAR, SQL_BINARY, nullptr, 0, &ind, 4);
  EXPECT_TRUE(IsNull(0, 0));
  // The column stays a byte column: a NULL does not retype it.
  EXPECT_EQ(COLSET_VT_BINARY32, Col(0).type);
}

TEST_F(ConvertTest, DateTimeEscapesParseWithNanosecondFractions) {
  char ts[] = "{ts '2024-02-29 13:05:09.5'}";
  SQLLEN nts = SQL_NTS;
  Run(SQL_C_CHAR, SQL_TYPE_TIMESTAMP, ts, 0, &nts, 26, 6);
  EXPECT_EQ(COLSET_VT_TIMESTAMP, Col(0).type);
  const auto v = Fixed<SQL_TIMESTAMP_STRUCT>(0, 0);
  EXPECT_EQ(2024, v.year);
  EXPECT_EQ(2, v.month);
  EXPECT_EQ(29, v.day);
  EXPECT_EQ(13, v.hour);
  EXPECT_EQ(5, v.minute);
  EXPECT_EQ(9, v.second);
  EXPECT_EQ(500000000u, v.fraction);

  SQL_TIMESTAMP_STRUCT out{};
  EXPECT_EQ(SQL_TYPE_DATE, ParamParseDateTimeEscape("{d '1999/12/31'}", 16, &out));
  EXPECT_EQ(1999, out.year);
  EXPECT_EQ(31, out.day);
  EXPECT_EQ(SQL_TYPE_TIME, ParamParseDateTimeEscape("{t '10:30:07'}", 14, &out));
  EXPECT_EQ(7, out.second);
  EXPECT_EQ(0, ParamParseDateTimeEscape("{fn NOW()}", 10, &out));
  EXPECT_EQ(SQL_TYPE_TIMESTAMP,
            ParamParseDateTimeEscape("{ts '2000-01-02 03:04:05.1234567891'}", 37, &out));
  EXPECT_EQ(123456789u, out.fraction);
  // The parse stops at the given length: no terminator is needed.
  const char cut[] = {'{', 'd', ' ', '\'', '2', '0', '2', '0'};
  EXPECT_EQ(SQL_TYPE_DATE, ParamParseDateTimeEscape(cut, sizeof cut, &out));
  EXPECT_EQ(2020, out.year);
  const char16_t wts[] = u"{d '2001-02-03'}";
  EXPECT_EQ(SQL_TYPE_DATE, ParamParseDateTimeEscapeW(wts, 32, &out));
  EXPECT_EQ(3, out.day);
}

TEST_F(ConvertTest, OtherEscapesAndPlainTextAreSentUnchanged) {
  char fn[] = "{fn CURDATE()}";
  SQLLEN nts = SQL_NTS;
  Run(SQL_C_CHAR, SQL_TYPE_DATE, fn, 0, &nts, 10);
  EXPECT_EQ(COLSET_VT_CHAR32, Col(0).type);
  EXPECT_EQ("{fn CURDATE()}", Prefixed(0, 0));
}

TEST_F(ConvertTest, UndefinedNegativeLengthsAreRefusedBeforeAnyAllocation) {
  char text[] = "x";
  SQLLEN len = -7;
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?)", 1));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0,
                                          text, 2, &len));
  EXPECT_EQ(SQL_ERROR, Exec());
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(0, script->executions);
  len = SQL_DEFAULT_PARAM;
  EXPECT_EQ(SQL_ERROR, Exec());
  EXPECT_EQ("07S01", State(SQL_HANDLE_STMT, stmt));
  len = SQL_COLUMN_IGNORE;
  EXPECT_EQ(SQL_ERROR, Exec());
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(0, script->executions);
}

}  // namespace
}  // namespace qmrtest
