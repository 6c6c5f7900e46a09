// Parameters and statement attributes end to end through the Driver Manager:
// parameter arrays with ignored rows, statuses and processed counts, every
// common C type landing in a column of its SQL type (PostgreSQL refuses a
// text for an integer column, so its run is the proof of the setters), exact
// 30-digit numerics, data at execution in pieces, row counts, cursor names,
// native SQL, 64-bit attribute widths, the query timeout and the descriptor
// array sizes. "AnyBackend" suites run on HSQLDB, PostgreSQL, H2 and Derby;
// "Backend" suites on HSQLDB and PostgreSQL.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "tests/support/dm_session.h"
#include "tests/support/dsns.h"

namespace {

using qmr_test::Db;
using qmr_test::DbOf;
using qmr_test::Diag;
using qmr_test::State;

SQLCHAR* Text(const std::string& s) { return (SQLCHAR*)s.c_str(); }

class ParamDm : public qmr_test::DmTest {
 protected:
  Db db() const { return DbOf(GetParam()); }
  // A table name of this data source's own: both builds share one database.
  std::string Table(const char* stem) const {
    return std::string("pd_") + stem + "_" + qmr_test::Lower(GetParam());
  }
  std::string BinaryType(int n) const {
    if (db() == Db::Pg) return "BYTEA";
    if (db() == Db::Derby) return "VARCHAR(" + std::to_string(n) + ") FOR BIT DATA";
    return "VARBINARY(" + std::to_string(n) + ")";
  }

  void Recreate(const std::string& table, const std::string& columns) {
    Exec("DROP TABLE " + table);  // absent the first time
    MustExec("CREATE TABLE " + table + " (" + columns + ")");
  }
  // A fresh statement: no bindings or attributes of an earlier step.
  void FreshStmt() {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
  }
  SQLLEN RowCount() {
    SQLLEN n = -99;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt_, &n)) << Diag(SQL_HANDLE_STMT, stmt_);
    return n;
  }
  // The first column of a one-row query as text ("<null>" for NULL).
  std::string Scalar(const std::string& sql) {
    if (!SQL_SUCCEEDED(Exec(sql))) return "<failed> " + Diag(SQL_HANDLE_STMT, stmt_);
    if (SQLFetch(stmt_) != SQL_SUCCESS) return "<no row>";
    char buf[256] = "";
    SQLLEN ind = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt_, 1, SQL_C_CHAR, buf, sizeof buf, &ind))) return "<get>";
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return ind == SQL_NULL_DATA ? "<null>" : std::string(buf);
  }
  SQLRETURN SetAttr(SQLINTEGER attr, SQLULEN value) {
    return SQLSetStmtAttr(stmt_, attr, reinterpret_cast<SQLPOINTER>(value), 0);
  }
  SQLRETURN SetAttrPtr(SQLINTEGER attr, void* value) {
    return SQLSetStmtAttr(stmt_, attr, value, 0);
  }
};

// Suites that every embedded database and PostgreSQL take.
class AnyParamDm : public ParamDm {};
// Suites for HSQLDB and PostgreSQL.
class BackendParamDm : public ParamDm {};

// ---------------------------------------------------------------------------
// Parameter arrays.

TEST_P(AnyParamDm, ArrayOf1000WithAnIgnoredRowReportsStatusesAndCounts) {
  const std::string t = Table("arr");
  Recreate(t, "id INTEGER, big BIGINT, name VARCHAR(20)");
  constexpr int kRows = 1000;
  constexpr int kIgnored = 500;
  std::vector<SQLINTEGER> ids(kRows);
  std::vector<SQLBIGINT> bigs(kRows);
  std::vector<char> names(kRows * 20);
  std::vector<SQLLEN> nameLen(kRows, SQL_NTS);
  std::vector<SQLUSMALLINT> ops(kRows, SQL_PARAM_PROCEED);
  std::vector<SQLUSMALLINT> statuses(kRows, 0xEEEE);
  SQLULEN processed = 0xDEADBEEF;
  long long expectedSum = 0;
  for (int i = 0; i < kRows; ++i) {
    ids[i] = i;
    // Beyond 32 bits: the 64-bit setter, never a text, must carry it.
    bigs[i] = static_cast<SQLBIGINT>(i) * 10000000019LL - 5000000000000LL;
    std::snprintf(&names[i * 20], 20, "n%d", i);
    if (i != kIgnored) expectedSum += bigs[i];
  }
  ops[kIgnored] = SQL_PARAM_IGNORE;
  nameLen[7] = SQL_NULL_DATA;

  ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAMSET_SIZE, kRows)) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_PARAM_OPERATION_PTR, ops.data()));
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_PARAM_STATUS_PTR, statuses.data()));
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_PARAMS_PROCESSED_PTR, &processed));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                          ids.data(), 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0,
                                          0, bigs.data(), 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                          names.data(), 20, nameLen.data()));
  ASSERT_EQ(SQL_SUCCESS,
            SQLPrepare(stmt_, Text("INSERT INTO " + t + " VALUES (?, ?, ?)"), SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);

  EXPECT_EQ(static_cast<SQLULEN>(kRows - 1), processed);
  EXPECT_EQ(kRows - 1, RowCount());
  int successes = 0;
  for (int i = 0; i < kRows; ++i)
    if (statuses[i] == SQL_PARAM_SUCCESS) ++successes;
  EXPECT_EQ(kRows - 1, successes);
  EXPECT_EQ(SQL_PARAM_UNUSED, statuses[kIgnored]);

  FreshStmt();
  EXPECT_EQ(std::to_string(kRows - 1), Scalar("SELECT COUNT(*) FROM " + t));
  EXPECT_EQ("0", Scalar("SELECT COUNT(*) FROM " + t + " WHERE id = " + std::to_string(kIgnored)));
  EXPECT_EQ(std::to_string(expectedSum), Scalar("SELECT SUM(big) FROM " + t));
  EXPECT_EQ(std::to_string(bigs[999]), Scalar("SELECT big FROM " + t + " WHERE id = 999"));
  EXPECT_EQ("n998", Scalar("SELECT name FROM " + t + " WHERE id = 998"));
  EXPECT_EQ("<null>", Scalar("SELECT name FROM " + t + " WHERE id = 7"));
}

TEST_P(AnyParamDm, DescriptorArraySizesAreTheRowsetAndParameterSetSizes) {
  const std::string t = Table("arrsz");
  Recreate(t, "n INTEGER");
  FreshStmt();
  // The parameter-set size set on the APD is the one SQLExecute uses.
  SQLHDESC apd = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 0, SQL_DESC_ARRAY_SIZE,
                                         reinterpret_cast<SQLPOINTER>(uintptr_t{25}), 0))
      << Diag(SQL_HANDLE_DESC, apd);
  SQLULEN paramset = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, &paramset, 0, nullptr));
  EXPECT_EQ(25u, paramset);
  SQLINTEGER values[25];
  for (int i = 0; i < 25; ++i) values[i] = i + 1;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                          values, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, Text("INSERT INTO " + t + " VALUES (?)"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(25, RowCount());

  // The rowset size set on the ARD is the one SQLFetch fills.
  FreshStmt();
  SQLHDESC ard = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(ard, 0, SQL_DESC_ARRAY_SIZE,
                                         reinterpret_cast<SQLPOINTER>(uintptr_t{10}), 0))
      << Diag(SQL_HANDLE_DESC, ard);
  SQLULEN rowset = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_ARRAY_SIZE, &rowset, 0, nullptr));
  EXPECT_EQ(10u, rowset);
  SQLINTEGER got[10] = {};
  SQLLEN ind[10] = {};
  SQLULEN fetched = 0;
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_ROWS_FETCHED_PTR, &fetched));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt_, 1, SQL_C_LONG, got, 0, ind));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_, Text("SELECT n FROM " + t + " ORDER BY n"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(10u, fetched);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(i + 1, got[i]) << i;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(11, got[0]);
  EXPECT_EQ(20, got[9]);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(5u, fetched);
  EXPECT_EQ(25, got[4]);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt_));
}

// ---------------------------------------------------------------------------
// Values of the common C types.

TEST_P(AnyParamDm, Numeric30DigitsArriveExact) {
  const std::string t = Table("num");
  Recreate(t, "id INTEGER, v DECIMAL(30,5), w NUMERIC(30,5)");
  // 1234567890123456789012345.67891 and its negative, 30 significant digits.
  unsigned __int128 mag = 0;
  for (char c : std::string("123456789012345678901234567891")) mag = mag * 10 + (c - '0');
  SQL_NUMERIC_STRUCT pos{};
  pos.precision = 30;
  pos.scale = 5;
  pos.sign = 1;
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) pos.val[i] = static_cast<SQLCHAR>(mag >> (8 * i));
  SQL_NUMERIC_STRUCT neg = pos;
  neg.sign = 0;
  SQLINTEGER id = 1;
  SQLLEN len1 = sizeof pos, len2 = sizeof neg;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                          &id, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 30,
                                          5, &pos, sizeof pos, &len1));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_NUMERIC, 30,
                                          5, &neg, sizeof neg, &len2));
  ASSERT_EQ(SQL_SUCCESS,
            SQLExecDirect(stmt_, Text("INSERT INTO " + t + " VALUES (?, ?, ?)"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  FreshStmt();
  EXPECT_EQ("1234567890123456789012345.67891", Scalar("SELECT v FROM " + t));
  EXPECT_EQ("-1234567890123456789012345.67891", Scalar("SELECT w FROM " + t));
  // Equal to the literal in the server's own arithmetic, not only as text.
  EXPECT_EQ("1", Scalar("SELECT COUNT(*) FROM " + t +
                        " WHERE v = 1234567890123456789012345.67891 AND w = -v"));
}

// Every common C type bound to the SQL type of its column; the values come
// back as the server's text.
TEST_P(BackendParamDm, EveryCommonCTypeLandsInItsColumn) {
  const std::string t = Table("types");
  Recreate(t,
           "si SMALLINT, i INTEGER, b1 BIGINT, b2 BIGINT, b3 BIGINT, r REAL,"
           " d DOUBLE PRECISION, c VARCHAR(30), w VARCHAR(30), bin " +
               BinaryType(8) + ", dt DATE, ts TIMESTAMP, bo BOOLEAN, dec DECIMAL(12,3)");
  SQLSMALLINT si = -32768;
  SQLINTEGER i = 2147483647;
  SQLBIGINT b1 = INT64_MIN;
  SQLINTEGER b2 = -7;                   // a 32-bit value for a BIGINT parameter
  char b3[] = " 9223372036854775807 ";  // text for a BIGINT parameter
  SQLREAL r = 1.5f;
  SQLDOUBLE d = -2.25e100;
  char c[] = "plain text";
  SQLWCHAR w[] = {u'w', 0x00e4, u'r', u'e', 0};
  unsigned char bin[] = {0x00, 0xFF, 0x10, 0x00, 0x7F};
  SQL_DATE_STRUCT dt{2024, 2, 29};
  SQL_TIMESTAMP_STRUCT ts{1999, 12, 31, 23, 59, 58, 0};
  unsigned char bo = 1;
  char dec[] = "-123456789.125";
  SQLLEN nts = SQL_NTS, binLen = sizeof bin, b3Len = SQL_NTS;
  int p = 0;
  auto bind = [&](SQLSMALLINT ctype, SQLSMALLINT sqltype, SQLULEN size, SQLSMALLINT digits,
                  void* data, SQLLEN buflen, SQLLEN* len) {
    ++p;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, p, SQL_PARAM_INPUT, ctype, sqltype, size, digits,
                                            data, buflen, len))
        << p << Diag(SQL_HANDLE_STMT, stmt_);
  };
  bind(SQL_C_SSHORT, SQL_SMALLINT, 0, 0, &si, 0, nullptr);
  bind(SQL_C_SLONG, SQL_INTEGER, 0, 0, &i, 0, nullptr);
  bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &b1, 0, nullptr);
  bind(SQL_C_SLONG, SQL_BIGINT, 0, 0, &b2, 0, nullptr);
  bind(SQL_C_CHAR, SQL_BIGINT, 0, 0, b3, sizeof b3, &b3Len);
  bind(SQL_C_FLOAT, SQL_REAL, 0, 0, &r, 0, nullptr);
  bind(SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &d, 0, nullptr);
  bind(SQL_C_CHAR, SQL_VARCHAR, 30, 0, c, sizeof c, &nts);
  bind(SQL_C_WCHAR, SQL_WVARCHAR, 30, 0, w, sizeof w, &nts);
  bind(SQL_C_BINARY, SQL_VARBINARY, 8, 0, bin, sizeof bin, &binLen);
  bind(SQL_C_TYPE_DATE, SQL_TYPE_DATE, 10, 0, &dt, 0, nullptr);
  bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, &ts, 0, nullptr);
  bind(SQL_C_BIT, SQL_BIT, 1, 0, &bo, 0, nullptr);
  bind(SQL_C_CHAR, SQL_DECIMAL, 12, 3, dec, sizeof dec, &nts);
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt_,
                                       Text("INSERT INTO " + t +
                                            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                                       SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(1, RowCount());
  FreshStmt();
  EXPECT_EQ("-32768", Scalar("SELECT si FROM " + t));
  EXPECT_EQ("2147483647", Scalar("SELECT i FROM " + t));
  EXPECT_EQ("-9223372036854775808", Scalar("SELECT b1 FROM " + t));
  EXPECT_EQ("-7", Scalar("SELECT b2 FROM " + t));
  EXPECT_EQ("9223372036854775807", Scalar("SELECT b3 FROM " + t));
  EXPECT_EQ("1", Scalar("SELECT COUNT(*) FROM " + t + " WHERE r = 1.5 AND d = -2.25e100"));
  EXPECT_EQ("plain text", Scalar("SELECT c FROM " + t));
  EXPECT_EQ("w\xc3\xa4re", Scalar("SELECT w FROM " + t));
  EXPECT_EQ("2024-02-29", Scalar("SELECT dt FROM " + t));
  EXPECT_EQ("1999-12-31 23:59:58", Scalar("SELECT ts FROM " + t).substr(0, 19));
  EXPECT_EQ("1", Scalar("SELECT COUNT(*) FROM " + t + " WHERE bo = TRUE"));
  EXPECT_EQ("-123456789.125", Scalar("SELECT dec FROM " + t));
  // The bytes whole, NULs included.
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT bin FROM " + t)));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  unsigned char back[16] = {};
  SQLLEN backLen = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, 1, SQL_C_BINARY, back, sizeof back, &backLen)));
  ASSERT_EQ(static_cast<SQLLEN>(sizeof bin), backLen);
  EXPECT_EQ(0, std::memcmp(bin, back, sizeof bin));
}

TEST_P(BackendParamDm, OutOfRangeIntegerIsRefusedNotWrapped) {
  const std::string t = Table("range");
  Recreate(t, "s SMALLINT");
  SQLINTEGER big = 70000;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_SMALLINT, 0,
                                          0, &big, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(stmt_, Text("INSERT INTO " + t + " VALUES (?)"), SQL_NTS));
  FreshStmt();
  EXPECT_EQ("0", Scalar("SELECT COUNT(*) FROM " + t));
}

// ---------------------------------------------------------------------------
// Data at execution.

TEST_P(BackendParamDm, DataAtExecutionInPiecesAndNull) {
  const std::string t = Table("dae");
  const bool pg = db() == Db::Pg;
  Recreate(t, std::string("id INTEGER, txt ") + (pg ? "TEXT" : "VARCHAR(300000)") + ", bin " +
                  (pg ? "BYTEA" : "VARBINARY(300000)"));
  constexpr size_t kPiece = 25000;
  constexpr int kPieces = 4;  // 100,000 bytes each: beyond 64 KB
  std::string text;
  std::string bytes;
  for (size_t k = 0; k < kPiece * kPieces; ++k) {
    text += static_cast<char>('a' + (k * 7) % 26);
    bytes += static_cast<char>((k * 31 + 5) % 256);
  }
  SQLINTEGER id = 1;
  SQLLEN daeLen = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                          &id, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS,
            SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 300000, 0,
                             reinterpret_cast<SQLPOINTER>(uintptr_t{2}), 0, &daeLen));
  ASSERT_EQ(SQL_SUCCESS,
            SQLBindParameter(stmt_, 3, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 300000, 0,
                             reinterpret_cast<SQLPOINTER>(uintptr_t{3}), 0, &daeLen));
  ASSERT_EQ(SQL_SUCCESS,
            SQLPrepare(stmt_, Text("INSERT INTO " + t + " VALUES (?, ?, ?)"), SQL_NTS));

  // Row 1: both values in pieces.
  ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  SQLPOINTER token = nullptr;
  std::vector<uintptr_t> tokens;
  SQLRETURN rc;
  while ((rc = SQLParamData(stmt_, &token)) == SQL_NEED_DATA) {
    const auto which = reinterpret_cast<uintptr_t>(token);
    tokens.push_back(which);
    const std::string& src = which == 2 ? text : bytes;
    for (int k = 0; k < kPieces; ++k) {
      ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, const_cast<char*>(src.data() + k * kPiece),
                                        static_cast<SQLLEN>(kPiece)))
          << Diag(SQL_HANDLE_STMT, stmt_);
    }
  }
  ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ((std::vector<uintptr_t>{2, 3}), tokens);

  // Row 2: a NULL put as data, with no buffer (the Driver Manager takes a
  // NULL only as the first piece of a value).
  id = 2;
  ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  while ((rc = SQLParamData(stmt_, &token)) == SQL_NEED_DATA) {
    if (reinterpret_cast<uintptr_t>(token) == 2) {
      ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, nullptr, SQL_NULL_DATA))
          << Diag(SQL_HANDLE_STMT, stmt_);
    } else {
      ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, const_cast<char*>("\x01\x02"), 2));
    }
  }
  ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, stmt_);

  FreshStmt();
  ASSERT_TRUE(SQL_SUCCEEDED(Exec("SELECT txt, bin FROM " + t + " ORDER BY id")));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  std::vector<char> buf(kPiece * kPieces + 1);
  SQLLEN ind = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 1, SQL_C_CHAR, buf.data(), buf.size(), &ind))
      << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(static_cast<SQLLEN>(text.size()), ind);
  EXPECT_TRUE(text == std::string(buf.data(), text.size()));
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt_, 2, SQL_C_BINARY, buf.data(), buf.size(), &ind))
      << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(static_cast<SQLLEN>(bytes.size()), ind);
  EXPECT_TRUE(bytes == std::string(buf.data(), bytes.size()));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, 1, SQL_C_CHAR, buf.data(), buf.size(), &ind)));
  EXPECT_EQ(SQL_NULL_DATA, ind);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, 2, SQL_C_BINARY, buf.data(), buf.size(), &ind)));
  ASSERT_EQ(2, ind);
  EXPECT_EQ(0, std::memcmp(buf.data(), "\x01\x02", 2));
}

// Nothing follows a NULL sent at execution (another NULL the Driver Manager
// refuses itself).
TEST_P(BackendParamDm, APieceAfterANullIsHY020) {
  SQLLEN dae = SQL_LEN_DATA_AT_EXEC(0);
  SQLPOINTER token = nullptr;
  Recreate(Table("nulldae"), "v VARCHAR(9)");
  SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, &dae, 0, &dae);
  ASSERT_EQ(SQL_NEED_DATA, Exec("INSERT INTO " + Table("nulldae") + " VALUES (?)"));
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt_, &token));
  ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, nullptr, SQL_NULL_DATA));
  EXPECT_EQ(SQL_ERROR, SQLPutData(stmt_, const_cast<char*>("x"), 1));
  EXPECT_EQ("HY020", State(SQL_HANDLE_STMT, stmt_));
  SQLCancel(stmt_);
}

// An SQL_NTS value without its terminator ends with its buffer, here at a
// page the process may not read.
TEST_P(BackendParamDm, AnUnterminatedValueIsNeverReadBeyondItsBuffer) {
  const std::string t = Table("guard");
  Recreate(t, "v VARCHAR(10)");
  const long page = sysconf(_SC_PAGESIZE);
  auto* map = static_cast<char*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_EQ(0, mprotect(map + page, page, PROT_NONE));
  for (const SQLSMALLINT cType : {SQL_C_CHAR, SQL_C_WCHAR}) {
    const SQLLEN bytes = cType == SQL_C_WCHAR ? 12 : 6;
    std::memcpy(map + page - bytes, cType == SQL_C_WCHAR ? (const void*)u"abcdef" : "abcdef",
                bytes);
    SQLLEN nts = SQL_NTS;
    SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, cType, SQL_VARCHAR, 10, 0, map + page - bytes,
                     bytes, &nts);
    EXPECT_EQ(SQL_SUCCESS, Exec("INSERT INTO " + t + " VALUES (?)")) << cType;
  }
  munmap(map, 2 * page);
  EXPECT_EQ("2", Scalar("SELECT COUNT(*) FROM " + t + " WHERE v = 'abcdef'"));
}

// ---------------------------------------------------------------------------
// Row counts, further results, native SQL and cursor names.

TEST_P(AnyParamDm, RowCountsAndNoFurtherResults) {
  const std::string t = Table("rc");
  Recreate(t, "n INTEGER");
  MustExec("INSERT INTO " + t + " VALUES (1)");
  EXPECT_EQ(1, RowCount());
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt_));
  MustExec("INSERT INTO " + t + " SELECT n + 1 FROM " + t);
  EXPECT_EQ(1, RowCount());
  MustExec("INSERT INTO " + t + " SELECT n + 2 FROM " + t);
  EXPECT_EQ(2, RowCount());
  MustExec("UPDATE " + t + " SET n = n * 10 WHERE n > 1");
  EXPECT_EQ(3, RowCount());
  MustExec("DELETE FROM " + t + " WHERE n = 12345");
  EXPECT_EQ(0, RowCount());
  MustExec("SELECT n FROM " + t);
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  // The only result goes; nothing follows it.
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt_));
  EXPECT_EQ(SQL_ERROR, SQLFetch(stmt_));
  MustExec("DELETE FROM " + t);
  EXPECT_EQ(4, RowCount());
  // A fresh statement has no further result and says nothing.
  FreshStmt();
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt_));
  EXPECT_EQ("", Diag(SQL_HANDLE_STMT, stmt_));
}

TEST_P(AnyParamDm, NativeSqlCutsAShortBufferAndCountsTheWhole) {
  const std::string sql =
      "SELECT {fn UCASE(n)} FROM " + Table("rc") + " WHERE n = {d '2020-01-02'}";
  SQLCHAR whole[512];
  SQLINTEGER len = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLNativeSql(dbc_, Text(sql), SQL_NTS, whole, sizeof whole, &len))
      << Diag(SQL_HANDLE_DBC, dbc_);
  const std::string native = (char*)whole;
  // Derby's own nativeSQL hands escapes back for its parser to take.
  if (db() != Db::Derby) {
    EXPECT_EQ(std::string::npos, native.find('{')) << native;
  }
  EXPECT_GT(native.size(), sizeof(SQLCHAR[12]));
  EXPECT_EQ(static_cast<SQLINTEGER>(native.size()), len);
  SQLCHAR small[12];
  std::memset(small, 'X', sizeof small);
  SQLINTEGER smallLen = -1;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLNativeSql(dbc_, Text(sql), SQL_NTS, small, sizeof small, &smallLen));
  EXPECT_EQ("01004", State(SQL_HANDLE_DBC, dbc_));
  EXPECT_EQ(native.substr(0, sizeof small - 1), std::string((char*)small));
  EXPECT_EQ(len, smallLen);
}

TEST_P(AnyParamDm, CursorNameSetBeforeTheStatementExistsIsKept) {
  const std::string t = Table("cur");
  Recreate(t, "n INTEGER");
  MustExec("INSERT INTO " + t + " VALUES (1)");
  FreshStmt();
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt_, Text("QMR_CURSOR_A"), SQL_NTS))
      << Diag(SQL_HANDLE_STMT, stmt_);
  SQLCHAR name[64] = "";
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, &len))
      << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_STREQ("QMR_CURSOR_A", (char*)name);
  EXPECT_EQ(12, len);
  // Prepared and executed (a new Java statement each time), the name stays.
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text("SELECT n FROM " + t), SQL_NTS));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_))) << Diag(SQL_HANDLE_STMT, stmt_);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  name[0] = '\0';
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, &len));
  EXPECT_STREQ("QMR_CURSOR_A", (char*)name);
  SQLFreeStmt(stmt_, SQL_CLOSE);
  MustExec("SELECT n FROM " + t);
  SQLCHAR tiny[5];
  len = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorName(stmt_, tiny, sizeof tiny, &len));
  EXPECT_STREQ("QMR_", (char*)tiny);
  EXPECT_EQ(12, len);
  // A second name replaces the first.
  SQLFreeStmt(stmt_, SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt_, Text("QMR_CURSOR_B"), SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(stmt_, name, sizeof name, &len));
  EXPECT_STREQ("QMR_CURSOR_B", (char*)name);
}

// ---------------------------------------------------------------------------
// Statement attributes.

TEST_P(AnyParamDm, AttributesRoundTripInFullWidth) {
  // Every SQLULEN answer overwrites all 64 bits of what it is given.
  const SQLULEN dirt = ~SQLULEN{0};
  struct Case {
    SQLINTEGER attr;
    SQLULEN value;
  };
  for (const Case& c : {Case{SQL_ATTR_MAX_ROWS, 7}, Case{SQL_ATTR_ROW_ARRAY_SIZE, 3},
                        Case{SQL_ATTR_PARAMSET_SIZE, 4}, Case{SQL_ATTR_QUERY_TIMEOUT, 9},
                        Case{SQL_ATTR_ROW_BIND_TYPE, 24}, Case{SQL_ATTR_PARAM_BIND_TYPE, 40}}) {
    ASSERT_TRUE(SQL_SUCCEEDED(SetAttr(c.attr, c.value))) << c.attr << Diag(SQL_HANDLE_STMT, stmt_);
    SQLULEN v = dirt;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, c.attr, &v, sizeof v, nullptr)) << c.attr;
    EXPECT_EQ(c.value, v) << c.attr;
  }
  // Pointers keep their upper half.
  SQLLEN offset = 0;
  SQLUSMALLINT statuses[4];
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset));
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_PARAM_STATUS_PTR, statuses));
  void* p = reinterpret_cast<void*>(dirt);
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_ROW_BIND_OFFSET_PTR, &p, 0, nullptr));
  EXPECT_EQ(static_cast<void*>(&offset), p);
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, &p, 0, nullptr));
  EXPECT_EQ(static_cast<void*>(statuses), p);
}

TEST_P(AnyParamDm, NullCounterPointersAreWithdrawn) {
  const std::string t = Table("wd");
  Recreate(t, "n INTEGER");
  FreshStmt();
  SQLULEN processed = 0;
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_PARAMS_PROCESSED_PTR, &processed));
  SQLINTEGER v = 1;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0,
                                          &v, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt_, Text("INSERT INTO " + t + " VALUES (?)"), SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(1u, processed);
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_PARAMS_PROCESSED_PTR, nullptr));
  void* p = &v;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &p, 0, nullptr));
  EXPECT_EQ(nullptr, p);
  processed = 77;
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt_)) << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_EQ(77u, processed);

  FreshStmt();
  SQLULEN fetched = 0;
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_ROWS_FETCHED_PTR, &fetched));
  MustExec("SELECT n FROM " + t);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(1u, fetched);
  ASSERT_EQ(SQL_SUCCESS, SetAttrPtr(SQL_ATTR_ROWS_FETCHED_PTR, nullptr));
  p = &v;
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &p, 0, nullptr));
  EXPECT_EQ(nullptr, p);
  fetched = 55;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt_));
  EXPECT_EQ(55u, fetched);
}

TEST_P(BackendParamDm, QueryTimeoutReachesTheServer) {
  if (db() != Db::Pg) {
    // No statement of HSQLDB's in memory runs long enough to be cut; the
    // value at least stays what was set across the execution.
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_QUERY_TIMEOUT, 3));
    MustExec("SELECT 1 FROM (VALUES(0))");
    SQLULEN v = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT, &v, 0, nullptr));
    EXPECT_EQ(3u, v);
    return;
  }
  ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_QUERY_TIMEOUT, 1));
  const auto start = std::chrono::steady_clock::now();
  const SQLRETURN rc = SQLExecDirect(stmt_, Text("SELECT pg_sleep(8)"), SQL_NTS);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(SQL_ERROR, rc);
  const std::string state = State(SQL_HANDLE_STMT, stmt_);
  EXPECT_TRUE(state == "HYT00" || state == "57014") << Diag(SQL_HANDLE_STMT, stmt_);
  EXPECT_LT(took, std::chrono::seconds(6));
  // Without the limit the same statement runs out.
  FreshStmt();
  EXPECT_TRUE(SQL_SUCCEEDED(Exec("SELECT pg_sleep(0.1)"))) << Diag(SQL_HANDLE_STMT, stmt_);
}

std::string Name(const ::testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(AnyBackend, AnyParamDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);
INSTANTIATE_TEST_SUITE_P(Backend, BackendParamDm, ::testing::ValuesIn(qmr_test::TestDsns()), Name);

}  // namespace
