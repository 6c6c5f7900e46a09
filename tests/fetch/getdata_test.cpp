// SQLGetData: values in pieces (text, wide text, bytes), NULLs, the current
// row before the first fetch and after the last.
#include <string>
#include <vector>

#include "fetch/fetch_fixture.h"

namespace qmrtest {
namespace {

class GetData : public FetchTest {
 protected:
  // One row of one column.
  SQLHSTMT OneValue(FCol col, FVal v) {
    data.cols = {col};
    data.rows = {{v}};
    data.next = 0;
    SQLHSTMT h = Query();
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(h));
    return h;
  }
};

const FCol kVarchar{"V", SQL_VARCHAR, COLSET_VT_NTS, 41, 40};
const FCol kWVarchar{"W", SQL_WVARCHAR, COLSET_VT_WNTS, 41, 40};
const FCol kVarbinary{"B", SQL_VARBINARY, COLSET_VT_BINARY32, 20, 16};
const FCol kInteger{"I", SQL_INTEGER, COLSET_VT_INTEGER, 4, 10};

TEST_F(GetData, TextComesInPiecesOfTheBufferWithTheRestLengths) {
  SQLHSTMT h = OneValue(kVarchar, FVal::Text("0123456789"));
  char buf[4];
  SQLLEN len = 0;
  std::vector<SQLLEN> lengths;
  std::string all;
  SQLRETURN rc;
  while ((rc = SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    if (rc == SQL_SUCCESS_WITH_INFO) {
      EXPECT_EQ("01004", StmtState(h));
    }
    lengths.push_back(len);
    all += buf;
    ASSERT_LT(lengths.size(), 10u);
  }
  EXPECT_EQ((std::vector<SQLLEN>{10, 7, 4, 1}), lengths);
  EXPECT_EQ("0123456789", all);
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len));
}

TEST_F(GetData, Utf8TextIntoWideBuffersNeverSplitsACharacter) {
  // Ten characters: Greek letters (2 UTF-8 bytes each) and one outside the
  // basic plane (4 bytes, a surrogate pair in UTF-16).
  const std::string text =
      "\xCE\xB1\xCE\xB2\xCE\xB3\xF0\x9D\x84\x9E\xCE\xB4\xCE\xB5\xCE\xB6"
      "\xCE\xB7\xCE\xB8\xCE\xB9";
  const std::u16string wide = u"\u03B1\u03B2\u03B3\U0001D11E\u03B4\u03B5\u03B6\u03B7\u03B8\u03B9";
  SQLHSTMT h = OneValue(kVarchar, FVal::Text(text));
  char16_t buf[4];  // three units and the terminator
  SQLLEN len = 0;
  std::u16string all;
  std::vector<SQLLEN> lengths;
  SQLRETURN rc;
  while ((rc = SQLGetData(h, 1, SQL_C_WCHAR, buf, sizeof buf, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    lengths.push_back(len);
    const std::u16string piece(buf);
    ASSERT_FALSE(piece.empty());
    EXPECT_FALSE(piece.back() >= 0xD800 && piece.back() <= 0xDBFF) << "pair split";
    all += piece;
    ASSERT_LT(lengths.size(), 12u);
  }
  EXPECT_EQ(wide, all);
  // αβγ | 𝄞δ | εζη | θι: lengths in bytes of the rest.
  EXPECT_EQ((std::vector<SQLLEN>{22, 16, 10, 4}), lengths);
}

TEST_F(GetData, WideTextIntoEightBitBuffersFillsEveryPiece) {
  const std::u16string wide = u"\u00E4\u00F6\u00FC\u20AC\u00DF";
  const std::string utf8 = "\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC\xC3\x9F";
  SQLHSTMT h = OneValue(kWVarchar, FVal::Wide(wide));
  char buf[5];  // four bytes of text and the terminator
  SQLLEN len = 0;
  std::string all;
  std::vector<SQLLEN> lengths;
  SQLRETURN rc;
  while ((rc = SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    lengths.push_back(len);
    all += buf;
    ASSERT_LT(lengths.size(), 12u);
  }
  EXPECT_EQ(utf8, all);
  // ä ö | ü and two bytes of € | its last byte and ß: a cut piece is full.
  EXPECT_EQ((std::vector<SQLLEN>{11, 7, 3}), lengths);
}

TEST_F(GetData, WideTextIntoWideBuffersFillsEveryPiece) {
  const std::u16string wide = u"a\U0001D11Eb\U0001F600c";
  SQLHSTMT h = OneValue(kWVarchar, FVal::Wide(wide));
  char16_t buf[3];  // two units and the terminator
  SQLLEN len = 0;
  std::u16string all;
  std::vector<SQLLEN> lengths;
  SQLRETURN rc;
  while ((rc = SQLGetData(h, 1, SQL_C_WCHAR, buf, sizeof buf, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    lengths.push_back(len);
    all += buf;
    ASSERT_LT(lengths.size(), 12u);
  }
  EXPECT_EQ(wide, all);
  // a and half of 𝄞 | its other half and b | 😀 | c: a cut piece is full.
  EXPECT_EQ((std::vector<SQLLEN>{14, 10, 6, 2}), lengths);
}

// A value longer than its row-buffer element (a database that gives more
// than it described) is never cut silently: 01004 with its whole length, or
// SQL_NO_TOTAL where the C type counts other units; a cut character goes.
TEST_F(GetData, AValueLongerThanItsElementIsCutWithItsWholeLength) {
  const FCol text{"T", SQL_VARCHAR, COLSET_VT_CHAR32, 5, 5};    // room for 8 bytes
  const FCol wide{"W", SQL_WVARCHAR, COLSET_VT_WCHAR32, 3, 3};  // room for 4 units
  const struct {
    FCol col;
    FVal v;
    SQLSMALLINT cType;
    std::string kept;  // bytes of the buffer before its terminator
    SQLLEN length;
  } rows[] = {
      {text, FVal::Text("0123456789ab"), SQL_C_CHAR, "01234567", 12},
      {text, FVal::Text("abcdefg\xE2\x82\xAC"), SQL_C_CHAR, "abcdefg", 10},
      {text, FVal::Text("abcdefg\xE2\x82\xAC"), SQL_C_WCHAR,
       std::string("a\0b\0c\0d\0e\0f\0g\0", 14), SQL_NO_TOTAL},
      {wide, FVal::Wide(u"abcdef"), SQL_C_WCHAR, std::string("a\0b\0c\0d\0", 8), 12},
      {wide, FVal::Wide(u"abc\U0001F600"), SQL_C_WCHAR, std::string("a\0b\0c\0", 6), 10},
      {wide, FVal::Wide(u"abcdef"), SQL_C_CHAR, "abcd", SQL_NO_TOTAL},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.col.name + " as C type " + std::to_string(row.cType) + ": " + row.kept);
    SQLHSTMT h = OneValue(row.col, row.v);
    char buf[64];
    SQLLEN len = 0;
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(h, 1, row.cType, buf, sizeof buf, &len));
    EXPECT_EQ("01004", StmtState(h));
    EXPECT_EQ(row.length, len);
    EXPECT_EQ(row.kept, std::string(buf, row.kept.size()));
    const size_t nul = row.cType == SQL_C_WCHAR ? 2 : 1;
    EXPECT_EQ(std::string(nul, '\0'), std::string(buf + row.kept.size(), nul));
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

TEST_F(GetData, BytesComeInPiecesAndAsHexText) {
  const std::string bytes("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09", 10);
  SQLHSTMT h = OneValue(kVarbinary, FVal::Text(bytes));
  unsigned char buf[4];
  SQLLEN len = 0;
  std::vector<SQLLEN> lengths;
  std::string all;
  SQLRETURN rc;
  while ((rc = SQLGetData(h, 1, SQL_C_BINARY, buf, sizeof buf, &len)) != SQL_NO_DATA) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc));
    lengths.push_back(len);
    all.append(reinterpret_cast<char*>(buf), std::min<size_t>(sizeof buf, len));
    ASSERT_LT(lengths.size(), 10u);
  }
  EXPECT_EQ((std::vector<SQLLEN>{10, 6, 2}), lengths);
  EXPECT_EQ(bytes, all);

  // The next row of the same shape, read as hexadecimal text.
  data.rows = {{FVal::Text(bytes.substr(0, 3))}};
  data.next = 0;
  SQLHSTMT h2 = Query();
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h2));
  char hex[5];
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(h2, 1, SQL_C_CHAR, hex, sizeof hex, &len));
  EXPECT_EQ(6, len);
  EXPECT_STREQ("0001", hex);
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h2, 1, SQL_C_CHAR, hex, sizeof hex, &len));
  EXPECT_EQ(2, len);
  EXPECT_STREQ("02", hex);
}

TEST_F(GetData, ARepeatedOrRetypedReadOfAValueHasNoData) {
  SQLHSTMT h = OneValue(kVarchar, FVal::Text("abcdef"));
  char buf[4];
  SQLLEN len = 0;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len));
  // Another C type in the middle of a value ends it.
  char16_t wbuf[8];
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(h, 1, SQL_C_WCHAR, wbuf, sizeof wbuf, &len));
  // SQL_C_DEFAULT carries on with the type of the first piece.
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_DEFAULT, buf, sizeof buf, &len));
  EXPECT_STREQ("def", buf);
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(h, 1, SQL_C_CHAR, buf, sizeof buf, &len));

  SQLHSTMT h2 = OneValue(kInteger, FVal::Int(42));
  SQLINTEGER v = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h2, 1, SQL_C_SLONG, &v, 0, &len));
  EXPECT_EQ(42, v);
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(h2, 1, SQL_C_SLONG, &v, 0, &len));
}

TEST_F(GetData, NullNeedsAnIndicator) {
  SQLHSTMT h = OneValue(kInteger, FVal::Null());
  SQLINTEGER v = 77;
  EXPECT_EQ(SQL_ERROR, SQLGetData(h, 1, SQL_C_SLONG, &v, 0, nullptr));
  EXPECT_EQ("22002", StmtState(h));
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind));
  EXPECT_EQ(SQL_NULL_DATA, ind);
  EXPECT_EQ(0, v);  // the target is cleared
}

TEST_F(GetData, NoCurrentRowBeforeTheFirstFetchOrAfterTheLast) {
  data.cols = {kInteger};
  data.rows = {{FVal::Int(1)}};
  SQLHSTMT h = Query();
  SQLINTEGER v = 0;
  SQLLEN ind = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind));
  EXPECT_EQ("24000", StmtState(h));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind));
  EXPECT_EQ(1, v);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(h));
  EXPECT_EQ(SQL_ERROR, SQLGetData(h, 1, SQL_C_SLONG, &v, 0, &ind));
  EXPECT_EQ("24000", StmtState(h));
}

TEST_F(GetData, ColumnOutOfRangeAndStatementWithoutResult) {
  SQLHSTMT h = OneValue(kInteger, FVal::Int(5));
  SQLINTEGER v = 0;
  SQLLEN ind = 0;
  EXPECT_EQ(SQL_ERROR, SQLGetData(h, 2, SQL_C_SLONG, &v, 0, &ind));
  EXPECT_EQ("07009", StmtState(h));
  // Column 0 without bookmarks switched on.
  EXPECT_EQ(SQL_ERROR, SQLGetData(h, 0, SQL_C_BOOKMARK, &v, 0, &ind));
  EXPECT_EQ("07009", StmtState(h));
  SQLHSTMT idle = NewStmt(dbc);
  EXPECT_EQ(SQL_ERROR, SQLGetData(idle, 1, SQL_C_SLONG, &v, 0, &ind));
  EXPECT_EQ("HY010", StmtState(idle));
}

TEST_F(GetData, DefaultCTypeFollowsTheColumn) {
  SQLHSTMT h = OneValue(kInteger, FVal::Int(-9));
  SQLINTEGER v = 0;
  SQLLEN len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 1, SQL_C_DEFAULT, &v, 0, &len));
  EXPECT_EQ(-9, v);
  EXPECT_EQ(4, len);
}

}  // namespace
}  // namespace qmrtest
