// Cursor names, and bookmarks in application buffers and naming no row, on
// every backend and both builds.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::State;

const unsigned char kGuard = 0xA5;
const SQLULEN kTypes[] = {SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN};

class AnyNameMarkDm : public qmr_test::DmTest {
 protected:
  void TearDown() override {
    Exec("DROP TABLE " + t_);
    qmr_test::DmTest::TearDown();
  }
  // A fresh statement with variable bookmarks over ids 1-5, `rows` a rowset.
  void Open(SQLULEN type, SQLULEN rows = 1) {
    Exec("DROP TABLE " + t_);
    MustExec("CREATE TABLE " + t_ + " (id INTEGER NOT NULL PRIMARY KEY)");
    MustExec("INSERT INTO " + t_ + " VALUES (1), (2), (3), (4), (5)");
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    SQLSetStmtAttr(stmt_, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)type, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_USE_BOOKMARKS, (SQLPOINTER)SQL_UB_VARIABLE, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)rows, 0);
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status_, 0);
    SQLBindCol(stmt_, 1, SQL_C_SLONG, ids_, 0, nullptr);
  }
  void Run() { MustExec("SELECT id FROM " + t_ + " ORDER BY id"); }
  // The statement's name cut to `size` bytes: "<rc> state" unless it fit.
  std::string Name(SQLHSTMT h, SQLSMALLINT size = 256, SQLSMALLINT* len = nullptr) {
    SQLCHAR buf[256] = "";
    const SQLRETURN rc = SQLGetCursorName(h, buf, size, len);
    return rc == SQL_SUCCESS ? (char*)buf : "<" + std::to_string(rc) + "> " + State(3, h);
  }
  std::string Ids(int n) const {
    std::string s;
    for (int i = 0; i < n; ++i)
      s += std::to_string(ids_[i]) + ":" + std::to_string(status_[i]) + " ";
    return s;
  }
  const std::string t_ = "nm_" + qmr_test::Lower(GetParam());
  SQLINTEGER ids_[3] = {};
  SQLUSMALLINT status_[3] = {};
};

// One made name before and after execution, forward-only or not, each
// statement its own; cut, 01004 with the whole length. SQLSetCursorName
// refuses, changing nothing, names longer than SQLGetInfo's limit (0: none),
// names a made one could have and names another statement holds.
TEST_P(AnyNameMarkDm, CursorNames) {
  for (SQLULEN type : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC}) {
    Open(type);
    const std::string made = Name(stmt_);
    EXPECT_EQ(0u, made.rfind("SQL_CUR", 0)) << made;
    Run();
    SQLSMALLINT len = 0;
    EXPECT_EQ(made, Name(stmt_)) << type;
    EXPECT_EQ("<1> 01004", Name(stmt_, 4, &len)) << type;
    EXPECT_EQ(static_cast<SQLSMALLINT>(made.size()), len) << type;
  }
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLUSMALLINT most = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc_, SQL_MAX_CURSOR_NAME_LEN, &most, sizeof most, nullptr));
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other));
  EXPECT_NE(Name(stmt_), Name(other));
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(other, (SQLCHAR*)"QMR_TAKEN", SQL_NTS));
  const std::string longest(most > 0 ? most : 200, 'c');
  const struct {
    std::string name;
    const char* state;  // "" taken
  } rows[] = {{longest, ""},
              {longest + (most > 0 ? "c" : ""), most > 0 ? "34000" : ""},
              {"SQL_CUR1", "34000"},
              {"sqlcurA", "34000"},
              {"SQL_CURSOR_X", "34000"},
              {"qmr_taken", "3C000"},
              {"QMR_MINE", ""},
              {"QMR_MINE", ""}};
  for (const auto& r : rows) {
    const std::string before = Name(stmt_);
    EXPECT_EQ(*r.state == '\0' ? SQL_SUCCESS : SQL_ERROR,
              SQLSetCursorName(stmt_, (SQLCHAR*)r.name.c_str(), SQL_NTS));
    EXPECT_EQ(r.state, State(SQL_HANDLE_STMT, stmt_)) << r.name;
    EXPECT_EQ(*r.state == '\0' ? r.name : before, Name(stmt_)) << r.name.size();
  }
  SQLFreeHandle(SQL_HANDLE_STMT, other);
}

// SQLGetData in pieces of each size up to a bookmark's: each stays inside
// its buffer and says what is left; the pieces make the bookmark. Column 0
// bound 14 bytes wide holds bookmarks 14 apart, the bytes between left
// alone, and a bulk fetch reads them there; bound 4 wide, 01004.
TEST_P(AnyNameMarkDm, BookmarksInShortAndWideBuffers) {
  for (SQLULEN type : kTypes) {
    Open(type, 3);
    Run();
    std::string whole;
    for (SQLLEN size = 8; size >= 0; --size) {
      ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, 3));
      std::string got;
      SQLLEN left = 8, ind = 0;
      unsigned char b[16];
      for (int call = 0; call < 10; ++call) {
        std::memset(b, kGuard, sizeof b);
        if (SQLGetData(stmt_, 0, SQL_C_VARBOOKMARK, b, size, &ind) == SQL_NO_DATA) break;
        EXPECT_EQ(left, ind) << type << " size " << size << " call " << call;
        EXPECT_EQ(ind > size ? "01004" : "", State(SQL_HANDLE_STMT, stmt_)) << size;
        const SQLLEN piece = ind < size ? ind : size;
        EXPECT_EQ(std::string(16 - piece, kGuard), std::string(b + piece, b + 16)) << size;
        got.append(reinterpret_cast<char*>(b), piece);
        left -= piece;
      }
      if (size == 8) whole = got;
      EXPECT_EQ(size == 0 ? "" : whole, got) << type << " size " << size;
    }
    unsigned char m[3 * 14], kept[3 * 14];
    SQLLEN ind[3];
    std::memset(m, kGuard, sizeof m);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, m, 14, ind));
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, 2));
    for (int r = 0; r < 3; ++r)
      EXPECT_EQ(std::string(6, kGuard), std::string(m + 14 * r + 8, m + 14 * (r + 1))) << type;
    std::memcpy(kept, m, sizeof m);
    std::memcpy(m, kept + 28, 14);  // rows 4, 2, 3
    std::memcpy(m + 14, kept, 28);
    EXPECT_EQ(SQL_SUCCESS, SQLBulkOperations(stmt_, SQL_FETCH_BY_BOOKMARK)) << State(3, stmt_);
    EXPECT_EQ("4:0 2:0 3:0 ", Ids(3)) << type;
    std::memset(m, kGuard, sizeof m);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, m, 4, ind));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, 2));
    EXPECT_EQ("01004", State(SQL_HANDLE_STMT, stmt_));
    EXPECT_EQ(8, ind[2]);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(0, std::memcmp(m + 4 * r, kept + 14 * r, 4)) << type;
    EXPECT_EQ(std::string(30, kGuard), std::string(m + 12, m + sizeof m)) << type;
  }
}

// A bookmark that names no row, or none at all, answers HY111 and leaves
// the cursor where it was; a good one moved past either end is no row. In
// a bulk fetch it is that row's error, and says why.
TEST_P(AnyNameMarkDm, BookmarksThatNameNoRow) {
  for (SQLULEN type : kTypes) {
    Open(type);
    Run();
    ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_ABSOLUTE, 2));
    SQLULEN good = 0, none = ~SQLULEN{0};  // none: no bookmark pointer
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 0, SQL_C_VARBOOKMARK, &good, 8, nullptr));
    const struct {
      SQLULEN mark;
      SQLLEN offset;
      SQLRETURN rc;
      const char* after;  // id and status after SQL_REFRESH, "" not asked
    } rows[] = {{good, 1, SQL_SUCCESS, "3:0 "}, {0, 0, SQL_ERROR, "3:0 "},
                {99, -97, SQL_ERROR, "3:0 "},   {none, 0, SQL_ERROR, "3:0 "},
                {good, 10, SQL_NO_DATA, ""},    {good, -2, SQL_NO_DATA, ""},
                {good, 0, SQL_SUCCESS, "2:0 "}};
    for (const auto& r : rows) {
      SQLULEN mark = r.mark;
      SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, mark == none ? nullptr : &mark, 0);
      EXPECT_EQ(r.rc, SQLFetchScroll(stmt_, SQL_FETCH_BOOKMARK, r.offset)) << r.mark << r.offset;
      EXPECT_EQ(r.rc == SQL_ERROR ? "HY111" : "", State(SQL_HANDLE_STMT, stmt_)) << r.mark;
      if (*r.after == '\0') continue;
      EXPECT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE));
      EXPECT_EQ(r.after, Ids(1)) << type << " " << r.mark << " " << r.offset;
    }
    SQLULEN marks[2] = {good, 99};
    SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2, 0);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 0, SQL_C_VARBOOKMARK, marks, 8, nullptr));
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLBulkOperations(stmt_, SQL_FETCH_BY_BOOKMARK));
    EXPECT_NE(std::string::npos, qmr_test::Diag(3, stmt_).find("HY111")) << type;
    EXPECT_EQ(SQL_ROW_ERROR, status_[1]) << type;
  }
}

// A mixed cursor's bookmarks name the keys it handed them out for: one it
// never handed out, past its last row, names no row either (HY111), while
// a good one moved past an end is no row.
TEST_P(AnyNameMarkDm, MixedBookmarksPastTheLastRow) {
  Open(SQL_CURSOR_KEYSET_DRIVEN);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_KEYSET_SIZE, (SQLPOINTER)3, 0));
  Run();
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0));
  SQLULEN good = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 0, SQL_C_VARBOOKMARK, &good, 8, nullptr));
  const struct {
    SQLULEN mark;
    SQLLEN offset;
    SQLRETURN rc;
    int id;  // of the row fetched
  } rows[] = {{good, 0, SQL_SUCCESS, 2},   {6, 0, SQL_ERROR, 0},       {99, -97, SQL_ERROR, 0},
              {good + 1, 0, SQL_ERROR, 0}, {good, 10, SQL_NO_DATA, 0}, {good, 1, SQL_SUCCESS, 3}};
  for (const auto& r : rows) {
    SQLULEN mark = r.mark;
    SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, &mark, 0);
    ids_[0] = 0;
    EXPECT_EQ(r.rc, SQLFetchScroll(stmt_, SQL_FETCH_BOOKMARK, r.offset))
        << r.mark << " " << r.offset;
    EXPECT_EQ(r.rc == SQL_ERROR ? "HY111" : "", State(SQL_HANDLE_STMT, stmt_)) << r.mark;
    EXPECT_EQ(r.id, ids_[0]) << r.mark << " " << r.offset;
  }
  // Rowsets of 3 from row 2's bookmark: one moved before row 1, however
  // near, is no rowset.
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0));
  SQLULEN mark = good;
  SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, &mark, 0);
  const struct {
    SQLLEN offset;
    int id;
  } moves[] = {{-1, 1}, {-2, 0}, {2, 4}, {-4, 0}, {-3, 0}};
  for (const auto& m : moves) {
    ids_[0] = 0;
    EXPECT_EQ(m.id == 0 ? SQL_NO_DATA : SQL_SUCCESS,
              SQLFetchScroll(stmt_, SQL_FETCH_BOOKMARK, m.offset))
        << m.offset;
    EXPECT_EQ(m.id, ids_[0]) << m.offset;
  }
}

std::string Dsn(const ::testing::TestParamInfo<std::string>& info) { return info.param; }
INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyNameMarkDm, ::testing::ValuesIn(qmr_test::TestDsns()), Dsn);

}  // namespace
