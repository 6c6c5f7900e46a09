// Describing results: SQLNumResultCols, SQLDescribeCol(W), SQLColAttribute
// and SQLColAttributes over the fourteen column types, and the fetch-block
// size the description implies.
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstring>
#include <string>

#include "driver/coldesc.h"
#include "driver/stmt.h"
#include "stmt/stmt_fixture.h"

namespace qmrtest {
namespace {

struct Expect {
  const char* name;
  SQLSMALLINT type3;  // ODBC 3 application
  SQLSMALLINT type2;  // ODBC 2 application
  SQLULEN size;
  SQLSMALLINT digits;
  SQLSMALLINT nullable;
  SQLLEN length;  // SQL_COLUMN_LENGTH
  SQLLEN searchable;
  SQLLEN isUnsigned;
};

const Expect kExpected[] = {
    {"I", SQL_INTEGER, SQL_INTEGER, 10, 0, SQL_NO_NULLS, 4, SQL_PRED_BASIC, 0},
    {"BI", SQL_BIGINT, SQL_BIGINT, 19, 0, SQL_NULLABLE, 8, SQL_PRED_BASIC, 0},
    {"SI", SQL_SMALLINT, SQL_SMALLINT, 5, 0, SQL_NULLABLE, 2, SQL_PRED_BASIC, 0},
    {"DEC", SQL_DECIMAL, SQL_DECIMAL, 12, 2, SQL_NULLABLE, 14, SQL_PRED_BASIC, 0},
    {"DBL", SQL_DOUBLE, SQL_DOUBLE, 15, 0, SQL_NULLABLE, 8, SQL_PRED_BASIC, 0},
    {"VC", SQL_WVARCHAR, SQL_WVARCHAR, 40, 0, SQL_NULLABLE, 160, SQL_SEARCHABLE, 1},
    {"CH", SQL_WCHAR, SQL_WCHAR, 10, 0, SQL_NULLABLE, 40, SQL_SEARCHABLE, 1},
    {"D", SQL_TYPE_DATE, SQL_DATE, 10, 0, SQL_NULLABLE, 6, SQL_PRED_BASIC, 1},
    {"TM", SQL_TYPE_TIME, SQL_TIME, 8, 0, SQL_NULLABLE, 6, SQL_PRED_BASIC, 1},
    {"TS", SQL_TYPE_TIMESTAMP, SQL_TIMESTAMP, 26, 6, SQL_NULLABLE, 16, SQL_PRED_BASIC, 1},
    {"B", SQL_BIT, SQL_BIT, 1, 0, SQL_NULLABLE, 1, SQL_PRED_BASIC, 1},
    {"VB", SQL_VARBINARY, SQL_VARBINARY, 16, 0, SQL_NULLABLE, 16, SQL_PRED_NONE, 1},
    {"CL", SQL_WLONGVARCHAR, SQL_WLONGVARCHAR, 1048576, 0, SQL_NULLABLE, 4194304, SQL_PRED_CHAR, 1},
    {"BL", SQL_LONGVARBINARY, SQL_LONGVARBINARY, 1048576, 0, SQL_NULLABLE, 1048576, SQL_PRED_NONE,
     1},
};

class Describe : public StmtTest {
 protected:
  SQLHSTMT Selected() {
    scriptData.cols = SampleColumns();
    SQLHSTMT h = Alloc();
    EXPECT_EQ(SQL_SUCCESS, Direct(h, "select * from t"));
    return h;
  }
  SQLLEN Num(SQLHSTMT h, SQLUSMALLINT col, SQLUSMALLINT field, bool odbc2 = false) {
    SQLLEN v = -12345;
    const SQLRETURN rc = odbc2 ? SQLColAttributes(h, col, field, nullptr, 0, nullptr, &v)
                               : SQLColAttribute(h, col, field, nullptr, 0, nullptr, &v);
    EXPECT_EQ(SQL_SUCCESS, rc) << "column " << col << " field " << field;
    return v;
  }
  std::string Text(SQLHSTMT h, SQLUSMALLINT col, SQLUSMALLINT field) {
    char buf[128] = "x";
    SQLSMALLINT len = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(h, col, field, buf, sizeof buf, &len, nullptr))
        << "column " << col << " field " << field;
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(buf)), len);
    return buf;
  }
};

TEST_F(Describe, EachTypeAsAnOdbc3ApplicationSeesIt) {
  SQLHSTMT h = Selected();
  for (SQLUSMALLINT i = 1; i <= 14; ++i) {
    const Expect& e = kExpected[i - 1];
    SQLCHAR name[32];
    SQLSMALLINT nameLen = 0, type = 0, digits = -1, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLDescribeCol(h, i, name, sizeof name, &nameLen, &type, &size, &digits, &nullable));
    EXPECT_STREQ(e.name, reinterpret_cast<char*>(name));
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(e.name)), nameLen);
    EXPECT_EQ(e.type3, type) << e.name;
    EXPECT_EQ(e.size, size) << e.name;
    EXPECT_EQ(e.digits, digits) << e.name;
    EXPECT_EQ(e.nullable, nullable) << e.name;
  }
}

TEST_F(Describe, Odbc2ApplicationsSeeTheOldDateTimeTypes) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0));
  SQLHSTMT h = Selected();
  for (SQLUSMALLINT i = 1; i <= 14; ++i) {
    const Expect& e = kExpected[i - 1];
    SQLSMALLINT type = 0;
    ASSERT_EQ(SQL_SUCCESS,
              SQLDescribeCol(h, i, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr));
    EXPECT_EQ(e.type2, type) << e.name;
    EXPECT_EQ(e.type2, Num(h, i, SQL_COLUMN_TYPE, true)) << e.name;
  }
}

TEST_F(Describe, Odbc2FieldsOfEveryColumn) {
  SQLHSTMT h = Selected();
  EXPECT_EQ(14, Num(h, 0, SQL_COLUMN_COUNT, true));
  for (SQLUSMALLINT i = 1; i <= 14; ++i) {
    const Expect& e = kExpected[i - 1];
    const ColSpec spec = SampleColumns()[i - 1];
    EXPECT_EQ(e.type3, Num(h, i, SQL_COLUMN_TYPE, true)) << e.name;
    EXPECT_EQ(e.length, Num(h, i, SQL_COLUMN_LENGTH, true)) << e.name;
    EXPECT_EQ(static_cast<SQLLEN>(e.size), Num(h, i, SQL_COLUMN_PRECISION, true)) << e.name;
    EXPECT_EQ(e.digits, Num(h, i, SQL_COLUMN_SCALE, true)) << e.name;
    EXPECT_EQ(static_cast<SQLLEN>(spec.displaySize), Num(h, i, SQL_COLUMN_DISPLAY_SIZE, true));
    EXPECT_EQ(e.nullable, Num(h, i, SQL_COLUMN_NULLABLE, true)) << e.name;
    EXPECT_EQ(e.isUnsigned, Num(h, i, SQL_COLUMN_UNSIGNED, true)) << e.name;
    EXPECT_EQ(0, Num(h, i, SQL_COLUMN_MONEY, true)) << e.name;
    EXPECT_EQ(i == 1 ? SQL_ATTR_WRITE : SQL_ATTR_READWRITE_UNKNOWN,
              Num(h, i, SQL_COLUMN_UPDATABLE, true))
        << e.name;
    EXPECT_EQ(0, Num(h, i, SQL_COLUMN_AUTO_INCREMENT, true));
    EXPECT_EQ(0, Num(h, i, SQL_COLUMN_CASE_SENSITIVE, true));
    EXPECT_EQ(e.searchable, Num(h, i, SQL_COLUMN_SEARCHABLE, true)) << e.name;
    EXPECT_EQ(e.name, Text(h, i, SQL_COLUMN_NAME));
    EXPECT_EQ(e.name, Text(h, i, SQL_COLUMN_LABEL));
    EXPECT_EQ(i == 1 ? "T" : "", Text(h, i, SQL_COLUMN_TABLE_NAME));
    EXPECT_EQ(i == 1 ? "PUBLIC" : "", Text(h, i, SQL_COLUMN_OWNER_NAME));
    EXPECT_EQ(i == 1 ? "DB" : "", Text(h, i, SQL_COLUMN_QUALIFIER_NAME));
  }
}

TEST_F(Describe, Odbc3FieldsAnsweredFromTheDescription) {
  SQLHSTMT h = Selected();
  EXPECT_EQ(14, Num(h, 1, SQL_DESC_COUNT));
  for (SQLUSMALLINT i = 1; i <= 14; ++i) {
    const Expect& e = kExpected[i - 1];
    EXPECT_EQ(e.type3, Num(h, i, SQL_DESC_CONCISE_TYPE)) << e.name;
    EXPECT_EQ(e.nullable, Num(h, i, SQL_DESC_NULLABLE)) << e.name;
    EXPECT_EQ(e.isUnsigned, Num(h, i, SQL_DESC_UNSIGNED)) << e.name;
    EXPECT_EQ(e.searchable, Num(h, i, SQL_DESC_SEARCHABLE)) << e.name;
    EXPECT_EQ(0, Num(h, i, SQL_DESC_FIXED_PREC_SCALE));
    EXPECT_EQ(0, Num(h, i, SQL_DESC_AUTO_UNIQUE_VALUE));
    EXPECT_EQ(0, Num(h, i, SQL_DESC_CASE_SENSITIVE));
    EXPECT_EQ(0, Num(h, i, 35));  // row version
    EXPECT_EQ(e.name, Text(h, i, SQL_DESC_NAME));
    EXPECT_EQ(e.name, Text(h, i, SQL_DESC_LABEL));
    EXPECT_EQ(i == 1 ? "T" : "", Text(h, i, SQL_DESC_TABLE_NAME));
    EXPECT_EQ(i == 1 ? "PUBLIC" : "", Text(h, i, SQL_DESC_SCHEMA_NAME));
    EXPECT_EQ(i == 1 ? "DB" : "", Text(h, i, SQL_DESC_CATALOG_NAME));
  }
}

TEST_F(Describe, Odbc3FieldsAnsweredThroughTheImplementationRowDescriptor) {
  SQLHSTMT h = Selected();
  EXPECT_EQ(SQL_DATETIME, Num(h, 8, SQL_DESC_TYPE));
  EXPECT_EQ(SQL_DECIMAL, Num(h, 4, SQL_DESC_TYPE));
  EXPECT_EQ(12, Num(h, 4, SQL_DESC_PRECISION));
  EXPECT_EQ(2, Num(h, 4, SQL_DESC_SCALE));
  EXPECT_EQ(SQL_NAMED, Num(h, 4, SQL_DESC_UNNAMED));
  EXPECT_EQ("DEC", Text(h, 4, SQL_DESC_BASE_COLUMN_NAME));
  for (SQLUSMALLINT i = 1; i <= 14; ++i) {
    for (SQLUSMALLINT f : {SQL_DESC_TYPE_NAME, SQL_DESC_BASE_TABLE_NAME, SQL_DESC_LITERAL_PREFIX,
                           SQL_DESC_LITERAL_SUFFIX, SQL_DESC_LOCAL_TYPE_NAME}) {
      char buf[64];
      SQLSMALLINT len = -1;
      const SQLRETURN rc = SQLColAttribute(h, i, f, buf, sizeof buf, &len, nullptr);
      EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << i << " " << f;
    }
    for (SQLUSMALLINT f : {SQL_DESC_LENGTH, SQL_DESC_OCTET_LENGTH, SQL_DESC_NUM_PREC_RADIX}) {
      SQLLEN v = -12345;
      EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(h, i, f, nullptr, 0, nullptr, &v)) << i << " " << f;
      EXPECT_NE(-12345, v);
    }
  }
}

TEST_F(Describe, WideTextAnswersCountBytes) {
  scriptData.cols = SampleColumns();
  scriptData.cols[5].label = "Größe";
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select * from t"));
  SQLWCHAR buf[16];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLColAttributeW(h, 6, SQL_DESC_LABEL, buf, sizeof buf, &len, nullptr));
  EXPECT_EQ(10, len);
  EXPECT_EQ(std::u16string(u"Größe"), std::u16string(reinterpret_cast<char16_t*>(buf)));
  // Room for two characters and the terminator.
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLColAttributeW(h, 6, SQL_DESC_NAME, buf, 6, &len, nullptr));
  EXPECT_EQ("01004", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(std::u16string(u"Gr"), std::u16string(reinterpret_cast<char16_t*>(buf)));
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeColW(h, 6, buf, 16, &len, &type, nullptr, nullptr, nullptr));
  EXPECT_EQ(5, len);
  EXPECT_EQ(SQL_WVARCHAR, type);
  EXPECT_EQ(std::u16string(u"Größe"), std::u16string(reinterpret_cast<char16_t*>(buf)));
}

TEST_F(Describe, LabelsAndTruncatedNames) {
  scriptData.cols = SampleColumns();
  scriptData.cols[0].label = "A_MUCH_LONGER_LABEL";
  scriptData.cols[1].label = "";  // present but empty: the name answers
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select * from t"));
  SQLCHAR name[8];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLDescribeCol(h, 1, name, sizeof name, &len, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("01004", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(19, len);
  EXPECT_STREQ("A_MUCH_", reinterpret_cast<char*>(name));
  ASSERT_EQ(SQL_SUCCESS,
            SQLDescribeCol(h, 2, name, sizeof name, &len, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("BI", reinterpret_cast<char*>(name));
  EXPECT_EQ(SQL_ERROR, SQLDescribeCol(h, 2, name, -1, &len, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, h));
}

TEST_F(Describe, ColumnNumbersOutsideTheResult) {
  SQLHSTMT h = Selected();
  SQLSMALLINT type = 0;
  EXPECT_EQ(SQL_ERROR,
            SQLDescribeCol(h, 15, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(SQL_ERROR, SQLDescribeCol(h, 0, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, h));
  SQLLEN v = 0;
  EXPECT_EQ(SQL_ERROR, SQLColAttribute(h, 15, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &v));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, h));
}

TEST_F(Describe, BookmarkColumnWhenBookmarksAreOn) {
  SQLHSTMT h = Selected();
  Stmt(h)->useBookmarks = 1;
  SQLCHAR name[16];
  SQLSMALLINT type = 0, digits = -1, nullable = -1, len = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLDescribeCol(h, 0, name, sizeof name, &len, &type, &size, &digits, &nullable));
  EXPECT_STREQ("BOOKMARK", reinterpret_cast<char*>(name));
  EXPECT_EQ(1, type);
  EXPECT_EQ(8u, size);
  EXPECT_EQ(0, digits);
  EXPECT_EQ(0, nullable);
  char buf[16] = "x";
  ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(h, 0, SQL_DESC_NAME, buf, sizeof buf, &len, nullptr));
  EXPECT_STREQ("", buf);
  EXPECT_EQ(0, len);
  EXPECT_EQ(8, Num(h, 0, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(SQL_CHAR, Num(h, 0, SQL_DESC_TYPE));
}

TEST_F(Describe, StatementWithoutResultColumnsAnswersZero) {
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "insert into t values (1)"));
  SQLSMALLINT n = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  EXPECT_EQ(0, n);
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  EXPECT_EQ(2, scriptData.describeCalls);  // nothing is kept, so it asks again
  EXPECT_EQ(0, Num(h, 1, SQL_DESC_COUNT));
  // Nothing to describe: the statement is no query (07005).
  EXPECT_EQ(SQL_ERROR,
            SQLDescribeCol(h, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("07005", State(SQL_HANDLE_STMT, h));
  SQLLEN v = -1;
  EXPECT_EQ(SQL_ERROR, SQLColAttribute(h, 1, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &v));
  EXPECT_EQ("07005", State(SQL_HANDLE_STMT, h));
  char buf[16];
  EXPECT_EQ(SQL_ERROR,
            SQLColAttribute(h, 1, SQL_DESC_BASE_COLUMN_NAME, buf, sizeof buf, nullptr, nullptr));
  EXPECT_EQ("07005", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(h, nullptr));
}

TEST_F(Describe, Odbc2StatementWithoutResultColumnsIsAnInvalidCursorState) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0));
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "insert into t values (1)"));
  SQLSMALLINT type = 0;
  EXPECT_EQ(SQL_ERROR, SQLDescribeCol(h, 1, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, h));
  SQLLEN v = -1;
  EXPECT_EQ(SQL_ERROR, SQLColAttributes(h, 1, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &v));
  EXPECT_EQ("24000", State(SQL_HANDLE_STMT, h));
}

TEST_F(Describe, ColumnsBeyondARealResultAnsweredByTheDescriptorAreInvalid) {
  SQLHSTMT h = Selected();
  char buf[16];
  EXPECT_EQ(SQL_ERROR,
            SQLColAttribute(h, 15, SQL_DESC_BASE_COLUMN_NAME, buf, sizeof buf, nullptr, nullptr));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, h));
  SQLLEN v = -1;
  EXPECT_EQ(SQL_ERROR, SQLColAttribute(h, 15, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &v));
  EXPECT_EQ("07009", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(-1, v);
}

TEST_F(Describe, ProcedureParameterColumnsAreNotCountedButStayReachable) {
  scriptData.cols = {Col("RESULT", SQL_INTEGER, 10, 0, 1, 5, 4, 11),
                     Col("*O", SQL_INTEGER, 10, 0, 1, 5, 4, 11),
                     Col("*B", SQL_WVARCHAR, 5, 0, 1, 25, 6, 5)};
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "{call p(?)}"));
  SQLSMALLINT n = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &n));
  EXPECT_EQ(1, n);
  EXPECT_EQ(SQL_WVARCHAR, Num(h, 3, SQL_DESC_CONCISE_TYPE));
}

TEST_F(Describe, CallsBeforePreparationAreSequenceErrors) {
  SQLHSTMT h = Alloc();
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQL_ERROR, SQLNumResultCols(h, &n));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(SQL_ERROR,
            SQLDescribeCol(h, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, h));
  SQLLEN v = 0;
  EXPECT_EQ(SQL_ERROR, SQLColAttribute(h, 1, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &v));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, h));
  EXPECT_EQ(0, scriptData.describeCalls);
}

TEST_F(Describe, BadFieldsAndLengths) {
  SQLHSTMT h = Selected();
  SQLLEN v = 0;
  EXPECT_EQ(SQL_ERROR, SQLColAttribute(h, 1, 1007, nullptr, 0, nullptr, &v));
  EXPECT_EQ("HY091", State(SQL_HANDLE_STMT, h));
  char buf[8];
  EXPECT_EQ(SQL_ERROR, SQLColAttribute(h, 1, SQL_DESC_NAME, buf, -2, nullptr, nullptr));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, h));
  // Numeric fields with no place for the answer touch nothing.
  EXPECT_EQ(SQL_SUCCESS, SQLColAttributes(h, 1, SQL_COLUMN_TYPE, nullptr, 0, nullptr, nullptr));
}

TEST_F(Describe, AgentFailureWhileDescribing) {
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select * from t"));
  fake.PushResult(15, 15);
  fake.PostError(Stmt(h)->agentStmt, {"metadata unavailable", "HY000", 7, false});
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQL_ERROR, SQLNumResultCols(h, &n));
  EXPECT_EQ("metadata unavailable",
            Message(SQL_HANDLE_STMT, h).substr(Message(SQL_HANDLE_STMT, h).size() - 20));
}

TEST_F(Describe, ExtraAttributesFromTheAgentWhenItOffersThem) {
  conn->cap0x400 = 1;
  ATTR_ENTRY every{};
  every.column = 0;
  every.field = SQL_COLUMN_CASE_SENSITIVE;
  every.kind = ATTR_KIND_INT;
  every.value.u32 = 1;
  ATTR_ENTRY one{};
  one.column = 1;
  one.field = SQL_COLUMN_AUTO_INCREMENT;
  one.kind = ATTR_KIND_INT;
  one.value.u32 = 1;
  ATTR_ENTRY skipped{};
  skipped.column = 2;
  skipped.field = -SQL_COLUMN_UPDATABLE;
  skipped.kind = ATTR_KIND_INT;
  scriptData.attrs = {every, one, skipped};
  SQLHSTMT h = Selected();
  EXPECT_EQ(1, Num(h, 1, SQL_DESC_AUTO_UNIQUE_VALUE));
  EXPECT_EQ(0, Num(h, 2, SQL_DESC_AUTO_UNIQUE_VALUE));
  EXPECT_EQ(1, Num(h, 7, SQL_DESC_CASE_SENSITIVE));
  EXPECT_EQ(SQL_ATTR_READWRITE_UNKNOWN, Num(h, 2, SQL_DESC_UPDATABLE));
  EXPECT_EQ(1, fake.CallCount(51));
  EXPECT_EQ(0, fake.CallCount(15));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_CLOSE));
  EXPECT_EQ(nullptr, Stmt(h)->colAttrs);
}

TEST(RowWidth, BlocksFollowTheRowWidth) {
  JdbcColDesc one[1] = {};
  one[0].value_type = COLSET_VT_INTEGER;
  EXPECT_EQ(6u, STMT_RowWidth(one, 1));
  EXPECT_EQ(10922u, STMT_RowsPerBlock(6, 20000));
  EXPECT_EQ(60u, STMT_RowsPerBlock(6, kDefaultFetchRows));
  // No columns: nothing to divide by.
  EXPECT_EQ(0u, STMT_RowWidth(nullptr, 0));
  EXPECT_EQ(60u, STMT_RowsPerBlock(0, 60));
  // A row wider than a block still travels, one at a time.
  JdbcColDesc wide[2] = {};
  wide[0].value_type = COLSET_VT_WCHAR;
  wide[0].elem_len = 0xFFFFFFFFu;
  wide[1].value_type = COLSET_VT_BINARY;
  wide[1].elem_len = 70000;
  EXPECT_EQ(2 * uint64_t{0xFFFFFFFFu} + 2 + 70002, STMT_RowWidth(wide, 2));
  EXPECT_EQ(1u, STMT_RowsPerBlock(STMT_RowWidth(wide, 2), 60));
  EXPECT_EQ(1u, STMT_RowsPerBlock(65536, 60));
  EXPECT_EQ(1u, STMT_RowsPerBlock(6, 0));
}

TEST_F(Describe, FetchBlockAsksTheAgentForTheBlockSize) {
  scriptData.cols = {Col("I", SQL_INTEGER, 10, 0, 1, 5, 4, 11)};
  SQLHSTMT h = Alloc();
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "select i from t"));
  StmtHandle* s = Stmt(h);
  ASSERT_EQ(0, STMT_Reexecute(s));
  ASSERT_EQ(1u, scriptData.fetchRows.size());
  EXPECT_EQ(60, scriptData.fetchRows[0]);
  // A statement without a result has no rows to fetch.
  ASSERT_EQ(SQL_SUCCESS, Direct(h, "delete from t"));
  scriptData.cols.clear();
  EXPECT_EQ(-1, STMT_Reexecute(s));
  EXPECT_EQ(64, s->diag.pending);
  s->diag.pending = 0;
}

}  // namespace
}  // namespace qmrtest
