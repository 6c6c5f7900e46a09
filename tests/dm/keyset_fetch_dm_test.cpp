// Keyset-driven cursors through the Driver Manager: every fetch gives what a
// static cursor over the same query gives, and rows another connection
// changed or deleted after the keyset was built show as such.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

constexpr SQLULEN kRowset = 7;
constexpr int kWidth = 48;

// A scrolling statement whose columns are bound as text, rowset-wide.
struct Cursor {
  SQLHSTMT h = nullptr;
  SQLULEN type;
  bool ext = false;
  std::vector<char> buf;
  std::vector<SQLLEN> ind;
  std::vector<SQLUSMALLINT> status = std::vector<SQLUSMALLINT>(kRowset);
  SQLULEN fetched = 0, bookmark = 0;
  std::vector<SQLULEN> marks = std::vector<SQLULEN>(kRowset);

  Cursor(SQLHDBC dbc, SQLULEN type, bool extended, SQLULEN concurrency = SQL_CONCUR_READ_ONLY)
      : type(type), ext(extended) {
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    const std::vector<std::pair<SQLINTEGER, SQLPOINTER>> attrs = {
        {SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type},
        {SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency},
        {SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE},
        {ext ? SQL_ROWSET_SIZE : SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kRowset},
        {SQL_ATTR_ROW_STATUS_PTR, ext ? nullptr : status.data()},
        {SQL_ATTR_ROWS_FETCHED_PTR, ext ? nullptr : &fetched},
        {SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark}};
    for (const auto& a : attrs) SQLSetStmtAttr(h, a.first, a.second, 0);
  }
  ~Cursor() { SQLFreeHandle(SQL_HANDLE_STMT, h); }
  // Binds every result column (after the statement ran).
  void Bind() {
    SQLSMALLINT n = 0;
    SQLNumResultCols(h, &n);
    buf.assign(n * kRowset * kWidth, 0);
    ind.assign((n + 1) * kRowset, 0);
    SQLBindCol(h, 0, SQL_C_VARBOOKMARK, marks.data(), sizeof(SQLULEN), &ind[0]);
    for (SQLSMALLINT c = 0; c < n; ++c)
      SQLBindCol(h, c + 1, SQL_C_CHAR, &buf[c * kRowset * kWidth], kWidth, &ind[(c + 1) * kRowset]);
  }
  std::string Cell(SQLULEN r, int c) const {
    const SQLLEN i = ind[(c + 1) * kRowset + r];
    return i == SQL_NULL_DATA ? "NULL" : std::string(&buf[(c * kRowset + r) * kWidth]);
  }
  // One fetch as text: answer, rows, each row's status, bookmark, values.
  std::string Step(SQLSMALLINT o, SQLLEN offset) {
    bookmark = static_cast<SQLULEN>(offset);
    if (o == SQL_FETCH_BOOKMARK && !ext) offset = 0;
    const SQLRETURN rc = ext ? SQLExtendedFetch(h, o, offset, &fetched, status.data())
                             : SQLFetchScroll(h, o, offset);
    std::string out = std::to_string(rc) + " " + std::to_string(rc == SQL_NO_DATA ? 0 : fetched);
    for (SQLULEN r = 0; SQL_SUCCEEDED(rc) && r < fetched; ++r) {
      out += "\n" + std::to_string(status[r]) + " @" + std::to_string(marks[r]);
      for (int c = 0;
           status[r] != SQL_ROW_DELETED && c < static_cast<int>(ind.size() / kRowset) - 1; ++c)
        out += " " + Cell(r, c);
    }
    return out;
  }
};

class KeysetFetchDm : public qmr_test::DmTest {
 protected:
  void TearDown() override {
    Exec("DROP TABLE " + made_);
    qmr_test::DmTest::TearDown();
  }
  std::string Make(const char* stem, const std::string& columns) {
    made_ = stem + qmr_test::Lower(GetParam());
    Exec("DROP TABLE " + made_);
    MustExec("CREATE TABLE " + made_ + " (" + columns + ")");
    return made_;
  }
  // Runs the query directly or prepared, `params` the text of its markers.
  void Run(Cursor* c, const std::string& sql, bool prepared,
           const std::vector<std::string>& params) {
    for (size_t i = 0; i < params.size(); ++i)
      ASSERT_EQ(SQL_SUCCESS,
                SQLBindParameter(c->h, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                 SQL_C_CHAR, i == 0 ? SQL_VARCHAR : SQL_INTEGER, 10, 0,
                                 (SQLPOINTER)params[i].c_str(), 0, nullptr));
    const SQLRETURN rc = prepared ? SQLPrepare(c->h, (SQLCHAR*)sql.c_str(), SQL_NTS)
                                  : SQLExecDirect(c->h, (SQLCHAR*)sql.c_str(), SQL_NTS);
    ASSERT_EQ(SQL_SUCCESS, rc) << sql << Diag(SQL_HANDLE_STMT, c->h);
    if (prepared) {
      ASSERT_EQ(SQL_SUCCESS, SQLExecute(c->h)) << sql << Diag(SQL_HANDLE_STMT, c->h);
    }
    SQLULEN served = 0;  // never lowered to a static cursor
    SQLGetStmtAttr(c->h, SQL_ATTR_CURSOR_TYPE, &served, 0, nullptr);
    ASSERT_EQ(c->type, served) << sql;
    c->Bind();
  }
  std::string made_;
};

// 12,000 rows, the key left out of the select list, a NULL in every fifth
// row: every orientation of both calls as the static cursor answers it;
// the application's columns stay as described; then rows another
// connection changed and deleted far from the keyset's first window.
TEST_P(KeysetFetchDm, EveryOrientationAsStaticThenOthersChanges) {
  const std::string t = Make("ksf_", "id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(20), n INTEGER");
  constexpr int kRows = 12000;
  std::vector<SQLINTEGER> ids(kRows), ns(kRows);
  std::vector<char> vs(kRows * 8);
  std::vector<SQLLEN> nInd(kRows, 0);
  for (int k = 0; k < kRows; ++k) {
    ids[k] = k + 1, ns[k] = (k + 1) * 3, nInd[k] = k % 5 == 4 ? SQL_NULL_DATA : 0;
    std::snprintf(&vs[k * 8], 8, "r%d", k + 1);
  }
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)(SQLULEN)kRows, 0);
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids.data(), 0,
                   nullptr);
  SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 8, 0, vs.data(), 8, nullptr);
  SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ns.data(), 0,
                   nInd.data());
  MustExec("INSERT INTO " + t + " VALUES (?, ?, ?)");
  SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)1, 0);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  const std::string sql = "SELECT v, n FROM " + t + " ORDER BY id";
  const struct {
    SQLSMALLINT o;
    SQLLEN offset;
  } steps[] = {
      {SQL_FETCH_NEXT, 0},          {SQL_FETCH_NEXT, 0},         {SQL_FETCH_PRIOR, 0},
      {SQL_FETCH_ABSOLUTE, 5000},   {SQL_FETCH_RELATIVE, 3},     {SQL_FETCH_RELATIVE, -5001},
      {SQL_FETCH_LAST, 0},          {SQL_FETCH_NEXT, 0},         {SQL_FETCH_PRIOR, 0},
      {SQL_FETCH_ABSOLUTE, -3},     {SQL_FETCH_ABSOLUTE, 11998}, {SQL_FETCH_ABSOLUTE, 12001},
      {SQL_FETCH_ABSOLUTE, -12001}, {SQL_FETCH_BOOKMARK, 9000},  {SQL_FETCH_PRIOR, 0},
      {SQL_FETCH_RELATIVE, 6000},   {SQL_FETCH_PRIOR, 0},        {SQL_FETCH_FIRST, 0}};
  for (bool ext : {false, true}) {
    Cursor st(dbc_, SQL_CURSOR_STATIC, ext), ks(dbc_, SQL_CURSOR_KEYSET_DRIVEN, ext);
    Run(&st, sql, false, {});
    Run(&ks, sql, true, {});
    for (const auto& s : steps) {
      const std::string want = st.Step(s.o, s.offset);
      ASSERT_EQ(want, ks.Step(s.o, s.offset))
          << "orientation " << s.o << " " << s.offset << (ext ? " extended" : "")
          << Diag(SQL_HANDLE_STMT, ks.h);
      EXPECT_TRUE(s.o != SQL_FETCH_BOOKMARK || ks.Cell(0, 0) == "r9000") << ks.Cell(0, 0);
    }
    // The refetch's own key column never shows.
    SQLSMALLINT cols = 0;
    SQLCHAR name[32] = {};
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(ks.h, &cols));
    EXPECT_EQ(2, cols);
    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(ks.h, 3, name, sizeof name, nullptr, nullptr, nullptr,
                                        nullptr, nullptr));
    if (ext) continue;
    qmr_test::DmSession other;
    ASSERT_TRUE(other.Open(GetParam()));
    other.MustExec("UPDATE " + t + " SET v = 'changed' WHERE id = 9001");
    other.MustExec("DELETE FROM " + t + " WHERE id = 9003");
    other.Close();
    ASSERT_EQ("0 7", ks.Step(SQL_FETCH_ABSOLUTE, 9000).substr(0, 3)) << Diag(SQL_HANDLE_STMT, ks.h);
    EXPECT_EQ((std::vector<SQLUSMALLINT>{0, 0, 0, SQL_ROW_DELETED, 0, 0, 0}), ks.status);
    EXPECT_EQ("changed", ks.Cell(1, 0));
    EXPECT_EQ("r9004", ks.Cell(4, 0));
    EXPECT_EQ("NULL", ks.Cell(5, 1));
    EXPECT_EQ("27018", ks.Cell(6, 1));
  }
}

// A key of four columns and types (integer, fixed text with trailing blanks
// and non-ASCII characters, date, numeric), a NULL, markers before and after
// where the key condition goes; direct and prepared, with and without
// parameters, under lock concurrency. Then another connection's changes.
TEST_P(KeysetFetchDm, CompositeKeysAndParameters) {
  const std::string t = Make("ksy_",
                             "k1 INTEGER NOT NULL, k2 CHAR(6) NOT NULL, k3 DATE NOT NULL, "
                             "k4 NUMERIC(10,2) NOT NULL, v VARCHAR(10), w INTEGER, "
                             "PRIMARY KEY (k1, k2, k3, k4)");
  for (const char* row : {"1, 'ab', {d '2020-01-02'}, 1.50, 'one', 5",
                          "1, '\xC3\xA9 \xC3\xBC', {d '2020-01-02'}, 1.50, NULL, 4",
                          "2, 'ab', {d '1999-12-31'}, -3.75, 'three', 3",
                          "2, 'ab', {d '1999-12-31'}, 10.00, 'four', 2",
                          "3, '\xCE\xA9x', {d '2024-02-29'}, 0.01, 'five', 1"})
    MustExec("INSERT INTO " + t + " VALUES (" + row + ")");
  const std::string withParams =
      "SELECT v || ?, k2, k3, k4 FROM " + t + " WHERE k1 >= ? ORDER BY w";
  const std::string plain = "SELECT v, k3, k2 FROM " + t + " ORDER BY w";
  const struct {
    const std::string* sql;
    bool prepared;
    std::vector<std::string> params;
    SQLULEN concurrency;
  } runs[] = {{&withParams, false, {"-", "2"}, SQL_CONCUR_READ_ONLY},
              {&withParams, true, {"+", "1"}, SQL_CONCUR_READ_ONLY},
              {&plain, false, {}, SQL_CONCUR_READ_ONLY},
              {&plain, true, {}, SQL_CONCUR_READ_ONLY},
              {&withParams, true, {"*", "1"}, SQL_CONCUR_LOCK}};
  for (const auto& r : runs) {
    Cursor st(dbc_, SQL_CURSOR_STATIC, false),
        ks(dbc_, SQL_CURSOR_KEYSET_DRIVEN, false, r.concurrency);
    Run(&st, *r.sql, r.prepared, r.params);
    Run(&ks, *r.sql, r.prepared, r.params);
    for (SQLSMALLINT o : {SQL_FETCH_FIRST, SQL_FETCH_LAST, SQL_FETCH_ABSOLUTE}) {
      const std::string want = st.Step(o, 2);
      EXPECT_EQ(want, ks.Step(o, 2)) << *r.sql << r.prepared << Diag(SQL_HANDLE_STMT, ks.h);
    }
  }
  Cursor ks(dbc_, SQL_CURSOR_KEYSET_DRIVEN, false);
  Run(&ks, withParams, true, {"!", "1"});
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  // The changed row now sorts last: it must still come in its key's place.
  other.MustExec("DELETE FROM " + t + " WHERE k1 = 2 AND k4 < 0");
  other.MustExec("UPDATE " + t + " SET v = 'new', w = 99 WHERE k2 = '\xCE\xA9x'");
  other.Close();
  ASSERT_EQ("0 5", ks.Step(SQL_FETCH_FIRST, 0).substr(0, 3)) << Diag(SQL_HANDLE_STMT, ks.h);
  EXPECT_EQ((std::vector<SQLUSMALLINT>{0, 0, SQL_ROW_DELETED, 0, 0}),
            std::vector<SQLUSMALLINT>(ks.status.begin(), ks.status.begin() + 5));
  EXPECT_EQ((std::vector<std::string>{"new!", "four!", "NULL", "one!"}),
            (std::vector<std::string>{ks.Cell(0, 0), ks.Cell(1, 0), ks.Cell(3, 0), ks.Cell(4, 0)}));
}

// An executed statement's rows read one at a time (SQLFetch, SQLGetData as
// text), {"deleted"} for a row whose status says so.
std::vector<std::vector<std::string>> RowByRow(SQLHSTMT h) {
  SQLUSMALLINT status = 0;
  SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, &status, 0);
  SQLSMALLINT n = 0;
  SQLNumResultCols(h, &n);
  std::vector<std::vector<std::string>> rows;
  SQLRETURN rc;
  while ((rc = SQLFetch(h)) == SQL_SUCCESS) {
    rows.emplace_back(status == SQL_ROW_DELETED ? 1 : 0, "deleted");
    for (SQLUSMALLINT c = 1; status != SQL_ROW_DELETED && c <= n; ++c) {
      char buf[64] = "";
      SQLLEN ind = 0;
      EXPECT_EQ(SQL_SUCCESS, SQLGetData(h, c, SQL_C_CHAR, buf, sizeof buf, &ind))
          << Diag(SQL_HANDLE_STMT, h);
      rows.back().push_back(ind == SQL_NULL_DATA ? "NULL" : buf);
    }
  }
  EXPECT_EQ(SQL_NO_DATA, rc) << Diag(SQL_HANDLE_STMT, h);
  SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
  return rows;
}

// 1,100 rows read one at a time, which reads them a block ahead, after
// another connection deleted rows, changed one, moved one to another key
// and put one between two keys: a keyset-driven cursor shows each key of
// its keyset in its place, deleted where its row went, with the row's
// values now; a dynamic one shows what a forward-only read shows now.
// Composite keys ascending and descending, markers in the select list and
// the WHERE, and an order by a column that is no key and holds NULLs
// (every other group of a: a block of 512 starts after one and another
// after a value).
TEST_P(KeysetFetchDm, RowByRowReadsAheadOverOthersChanges) {
  const std::string t = Make("ksr_",
                             "a INTEGER NOT NULL, b INTEGER NOT NULL, v VARCHAR(12), "
                             "PRIMARY KEY (a, b)");
  for (int k = 0; k < 1100; ++k)
    MustExec("INSERT INTO " + t + " VALUES (" + std::to_string(k / 7) + ", " +
             std::to_string(k * 10) +
             (k / 7 % 2 == 0 ? ", NULL)" : ", 'v" + std::to_string(k * 37 % 300 + 100) + "')"));
  const struct {
    std::string sql;
    std::vector<std::string> params;
    std::vector<size_t> keyCols;
  } queries[] = {
      {"SELECT a, b, v FROM " + t + " ORDER BY a, b", {}, {0, 1}},
      {"SELECT v, b, a FROM " + t + " ORDER BY a DESC, b DESC", {}, {2, 1}},
      {"SELECT b, v || ?, a FROM " + t + " WHERE b > ? ORDER BY a, b", {"!", "50"}, {2, 0}},
      {"SELECT a, b, v FROM " + t + " ORDER BY a, v, b", {}, {0, 1}}};
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  int i = 0;
  auto read = [&](SQLULEN type, const std::vector<std::string>& params, const std::string& sql,
                  bool change) {
    SQLHSTMT h = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h);
    SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
    for (size_t p = 0; p < params.size(); ++p)
      SQLBindParameter(h, static_cast<SQLUSMALLINT>(p + 1), SQL_PARAM_INPUT, SQL_C_CHAR,
                       p == 0 ? SQL_VARCHAR : SQL_INTEGER, 10, 0, (SQLPOINTER)params[p].c_str(), 0,
                       nullptr);
    EXPECT_EQ(SQL_SUCCESS, SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS))
        << sql << Diag(SQL_HANDLE_STMT, h);
    const std::string b = std::to_string(10 * i);
    for (const std::string& c :
         {"DELETE FROM " + t + " WHERE b IN (100 + " + b + ", 2900 + " + b + ", 10000 + " + b + ")",
          "INSERT INTO " + t + " VALUES (5, 355 + " + b + ", 'new')",
          "UPDATE " + t + " SET v = 'changed' WHERE b = 2000 + " + b,
          "UPDATE " + t + " SET b = b + 1 WHERE b = 700 + " + b})
      if (change) other.MustExec(c);
    auto rows = RowByRow(h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return rows;
  };
  for (const auto& q : queries) {
    for (SQLULEN type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
      const auto before = read(SQL_CURSOR_FORWARD_ONLY, q.params, q.sql, false);
      const auto got = read(type, q.params, q.sql, true);
      const auto now = read(SQL_CURSOR_FORWARD_ONLY, q.params, q.sql, false);
      ++i;
      auto key = [&](const std::vector<std::string>& r) {
        return r[q.keyCols[0]] + "," + r[q.keyCols[1]];
      };
      auto want = now;
      if (type == SQL_CURSOR_KEYSET_DRIVEN) want.assign(before.size(), {"deleted"});
      for (size_t r = 0; type == SQL_CURSOR_KEYSET_DRIVEN && r < before.size(); ++r)
        for (const auto& n : now)
          if (key(n) == key(before[r])) want[r] = n;
      EXPECT_EQ(want, got) << q.sql << " cursor type " << type;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AnyBackend, KeysetFetchDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
