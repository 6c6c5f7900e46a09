// The type rules of the result-column describe: Java type to SQL type,
// display size, precision, row-buffer code and element length.
#include <gtest/gtest.h>

#include "drv_jdbc/j-exec.h"

namespace {

struct Want {
  int32_t sqlType;
  int32_t delivered;
  uint32_t precision;
  uint32_t display;
  uint32_t code;
  uint32_t elemLen;
};

JdbcColDesc Describe(int32_t javaType, int32_t precision, int32_t scale, int32_t display,
                     const DescribeRules& r = DescribeRules{}) {
  ColumnFacts f;
  f.javaType = javaType;
  f.precision = precision;
  f.scale = scale;
  f.displaySize = display;
  JdbcColDesc d{};
  describeColumnType(f, r, &d);
  return d;
}

void Expect(const JdbcColDesc& d, const Want& w, const char* what) {
  SCOPED_TRACE(what);
  EXPECT_EQ(d.sql_type, w.sqlType);
  EXPECT_EQ(d.delivered_type, w.delivered);
  EXPECT_EQ(d.precision, w.precision);
  EXPECT_EQ(d.display_size, w.display);
  EXPECT_EQ(d.value_type, w.code);
  EXPECT_EQ(d.elem_len, w.elemLen);
}

TEST(ColumnType, FixedSizeTypes) {
  Expect(Describe(4, 32, 0, 11), {4, 4, 10, 11, 5, 4}, "INTEGER in bits");
  Expect(Describe(4, 10, 0, 11), {4, 4, 10, 11, 5, 4}, "INTEGER in digits");
  Expect(Describe(5, 16, 0, 6), {5, 5, 5, 6, 4, 2}, "SMALLINT");
  Expect(Describe(-6, 8, 0, 4), {-6, -6, 3, 4, 4, 2}, "TINYINT as 16 bits");
  Expect(Describe(8, 64, 0, 23), {8, 8, 15, 24, 10, 8}, "DOUBLE");
  Expect(Describe(6, 64, 0, 23), {6, 6, 15, 24, 10, 8}, "FLOAT");
  Expect(Describe(7, 24, 0, 13), {7, 7, 7, 15, 9, 4}, "REAL");
  EXPECT_EQ(Describe(8, 17, 17, 25).scale, 0) << "a float has no scale";
  Expect(Describe(16, 0, 0, 5), {-7, -7, 1, 1, 2, 1}, "BOOLEAN without precision");
  Expect(Describe(-7, 1, 0, 1), {-7, -7, 1, 1, 2, 1}, "BIT");
}

TEST(ColumnType, NumbersAsTextWithRoomForSignPointAndDigits) {
  Expect(Describe(3, 12, 2, 14), {3, 3, 12, 14, 17, 15}, "DECIMAL(12,2)");
  Expect(Describe(2, 2, 2, 4), {2, 2, 2, 4, 17, 5}, "NUMERIC(2,2): -0.12 fits");
  Expect(Describe(-5, 19, 0, 20), {-5, -5, 19, 20, 17, 22}, "BIGINT");
  Expect(Describe(-5, 64, 0, 20), {-5, -5, 19, 20, 17, 22}, "BIGINT in bits");
  const JdbcColDesc d = Describe(3, 12, 2, 14);
  EXPECT_EQ(d.scale, 2);
  // The element itself: the text of -9999999999.99 (precision + 2
  // characters) and a NUL, and room for "-0." before digits.
  EXPECT_GE(ColSetTypeSize(d.value_type, d.elem_len), 12u + 3u);
}

TEST(ColumnType, NumbersWithoutPrecision) {
  DescribeRules fix;
  fix.negPrecFix = 1;
  Expect(Describe(3, 0, 0, 10), {3, 3, 8, 10, 17, 11}, "precision 0");
  Expect(Describe(-5, 0, 0, 20), {-5, -5, 19, 20, 17, 22}, "BIGINT precision 0");
  Expect(Describe(3, -1, 0, 10, fix), {3, 3, 8, 10, 17, 11}, "negative with NEGPRECFIX");
  // PostgreSQL's numeric of no declared precision, with room for its text.
  Expect(Describe(2, 0, 0, 131089), {2, 2, 1000, 1002, 17, 147458}, "unbounded");
  EXPECT_EQ(Describe(2, 0, 0, 131089).scale, 500);
  // Without NEGPRECFIX the display size follows the precision, but the
  // element still holds the display size's text and is never huge.
  const JdbcColDesc d = Describe(3, -1, 0, 20);
  EXPECT_EQ(d.display_size, 1u);
  EXPECT_EQ(d.precision, 0u);
  EXPECT_EQ(d.elem_len, 21u);
}

TEST(ColumnType, JetDeliversDecimal) {
  DescribeRules jet;
  jet.jet = 1;
  Expect(Describe(-5, 19, 0, 20, jet), {-5, 3, 19, 20, 17, 22}, "BIGINT");
  Expect(Describe(2, 10, 2, 12, jet), {2, 3, 10, 12, 17, 13}, "NUMERIC");
  Expect(Describe(3, 10, 2, 12, jet), {3, 3, 10, 12, 17, 13}, "DECIMAL");
}

TEST(ColumnType, CharacterColumns) {
  // Room for two UTF-16 units a character, three bytes each in 8-bit text.
  Expect(Describe(12, 20, 0, 20), {12, 12, 20, 20, 20, 121}, "VARCHAR(20)");
  Expect(Describe(1, 10, 0, 10), {1, 1, 10, 10, 20, 61}, "CHAR(10)");
  Expect(Describe(-9, 20, 0, 20), {12, 12, 20, 20, 20, 121}, "NVARCHAR narrow");
  DescribeRules wide;
  wide.wide = 1;
  Expect(Describe(12, 20, 0, 20, wide), {-9, -9, 20, 20, 27, 41}, "VARCHAR(20) wide");
  Expect(Describe(1, 10, 0, 10, wide), {-8, -8, 10, 10, 27, 21}, "CHAR(10) wide");
  Expect(Describe(-15, 10, 0, 10, wide), {-8, -8, 10, 10, 27, 21}, "NCHAR wide");
}

TEST(ColumnType, CharacterSizingFallsBackToTheDisplaySize) {
  Expect(Describe(12, 0, 0, 30), {12, 12, 30, 30, 20, 181}, "no precision");
  Expect(Describe(12, 10, 0, 30), {12, 12, 30, 30, 20, 181}, "precision below display");
  DescribeRules pnsosc;
  pnsosc.nullSizeOfChar = 254;
  Expect(Describe(12, 0, 0, 0, pnsosc), {12, 12, 254, 254, 20, 1525}, "PNSOSC");
}

TEST(ColumnType, LargeCharacterColumnsGoOutOfLine) {
  Expect(Describe(12, 60000, 0, 60000), {12, 12, 60000, 60000, 20, 360001}, "at the limit");
  Expect(Describe(12, 60001, 0, 60001), {12, 12, 60001, 60001, 15, 0}, "above");
  DescribeRules wide;
  wide.wide = 1;
  Expect(Describe(12, 60001, 0, 60001, wide), {-9, -9, 60001, 60001, 26, 0}, "wide above");
}

TEST(ColumnType, LongColumns) {
  Expect(Describe(2005, 0x7FFFFFFF, 0, 0x7FFFFFFF), {-1, -1, 0x7FFFFFFF, 0x7FFFFFFF, 15, 0},
         "CLOB");
  Expect(Describe(2005, 1000, 0, 1000), {-1, -1, 1000, 1000, 15, 0}, "CLOB(1000)");
  Expect(Describe(-1, 0x7FFFFFFF, 0, 0x7FFFFFFF), {-1, -1, 0x7FFFFFFF, 0x7FFFFFFF, 15, 0},
         "LONGVARCHAR");
  Expect(Describe(2004, 0, 0, 0), {-4, -4, 0x7FFFFFFF, 0x7FFFFFFF, 16, 0}, "BLOB");
  DescribeRules wide;
  wide.wide = 1;
  Expect(Describe(2005, 0x7FFFFFFF, 0, 0x7FFFFFFF, wide), {-10, -10, 0x7FFFFFFF, 0x7FFFFFFF, 26, 0},
         "CLOB wide");
  Expect(Describe(1111, 0, 0, 0, wide), {-10, -10, 0x7FFFFFFF, 0x7FFFFFFF, 26, 0}, "OTHER");
}

TEST(ColumnType, LongCharacterAsVarchar) {
  DescribeRules r;
  r.longVarcharToVarchar = 0;
  Expect(Describe(-1, 1000, 0, 1000, r), {-1, 12, 0x3FFFFFFD, 0x3FFFFFFD, 15, 0}, "PLCHR2VCHR 0");
  r.longVarcharToVarchar = 500;
  Expect(Describe(-1, 1000, 0, 1000, r), {-1, 12, 500, 500, 15, 0}, "PLCHR2VCHR 500");
  r.wide = 1;
  Expect(Describe(2005, 1000, 0, 1000, r), {-10, -9, 500, 500, 26, 0}, "wide PLCHR2VCHR 500");
}

TEST(ColumnType, Binary) {
  Expect(Describe(-3, 16, 0, 32), {-3, -3, 16, 32, 23, 20}, "VARBINARY(16)");
  Expect(Describe(-2, 8, 0, 16), {-2, -2, 8, 16, 14, 8}, "BINARY(8)");
  Expect(Describe(-3, 40, 0, 32), {-3, -3, 40, 80, 23, 44}, "precision above display / 2");
  Expect(Describe(-2, 16, 0, 36), {-2, -2, 16, 32, 14, 16}, "UUID: display size of its text");
  Expect(Describe(-3, 0, 0, 32), {-3, -3, 16, 32, 23, 20}, "no precision");
  Expect(Describe(-3, 70000, 0, 140000), {-3, -3, 70000, 140000, 16, 0}, "large");
  DescribeRules td;
  td.teradata = 1;
  Expect(Describe(-3, 16, 0, 20, td), {-3, -3, 20, 40, 23, 24}, "Teradata");
}

TEST(ColumnType, DatesByOdbcVersion) {
  DescribeRules v3;
  v3.odbcVersion = 3;
  DescribeRules v2;
  v2.odbcVersion = 2;
  Expect(Describe(91, 10, 0, 10, v3), {91, 91, 10, 10, 11, 6}, "DATE 3");
  Expect(Describe(91, 10, 0, 10, v2), {9, 9, 10, 10, 11, 6}, "DATE 2");
  Expect(Describe(92, 8, 0, 8, v3), {92, 92, 8, 8, 12, 12}, "TIME 3");
  Expect(Describe(92, 8, 0, 8, v2), {10, 10, 8, 8, 12, 12}, "TIME 2");
  Expect(Describe(92, 12, 3, 12, v3), {92, 92, 12, 12, 12, 12}, "TIME(3)");
  Expect(Describe(93, 26, 6, 26, v3), {93, 93, 26, 26, 13, 16}, "TIMESTAMP(6) 3");
  Expect(Describe(93, 26, 6, 26, v2), {11, 11, 26, 26, 13, 16}, "TIMESTAMP(6) 2");
  Expect(Describe(93, 19, 0, 19, v3), {93, 93, 19, 19, 13, 16}, "TIMESTAMP(0)");
  EXPECT_EQ(Describe(93, 19, -1, 19, v3).scale, 0);
}

TEST(ColumnType, AnythingElseIsText) {
  // What ODBC has no type for is described by an ODBC type and read as text.
  const Want longText{-1, -1, 0x7FFFFFFF, 0x7FFFFFFF, 15, 0};
  Expect(Describe(2003, 20, 0, 20), longText, "ARRAY: its size is no text length");
  Expect(Describe(2002, 0, 0, 0), longText, "STRUCT");
  Expect(Describe(2000, 0, 0, 0), longText, "JAVA_OBJECT");
  Expect(Describe(2014, 0, 0, 35), {12, 12, 35, 35, 20, 211}, "no precision: display size");
  Expect(Describe(-8, 18, 0, 18), {12, 12, 18, 18, 20, 109}, "ROWID");
  Expect(Describe(70, 200, 0, 200), {12, 12, 200, 200, 20, 1201}, "DATALINK");
  Expect(Describe(-7, 5, 0, 5), {12, 12, 5, 5, 20, 31}, "BIT(5): every bit as text");
  // Unbounded text is long text, whatever type the driver files it under.
  Expect(Describe(12, 0x7FFFFFFF, 0, 0x7FFFFFFF), longText, "PostgreSQL's text");
  Expect(Describe(1111, 1000000000, 0, 1000000000), {-1, -1, 1000000000, 1000000000, 15, 0},
         "H2's JSON");
  DescribeRules wide;
  wide.wide = 1;
  Expect(Describe(-9, 16777216, 0, 16777216, wide), {-10, -10, 16777216, 16777216, 26, 0}, "wide");
  Expect(Describe(12, 16777215, 0, 16777215), {12, 12, 16777215, 16777215, 15, 0}, "bounded");
}

TEST(ColumnType, JavaTypeMapping) {
  EXPECT_EQ(sqlTypeOfJava(1111, 5, 0), 12);
  EXPECT_EQ(sqlTypeOfJava(1111, 5, 1), -9);
  EXPECT_EQ(sqlTypeOfJava(-16, 0, 0), -1);
  EXPECT_EQ(sqlTypeOfJava(2011, 0, 1), -10);
  EXPECT_EQ(sqlTypeOfJava(2009, 0, 0), -1);
  EXPECT_EQ(sqlTypeOfJava(-155, 0, 1), 12);
  EXPECT_EQ(sqlTypeOfJava(-150, 0, 0), -2);
  EXPECT_EQ(sqlTypeOfJava(4, 0, 1), 4);
}

}  // namespace
