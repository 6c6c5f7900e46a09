// Text the database would refuse is refused, not stored changed: 8-bit
// text that is not UTF-8 and wide text with a lone surrogate answer 22021
// by every way in (statement text, parameters, rows added and updated
// through a cursor) and nothing reaches the table; U+0000 is a character
// like any other, stored whole where the database takes it.
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
using qmr_test::State;

// Ill-formed in UTF-8 (broken off, overlong, an encoded surrogate, a byte
// that starts nothing, Latin-1 text); the last rows are well-formed.
const struct {
  const char* bytes;
  bool wellFormed;
} kNarrow[] = {{"caf\xE9", false},     {"\xC0\xAF", false},       {"\xED\xA0\x80", false},
               {"\xFF", false},        {"\x80", false},           {"\xE2\x82", false},
               {"\xE2\x82\xAC", true}, {"\xF0\x9F\x98\x80", true}};

class TextRefusalDm : public qmr_test::DmTest {
 protected:
  std::string Fresh() {
    const std::string t = "qtr_" + qmr_test::Lower(GetParam());
    Exec("DROP TABLE " + t);
    MustExec("CREATE TABLE " + t + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(40), l " +
             LongText() + ")");
    return t;
  }
  std::string LongText() const {
    switch (qmr_test::DbOf(GetParam())) {
      case Db::Pg: return "TEXT";
      case Db::Hsql: return "LONGVARCHAR";
      default: return "CLOB";
    }
  }
  std::string Count(const std::string& t) {
    MustExec("SELECT COUNT(*) FROM " + t);
    return qmr_test::FetchRows(stmt_).at(0).at(0).text;
  }
  // The refused call's answer, or "" for success.
  std::string Outcome(SQLRETURN rc) {
    if (SQL_SUCCEEDED(rc)) return "";
    return State(SQL_HANDLE_STMT, stmt_);
  }
};

TEST_P(TextRefusalDm, EightBitTextThatIsNotUtf8IsRefusedEveryWayIn) {
  const std::string t = Fresh();
  int id = 0;
  for (const auto& row : kNarrow) {
    const std::string value = std::string("x") + row.bytes + "y";
    const std::string want = row.wellFormed ? "" : "22021";
    const std::string literal =
        "INSERT INTO " + t + " (id, v) VALUES (" + std::to_string(++id) + ", '" + value + "')";
    EXPECT_EQ(want, Outcome(SQLExecDirect(stmt_, (SQLCHAR*)literal.c_str(), SQL_NTS)))
        << "literal " << value << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(want, Outcome(SQLPrepare(stmt_, (SQLCHAR*)literal.c_str(), SQL_NTS)))
        << "prepare " << value;
    SQLFreeStmt(stmt_, SQL_CLOSE);
    for (SQLSMALLINT sqlType : {SQL_VARCHAR, SQL_LONGVARCHAR}) {
      const std::string sql = "INSERT INTO " + t + " (id, " + (sqlType == SQL_VARCHAR ? "v" : "l") +
                              ") VALUES (" + std::to_string(++id) + ", ?)";
      SQLLEN len = static_cast<SQLLEN>(value.size());
      SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, 40, 0,
                       const_cast<char*>(value.data()), len, &len);
      EXPECT_EQ(want, Outcome(SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS)))
          << "parameter " << sqlType << " " << value << Diag(SQL_HANDLE_STMT, stmt_);
      SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    }
  }
  // Only the well-formed values were stored, each whole.
  MustExec("SELECT v, l FROM " + t + " ORDER BY id");
  const auto rows = qmr_test::FetchRows(stmt_);
  ASSERT_EQ(6u, rows.size());
  EXPECT_EQ(
      "x\xE2\x82\xAC"
      "y",
      rows[0][0].text);
  EXPECT_EQ("x\xF0\x9F\x98\x80y", rows[5][1].text);
}

TEST_P(TextRefusalDm, RowsAddedAndUpdatedThroughACursorAreJudgedAlike) {
  const std::string t = Fresh();
  MustExec("INSERT INTO " + t + " (id, v) VALUES (1, 'one')");
  SQLHSTMT h = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h));
  SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)SQL_CURSOR_KEYSET_DRIVEN, 0);
  SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_LOCK, 0);
  SQLINTEGER id = 0;
  char v[41] = {};
  SQLLEN idInd = 0, vInd = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, &idInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, v, sizeof v, &vInd));
  const std::string select = "SELECT id, v FROM " + t + " ORDER BY id";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)select.c_str(), SQL_NTS)))
      << Diag(SQL_HANDLE_STMT, h);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetchScroll(h, SQL_FETCH_FIRST, 0))) << Diag(SQL_HANDLE_STMT, h);
  std::strcpy(v, "caf\xE9");
  vInd = SQL_NTS;
  EXPECT_EQ(SQL_ERROR, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE));
  EXPECT_EQ("22021", State(SQL_HANDLE_STMT, h)) << Diag(SQL_HANDLE_STMT, h);
  id = 2;
  EXPECT_EQ(SQL_ERROR, SQLBulkOperations(h, SQL_ADD));
  EXPECT_EQ("22021", State(SQL_HANDLE_STMT, h)) << Diag(SQL_HANDLE_STMT, h);
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  MustExec("SELECT id, v FROM " + t);
  const auto rows = qmr_test::FetchRows(stmt_);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("one", rows[0][1].text);
}

TEST_P(TextRefusalDm, WideTextWithALoneSurrogateIsRefused) {
  const std::string t = Fresh();
  const std::u16string values[] = {{u'a', char16_t(0xD800), u'b'},
                                   {u'a', char16_t(0xDC00)},
                                   {u'a', char16_t(0xD800)},
                                   {char16_t(0xDE00), char16_t(0xD83D)}};
  const bool unicode = GetParam().back() == 'U';
  int id = 0;
  for (const std::u16string& value : values) {
    const std::u16string sql = u"INSERT INTO " + qmr_test::FromUtf8(t) + u" (id, v) VALUES (" +
                               qmr_test::FromUtf8(std::to_string(++id)) + u", '" + value + u"')";
    // The ANSI build's Driver Manager converts wide text itself, before the
    // driver could judge it.
    if (unicode) {
      EXPECT_EQ("22021", Outcome(SQLExecDirectW(stmt_, (SQLWCHAR*)sql.c_str(), SQL_NTS)))
          << "literal " << id;
    }
    const std::string p = "INSERT INTO " + t + " (id, v) VALUES (" + std::to_string(++id) + ", ?)";
    SQLLEN len = static_cast<SQLLEN>(value.size() * 2);
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 40, 0,
                     const_cast<char16_t*>(value.data()), len, &len);
    EXPECT_EQ("22021", Outcome(SQLExecDirect(stmt_, (SQLCHAR*)p.c_str(), SQL_NTS)))
        << "parameter " << id << Diag(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  }
  EXPECT_EQ("0", Count(t));
}

TEST_P(TextRefusalDm, AZeroCharacterIsKeptBothWays) {
  const std::string t = Fresh();
  const std::string narrow("a\0b", 3);
  const std::u16string wide(u"a\0b", 3);
  SQLLEN nlen = 3, wlen = 6;
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0,
                   const_cast<char*>(narrow.data()), nlen, &nlen);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 10, 0,
                   const_cast<char16_t*>(wide.data()), wlen, &wlen);
  const std::string sql = "INSERT INTO " + t + " (id, v, l) VALUES (1, ?, ?)";
  const SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  const std::string outcome = Outcome(rc) + " " + Diag(SQL_HANDLE_STMT, stmt_);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  if (qmr_test::DbOf(GetParam()) == Db::Pg) {
    // PostgreSQL's text holds no U+0000: its own answer comes through.
    EXPECT_EQ("22021", outcome.substr(0, 5)) << outcome;
    return;
  }
  ASSERT_EQ(SQL_SUCCESS, rc) << outcome;
  // The database's own count of what was stored.
  MustExec("SELECT LENGTH(v), LENGTH(l) FROM " + t);
  const auto rows = qmr_test::FetchRows(stmt_);
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("3", rows[0][0].text) << "8-bit";
  EXPECT_EQ("3", rows[0][1].text) << "wide";
  // Read back whole, each unit, by both C types, bound and through SQLGetData.
  const std::string select = "SELECT v, l FROM " + t;
  for (const SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
    const SQLLEN unit = cType == SQL_C_CHAR ? 1 : 2;
    const std::string want =
        cType == SQL_C_CHAR ? narrow : std::string(reinterpret_cast<const char*>(wide.data()), 6);
    for (const bool bound : {true, false}) {
      char buf[2][32] = {};
      SQLLEN ind[2] = {0, 0};
      for (SQLUSMALLINT c = 1; bound && c <= 2; ++c)
        SQLBindCol(stmt_, c, cType, buf[c - 1], sizeof buf[0], &ind[c - 1]);
      ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, (SQLCHAR*)select.c_str(), SQL_NTS)));
      EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
      for (SQLUSMALLINT c = 1; c <= 2; ++c) {
        const std::string row = std::string(bound ? "bound" : "SQLGetData") + " C type " +
                                std::to_string(cType) + " column " + std::to_string(c);
        if (!bound) {
          EXPECT_EQ(SQL_SUCCESS,
                    SQLGetData(stmt_, c, cType, buf[c - 1], sizeof buf[0], &ind[c - 1]))
              << row << Diag(SQL_HANDLE_STMT, stmt_);
        }
        EXPECT_EQ(3 * unit, ind[c - 1]) << row;
        EXPECT_EQ(want, std::string(buf[c - 1], want.size())) << row;
      }
      SQLFreeStmt(stmt_, SQL_CLOSE);
      SQLFreeStmt(stmt_, SQL_UNBIND);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, TextRefusalDm, ::testing::ValuesIn(qmr_test::TestDsns()));

}  // namespace
