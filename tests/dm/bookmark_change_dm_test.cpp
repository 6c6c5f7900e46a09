// Rows changed through bookmarks and through cursors that do not show their
// key, on every backend and both builds: a bookmark names its row wherever
// the rowset stands, the cursor's own changes are not taken for another
// user's, and a bookmark read by SQLGetData is read once.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Diag;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class AnyBookmarkChangeDm : public qmr_test::DmTest {
 protected:
  void TearDown() override {
    Exec("DROP TABLE " + t_);
    qmr_test::DmTest::TearDown();
  }
  void Make(const std::string& values) {
    Exec("DROP TABLE " + t_);
    MustExec("CREATE TABLE " + t_ + " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(10))");
    MustExec("INSERT INTO " + t_ + " VALUES " + values);
  }
  SQLHSTMT Cursor(SQLULEN type, SQLULEN concurrency, SQLULEN rows, SQLULEN keyset = 0) {
    SQLHSTMT h = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &h));
    SQLSetStmtAttr(h, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
    SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, (SQLPOINTER)concurrency, 0);
    SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rows, 0);
    SQLSetStmtAttr(h, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)keyset, 0);
    SQLSetStmtAttr(h, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0);
    SQLSetStmtAttr(h, SQL_ATTR_ROW_STATUS_PTR, status_, 0);
    return h;
  }
  // The table as "id,v;id,v" in id order.
  std::string Contents() {
    EXPECT_EQ(SQL_SUCCESS,
              SQLExecDirect(stmt_, Text("SELECT id, v FROM " + t_ + " ORDER BY id"), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, stmt_);
    std::string all;
    for (const qmr_test::Row& row : qmr_test::FetchRows(stmt_))
      all += (all.empty() ? "" : ";") + row[0].text + "," + row[1].text;
    return all;
  }
  void SetV(int r, const char* v) {
    std::snprintf(vs_[r], sizeof vs_[r], "%s", v);
    vInd_[r] = SQL_NTS;
  }
  std::string Statuses(int n) const {
    std::string s;
    for (int i = 0; i < n; ++i) s += (i > 0 ? "," : "") + std::to_string(status_[i]);
    return s;
  }
  const std::string t_ = "bkc_" + qmr_test::Lower(GetParam());
  SQLUSMALLINT status_[2] = {};
  char vs_[2][11] = {};
  SQLLEN vInd_[2] = {};
};

// Static and keyset cursors under values concurrency, rowset 2 standing on
// rows 5-6: rows 1-3 named by their bookmarks change, except the one another
// connection changed since it was fetched; rows the cursor itself changed,
// by bookmark or not, change again without a conflict.
TEST_P(AnyBookmarkChangeDm, BookmarksChangeRowsOutsideTheRowset) {
  for (SQLULEN type : {SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN}) {
    SCOPED_TRACE(type == SQL_CURSOR_STATIC ? "static" : "keyset");
    Make("(1, 'v1'), (2, 'v2'), (3, 'v3'), (4, 'v4'), (5, 'v5'), (6, 'v6')");
    SQLHSTMT h = Cursor(type, SQL_CONCUR_VALUES, 2);
    SQLLEN bm[2], bmInd[2], seen[4];
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 0, SQL_C_VARBOOKMARK, bm, sizeof bm[0], bmInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, vs_, sizeof vs_[0], vInd_));
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(h, Text("SELECT id, v FROM " + t_ + " ORDER BY id"), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, h);
    for (int from : {1, 3}) {
      ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, from));
      seen[from - 1] = bm[0];
      seen[from] = bm[1];
    }
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, 5));
    const SQLLEN five = bm[0];
    qmr_test::DmSession other;
    other.UseEnv(env_);
    ASSERT_TRUE(other.ConnectDsn(GetParam()));
    other.MustExec("UPDATE " + t_ + " SET v = 'other' WHERE id = 2");
    const struct {
      SQLUSMALLINT op;
      SQLLEN marks[2];
      const char* values[2];
      SQLRETURN rc;
      const char* statuses;
    } steps[] = {
        {SQL_UPDATE_BY_BOOKMARK, {seen[0], seen[1]}, {"b1", "b2"}, SQL_SUCCESS_WITH_INFO, "2,5"},
        {SQL_UPDATE_BY_BOOKMARK, {seen[0], five}, {"c1", "c5"}, SQL_SUCCESS, "2,2"},
        {SQL_DELETE_BY_BOOKMARK, {seen[2], seen[3]}, {"", ""}, SQL_SUCCESS, "1,1"},
    };
    for (const auto& s : steps) {
      for (int r = 0; r < 2; ++r) {
        bm[r] = s.marks[r];
        bmInd[r] = sizeof bm[0];
        SetV(r, s.values[r]);
      }
      EXPECT_EQ(s.rc, SQLBulkOperations(h, s.op)) << s.statuses << Diag(SQL_HANDLE_STMT, h);
      EXPECT_EQ(s.statuses, Statuses(2));
    }
    SetV(0, "d5");
    SetV(1, "d6");
    EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
        << Diag(SQL_HANDLE_STMT, h);
    bm[0] = seen[0];
    bm[1] = five;
    SetV(0, "e1");
    SetV(1, "e5");
    EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(h, SQL_UPDATE_BY_BOOKMARK))
        << Diag(SQL_HANDLE_STMT, h);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    EXPECT_EQ("1,e1;2,other;5,e5;6,v6", Contents());
  }
}

// A mixed cursor changes by bookmark only the rows of its current key
// block, and says so of the others.
TEST_P(AnyBookmarkChangeDm, MixedBookmarksOutsideTheBlockSaySo) {
  Make("(1, 'v1'), (2, 'v2'), (3, 'v3'), (4, 'v4'), (5, 'v5'), (6, 'v6')");
  SQLHSTMT h = Cursor(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 1, 2);
  SQLLEN bm[2], bmInd[2];
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 0, SQL_C_VARBOOKMARK, bm, sizeof bm[0], bmInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, vs_, sizeof vs_[0], vInd_));
  ASSERT_EQ(SQL_SUCCESS,
            SQLExecDirect(h, Text("SELECT id, v FROM " + t_ + " ORDER BY id"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, h);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0));
  const SQLLEN first = bm[0];
  for (int i = 0; i < 4; ++i) ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_NEXT, 0));
  bm[0] = first;
  bmInd[0] = sizeof bm[0];
  SetV(0, "x1");
  EXPECT_EQ(SQL_ERROR, SQLBulkOperations(h, SQL_UPDATE_BY_BOOKMARK));
  EXPECT_NE(std::string::npos, Diag(SQL_HANDLE_STMT, h).find("outside the current key block"))
      << Diag(SQL_HANDLE_STMT, h);
  EXPECT_EQ("5", Statuses(1));
  SQLFreeHandle(SQL_HANDLE_STMT, h);
  EXPECT_EQ("1,v1;2,v2;3,v3;4,v4;5,v5;6,v6", Contents());
}

// A static cursor under lock or values concurrency whose select list leaves
// out the key ties each row to its key, duplicates included: each update
// changes the row it stands on.
TEST_P(AnyBookmarkChangeDm, StaticCursorWithoutItsKeyChangesTheRightRow) {
  for (SQLULEN concurrency : {SQL_CONCUR_LOCK, SQL_CONCUR_VALUES}) {
    SCOPED_TRACE(concurrency);
    Make("(1, 'b'), (2, 'a'), (3, 'b'), (4, 'c')");
    SQLHSTMT h = Cursor(SQL_CURSOR_STATIC, concurrency, 1);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_CHAR, vs_, sizeof vs_[0], vInd_));
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, Text("SELECT v FROM " + t_), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, h);
    for (int row : {3, 1, 2}) {
      ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, row));
      SetV(0, ("x" + std::to_string(row)).c_str());
      EXPECT_EQ(SQL_SUCCESS, SQLSetPos(h, 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE))
          << row << Diag(SQL_HANDLE_STMT, h);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    EXPECT_EQ("1,x1;2,x2;3,x3;4,c", Contents());
  }
}

// SQL_ADD hands back the bookmarks of the rows it added in the bound column
// 0, and a fetch by those bookmarks reads the added rows.
TEST_P(AnyBookmarkChangeDm, AddedRowsAreFetchedBackByTheirBookmarks) {
  const SQLULEN kinds[][2] = {{SQL_CURSOR_STATIC, SQL_CONCUR_LOCK},
                              {SQL_CURSOR_STATIC, SQL_CONCUR_VALUES},
                              {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK},
                              {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES}};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(std::to_string(kind[0]) + "/" + std::to_string(kind[1]));
    Make("(1, 'v1'), (2, 'v2'), (3, 'v3')");
    SQLHSTMT h = Cursor(kind[0], kind[1], 2);
    SQLLEN bm[2], bmInd[2], idInd[2];
    SQLINTEGER ids[2];
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 0, SQL_C_VARBOOKMARK, bm, sizeof bm[0], bmInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, ids, 0, idInd));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, vs_, sizeof vs_[0], vInd_));
    ASSERT_EQ(SQL_SUCCESS,
              SQLExecDirect(h, Text("SELECT id, v FROM " + t_ + " ORDER BY id"), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, h);
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_FIRST, 0));
    for (int r = 0; r < 2; ++r) {
      ids[r] = 7 + r;
      idInd[r] = 0;
      SetV(r, r == 0 ? "a7" : "a8");
    }
    EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(h, SQL_ADD)) << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ("4,4", Statuses(2));
    ids[0] = ids[1] = 0;
    SetV(0, "-");
    SetV(1, "-");
    EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(h, SQL_FETCH_BY_BOOKMARK)) << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ("7,a7 8,a8",
              std::to_string(ids[0]) + "," + vs_[0] + " " + std::to_string(ids[1]) + "," + vs_[1]);
    // Every bookmark operation reaches an added row (7, 8) as the others.
    const SQLLEN added[2] = {bm[0], bm[1]};
    const struct {
      SQLUSMALLINT op;
      int rows[2];
      const char* statuses;
      const char* after;  // the rows read, or the table after a change
    } steps[] = {{SQL_FETCH_BY_BOOKMARK, {2, 7}, "0,0", "2,v2 7,a7 "},
                 {SQL_FETCH_BY_BOOKMARK, {8, 1}, "0,0", "8,a8 1,v1 "},
                 {SQL_UPDATE_BY_BOOKMARK, {7, 3}, "2,2", "1,v1;2,v2;3,u3;7,u7;8,a8"},
                 {SQL_DELETE_BY_BOOKMARK, {8, 1}, "1,1", "2,v2;3,u3;7,u7"},
                 {SQL_FETCH_BY_BOOKMARK, {7, 8}, "0,1", "7,u7 "}};
    for (const auto& st : steps) {
      const bool fetch = st.op == SQL_FETCH_BY_BOOKMARK;
      for (int r = 0; r < 2; ++r) {
        bm[r] = st.rows[r] >= 7 ? added[st.rows[r] - 7] : st.rows[r];
        bmInd[r] = sizeof bm[0];
        ids[r] = fetch ? 0 : st.rows[r];
        SetV(r, fetch ? "-" : ("u" + std::to_string(st.rows[r])).c_str());
      }
      EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(h, st.op)) << st.op << Diag(SQL_HANDLE_STMT, h);
      EXPECT_EQ(st.statuses, Statuses(2)) << st.op;
      std::string read;
      for (int r = 0; r < 2; ++r)
        if (status_[r] == SQL_ROW_SUCCESS) read += std::to_string(ids[r]) + "," + vs_[r] + " ";
      EXPECT_EQ(st.after, fetch ? read : Contents()) << st.op;
    }
    // SQLFetchScroll by an added row's bookmark: a rowset of that row alone.
    SQLULEN fetched = 0;
    SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    SQLSetStmtAttr(h, SQL_ATTR_FETCH_BOOKMARK_PTR, const_cast<SQLLEN*>(added), 0);
    EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_BOOKMARK, 0)) << Diag(SQL_HANDLE_STMT, h);
    EXPECT_EQ("1 7,u7", std::to_string(fetched) + " " + std::to_string(ids[0]) + "," + vs_[0]);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
  }
}

// A bookmark read by SQLGetData, fixed or variable, is read once: the next
// call for the same row finds no data, as for any fixed-length value, and
// the next row's reads anew.
TEST_P(AnyBookmarkChangeDm, SecondGetDataOfABookmarkFindsNoData) {
  Make("(1, 'v1'), (2, 'v2'), (3, 'v3')");
  for (SQLULEN type : {SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN}) {
    for (SQLSMALLINT cType : {SQL_C_BOOKMARK, SQL_C_VARBOOKMARK}) {
      SCOPED_TRACE(std::to_string(type) + "/" + std::to_string(cType));
      SQLHSTMT h = Cursor(type, SQL_CONCUR_READ_ONLY, 1);
      ASSERT_EQ(SQL_SUCCESS,
                SQLExecDirect(h, Text("SELECT id FROM " + t_ + " ORDER BY id"), SQL_NTS));
      SQLULEN marks[2] = {};
      for (int row : {2, 3}) {
        ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_ABSOLUTE, row));
        SQLULEN mark = 0, again = 0;
        SQLLEN len = 0;
        EXPECT_EQ(SQL_SUCCESS, SQLGetData(h, 0, cType, &mark, sizeof mark, &len));
        EXPECT_EQ(8, len);
        EXPECT_EQ(SQL_NO_DATA, SQLGetData(h, 0, cType, &again, sizeof again, &len));
        EXPECT_EQ(0u, again);
        marks[row - 2] = mark;
      }
      EXPECT_NE(marks[0], marks[1]);
      SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
  }
}

std::string Dsn(const ::testing::TestParamInfo<std::string>& info) { return info.param; }
INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyBookmarkChangeDm, ::testing::ValuesIn(qmr_test::TestDsns()),
                         Dsn);

}  // namespace
