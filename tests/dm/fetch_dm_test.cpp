// Values back through the Driver Manager on HSQLDB: every column type of a
// mixed table equal to what was inserted (NULLs, non-ASCII text, a 1 MB CLOB
// and BLOB read in pieces), and rowsets of 100 rows bound column-wise and
// row-wise. Both builds of the driver, on HSQLDB and (dm_tests_pg) on the
// PostgreSQL test server, whose type names differ a little.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;
using qmr_test::FromUtf8;
using qmr_test::State;

class FetchDm : public qmr_test::DmTest {
 protected:
  // HSQLDB's type names and binary literals in PostgreSQL's words.
  static std::string Dialect(std::string sql) {
    if (!qmr_test::OnPostgres()) return sql;
    const std::pair<const char*, const char*> words[] = {{" DOUBLE,", " DOUBLE PRECISION,"},
                                                         {"VARBINARY(16)", "BYTEA"},
                                                         {" CLOB,", " TEXT,"},
                                                         {" BLOB)", " BYTEA)"}};
    for (const auto& w : words)
      for (size_t at; (at = sql.find(w.first)) != std::string::npos;)
        sql.replace(at, std::strlen(w.first), w.second);
    for (size_t at; (at = sql.find("X'")) != std::string::npos;) {
      const size_t end = sql.find('\'', at + 2);
      sql.replace(end, 1, "', 'hex')");
      sql.replace(at, 2, "decode('");
    }
    return sql;
  }
  void Exec(const std::string& hsqldbSql) {
    const std::string sql = Dialect(hsqldbSql);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    // The Unicode build takes the text as UTF-16 (the Driver Manager would
    // widen 8-bit text byte by byte); the ANSI build takes UTF-8 as it is.
    SQLRETURN rc;
    if (GetParam().back() == 'U') {
      std::u16string w = FromUtf8(sql);
      rc = SQLExecDirectW(stmt_, reinterpret_cast<SQLWCHAR*>(&w[0]),
                          static_cast<SQLINTEGER>(w.size()));
    } else {
      rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    }
    ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << sql.substr(0, 200) << "\n"
                                                        << Diag(SQL_HANDLE_STMT, stmt_);
  }
  // The whole of a long value through SQLGetData in pieces of `piece` bytes.
  std::string ReadAll(SQLUSMALLINT col, SQLSMALLINT cType, size_t piece, int* pieces) {
    std::vector<char> buf(piece);
    std::string all;
    SQLLEN len = 0;
    *pieces = 0;
    const size_t term = cType == SQL_C_CHAR ? 1 : cType == SQL_C_WCHAR ? 2 : 0;
    for (;;) {
      const SQLRETURN rc = SQLGetData(stmt_, col, cType, buf.data(), buf.size(), &len);
      if (rc == SQL_NO_DATA) break;
      EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_STMT, stmt_);
      if (!SQL_SUCCEEDED(rc) || len == SQL_NULL_DATA) break;
      ++*pieces;
      size_t got = (len == SQL_NO_TOTAL || static_cast<size_t>(len) > piece - term)
                       ? piece - term
                       : static_cast<size_t>(len);
      if (rc == SQL_SUCCESS_WITH_INFO && term > 0) {
        // A cut piece ends at its terminator (never inside a character).
        got = cType == SQL_C_CHAR ? std::strlen(buf.data())
                                  : 2 * std::char_traits<char16_t>::length(
                                            reinterpret_cast<const char16_t*>(buf.data()));
      }
      all.append(buf.data(), got);
      if (rc == SQL_SUCCESS) break;
    }
    return all;
  }
};

std::string Hex(const std::string& bytes) {
  static const char d[] = "0123456789ABCDEF";
  std::string h;
  for (unsigned char c : bytes) {
    h += d[c >> 4];
    h += d[c & 15];
  }
  return h;
}

TEST_P(FetchDm, EveryColumnTypeComesBackAsInserted) {
  Exec("DROP TABLE IF EXISTS MIX");
  Exec(
      "CREATE TABLE MIX (I INTEGER, BI BIGINT, SI SMALLINT, DEC DECIMAL(12,2), DBL DOUBLE, "
      "VC VARCHAR(40), CH CHAR(10), D DATE, TM TIME, TS TIMESTAMP(6), B BOOLEAN, "
      "VB VARBINARY(16), CL CLOB, BL BLOB)");
  // 1 MB of text with non-ASCII characters, 1 MB of bytes.
  std::string clob;
  for (int i = 0; clob.size() < 1048576; ++i) clob += (i % 3 == 0) ? "\xC3\xA9t\xC3\xA9-" : "abc-";
  std::string blob(1048576, '\0');
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  Exec(
      "INSERT INTO MIX VALUES (-42, 9007199254740993, 12345, 1234567.89, 2.5, "
      "'gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9D\x84\x9E', 'abc', DATE '2024-02-29', "
      "TIME '23:59:58', TIMESTAMP '2001-02-03 04:05:06.123456', TRUE, X'00FF10', '" +
      clob + "', X'" + Hex(blob) + "')");
  Exec(
      "INSERT INTO MIX VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
      "NULL, NULL, NULL, NULL)");
  Exec("SELECT * FROM MIX ORDER BY I NULLS LAST");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);

  SQLLEN ind = 0;
  SQLINTEGER i = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_SLONG, &i, 0, &ind));
  EXPECT_EQ(-42, i);
  SQLBIGINT bi = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_SBIGINT, &bi, 0, &ind));
  EXPECT_EQ(9007199254740993LL, bi);
  SQLSMALLINT si = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 3, SQL_C_SSHORT, &si, 0, &ind));
  EXPECT_EQ(12345, si);
  char text[64];
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 4, SQL_C_CHAR, text, sizeof text, &ind));
  EXPECT_STREQ("1234567.89", text);
  double dbl = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 5, SQL_C_DOUBLE, &dbl, 0, &ind));
  EXPECT_EQ(2.5, dbl);
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 6, SQL_C_CHAR, text, sizeof text, &ind));
  EXPECT_STREQ("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9D\x84\x9E", text);
  // A value is read once: the next read of the column has no data.
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt_, 6, SQL_C_CHAR, text, sizeof text, &ind));
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 7, SQL_C_CHAR, text, sizeof text, &ind));
  EXPECT_STREQ("abc       ", text);
  SQL_DATE_STRUCT d{};
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 8, SQL_C_TYPE_DATE, &d, 0, &ind));
  EXPECT_EQ(2024, d.year);
  EXPECT_EQ(2, d.month);
  EXPECT_EQ(29, d.day);
  SQL_TIME_STRUCT t{};
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 9, SQL_C_TYPE_TIME, &t, 0, &ind));
  EXPECT_EQ(23, t.hour);
  EXPECT_EQ(58, t.second);
  SQL_TIMESTAMP_STRUCT ts{};
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 10, SQL_C_TYPE_TIMESTAMP, &ts, 0, &ind));
  EXPECT_EQ(2001, ts.year);
  EXPECT_EQ(6, ts.second);
  EXPECT_EQ(123456000u, ts.fraction);
  unsigned char bit = 9;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 11, SQL_C_BIT, &bit, 0, &ind));
  EXPECT_EQ(1, bit);
  unsigned char vb[16];
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 12, SQL_C_BINARY, vb, sizeof vb, &ind));
  ASSERT_EQ(3, ind);
  EXPECT_EQ(0xFF, vb[1]);
  int pieces = 0;
  const std::string clobBack = ReadAll(13, SQL_C_CHAR, 65536, &pieces);
  EXPECT_TRUE(clob == clobBack) << "sizes " << clob.size() << " " << clobBack.size();
  EXPECT_GT(pieces, 10);
  const std::string blobBack = ReadAll(14, SQL_C_BINARY, 100000, &pieces);
  EXPECT_TRUE(blob == blobBack) << "sizes " << blob.size() << " " << blobBack.size();
  EXPECT_EQ(11, pieces);

  // The NULL row: every column reports SQL_NULL_DATA.
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  for (SQLUSMALLINT c = 1; c <= 14; ++c) {
    ind = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt_, c, SQL_C_CHAR, text, sizeof text, &ind)) << c;
    EXPECT_EQ(SQL_NULL_DATA, ind) << c;
  }
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));

  // The CLOB again, as UTF-16 in pieces.
  Exec("SELECT CL FROM MIX WHERE I = -42");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  const std::string w = ReadAll(1, SQL_C_WCHAR, 4097, &pieces);
  std::u16string got(reinterpret_cast<const char16_t*>(w.data()), w.size() / 2);
  const std::u16string want = FromUtf8(clob);
  EXPECT_TRUE(got == want) << "sizes " << got.size() << " " << want.size();
  EXPECT_GT(pieces, 100);

  // Non-ASCII text as UTF-16.
  Exec("SELECT VC FROM MIX WHERE I = -42");
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  char16_t wide[64];
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_WCHAR, wide, sizeof wide, &ind));
  EXPECT_EQ(std::u16string(u"gr\u00FC\u00DF \u20AC \U0001D11E"), std::u16string(wide));
  EXPECT_EQ(static_cast<SQLLEN>(2 * 9), ind);  // nine UTF-16 units
  Exec("DROP TABLE MIX");
}

TEST_P(FetchDm, RowsetsOfHundredRowsColumnAndRowWise) {
  Exec("DROP TABLE IF EXISTS R100");
  Exec("CREATE TABLE R100 (ID INTEGER, NAME VARCHAR(20))");
  for (int k = 0; k < 230; ++k)
    Exec("INSERT INTO R100 VALUES (" + std::to_string(k) + ", " +
         (k % 9 == 4 ? std::string("NULL") : "'n\xC3\xA4" + std::to_string(k) + "'") + ")");
  // Column-wise.
  Exec("SELECT ID, NAME FROM R100 ORDER BY ID");
  // The rowset attributes come with SQLSetStmtAttr.
  if (SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)100, 0) != SQL_SUCCESS)
    GTEST_SKIP() << "statement attributes: " << Diag(SQL_HANDLE_STMT, stmt_);
  std::vector<SQLUSMALLINT> st(100);
  SQLULEN fetched = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, st.data(), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  std::vector<SQLINTEGER> ids(100);
  std::vector<char> names(100 * 24);
  std::vector<SQLLEN> idInd(100), nameInd(100);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids.data(), 0, idInd.data()));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_CHAR, names.data(), 24, nameInd.data()));
  int seen = 0;
  for (SQLULEN expect : {100u, 100u, 30u}) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(expect, fetched);
    for (SQLULEN r = 0; r < expect; ++r, ++seen) {
      EXPECT_EQ(SQL_ROW_SUCCESS, st[r]);
      EXPECT_EQ(seen, ids[r]);
      if (seen % 9 == 4) {
        EXPECT_EQ(SQL_NULL_DATA, nameInd[r]);
      } else {
        EXPECT_EQ("n\xC3\xA4" + std::to_string(seen), std::string(&names[r * 24]));
      }
    }
    if (expect < 100) {
      EXPECT_EQ(SQL_ROW_NOROW, st[expect]);
    }
  }
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));

  // Row-wise, through SQLFetchScroll.
  struct Row {
    SQLINTEGER id;
    SQLLEN idInd;
    char name[24];
    SQLLEN nameInd;
  };
  std::vector<Row> rows(100);
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
  Exec("SELECT ID, NAME FROM R100 ORDER BY ID DESC");
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &rows[0].id, 0, &rows[0].idInd));
  ASSERT_EQ(SQL_SUCCESS,
            SQLBindCol(stmt_, 2, SQL_C_CHAR, rows[0].name, sizeof rows[0].name, &rows[0].nameInd));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0)) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(100u, fetched);
  EXPECT_EQ(229, rows[0].id);
  EXPECT_EQ(130, rows[99].id);
  EXPECT_EQ(SQL_NULL_DATA, rows[99].nameInd);  // 130: one of the NULL names
  EXPECT_EQ(
      "n\xC3\xA4"
      "131",
      std::string(rows[98].name));
  EXPECT_EQ(6, rows[98].nameInd);  // n, a two-byte letter, three digits
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt_, SQL_FETCH_PRIOR, 0));
  Exec("DROP TABLE R100");
}

// BIGINT and DECIMAL values reach bound integer and SQL_C_NUMERIC targets
// exactly, and text its SQL_C_CHAR buffer of 6 bytes, one row a fetch and in
// rowsets: the limits (19 digits), 18 digits, zero and negative zero, values
// below 1, the precision's edge; text that fills the buffer, one byte too
// long, empty, not ASCII.
TEST_P(FetchDm, BoundNumbersAndTextKeepEveryDigitAndByte) {
  const struct {
    const char* bi;
    int64_t want;
    const char* de;  // DECIMAL(12,2)
    bool negative;
    uint64_t unscaled;
    const char* tx;  // VARCHAR(10): the value, then what the buffer gets
    const char* got;
  } kRows[] = {
      {"-9223372036854775808", INT64_MIN, "-9999999999.99", true, 999999999999u, "abcde", "abcde"},
      {"9223372036854775807", INT64_MAX, "9999999999.99", false, 999999999999u, "abcdef", "abcde"},
      {"999999999999999999", 999999999999999999, "0.01", false, 1, "", ""},
      {"-100000000000000000", -100000000000000000, "-0.01", true, 1,
       "\xC3\xA4"
       "b",
       "\xC3\xA4"
       "b"},
      {"0", 0, "-0.00", false, 0, "x", "x"},
      {"-1", -1, "12.30", false, 1230, "\xC3\xA4\xC3\xA4\xC3\xA4", "\xC3\xA4\xC3\xA4"},
      {"1000003", 1000003, nullptr, false, 0, nullptr, nullptr},
  };
  Exec("DROP TABLE IF EXISTS BN");
  Exec("CREATE TABLE BN (K INTEGER, BI BIGINT, DE DECIMAL(12,2), TX VARCHAR(10))");
  for (size_t k = 0; k < std::size(kRows); ++k)
    Exec("INSERT INTO BN VALUES (" + std::to_string(k) + ", " + kRows[k].bi + ", " +
         (kRows[k].de != nullptr ? kRows[k].de : "NULL") + ", " +
         (kRows[k].tx != nullptr ? "'" + std::string(kRows[k].tx) + "'" : "NULL") + ")");
  for (SQLULEN rowset : {1u, 4u}) {
    SCOPED_TRACE(rowset);
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0));
    SQLULEN fetched = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    std::vector<SQLBIGINT> bi(rowset);
    std::vector<SQL_NUMERIC_STRUCT> de(rowset);
    std::vector<char> tx(rowset * 6);
    std::vector<SQLLEN> biInd(rowset), deInd(rowset), txInd(rowset);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SBIGINT, bi.data(), 0, biInd.data()));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, tx.data(), 6, txInd.data()));
    SQLHDESC ard = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 2, SQL_DESC_TYPE, (SQLPOINTER)SQL_C_NUMERIC, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 2, SQL_DESC_PRECISION, (SQLPOINTER)12, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 2, SQL_DESC_SCALE, (SQLPOINTER)2, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 2, SQL_DESC_INDICATOR_PTR, deInd.data(), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 2, SQL_DESC_OCTET_LENGTH_PTR, deInd.data(), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 2, SQL_DESC_DATA_PTR, de.data(), 0));
    Exec("SELECT BI, DE, TX FROM BN ORDER BY K");
    size_t k = 0;
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
      for (SQLULEN r = 0; r < fetched; ++r, ++k) {
        ASSERT_LT(k, std::size(kRows));
        const auto& want = kRows[k];
        EXPECT_EQ(bi[r], want.want) << want.bi;
        EXPECT_EQ(biInd[r], 8) << want.bi;
        if (want.de == nullptr) {
          EXPECT_EQ(deInd[r], SQL_NULL_DATA);
          EXPECT_EQ(txInd[r], SQL_NULL_DATA);
          continue;
        }
        EXPECT_EQ(std::string(&tx[r * 6]), want.got) << want.tx;
        EXPECT_EQ(txInd[r], static_cast<SQLLEN>(std::strlen(want.tx))) << want.tx;
        uint64_t unscaled = 0;
        for (int b = SQL_MAX_NUMERIC_LEN - 1; b >= 0; --b) unscaled = unscaled * 256 + de[r].val[b];
        EXPECT_EQ(unscaled, want.unscaled) << want.de;
        EXPECT_EQ(de[r].sign, want.negative ? 0 : 1) << want.de;
        EXPECT_EQ(de[r].precision, 12) << want.de;
        EXPECT_EQ(de[r].scale, 2) << want.de;
        EXPECT_EQ(deInd[r], static_cast<SQLLEN>(sizeof(SQL_NUMERIC_STRUCT))) << want.de;
      }
    }
    EXPECT_EQ(k, std::size(kRows));
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0);
  Exec("DROP TABLE BN");
}

// ASCII text bound as SQL_C_CHAR goes over whole only when it fits with its
// terminator: lengths either side of buffers of 4, 5, 8 and 9 bytes, one row
// a fetch and in rowsets, and nothing written past the last row's buffer.
TEST_P(FetchDm, AsciiTextIsCutExactlyAtTheBufferEdge) {
  const std::string kText = "abcdefghij";
  Exec("DROP TABLE IF EXISTS AE");
  Exec("CREATE TABLE AE (K INTEGER, TX VARCHAR(10))");
  for (size_t n = 2; n <= kText.size(); ++n)
    Exec("INSERT INTO AE VALUES (" + std::to_string(n) + ", '" + kText.substr(0, n) + "')");
  for (SQLLEN width : {4, 5, 8, 9}) {
    for (SQLULEN rowset : {1u, 3u}) {
      SCOPED_TRACE("width " + std::to_string(width) + ", rowset " + std::to_string(rowset));
      ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0));
      SQLULEN fetched = 0;
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
      std::vector<char> tx(rowset * width + 1, '#');  // the last byte stays '#'
      std::vector<SQLLEN> ind(rowset);
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_CHAR, tx.data(), width, ind.data()));
      Exec("SELECT TX FROM AE ORDER BY K");
      size_t n = 2;
      SQLRETURN rc;
      while (SQL_SUCCEEDED(rc = SQLFetch(stmt_))) {
        bool cut = false;
        for (SQLULEN r = 0; r < fetched; ++r, ++n) {
          cut = cut || static_cast<SQLLEN>(n) >= width;
          const size_t kept = std::min(n, static_cast<size_t>(width - 1));
          EXPECT_EQ(std::string(&tx[r * width], kept + 1), kText.substr(0, kept) + '\0') << n;
          EXPECT_EQ(ind[r], static_cast<SQLLEN>(n)) << n;
        }
        EXPECT_EQ(rc, cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS) << n;
        EXPECT_EQ(tx.back(), '#');
      }
      EXPECT_EQ(n, kText.size() + 1);
      SQLFreeStmt(stmt_, SQL_CLOSE);
    }
  }
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)1, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
  Exec("DROP TABLE AE");
}

// Bindings changed between two row fetches within one block of the row
// buffer: the second row lands where the bindings say then.
TEST_P(FetchDm, BindingsChangedBetweenRowFetchesTakeEffect) {
  struct Bound {
    SQLLEN bi = -7, other = -7, ind = -7, otherInd = -7, textInd = -7;
    char text[12] = "#";
  };
  const struct {
    const char* name;
    void (*change)(SQLHSTMT, Bound*);
    SQLLEN bi, other, ind, otherInd, textInd;  // what the buffers hold after row 2
    const char* text;
  } kChanges[] = {
      {"same", [](SQLHSTMT, Bound*) {}, 2000006, -7, 8, -7, 5, "row 2"},
      {"another buffer",
       [](SQLHSTMT st, Bound* b) { SQLBindCol(st, 2, SQL_C_SBIGINT, &b->other, 0, &b->otherInd); },
       1000003, 2000006, 8, 8, 5, "row 2"},
      {"another indicator",
       [](SQLHSTMT st, Bound* b) { SQLBindCol(st, 2, SQL_C_SBIGINT, &b->bi, 0, &b->otherInd); },
       2000006, -7, 8, 8, 5, "row 2"},
      {"as text",
       [](SQLHSTMT st, Bound* b) {
         SQLBindCol(st, 3, SQL_C_CHAR, nullptr, 0, nullptr);
         SQLBindCol(st, 2, SQL_C_CHAR, b->text, sizeof b->text, &b->textInd);
       },
       1000003, -7, 8, -7, 7, "2000006"},
      {"shorter text buffer",
       [](SQLHSTMT st, Bound* b) { SQLBindCol(st, 3, SQL_C_CHAR, b->text, 4, &b->textInd); },
       2000006, -7, 8, -7, 5, "row"},
      {"unbound",
       [](SQLHSTMT st, Bound*) { SQLBindCol(st, 2, SQL_C_SBIGINT, nullptr, 0, nullptr); }, 1000003,
       -7, 8, -7, 5, "row 2"},
      {"all unbound", [](SQLHSTMT st, Bound*) { SQLFreeStmt(st, SQL_UNBIND); }, 1000003, -7, 8, -7,
       -7, "#"},
  };
  Exec("DROP TABLE IF EXISTS RB");
  Exec("CREATE TABLE RB (K INTEGER, BI BIGINT, TX VARCHAR(10))");
  Exec("INSERT INTO RB VALUES (1, 1000003, 'row 1'), (2, 2000006, 'row 2')");
  for (const auto& c : kChanges) {
    Bound b;
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt_, SQL_UNBIND));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_SBIGINT, &b.bi, 0, &b.ind));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, b.text, sizeof b.text, &b.textInd));
    Exec("SELECT K, BI, TX FROM RB ORDER BY K");
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(std::string(b.text) + std::to_string(b.bi), "row 11000003") << c.name;
    b.text[0] = '#', b.text[1] = '\0', b.textInd = -7;
    c.change(stmt_, &b);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(stmt_))) << c.name << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(std::vector<SQLLEN>({b.bi, b.other, b.ind, b.otherInd, b.textInd}),
              std::vector<SQLLEN>({c.bi, c.other, c.ind, c.otherInd, c.textInd}))
        << c.name;
    EXPECT_STREQ(b.text, c.text) << c.name;
    SQLFreeStmt(stmt_, SQL_CLOSE);
  }
  Exec("DROP TABLE RB");
}

// BIGINT values on both sides of every power of ten keep their digits,
// bound one row a fetch and read as text.
TEST_P(FetchDm, BigintsAtEveryPowerOfTenKeepTheirDigits) {
  std::vector<int64_t> values = {INT64_MIN, INT64_MAX};
  for (int64_t ten = 1, k = 0; k <= 18; ++k, ten *= k <= 18 ? 10 : 1)
    for (int64_t v : {ten - 1, ten, ten + 1}) values.insert(values.end(), {v, -v});
  Exec("DROP TABLE IF EXISTS PT");
  Exec("CREATE TABLE PT (K INTEGER, B BIGINT)");
  for (size_t k = 0; k < values.size(); ++k)
    Exec("INSERT INTO PT VALUES (" + std::to_string(k) + ", " + std::to_string(values[k]) + ")");
  SQLBIGINT b = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SBIGINT, &b, 0, nullptr));
  Exec("SELECT B, B FROM PT ORDER BY K");
  size_t k = 0;
  for (char text[24]; k < values.size() && SQL_SUCCEEDED(SQLFetch(stmt_)); ++k) {
    EXPECT_EQ(b, values[k]);
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_CHAR, text, sizeof text, nullptr));
    EXPECT_EQ(text, std::to_string(values[k]));
  }
  EXPECT_EQ(k, values.size());
  Exec("DROP TABLE PT");
}

// A row whose value the JDBC getter refuses (a bit string of three bits
// read as a boolean), at rows 3 and 15 of 25: alone it fails with the
// database's record and the next fetch goes on after it; in a rowset it has
// SQL_ROW_ERROR and its record names it, the other rows delivered. So after
// single-row fetches (the size set at the end of a block), and on static,
// keyset, mixed and dynamic cursors walked forward and back, every rowset
// where ODBC says it starts.
TEST_P(FetchDm, ARowThatFailsInABlockFailsAloneAndTheRestCome) {
  if (!qmr_test::OnPostgres()) GTEST_SKIP() << "needs a value the getter refuses";
  constexpr SQLLEN kRows = 25;
  const auto fails = [](SQLLEN x) { return x == 3 || x == 15; };
  struct Case {
    SQLULEN cursor;
    SQLLEN rowset;
    int singles;         // fetches of one row before the rowset size is set
    SQLULEN keyset = 0;  // a keyset size: a mixed cursor
    SQLULEN concur = SQL_CONCUR_READ_ONLY;
    const char* select = "SELECT x, b FROM RF";
  };
  const Case cases[] = {{SQL_CURSOR_FORWARD_ONLY, 1, 0},
                        {SQL_CURSOR_FORWARD_ONLY, 10, 0},
                        {SQL_CURSOR_FORWARD_ONLY, 10, 2},
                        {SQL_CURSOR_FORWARD_ONLY, 10, 14},
                        {SQL_CURSOR_STATIC, 1, 0},
                        {SQL_CURSOR_STATIC, 10, 0},
                        {SQL_CURSOR_STATIC, 10, 0, 0, SQL_CONCUR_VALUES},
                        // Its key read apart, with the values it compares.
                        {SQL_CURSOR_STATIC, 10, 0, 0, SQL_CONCUR_VALUES, "SELECT x + 0, b FROM RF"},
                        {SQL_CURSOR_KEYSET_DRIVEN, 1, 0},
                        {SQL_CURSOR_KEYSET_DRIVEN, 10, 0},
                        {SQL_CURSOR_KEYSET_DRIVEN, 10, 0, 20},
                        {SQL_CURSOR_DYNAMIC, 1, 0},
                        {SQL_CURSOR_DYNAMIC, 10, 0}};
  Exec(
      "CREATE TABLE RF AS SELECT x, CASE WHEN x IN (3, 15) THEN B'101' ELSE B'1' END AS b "
      "FROM generate_series(1, 25) x");
  Exec("ALTER TABLE RF ADD PRIMARY KEY (x)");
  SQLUSMALLINT st[10];
  SQLINTEGER ids[10];
  SQLULEN fetched = 0;
  for (const Case& c : cases) {
    const std::string row = "cursor " + std::to_string(c.cursor) + " keyset " +
                            std::to_string(c.keyset) + " rowset " + std::to_string(c.rowset) +
                            " after " + std::to_string(c.singles) + " concurrency " +
                            std::to_string(c.concur) + " " + c.select;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)c.cursor, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)c.keyset, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)c.concur, 0);
    SQLLEN size = c.singles > 0 ? 1 : c.rowset;
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, st, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)c.select, SQL_NTS))
        << row << Diag(SQL_HANDLE_STMT, stmt_);
    SQLULEN cursor = 0;
    SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &cursor, 0, nullptr);
    ASSERT_EQ(c.cursor, cursor) << row;
    SQLGetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, &cursor, 0, nullptr);
    ASSERT_EQ(c.concur, cursor) << row;
    SQLLEN first = 1 - size;
    int fetches = 0;
    for (SQLSMALLINT way : {SQL_FETCH_NEXT, SQL_FETCH_PRIOR}) {
      while (way == SQL_FETCH_NEXT || c.cursor != SQL_CURSOR_FORWARD_ONLY) {
        const SQLLEN was = first, step = size;
        if (++fetches == c.singles + 1 && c.singles > 0) {
          size = c.rowset;
          ASSERT_EQ(SQL_SUCCESS,
                    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0));
        }
        const bool next = way == SQL_FETCH_NEXT;
        first = next ? first + step : std::max<SQLLEN>(1, std::min(first, kRows + 1) - size);
        const SQLRETURN rc = SQLFetchScroll(stmt_, way, 0);
        const std::string at = row + ", rowset at " + std::to_string(first) + ": ";
        if (next ? first > kRows : was == 1) {
          EXPECT_EQ(SQL_NO_DATA, rc) << at << Diag(SQL_HANDLE_STMT, stmt_);
          break;
        }
        // The rows the records name, and the rows that fail.
        std::vector<SQLLEN> named, failing;
        SQLCHAR state[6];
        for (SQLSMALLINT k = 1; SQL_SUCCEEDED(
                 SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, k, state, nullptr, nullptr, 0, nullptr));
             ++k) {
          SQLLEN number = 0;
          SQLGetDiagField(SQL_HANDLE_STMT, stmt_, k, SQL_DIAG_ROW_NUMBER, &number, 0, nullptr);
          if (std::string(reinterpret_cast<char*>(state)) == "42846") named.push_back(number);
        }
        const SQLLEN n = std::min(size, kRows - first + 1);
        for (SQLLEN r = 0; r < n; ++r)
          if (fails(first + r)) failing.push_back(r + 1);
        if (n == 1 && !failing.empty()) {
          EXPECT_EQ(SQL_ERROR, rc) << at;
          EXPECT_EQ("42846", State(SQL_HANDLE_STMT, stmt_)) << at << Diag(SQL_HANDLE_STMT, stmt_);
          continue;
        }
        EXPECT_EQ(failing.empty() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO, rc) << at;
        ASSERT_EQ(static_cast<SQLULEN>(n), fetched) << at << Diag(SQL_HANDLE_STMT, stmt_);
        EXPECT_EQ(failing, named) << at << Diag(SQL_HANDLE_STMT, stmt_);
        for (SQLLEN r = 0; r < n; ++r) {
          const bool failed = fails(first + r);
          EXPECT_EQ(failed ? SQL_ROW_ERROR : SQL_ROW_SUCCESS, st[r]) << at << "row " << r + 1;
          EXPECT_TRUE(failed || ids[r] == first + r) << at << "row " << r + 1;
        }
      }
    }
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_READ_ONLY, 0);
  SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_FORWARD_ONLY, 0);
  Exec("DROP TABLE RF");
}

INSTANTIATE_TEST_SUITE_P(Backend, FetchDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
