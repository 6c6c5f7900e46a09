// Static cursors through the Driver Manager on every backend and both
// builds: every fetch orientation over a result large enough to leave
// memory, checked row by row against a forward-only read of the same query;
// the ends of small results; catalog results; the cache's temporary files.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

extern char** environ;

namespace {

using qmr_test::Diag;
using qmr_test::State;

constexpr int kRows = 12000;
constexpr SQLULEN kSizes[] = {1, 7, 1000};

// One fetch and the first row it must bring for rowsets of 1, 7 and 1000
// rows (0: SQL_NO_DATA), with 01S06 where ODBC asks for it. BOOKMARK steps
// count from the bookmark of row 5000.
struct Step {
  SQLSMALLINT orientation;
  SQLLEN offset;
  SQLLEN first[3];
  bool warn[3];
};

const Step kSteps[] = {
    {SQL_FETCH_NEXT, 0, {1, 1, 1}, {}},
    {SQL_FETCH_NEXT, 0, {2, 8, 1001}, {}},
    {SQL_FETCH_PRIOR, 0, {1, 1, 1}, {}},
    {SQL_FETCH_PRIOR, 0, {0, 0, 0}, {}},
    {SQL_FETCH_NEXT, 0, {1, 1, 1}, {}},
    {SQL_FETCH_LAST, 0, {12000, 11994, 11001}, {}},
    {SQL_FETCH_NEXT, 0, {0, 0, 0}, {}},
    {SQL_FETCH_PRIOR, 0, {12000, 11994, 11001}, {}},
    {SQL_FETCH_ABSOLUTE, 5000, {5000, 5000, 5000}, {}},
    {SQL_FETCH_BOOKMARK, 5, {5005, 5005, 5005}, {}},
    {SQL_FETCH_BOOKMARK, -4999, {1, 1, 1}, {}},
    {SQL_FETCH_BOOKMARK, -5000, {0, 0, 0}, {}},
    {SQL_FETCH_NEXT, 0, {1, 1, 1}, {}},
    {SQL_FETCH_ABSOLUTE, -1, {12000, 12000, 12000}, {}},
    {SQL_FETCH_ABSOLUTE, 12001, {0, 0, 0}, {}},
    {SQL_FETCH_PRIOR, 0, {12000, 11994, 11001}, {}},
    {SQL_FETCH_ABSOLUTE, -12001, {0, 0, 0}, {}},
    {SQL_FETCH_RELATIVE, 3, {3, 3, 3}, {}},
    {SQL_FETCH_RELATIVE, -2, {1, 1, 1}, {}},
    {SQL_FETCH_RELATIVE, -1, {0, 0, 0}, {}},
    {SQL_FETCH_ABSOLUTE, 4, {4, 4, 4}, {}},
    {SQL_FETCH_RELATIVE, -5, {0, 1, 1}, {false, true, true}},
    {SQL_FETCH_ABSOLUTE, 11995, {11995, 11995, 11995}, {}},
    {SQL_FETCH_NEXT, 0, {11996, 0, 0}, {}},
    {SQL_FETCH_RELATIVE, 0, {11996, 0, 0}, {}},
    {SQL_FETCH_FIRST, 0, {1, 1, 1}, {}},
    {SQL_FETCH_ABSOLUTE, -12000, {1, 1, 1}, {}},
    {SQL_FETCH_ABSOLUTE, 0, {0, 0, 0}, {}},
    {SQL_FETCH_RELATIVE, 12000, {12000, 12000, 12000}, {}},
    {SQL_FETCH_PRIOR, 0, {11999, 11993, 11000}, {}},
    {SQL_FETCH_RELATIVE, -11000, {999, 993, 0}, {}},
};

struct RowWise {
  SQLINTEGER id;
  SQLLEN idInd;
  char v[24];
  SQLLEN vInd;
  SQLULEN bm;
  SQLLEN bmInd;
};

// The private directory $TMPDIR names for the duration of a test.
class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/qmr_scroll_XXXXXX";
    path_ = mkdtemp(templ) != nullptr ? templ : "";
    const char* old = std::getenv("TMPDIR");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TMPDIR", path_.c_str(), 1);
  }
  ~TempDir() {
    if (had_)
      setenv("TMPDIR", old_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    rmdir(path_.c_str());
  }
  const std::string& path() const { return path_; }
  // Names left in the directory.
  int Entries() const {
    int n = 0;
    if (DIR* d = opendir(path_.c_str())) {
      while (dirent* e = readdir(d))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) ++n;
      closedir(d);
    }
    return n;
  }

 private:
  std::string path_;
  std::string old_;
  bool had_ = false;
};

// The open descriptors of a process that lead into dir, with the mode of
// each file.
std::vector<mode_t> FilesIn(const std::string& dir, const std::string& pid = "self") {
  std::vector<mode_t> modes;
  const std::string fds = "/proc/" + pid + "/fd";
  if (DIR* d = opendir(fds.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string link = fds + "/" + e->d_name;
      char target[4096];
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = '\0';
      struct stat st {};
      if (std::string(target).rfind(dir + "/", 0) == 0 && stat(link.c_str(), &st) == 0)
        modes.push_back(st.st_mode & 07777);
    }
    closedir(d);
  }
  return modes;
}

// Connected without the agent's default limit of 100 rows a rowset.
class ScrollDm : public ::testing::TestWithParam<std::string>, public qmr_test::DmSession {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
    ASSERT_TRUE(NewEnv());
    ASSERT_TRUE(ConnectString("DSN=" + GetParam() + ";NRSSL=1"));
    table_ = "qsc_" + qmr_test::Lower(GetParam().substr(3));
  }
  void TearDown() override {
    // A fresh statement: the last one points at buffers that are gone.
    if (ok()) {
      Fresh();
      Exec("DROP TABLE " + table_);
    }
    Close();
  }
  SQLHSTMT Fresh() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
    return stmt_;
  }
  SQLRETURN Attr(SQLINTEGER attr, SQLULEN value) {
    return SQLSetStmtAttr(stmt_, attr, reinterpret_cast<SQLPOINTER>(value), 0);
  }
  SQLULEN GetAttr(SQLINTEGER attr) {
    SQLULEN v = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, attr, &v, 0, nullptr))
        << Diag(SQL_HANDLE_STMT, stmt_);
    return v;
  }
  void Static() {
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC))
        << Diag(SQL_HANDLE_STMT, stmt_);
  }
  // n rows: id k, v "v<k>" (NULL every seventh), t "t<k>", k from 1.
  void Fill(int n) {
    Exec("DROP TABLE " + table_);
    MustExec("CREATE TABLE " + table_ +
             " (id INTEGER NOT NULL PRIMARY KEY, v VARCHAR(20), t VARCHAR(20))");
    std::vector<SQLINTEGER> ids(n);
    std::vector<char> v(n * 20), t(n * 20);
    std::vector<SQLLEN> vLen(n, SQL_NTS), tLen(n, SQL_NTS);
    for (int k = 1; k <= n; ++k) {
      ids[k - 1] = k;
      std::snprintf(&v[(k - 1) * 20], 20, "v%d", k);
      std::snprintf(&t[(k - 1) * 20], 20, "t%d", k);
      if (k % 7 == 3) vLen[k - 1] = SQL_NULL_DATA;
    }
    Fresh();
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_PARAMSET_SIZE, n));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                            0, ids.data(), 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20,
                                            0, v.data(), 20, vLen.data()));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20,
                                            0, t.data(), 20, tLen.data()));
    const std::string insert = "INSERT INTO " + table_ + " VALUES (?, ?, ?)";
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, (SQLCHAR*)insert.c_str(), SQL_NTS))
        << Diag(SQL_HANDLE_STMT, stmt_);
    Fresh();
  }
  std::string Select() const { return "SELECT id, v, t FROM " + table_ + " ORDER BY id"; }
  std::vector<qmr_test::Row> ForwardRead() {
    Fresh();
    EXPECT_EQ(SQL_SUCCESS, Run(Select()));
    return qmr_test::FetchRows(stmt_);
  }
  SQLRETURN Run(const std::string& sql) {
    return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }

  std::string LongSelect() const { return "SELECT id, v, lt FROM " + table_ + " ORDER BY id"; }
  // The table of Fill(n) with a long text lt behind (lengths up to 1500
  // characters, NULL every fifth row); the forward read of LongSelect().
  std::vector<qmr_test::Row> FillLong(int n) {
    Fill(n);
    // Each database's long text that is not a LOB: HSQLDB's CLOBs, written
    // in numbers, meet its checkpoint thread in a deadlock of its own.
    const qmr_test::Db db = qmr_test::DbOf(GetParam());
    const char* longType = db == qmr_test::Db::Pg      ? "TEXT"
                           : db == qmr_test::Db::Hsql  ? "LONGVARCHAR"
                           : db == qmr_test::Db::Derby ? "LONG VARCHAR"
                                                       : "CLOB";
    MustExec("ALTER TABLE " + table_ + " ADD COLUMN lt " + longType);
    std::vector<SQLINTEGER> ids(n);
    std::vector<char> text(n * 1600);
    std::vector<SQLLEN> len(n, SQL_NTS);
    for (int k = 1; k <= n; ++k) {
      ids[k - 1] = k;
      const std::string t = std::string((k * 37) % 1500, 'a' + k % 26) + std::to_string(k);
      std::snprintf(&text[(k - 1) * 1600], 1600, "%s", t.c_str());
      if (k % 5 == 2) len[k - 1] = SQL_NULL_DATA;
    }
    Fresh();
    EXPECT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_PARAMSET_SIZE, n));
    EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
                                            1600, 0, text.data(), 1600, len.data()));
    EXPECT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0,
                                            0, ids.data(), 0, nullptr));
    EXPECT_EQ(SQL_SUCCESS, Run("UPDATE " + table_ + " SET lt = ? WHERE id = ?"))
        << Diag(SQL_HANDLE_STMT, stmt_);
    Fresh();
    EXPECT_EQ(SQL_SUCCESS, Run(LongSelect())) << Diag(SQL_HANDLE_STMT, stmt_);
    std::vector<qmr_test::Row> ref = qmr_test::FetchRows(stmt_);
    Fresh();
    return ref;
  }

  std::string table_;
};

// Binds the bookmark, id and v (t stays for SQLGetData) row-wise, or
// column-wise into arrays of the same shape; Read(r) gives row r.
class Binding {
 public:
  Binding(SQLHSTMT h, SQLULEN size, bool rowWise) : rows_(size), rowWise_(rowWise) {
    RowWise& r = rows_[0];
    if (rowWise) {
      SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof r), 0);
      SQLBindCol(h, 0, SQL_C_VARBOOKMARK, &r.bm, sizeof r.bm, &r.bmInd);
      SQLBindCol(h, 1, SQL_C_SLONG, &r.id, 0, &r.idInd);
      SQLBindCol(h, 2, SQL_C_CHAR, r.v, sizeof r.v, &r.vInd);
      return;
    }
    id_.resize(size);
    v_.resize(size * 24);
    bm_.resize(size);
    ind_.resize(3 * size);
    SQLBindCol(h, 0, SQL_C_VARBOOKMARK, bm_.data(), sizeof(SQLULEN), &ind_[0]);
    SQLBindCol(h, 1, SQL_C_SLONG, id_.data(), 0, &ind_[size]);
    SQLBindCol(h, 2, SQL_C_CHAR, v_.data(), 24, &ind_[2 * size]);
  }
  RowWise Read(SQLULEN r) const {
    if (rowWise_) return rows_[r];
    const SQLULEN n = rows_.size();
    RowWise x{id_[r], ind_[n + r], {}, ind_[2 * n + r], bm_[r], ind_[r]};
    std::memcpy(x.v, &v_[r * 24], 24);
    return x;
  }

 private:
  std::vector<RowWise> rows_;
  bool rowWise_;
  std::vector<SQLINTEGER> id_;
  std::vector<char> v_;
  std::vector<SQLULEN> bm_;
  std::vector<SQLLEN> ind_;
};

TEST_P(ScrollDm, EveryOrientationMatchesTheForwardRead) {
  Fill(kRows);
  const std::vector<qmr_test::Row> ref = ForwardRead();
  ASSERT_EQ(static_cast<size_t>(kRows), ref.size());
  for (int s = 0; s < 3; ++s) {
    for (bool rowWise : {false, true}) {
      const SQLULEN size = kSizes[s];
      const std::string config =
          "rowset " + std::to_string(size) + (rowWise ? " row-wise" : " column-wise");
      Fresh();
      Static();
      ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE));
      ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, size));
      std::vector<SQLUSMALLINT> status(size);
      SQLULEN fetched = 0;
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0));
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
      SQLULEN bookmark = 0;
      ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark, 0));
      Binding b(stmt_, size, rowWise);
      ASSERT_EQ(SQL_SUCCESS, Run(Select())) << config << Diag(SQL_HANDLE_STMT, stmt_);
      for (size_t i = 0; i < sizeof kSteps / sizeof kSteps[0]; ++i) {
        const Step& st = kSteps[i];
        const std::string where = config + ", step " + std::to_string(i + 1);
        std::fill(status.begin(), status.end(), 0xEEEE);
        const SQLRETURN rc = SQLFetchScroll(stmt_, st.orientation, st.offset);
        const SQLLEN first = st.first[s];
        if (first == 0) {
          ASSERT_EQ(SQL_NO_DATA, rc) << where;
          EXPECT_EQ(0u, fetched) << where;
          continue;
        }
        ASSERT_EQ(st.warn[s] ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc)
            << where << Diag(SQL_HANDLE_STMT, stmt_);
        if (st.warn[s]) {
          EXPECT_EQ("01S06", State(SQL_HANDLE_STMT, stmt_)) << where;
        }
        const SQLULEN expect = std::min<SQLULEN>(size, kRows - first + 1);
        ASSERT_EQ(expect, fetched) << where;
        EXPECT_EQ(static_cast<SQLULEN>(first), GetAttr(SQL_ATTR_ROW_NUMBER)) << where;
        for (SQLULEN r = 0; r < size; ++r) {
          if (r >= expect) {
            EXPECT_EQ(SQL_ROW_NOROW, status[r]) << where << " row " << r;
            continue;
          }
          const qmr_test::Row& want = ref[first - 1 + r];
          const RowWise got = b.Read(r);
          ASSERT_EQ(SQL_ROW_SUCCESS, status[r]) << where << " row " << r;
          ASSERT_EQ(want[0].text, std::to_string(got.id)) << where << " row " << r;
          ASSERT_EQ(want[1].null, got.vInd == SQL_NULL_DATA) << where << " row " << r;
          if (!want[1].null) {
            ASSERT_EQ(want[1].text, std::string(got.v)) << where << " row " << r;
          }
          ASSERT_EQ(static_cast<SQLULEN>(first + r), got.bm) << where << " row " << r;
        }
        // The unbound column of the current row, read after the scroll.
        char t[24] = {};
        SQLLEN tInd = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 3, SQL_C_CHAR, t, sizeof t, &tInd))
            << where << Diag(SQL_HANDLE_STMT, stmt_);
        EXPECT_EQ(ref[first - 1][2].text, std::string(t)) << where;
        if (st.orientation == SQL_FETCH_ABSOLUTE && st.offset == 5000) bookmark = b.Read(0).bm;
      }
    }
  }
}

// Results smaller than the rowset: LAST and negative ABSOLUTE reach row 1,
// from past its start with 01S06; SQLExtendedFetch; an empty result has no
// rowset anywhere.
TEST_P(ScrollDm, SmallResultsAndExtendedFetch) {
  Fill(5);
  struct Case {
    SQLSMALLINT orientation;
    SQLLEN offset;
    SQLULEN first;  // 0: SQL_NO_DATA
  };
  const Case cases[] = {{SQL_FETCH_LAST, 0, 1},      {SQL_FETCH_ABSOLUTE, -6, 1},
                        {SQL_FETCH_ABSOLUTE, -8, 0}, {SQL_FETCH_ABSOLUTE, 3, 3},
                        {SQL_FETCH_RELATIVE, -2, 1}, {SQL_FETCH_ABSOLUTE, 6, 0}};
  Fresh();
  Static();
  ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 7));
  SQLULEN fetched = 0;
  SQLINTEGER ids[7];
  SQLLEN ind[7];
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, ind));
  ASSERT_EQ(SQL_SUCCESS, Run(Select())) << Diag(SQL_HANDLE_STMT, stmt_);
  for (const Case& c : cases) {
    const std::string where = std::to_string(c.orientation) + "/" + std::to_string(c.offset);
    const SQLRETURN rc = SQLFetchScroll(stmt_, c.orientation, c.offset);
    if (c.first == 0) {
      EXPECT_EQ(SQL_NO_DATA, rc) << where;
      continue;
    }
    const bool warn = c.orientation == SQL_FETCH_ABSOLUTE && c.offset < -5;
    ASSERT_EQ(warn ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc)
        << where << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ(warn ? "01S06" : "", State(SQL_HANDLE_STMT, stmt_)) << where;
    EXPECT_EQ(5 - c.first + 1, fetched) << where;
    EXPECT_EQ(static_cast<SQLINTEGER>(c.first), ids[0]) << where;
    EXPECT_EQ(5, ids[fetched - 1]) << where;
  }

  // Closing and executing again reads the result afresh: a row added in
  // between is there.
  ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt_));
  SQLHSTMT other = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &other));
  const std::string add = "INSERT INTO " + table_ + " VALUES (6, 'v6', 't6')";
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(other, (SQLCHAR*)add.c_str(), SQL_NTS));
  SQLFreeHandle(SQL_HANDLE_STMT, other);
  ASSERT_EQ(SQL_SUCCESS, Run(Select())) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_LAST, 0));
  EXPECT_EQ(6u, fetched);
  EXPECT_EQ(6, ids[5]);
  // The cached result is the only one; the cursor is gone after it.
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt_));
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt_, SQL_FETCH_FIRST, 0));

  // The ODBC 2 call, on a statement of its own.
  Fresh();
  Static();
  ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ROWSET_SIZE, 3));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, ids, 0, ind));
  ASSERT_EQ(SQL_SUCCESS, Run("SELECT id FROM " + table_ + " WHERE id <= 5 ORDER BY id"));
  SQLULEN count = 0;
  SQLUSMALLINT status[3] = {9, 9, 9};
  ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(stmt_, SQL_FETCH_ABSOLUTE, 4, &count, status))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(2u, count);
  EXPECT_EQ(4, ids[0]);
  EXPECT_EQ(5, ids[1]);
  EXPECT_EQ(SQL_ROW_SUCCESS, status[1]);
  EXPECT_EQ(SQL_ROW_NOROW, status[2]);
  EXPECT_EQ(SQL_SUCCESS, SQLExtendedFetch(stmt_, SQL_FETCH_FIRST, 0, &count, status));
  EXPECT_EQ(1, ids[0]);

  // Nothing anywhere in an empty result.
  Fresh();
  Static();
  ASSERT_EQ(SQL_SUCCESS, Run("SELECT id FROM " + table_ + " WHERE id < 0"));
  for (SQLSMALLINT o : {SQL_FETCH_LAST, SQL_FETCH_FIRST, SQL_FETCH_NEXT, SQL_FETCH_PRIOR})
    EXPECT_EQ(SQL_NO_DATA, SQLFetchScroll(stmt_, o, 0)) << o;
}

// A catalog result scrolls; a keyset or dynamic request gives a static
// one, and a catalog call on a cursor asked for locks makes it read-only.
TEST_P(ScrollDm, CatalogResultsScrollAsStaticReadOnly) {
  Fill(2);
  std::string upper = table_;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string t = qmr_test::DbOf(GetParam()) == qmr_test::Db::Pg ? table_ : upper;
  for (SQLULEN asked : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC}) {
    Fresh();
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_CURSOR_TYPE, asked));
    EXPECT_EQ(asked, GetAttr(SQL_ATTR_CURSOR_TYPE));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK));
    ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLColumns(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)t.c_str(), SQL_NTS, nullptr, 0))
        << Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_EQ("01S02", State(SQL_HANDLE_STMT, stmt_));
    EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_STATIC), GetAttr(SQL_ATTR_CURSOR_TYPE));
    EXPECT_EQ(static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY), GetAttr(SQL_ATTR_CONCURRENCY));
    char column[64];
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 4, SQL_C_CHAR, column, sizeof column, &ind));
    const std::pair<SQLSMALLINT, const char*> walk[] = {{SQL_FETCH_LAST, "t"},
                                                        {SQL_FETCH_PRIOR, "v"},
                                                        {SQL_FETCH_ABSOLUTE, "id"},
                                                        {SQL_FETCH_PRIOR, nullptr},
                                                        {SQL_FETCH_RELATIVE, "v"}};
    SQLLEN offset = 1;
    for (const auto& [o, want] : walk) {
      const SQLRETURN rc = SQLFetchScroll(stmt_, o, o == SQL_FETCH_RELATIVE ? 2 : offset);
      if (want == nullptr) {
        EXPECT_EQ(SQL_NO_DATA, rc) << o;
        continue;
      }
      ASSERT_EQ(SQL_SUCCESS, rc) << o << Diag(SQL_HANDLE_STMT, stmt_);
      EXPECT_EQ(want, qmr_test::Lower(column)) << o;
    }
  }
}

// The cache's files: private, nameless from the start, gone with the
// statement, and gone after a fill that failed, which leaves a statement
// that runs again.
TEST_P(ScrollDm, TemporaryFilesLeaveNothingBehind) {
  Fill(kRows);
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  Fresh();
  Static();
  ASSERT_EQ(SQL_SUCCESS, Run(Select())) << Diag(SQL_HANDLE_STMT, stmt_);
  const std::vector<mode_t> open = FilesIn(dir.path());
  ASSERT_EQ(2u, open.size()) << "a data file and an index file";
  for (mode_t m : open) EXPECT_EQ(0600u, m);
  EXPECT_EQ(0, dir.Entries());
  Fresh();
  EXPECT_TRUE(FilesIn(dir.path()).empty());

  // A division by zero on a late row: the error comes while the result is
  // being read (or at execute, where the server computes it all first).
  Static();
  const std::string bad = "SELECT id, 1 / (id - 11000) FROM " + table_ + " ORDER BY id";
  ASSERT_EQ(SQL_ERROR, Run(bad));
  EXPECT_FALSE(State(SQL_HANDLE_STMT, stmt_).empty());
  EXPECT_TRUE(FilesIn(dir.path()).empty());
  EXPECT_EQ(0, dir.Entries());
  ASSERT_EQ(SQL_SUCCESS, Run(Select())) << Diag(SQL_HANDLE_STMT, stmt_);
  SQLINTEGER id = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, &id, 0, &ind));
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, SQL_FETCH_LAST, 0)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(kRows, id);
}

bool Same(const qmr_test::Cell& want, SQLLEN ind, const char* text) {
  return want.null == (ind == SQL_NULL_DATA) && (want.null || want.text == text);
}

// Long texts (NULL every fifth row) behind the scroll table's columns, on
// results that stay in memory and that spill to the cache's files: random
// ABSOLUTE, RELATIVE and BOOKMARK fetches bring the forward read's rows,
// with the long column bound or read by SQLGetData.
TEST_P(ScrollDm, RandomFetchesOfLongValuesMatchTheForwardRead) {
  struct Case {
    int rows;
    SQLULEN rowset;
    bool bindLong;
  };
  const Case cases[] = {{3000, 5, true}, {7000, 5, true}, {7000, 1, false}};
  for (const Case& c : cases) {
    const std::string config = std::to_string(c.rows) + " rows, rowset " + std::to_string(c.rowset);
    const std::vector<qmr_test::Row> ref = FillLong(c.rows);
    ASSERT_EQ(static_cast<size_t>(c.rows), ref.size()) << config;
    const std::string select = LongSelect();
    Fresh();
    Static();
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE));
    ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, c.rowset));
    SQLULEN fetched = 0, bookmark = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt_, SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark, 0));
    Binding b(stmt_, c.rowset, false);
    std::vector<char> lt(c.rowset * 2048);
    std::vector<SQLLEN> ltInd(c.rowset);
    if (c.bindLong) {
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, lt.data(), 2048, ltInd.data()));
    }
    ASSERT_EQ(SQL_SUCCESS, Run(select)) << config << Diag(SQL_HANDLE_STMT, stmt_);
    std::mt19937 random(static_cast<unsigned>(c.rows));
    std::uniform_int_distribution<int> pick(1, c.rows);
    SQLLEN at = 0;
    const SQLSMALLINT kTurns[] = {SQL_FETCH_ABSOLUTE, SQL_FETCH_RELATIVE, SQL_FETCH_BOOKMARK,
                                  SQL_FETCH_NEXT};
    for (int i = 0; i < 120; ++i) {
      // The target row comes first; each orientation is asked to reach it,
      // NEXT (a pass going on from a jump) when it can.
      SQLLEN target = pick(random);
      SQLSMALLINT orientation = kTurns[i % 4];
      if (orientation == SQL_FETCH_NEXT && at + static_cast<SQLLEN>(c.rowset) <= c.rows)
        target = at + static_cast<SQLLEN>(c.rowset);
      else if (orientation == SQL_FETCH_NEXT)
        orientation = SQL_FETCH_ABSOLUTE;
      const SQLLEN from = orientation == SQL_FETCH_ABSOLUTE   ? 0
                          : orientation == SQL_FETCH_RELATIVE ? at
                          : orientation == SQL_FETCH_NEXT     ? target
                                                              : static_cast<SQLLEN>(bookmark);
      const SQLLEN offset = target - from;
      const std::string where =
          config + ", fetch " + std::to_string(i) + " to row " + std::to_string(target);
      ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, orientation, offset))
          << where << Diag(SQL_HANDLE_STMT, stmt_);
      at = target;
      ASSERT_EQ(std::min<SQLULEN>(c.rowset, c.rows - target + 1), fetched) << where;
      for (SQLULEN r = 0; r < fetched; ++r) {
        const qmr_test::Row& want = ref[target - 1 + r];
        const RowWise got = b.Read(r);
        ASSERT_EQ(want[0].text, std::to_string(got.id)) << where << " row " << r;
        ASSERT_TRUE(Same(want[1], got.vInd, got.v)) << where << " row " << r;
        if (!c.bindLong) {
          ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 3, SQL_C_CHAR, lt.data(), 2048, ltInd.data()))
              << where << Diag(SQL_HANDLE_STMT, stmt_);
        }
        ASSERT_TRUE(Same(want[2], ltInd[r], &lt[r * 2048])) << where << " row " << r;
      }
      if (i == 0) bookmark = b.Read(0).bm;
    }
  }
}

// The long text of the current row read by SQLGetData in pieces of `piece`
// bytes until SQL_NO_DATA; "<NULL>" for NULL, "<rc>" for a failure.
std::string ReadLong(SQLHSTMT st, SQLLEN piece) {
  std::string all;
  std::vector<char> buf(piece);
  SQLLEN ind = 0;
  SQLRETURN rc;
  while ((rc = SQLGetData(st, 3, SQL_C_CHAR, buf.data(), piece, &ind)) != SQL_NO_DATA) {
    if (!SQL_SUCCEEDED(rc)) return "<" + std::to_string(rc) + ">";
    if (ind == SQL_NULL_DATA) return all.empty() ? "<NULL>" : "<NULL after text>";
    all += buf.data();
    if (all.size() > 4000) return "<endless>";
  }
  return all;
}

// What leaving long values in the cache until they are asked for must not
// break: a long text read in pieces and then whole again (after another
// column), after SQL_POSITION to other rows of the rowset and back, while
// bound (filled at the fetch, refused to SQLGetData, readable once unbound),
// and after jumps between a spilled result's windows and back.
TEST_P(ScrollDm, LongValuesReadAgainAfterPositioningAndJumps) {
  struct Step {
    SQLSMALLINT orientation;  // 0: the same rowset
    SQLLEN offset;
    SQLSETPOSIROW row;  // positioned by SQL_POSITION
  };
  // Rowsets of 5: from the first window, from the files alone, a pass that
  // loads a window, a jump back before it, and one into it again.
  const Step steps[] = {{SQL_FETCH_ABSOLUTE, 2, 1},
                        {0, 0, 3},
                        {0, 0, 1},
                        {SQL_FETCH_ABSOLUTE, -1000, 2},
                        {SQL_FETCH_NEXT, 0, 5},
                        {SQL_FETCH_ABSOLUTE, 3, 4},
                        {SQL_FETCH_ABSOLUTE, -990, 1},
                        {SQL_FETCH_PRIOR, 0, 2}};
  for (int rows : {3000, 7000}) {
    const std::vector<qmr_test::Row> ref = FillLong(rows);
    ASSERT_EQ(static_cast<size_t>(rows), ref.size());
    for (bool bound : {false, true}) {
      Fresh();
      Static();
      ASSERT_EQ(SQL_SUCCESS, Attr(SQL_ATTR_ROW_ARRAY_SIZE, 5));
      SQLINTEGER id[5];
      SQLLEN idInd[5], ltInd[5];
      std::vector<char> lt(5 * 2048);
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_SLONG, id, 0, idInd));
      if (bound) {
        ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, lt.data(), 2048, ltInd));
      }
      ASSERT_EQ(SQL_SUCCESS, Run(LongSelect())) << Diag(SQL_HANDLE_STMT, stmt_);
      for (const Step& s : steps) {
        const std::string where = std::to_string(rows) + " rows, " + (bound ? "bound" : "unbound") +
                                  ", step to " + std::to_string(s.offset) + " row " +
                                  std::to_string(s.row);
        if (s.orientation != 0) {
          ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(stmt_, s.orientation, s.offset))
              << where << Diag(SQL_HANDLE_STMT, stmt_);
        }
        ASSERT_EQ(SQL_SUCCESS, SQLSetPos(stmt_, s.row, SQL_POSITION, SQL_LOCK_NO_CHANGE)) << where;
        const qmr_test::Cell& want = ref[id[s.row - 1] - 1][2];
        const std::string text = want.null ? "<NULL>" : want.text;
        if (bound) {
          ASSERT_TRUE(Same(want, ltInd[s.row - 1], &lt[(s.row - 1) * 2048])) << where;
          char b[8];
          SQLLEN ind = 0;
          EXPECT_EQ(SQL_ERROR, SQLGetData(stmt_, 3, SQL_C_CHAR, b, sizeof b, &ind)) << where;
          continue;
        }
        EXPECT_EQ(text, ReadLong(stmt_, 100)) << where;
        char v[24];
        SQLLEN vInd = 0;
        ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_CHAR, v, sizeof v, &vInd)) << where;
        EXPECT_EQ(text, ReadLong(stmt_, 2048)) << where << " (read again)";
      }
      if (!bound) continue;
      // Unbound, the rowset's long text is read whole again.
      ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 3, SQL_C_CHAR, nullptr, 0, nullptr));
      const qmr_test::Cell& want = ref[id[1] - 1][2];
      EXPECT_EQ(want.null ? "<NULL>" : want.text, ReadLong(stmt_, 2048));
    }
  }
}

// A folder the cache cannot use fails the statement with a message that
// names the folder and the system's reason; a usable one works again.
TEST_P(ScrollDm, AnUnusableTemporaryFolderIsNamedWithItsReason) {
  Fill(kRows);
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string plain = dir.path() + "/plain";
  std::fclose(std::fopen(plain.c_str(), "w"));
  const struct {
    std::string folder;
    const char* reason;
  } rows[] = {{dir.path() + "/missing", "No such file or directory"}, {plain, "Not a directory"}};
  for (const auto& row : rows) {
    setenv("TMPDIR", row.folder.c_str(), 1);
    Fresh();
    Static();
    EXPECT_EQ(SQL_ERROR, Run(Select())) << row.folder;
    const std::string diag = Diag(SQL_HANDLE_STMT, stmt_);
    EXPECT_NE(diag.find(row.folder + ": " + row.reason), std::string::npos) << diag;
  }
  setenv("TMPDIR", dir.path().c_str(), 1);
  unlink(plain.c_str());
  Fresh();
  Static();
  EXPECT_EQ(SQL_SUCCESS, Run(Select())) << Diag(SQL_HANDLE_STMT, stmt_);
  Fresh();
}

std::string Name(const ::testing::TestParamInfo<std::string>& i) { return i.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, ScrollDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

// A process killed in the middle of scrolling leaves no file: the names are
// gone from the moment the files exist.
TEST(ScrollKill, NoFileRemainsAfterSigkill) {
  ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest";
  TempDir dir;
  int out[2];
  ASSERT_EQ(0, pipe(out));
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  char child[] = QMR_SCROLL_CHILD;
  char dsn[] = "QmrHsqlU";
  char* argv[] = {child, dsn, nullptr};
  pid_t pid = 0;
  ASSERT_EQ(0, posix_spawn(&pid, child, &fa, nullptr, argv, environ));
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  char line[16] = {};
  ASSERT_GT(read(out[0], line, sizeof line - 1), 0) << "the child reports its open cursor";
  close(out[0]);
  ASSERT_EQ(std::string("ready\n"), line);
  const std::vector<mode_t> open = FilesIn(dir.path(), std::to_string(pid));
  EXPECT_EQ(2u, open.size());
  for (mode_t m : open) EXPECT_EQ(0600u, m);
  ASSERT_EQ(0, kill(pid, SIGKILL));
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(0, dir.Entries());
}

}  // namespace
