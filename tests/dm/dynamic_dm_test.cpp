// Dynamic and mixed cursors through the Driver Manager on every backend and
// both builds: a walk over a few hundred rows in both directions and random
// walks off both ends compared with a forward-only read, rows that another connection inserts,
// deletes and changes, and the row-version table that tells changed rows apart.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

constexpr SQLULEN kRowset = 10;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class AnyDynamicDm : public qmr_test::DmTest {
 protected:
  std::string T(const char* stem) const { return std::string(stem) + qmr_test::Lower(GetParam()); }
  void Make(const std::string& table, int rows) {
    Exec("DROP TABLE " + table);
    MustExec("CREATE TABLE " + table + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(20))");
    made_.push_back(table);
    // v runs in another order than id, so the seek follows a column that is no key.
    for (int id = 1; id <= rows; ++id)
      MustExec("INSERT INTO " + table + " VALUES (" + std::to_string(id * 10) + ", 'v" +
               std::to_string(id * 37 % rows + 1000) + "')");
  }
  void TearDown() override {
    for (const std::string& t : made_) Exec("DROP TABLE " + t);
    qmr_test::DmTest::TearDown();
  }
  // A scrolling statement with ids_ and statuses_ bound for kRowset rows.
  void Scrolling(SQLULEN type, SQLULEN keyset, const std::string& sql,
                 SQLULEN concurrency = SQL_CONCUR_READ_ONLY) {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0))
        << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0))
        << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kRowset, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0));
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, statuses_, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids_, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text(sql), SQL_NTS)) << Diag(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
    SQLULEN v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, &v, 0, nullptr));
    EXPECT_EQ(type, v) << sql;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, &v, 0, nullptr));
    EXPECT_EQ(keyset, v) << sql;
  }
  // The ids of one fetch; empty for SQL_NO_DATA.
  std::vector<int> Fetch(SQLSMALLINT orientation, SQLLEN offset = 0) {
    const SQLRETURN rc = SQLFetchScroll(stmt_, orientation, offset);
    if (rc == SQL_NO_DATA) return {};
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << orientation << Diag(SQL_HANDLE_STMT, stmt_);
    if (!SQL_SUCCEEDED(rc)) return {};
    return std::vector<int>(ids_, ids_ + fetched_);
  }
  std::vector<uint16_t> Statuses() const {
    return std::vector<uint16_t>(statuses_, statuses_ + fetched_);
  }
  std::vector<int> ForwardIds(const std::string& sql) {
    std::vector<int> ids;
    EXPECT_EQ(SQL_SUCCESS, Exec(sql)) << Diag(SQL_HANDLE_STMT, stmt_);
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_))
      ids.push_back(std::stoi(row[0].text));
    return ids;
  }

  std::vector<std::string> made_;
  SQLINTEGER ids_[kRowset] = {};
  SQLUSMALLINT statuses_[kRowset] = {};
  SQLULEN fetched_ = 0;
};

// Every row forward, then backward from the end, then LAST: the rows of a
// forward-only read in its order, for a dynamic cursor (also locking its
// rows or keeping their values) and for a mixed one whose keyset of 100 keys must move through 250
// rows.
TEST_P(AnyDynamicDm, WalksTheWholeResult) {
  const std::string t = T("dyw_");
  Make(t, 251);
  const std::string sql = "SELECT id, v FROM " + t + " WHERE id > 10 ORDER BY v DESC";
  const std::vector<int> all = ForwardIds(sql);
  ASSERT_EQ(250u, all.size());
  const struct {
    SQLULEN type, keyset, concurrency;
  } kinds[] = {{SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_READ_ONLY},
               {SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_LOCK},
               {SQL_CURSOR_DYNAMIC, 0, SQL_CONCUR_VALUES},
               {SQL_CURSOR_KEYSET_DRIVEN, 100, SQL_CONCUR_READ_ONLY}};
  for (const auto& k : kinds) {
    ASSERT_NO_FATAL_FAILURE(Scrolling(k.type, k.keyset, sql, k.concurrency));
    std::vector<int> seen;
    for (std::vector<int> got; !(got = Fetch(SQL_FETCH_NEXT)).empty();)
      seen.insert(seen.end(), got.begin(), got.end());
    EXPECT_EQ(all, seen) << "forward, keyset " << k.keyset;
    seen.clear();
    for (std::vector<int> got; !(got = Fetch(SQL_FETCH_PRIOR)).empty();)
      seen.insert(seen.begin(), got.begin(), got.end());
    EXPECT_EQ(all, seen) << "backward, keyset " << k.keyset;
    EXPECT_EQ(std::vector<int>(all.end() - kRowset, all.end()), Fetch(SQL_FETCH_LAST))
        << "keyset " << k.keyset << " concurrency " << k.concurrency;
    EXPECT_EQ(std::vector<int>(all.end() - 2 * kRowset, all.end() - kRowset),
              Fetch(SQL_FETCH_RELATIVE, -10))
        << "keyset " << k.keyset << " concurrency " << k.concurrency;
    // Moves within and beyond the keyset, both ways; `first` indexes `all`.
    const struct {
      SQLSMALLINT orientation;
      SQLLEN offset;
      size_t first;
    } steps[] = {{SQL_FETCH_FIRST, 0, 0},        {SQL_FETCH_RELATIVE, 25, 25},
                 {SQL_FETCH_RELATIVE, 150, 175}, {SQL_FETCH_RELATIVE, -120, 55},
                 {SQL_FETCH_RELATIVE, -7, 48},   {SQL_FETCH_RELATIVE, 0, 48},
                 {SQL_FETCH_NEXT, 0, 58},        {SQL_FETCH_RELATIVE, 185, 243},
                 {SQL_FETCH_PRIOR, 0, 233},      {SQL_FETCH_LAST, 0, 240}};
    for (const auto& s : steps) {
      const size_t end = std::min(all.size(), s.first + kRowset);
      EXPECT_EQ(std::vector<int>(all.begin() + s.first, all.begin() + end),
                Fetch(s.orientation, s.offset))
          << "keyset " << k.keyset << " concurrency " << k.concurrency << ", " << s.orientation
          << " " << s.offset;
    }
  }
}

// ODBC's SQLFetchScroll table for a result of n rows and a fixed rowset:
// the first row of the next rowset (0: no data) and whether it comes with
// 01S06. A fetch that leaves the result stands before the start or after
// the end, and the next one moves from there.
class PositionModel {
 public:
  PositionModel(long n, long r) : n_(n), r_(r) {}
  long Fetch(SQLSMALLINT o, long k, bool* warn) {
    *warn = false;
    switch (o) {
      case SQL_FETCH_NEXT:
        return at_ == kBefore ? To(1) : at_ == kAfter || at_ + r_ > n_ ? To(kAfter) : To(at_ + r_);
      case SQL_FETCH_FIRST: return To(1);
      case SQL_FETCH_LAST: return To(std::max(1L, n_ - r_ + 1));
      case SQL_FETCH_PRIOR:
        // After the end of a result shorter than the rowset: row 1, warned.
        *warn = at_ == kAfter && n_ < r_;
        if (at_ == kAfter) return To(std::max(1L, n_ - r_ + 1));
        return Back(at_ == kBefore ? 0 : at_ - r_, r_, warn);
      case SQL_FETCH_RELATIVE:
        if ((at_ == kBefore && k > 0) || (at_ == kAfter && k < 0))
          return Fetch(SQL_FETCH_ABSOLUTE, k, warn);
        if (at_ == kBefore || at_ == kAfter) return at_ == kBefore ? To(kBefore) : To(kAfter);
        if (at_ + k > n_) return To(kAfter);
        return at_ + k >= 1 ? To(at_ + k) : Back(at_ + k, -k, warn);
      case SQL_FETCH_ABSOLUTE:
        if (k > n_) return To(kAfter);
        if (k > 0) return To(k);
        if (k == 0) return To(kBefore);
        // From the end past row 1: the first rowset, warned, within a rowset.
        if (-k <= n_) return To(n_ + k + 1);
        if (-k > r_) return To(kBefore);
        *warn = true;
        return To(1);
    }
    return 0;
  }

 private:
  static constexpr long kBefore = 0, kAfter = -1;
  long To(long at) {
    at_ = at;
    return at > 0 ? at : 0;
  }
  // A move back by `back` rows to row `to`: before row 1, the first rowset
  // with a warning while the move is no longer than a rowset and the
  // rowset was not the first already.
  long Back(long to, long back, bool* warn) {
    if (to >= 1) return To(to);
    if (at_ == kBefore || at_ == 1 || back > r_) return To(kBefore);
    *warn = true;
    return To(1);
  }
  long n_, r_, at_ = kBefore;
};

// Random walks over a table nobody changes, running off both ends, on a
// dynamic cursor and on a mixed one whose keyset is smaller than the
// result (and, over a column holding NULLs, ascending and descending, on
// keyset-driven and static cursors too), and over a result smaller than the
// rowset on every scrollable kind: every fetch brings the rows the forward
// read has there, or SQL_NO_DATA where ODBC's table leaves the result. A
// backward read must find the NULLs where the forward read has them,
// whichever end the data source sorts them to.
TEST_P(AnyDynamicDm, RandomWalksMatchTheForwardRead) {
  for (const long kRows : {40L, 5L}) {
    const std::string t = T("dyr_");
    Make(t, kRows);
    // A second order seeks on a column of repeated values before the key.
    MustExec("ALTER TABLE " + t + " ADD COLUMN g INTEGER");
    MustExec("UPDATE " + t + " SET g = MOD(id, 70)");
    MustExec("ALTER TABLE " + t + " ADD COLUMN n INTEGER");
    MustExec("UPDATE " + t + " SET n = MOD(id, 7) WHERE MOD(id, 30) <> 0");
    const SQLSMALLINT kMoves[] = {SQL_FETCH_NEXT,     SQL_FETCH_PRIOR,    SQL_FETCH_RELATIVE,
                                  SQL_FETCH_ABSOLUTE, SQL_FETCH_RELATIVE, SQL_FETCH_NEXT,
                                  SQL_FETCH_PRIOR,    SQL_FETCH_FIRST,    SQL_FETCH_LAST};
    const struct {
      const char* order;
      bool everyKind;
    } kOrders[] = {{" ORDER BY id", false},
                   {" ORDER BY g, id", false},
                   {" ORDER BY n, id", true},
                   {" ORDER BY n DESC, id DESC", true}};
    std::vector<std::vector<int>> forward;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    for (const auto& o : kOrders) {
      forward.push_back(ForwardIds("SELECT id, v FROM " + t + o.order));
      ASSERT_EQ(static_cast<size_t>(kRows), forward.back().size());
    }
    const struct {
      SQLULEN type, keyset;
    } kKinds[] = {{SQL_CURSOR_DYNAMIC, 0},
                  {SQL_CURSOR_KEYSET_DRIVEN, 10},
                  {SQL_CURSOR_KEYSET_DRIVEN, 0},
                  {SQL_CURSOR_STATIC, 0}};
    for (size_t w = 0; w < std::size(kOrders); ++w)
      for (const auto& kind : kKinds) {
        // Every kind walks the small result and the orders on NULLs.
        if (kRows > 7 && !kOrders[w].everyKind && kind.keyset == 0 &&
            kind.type != SQL_CURSOR_DYNAMIC)
          continue;
        const SQLULEN type = kind.type, keyset = kind.keyset;
        const char* order = kOrders[w].order;
        const std::string sql = "SELECT id, v FROM " + t + order;
        const std::vector<int>& all = forward[w];
        for (SQLULEN rowset : {1, 2, 7}) {
          ASSERT_NO_FATAL_FAILURE(Scrolling(type, keyset, sql));
          ASSERT_EQ(SQL_SUCCESS,
                    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rowset, 0));
          PositionModel model(kRows, static_cast<long>(rowset));
          std::mt19937 random(static_cast<unsigned>(rowset * 7 + type + keyset + kRows));
          std::uniform_int_distribution<long> far(-kRows - 12, kRows + 12), near(-9, 9);
          std::uniform_int_distribution<size_t> move(0, std::size(kMoves) - 1);
          std::string path;
          for (int i = 0; i < 520; ++i) {
            const SQLSMALLINT o = kMoves[move(random)];
            const long k = o == SQL_FETCH_ABSOLUTE || (o == SQL_FETCH_RELATIVE && i % 2 == 0)
                               ? far(random)
                           : o == SQL_FETCH_RELATIVE ? near(random)
                                                     : 0;
            path += " " + std::to_string(o) + ":" + std::to_string(k);
            bool warn = false;
            const long first = model.Fetch(o, k, &warn);
            const std::string where = std::to_string(kRows) + order + " type " +
                                      std::to_string(type) + "/" + std::to_string(keyset) +
                                      " rowset " + std::to_string(rowset) + " after" +
                                      path.substr(path.size() > 120 ? path.size() - 120 : 0);
            const SQLRETURN rc = SQLFetchScroll(stmt_, o, k);
            if (first == 0) {
              ASSERT_EQ(SQL_NO_DATA, rc) << where << Diag(SQL_HANDLE_STMT, stmt_);
              continue;
            }
            ASSERT_EQ(warn ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc)
                << where << Diag(SQL_HANDLE_STMT, stmt_);
            const auto end = std::min<long>(kRows, first - 1 + static_cast<long>(rowset));
            ASSERT_EQ(std::vector<int>(all.begin() + first - 1, all.begin() + end),
                      std::vector<int>(ids_, ids_ + fetched_))
                << where;
          }
        }
      }
  }
}

// A dynamic cursor reads its rows again for every rowset: a row another
// connection inserted shows, one it deleted is gone.
TEST_P(AnyDynamicDm, SeesOtherConnectionsRows) {
  const std::string t = T("dyo_");
  Make(t, 5);
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  ASSERT_NO_FATAL_FAILURE(Scrolling(SQL_CURSOR_DYNAMIC, 0, "SELECT id FROM " + t + " ORDER BY id"));
  EXPECT_EQ((std::vector<int>{10, 20, 30, 40, 50}), Fetch(SQL_FETCH_FIRST));
  other.MustExec("INSERT INTO " + t + " VALUES (15, 'x')");
  other.MustExec("DELETE FROM " + t + " WHERE id = 40");
  EXPECT_EQ((std::vector<int>{10, 15, 20, 30, 50}), Fetch(SQL_FETCH_FIRST));
  other.MustExec("DELETE FROM " + t + " WHERE id < 50");
  EXPECT_EQ((std::vector<int>{50}), Fetch(SQL_FETCH_LAST));
}

// With the row-version table (DynCursSensitivity HIGH) a row that another
// connection changed comes back SQL_ROW_UPDATED once, then as unchanged; a
// row the cursor changed itself does not.
TEST_P(AnyDynamicDm, RowVersionsShowChangedRows) {
  const std::string t = T("dyv_");
  Exec("DROP TABLE QMRRVC");
  MustExec("CREATE TABLE QMRRVC (HCONN CHAR(8), HCURS CHAR(8), KEYVER CHAR(32), ROWVER CHAR(32))");
  made_.push_back("QMRRVC");
  Make(t, 3);
  Close();
  ASSERT_TRUE(NewEnv());
  ASSERT_TRUE(ConnectString("DSN=" + GetParam() + ";DynCursSensitivity=HIGH"));
  qmr_test::DmSession other;
  ASSERT_TRUE(other.Open(GetParam()));
  ASSERT_NO_FATAL_FAILURE(
      Scrolling(SQL_CURSOR_DYNAMIC, 0, "SELECT id, v FROM " + t + " ORDER BY id"));
  const std::vector<uint16_t> fresh(3, SQL_ROW_SUCCESS);
  const std::vector<uint16_t> second = {SQL_ROW_SUCCESS, SQL_ROW_UPDATED, SQL_ROW_SUCCESS};
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(fresh, Statuses());
  other.MustExec("UPDATE " + t + " SET v = 'changed' WHERE id = 20");
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(second, Statuses());
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(fresh, Statuses());
  // A closed cursor runs again with versions of its own.
  ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt_));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ(fresh, Statuses());
  other.MustExec("UPDATE " + t + " SET v = 'again' WHERE id = 30");
  EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
  EXPECT_EQ((std::vector<uint16_t>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_UPDATED}), Statuses());
  // The cursor's own update, by SQLSetPos or by a positioned statement, is
  // its row's version: only another connection's change shows.
  ASSERT_NO_FATAL_FAILURE(Scrolling(SQL_CURSOR_DYNAMIC, 0,
                                    "SELECT id, v FROM " + t + " ORDER BY id", SQL_CONCUR_VALUES));
  char vs[kRowset][21] = {};
  SQLLEN vInd[kRowset] = {};
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 2, SQL_C_CHAR, vs, sizeof vs[0], vInd));
  SQLCHAR name[64] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, nullptr));
  for (const char* mine : {"set", "current"}) {
    EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
    std::snprintf(vs[0], sizeof vs[0], "%s", mine);
    vInd[0] = SQL_NTS;
    SQLHSTMT u = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &u));
    const std::string current =
        "UPDATE " + t + " SET v = 'current' WHERE CURRENT OF " + (const char*)name;
    EXPECT_EQ(SQL_SUCCESS, *mine == 's' ? SQLSetPos(stmt_, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE)
                                        : SQLExecDirect(u, Text(current), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, *mine == 's' ? stmt_ : u);
    SQLFreeHandle(SQL_HANDLE_STMT, u);
    other.MustExec("UPDATE " + t + " SET v = '" + mine + "' WHERE id = 30");
    EXPECT_EQ((std::vector<int>{10, 20, 30}), Fetch(SQL_FETCH_FIRST));
    EXPECT_EQ((std::vector<uint16_t>{SQL_ROW_SUCCESS, SQL_ROW_SUCCESS, SQL_ROW_UPDATED}),
              Statuses())
        << mine;
    EXPECT_EQ(mine, std::string(vs[0]));
  }
}

// A mixed cursor whose block moves past a row another connection deleted
// keeps the place of every key it holds: the deleted row shows as deleted
// where it stood, the next rowset begins with the next live row, and a
// positioned statement reaches the row the cursor shows.
TEST_P(AnyDynamicDm, MixedCursorLosesNoRowToADeletion) {
  const std::string t = T("dym_");
  const struct {
    SQLSMALLINT first, second, move;
    int gone;
    std::vector<int> before, after;
    SQLUSMALLINT row;  // positioned on, 1-based
  } cases[] = {
      {SQL_FETCH_NEXT, SQL_FETCH_NEXT, SQL_FETCH_NEXT, 60, {40, 50, 60}, {70, 80, 90}, 1},
      {SQL_FETCH_LAST, SQL_FETCH_PRIOR, SQL_FETCH_PRIOR, 50, {50, 60, 70}, {20, 30, 40}, 3},
  };
  for (const auto& c : cases) {
    Make(t, 10);
    qmr_test::DmSession other;
    ASSERT_TRUE(other.Open(GetParam()));
    ASSERT_NO_FATAL_FAILURE(Scrolling(
        SQL_CURSOR_KEYSET_DRIVEN, 4, "SELECT id, v FROM " + t + " ORDER BY id", SQL_CONCUR_VALUES));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0));
    Fetch(c.first);
    EXPECT_EQ(c.before, Fetch(c.second)) << c.move;
    other.MustExec("DELETE FROM " + t + " WHERE id = " + std::to_string(c.gone));
    EXPECT_EQ(c.before, Fetch(SQL_FETCH_RELATIVE, 0)) << c.move;
    const auto at = std::find(c.before.begin(), c.before.end(), c.gone) - c.before.begin();
    EXPECT_EQ(SQL_ROW_DELETED, statuses_[at]) << c.move;
    EXPECT_EQ(c.after, Fetch(c.move)) << c.move;
    EXPECT_EQ(std::vector<uint16_t>(3, SQL_ROW_SUCCESS), Statuses()) << c.move;
    ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, c.row, SQL_POSITION, SQL_LOCK_NO_CHANGE))
        << Diag(SQL_HANDLE_STMT, stmt_);
    SQLCHAR name[64] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, nullptr));
    SQLHSTMT u = nullptr;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &u));
    EXPECT_EQ(SQL_SUCCESS,
              SQLExecDirect(
                  u, Text("UPDATE " + t + " SET v = 'here' WHERE CURRENT OF " + (const char*)name),
                  SQL_NTS))
        << Diag(SQL_HANDLE_STMT, u);
    SQLFreeHandle(SQL_HANDLE_STMT, u);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    EXPECT_EQ(std::vector<int>{c.after[c.row - 1]},
              ForwardIds("SELECT id FROM " + t + " WHERE v = 'here'"))
        << c.move;
  }
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyDynamicDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
