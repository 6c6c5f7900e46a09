// Bound columns: single-row fetches across agent blocks, rowsets of 100
// rows bound column-wise and row-wise with bind offsets, row statuses and
// rows fetched, re-binding and unbinding, the forward-only orientations.
#include <cstring>
#include <string>
#include <vector>

#include "driver/bind.h"
#include "fetch/fetch_fixture.h"

namespace qmrtest {
namespace {

const FCol kId{"ID", SQL_INTEGER, COLSET_VT_INTEGER, 4, 10};
const FCol kName{"NAME", SQL_VARCHAR, COLSET_VT_NTS, 21, 20};

class Rowset : public FetchTest {
 protected:
  // n rows (ID i, NAME "n<i>", every seventh NAME NULL).
  void Rows(int n) {
    data.cols = {kId, kName};
    for (int i = 0; i < n; ++i)
      data.rows.push_back(
          {FVal::Int(i), i % 7 == 3 ? FVal::Null() : FVal::Text("n" + std::to_string(i))});
  }
  void SetArraySize(SQLHSTMT h, SQLULEN n) {
    ASSERT_EQ(SQL_SUCCESS,
              SQLSetDescField(Ard(h), 0, SQL_DESC_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(n), 0));
  }
  void SetStatus(SQLHSTMT h, SQLUSMALLINT* statuses, SQLULEN* fetched) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ird(h), 0, SQL_DESC_ARRAY_STATUS_PTR, statuses, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ird(h), 0, SQL_DESC_ROWS_PROCESSED_PTR, fetched, 0));
  }
  static std::string Name(int i) { return i % 7 == 3 ? "" : "n" + std::to_string(i); }
};

TEST_F(Rowset, SingleRowsCrossAgentBlocksInOrder) {
  Rows(7);
  SQLHSTMT h = Query();
  SQLSMALLINT ncols = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(h, &ncols));  // described: the block size is set
  Stmt(h)->rowsPerBlock = 3;
  SQLINTEGER id = -1;
  char name[21];
  SQLLEN idLen = 0, nameLen = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, &idLen));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, name, sizeof name, &nameLen));
  SQLUSMALLINT status = 99;
  SQLULEN fetched = 99;
  SetStatus(h, &status, &fetched);
  for (int i = 0; i < 7; ++i) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(h)) << i;
    EXPECT_EQ(i, id);
    EXPECT_EQ(4, idLen);
    if (i % 7 == 3) {
      EXPECT_EQ(SQL_NULL_DATA, nameLen);
    } else {
      EXPECT_EQ(Name(i), name);
      EXPECT_EQ(static_cast<SQLLEN>(Name(i).size()), nameLen);
    }
    EXPECT_EQ(SQL_ROW_SUCCESS, status);
    EXPECT_EQ(1u, fetched);
  }
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(h));
  EXPECT_EQ(SQL_ROW_NOROW, status);
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ((std::vector<uint16_t>{3, 3, 3, 3}), data.asked);
}

TEST_F(Rowset, HundredRowsColumnWise) {
  Rows(250);
  SQLHSTMT h = Query();
  SetArraySize(h, 100);
  std::vector<SQLINTEGER> ids(100, -1);
  std::vector<char> names(100 * 12, 'x');
  std::vector<SQLLEN> idLen(100), nameLen(100);
  std::vector<SQLUSMALLINT> statuses(100, 99);
  SQLULEN fetched = 0;
  SetStatus(h, statuses.data(), &fetched);
  // A buffer length above the C type's size must not change the stride.
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, ids.data(), 64, idLen.data()));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, names.data(), 12, nameLen.data()));
  int base = 0;
  for (SQLULEN expect : {100u, 100u, 50u}) {
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
    ASSERT_EQ(expect, fetched);
    for (SQLULEN r = 0; r < 100; ++r) {
      if (r >= expect) {
        EXPECT_EQ(SQL_ROW_NOROW, statuses[r]) << r;
        continue;
      }
      const int i = base + static_cast<int>(r);
      EXPECT_EQ(SQL_ROW_SUCCESS, statuses[r]);
      EXPECT_EQ(i, ids[r]);
      if (i % 7 == 3) {
        EXPECT_EQ(SQL_NULL_DATA, nameLen[r]);
      } else {
        EXPECT_EQ(Name(i), std::string(&names[r * 12]));
        EXPECT_EQ(static_cast<SQLLEN>(Name(i).size()), nameLen[r]);
      }
    }
    base += 100;
  }
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(h));
  EXPECT_EQ(0u, fetched);
}

TEST_F(Rowset, HundredRowsRowWiseWithBindOffset) {
  struct Row {
    SQLINTEGER id;
    SQLLEN idLen;
    char name[13];
    SQLLEN nameLen;
  };
  Rows(150);
  SQLHSTMT h = Query();
  SetArraySize(h, 100);
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ard(h), 0, SQL_DESC_BIND_TYPE,
                                         reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0));
  // Bound at the start of one array; the offset moves every address into
  // a second one.
  std::vector<Row> unused(100), rows(100);
  SQLLEN offset = reinterpret_cast<char*>(rows.data()) - reinterpret_cast<char*>(unused.data());
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(Ard(h), 0, SQL_DESC_BIND_OFFSET_PTR, &offset, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &unused[0].id, 0, &unused[0].idLen));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, unused[0].name, sizeof unused[0].name,
                                    &unused[0].nameLen));
  std::vector<SQLUSMALLINT> statuses(100, 99);
  SQLULEN fetched = 0;
  SetStatus(h, statuses.data(), &fetched);

  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_NEXT, 0));
  ASSERT_EQ(100u, fetched);
  for (int r = 0; r < 100; ++r) {
    EXPECT_EQ(r, rows[r].id);
    EXPECT_EQ(4, rows[r].idLen);
    if (r % 7 == 3) {
      EXPECT_EQ(SQL_NULL_DATA, rows[r].nameLen);
    } else {
      EXPECT_EQ(Name(r), rows[r].name);
    }
    EXPECT_EQ(0, unused[r].id);  // nothing lands at the unmoved addresses
  }
  ASSERT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_NEXT, 0));
  ASSERT_EQ(50u, fetched);
  EXPECT_EQ(149, rows[49].id);
  EXPECT_EQ(SQL_ROW_SUCCESS, statuses[49]);
  EXPECT_EQ(SQL_ROW_NOROW, statuses[50]);
}

TEST_F(Rowset, GetDataReadsTheFirstRowOfTheRowset) {
  Rows(10);
  SQLHSTMT h = Query();
  SetArraySize(h, 4);
  std::vector<SQLINTEGER> ids(4);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, ids.data(), 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  EXPECT_EQ(7, ids[3]);
  char name[8];
  SQLLEN len = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(h, 2, SQL_C_CHAR, name, sizeof name, &len));
  EXPECT_STREQ("n4", name);
}

TEST_F(Rowset, LongValuesMoveIntoTheRowsetWithoutLossOrDoubleFree) {
  // A long column makes the agent deliver one row per block.
  data.cols = {kId, FCol{"CL", SQL_LONGVARCHAR, COLSET_VT_LONGCHAR, 0, 1000000}};
  for (int i = 0; i < 5; ++i)
    data.rows.push_back({FVal::Int(i), FVal::Text(std::string(100 + i, 'a' + i))});
  SQLHSTMT h = Query();
  SetArraySize(h, 3);
  std::vector<SQLLEN> lens(3);
  std::vector<char> text(3 * 200);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, text.data(), 200, lens.data()));
  SQLULEN fetched = 0;
  std::vector<SQLUSMALLINT> statuses(3);
  SetStatus(h, statuses.data(), &fetched);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  ASSERT_EQ(3u, fetched);
  EXPECT_EQ(std::string(102, 'c'), std::string(&text[400]));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  ASSERT_EQ(2u, fetched);
  EXPECT_EQ(104, lens[1]);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(h));
}

TEST_F(Rowset, ExtendedFetchFillsItsOwnCountAndStatuses) {
  Rows(5);
  SQLHSTMT h = Query();
  SetArraySize(h, 3);
  std::vector<SQLINTEGER> ids(3);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, ids.data(), 0, nullptr));
  SQLULEN count = 0;
  SQLUSMALLINT st[3] = {9, 9, 9};
  ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &count, st));
  EXPECT_EQ(3u, count);
  EXPECT_EQ(2, ids[2]);
  ASSERT_EQ(SQL_SUCCESS, SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &count, st));
  EXPECT_EQ(2u, count);
  EXPECT_EQ(SQL_ROW_NOROW, st[2]);
  EXPECT_EQ(SQL_NO_DATA, SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &count, st));
  EXPECT_EQ(0u, count);

  conn->cn_hasScrlCurs = 0;
  EXPECT_EQ(SQL_ERROR, SQLExtendedFetch(h, SQL_FETCH_NEXT, 0, &count, st));
  EXPECT_EQ("IM001", StmtState(h));
}

TEST_F(Rowset, ForwardOnlyCursorRefusesOtherOrientations) {
  Rows(3);
  SQLHSTMT h = Query();
  for (SQLSMALLINT o : {SQL_FETCH_PRIOR, SQL_FETCH_FIRST, SQL_FETCH_ABSOLUTE, SQL_FETCH_BOOKMARK}) {
    EXPECT_EQ(SQL_ERROR, SQLFetchScroll(h, o, 1)) << o;
    EXPECT_EQ("HY106", StmtState(h));
  }
  EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(h, SQL_FETCH_NEXT, 0));
  SQLHSTMT idle = NewStmt(dbc);
  EXPECT_EQ(SQL_ERROR, SQLFetch(idle));
  EXPECT_EQ("HY010", StmtState(idle));
}

TEST_F(Rowset, AgentFailureReachesTheApplication) {
  Rows(3);
  data.failAtCall = 0;
  SQLHSTMT h = Query();
  EXPECT_EQ(SQL_ERROR, SQLFetch(h));
  EXPECT_NE(std::string::npos, Message(SQL_HANDLE_STMT, h).find("fetch broke"));
}

TEST_F(Rowset, BindingRules) {
  Rows(2);
  SQLHSTMT h = Query();
  SQLINTEGER id = 0;
  EXPECT_EQ(SQL_ERROR, SQLBindCol(h, 1, SQL_C_SLONG, &id, -1, nullptr));
  EXPECT_EQ("HY090", StmtState(h));
  EXPECT_EQ(SQL_ERROR, SQLBindCol(h, 1, 12345, &id, 4, nullptr));
  EXPECT_EQ("HY003", StmtState(h));
  // A fixed-size type takes its own size; text keeps 0.
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, nullptr));
  char name[8];
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 2, SQL_C_CHAR, name, 0, nullptr));
  SQLLEN octets = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(Ard(h), 1, SQL_DESC_OCTET_LENGTH, &octets, 0, nullptr));
  EXPECT_EQ(4, octets);
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(Ard(h), 2, SQL_DESC_OCTET_LENGTH, &octets, 0, nullptr));
  EXPECT_EQ(0, octets);
  // Unbinding a column never bound succeeds.
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(h, 5, SQL_C_SLONG, nullptr, 0, nullptr));
}

TEST_F(Rowset, RebindingAndUnbindingFreeTheRowBuffers) {
  Rows(3);
  SQLHSTMT h = Query();
  SQLINTEGER id = 0, id2 = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, nullptr));
  StmtHandle* s = Stmt(h);
  ASSERT_EQ(0, BIND_AllocExt(s, 5));
  BindRowBuffers* b = BIND_RowBuffers(s, 1);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(5u, b->count);
  b->values[2] = std::malloc(16);  // what a positioned update collects
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &id2, 0, nullptr));
  EXPECT_EQ(nullptr, BIND_RowBuffers(s, 1));  // freed (the sanitizer build sees no leak)

  ASSERT_EQ(0, BIND_AllocExt(s, 2));
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(h, SQL_UNBIND));
  EXPECT_EQ(nullptr, BIND_RowBuffers(s, 1));
  SQLSMALLINT count = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(Ard(h), 0, SQL_DESC_COUNT, &count, 0, nullptr));
  EXPECT_EQ(0, count);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  EXPECT_EQ(0, id2);  // nothing bound any more
}

TEST_F(Rowset, OdbcTwoFetchMovesOneRow) {
  Rows(2);
  SQLHENV env2 = NewEnv();  // an ODBC 2 application
  SQLHDBC dbc2 = NewConn(env2);
  ConnHandle* c2 = MarkConnected(dbc2);
  c2->agent.ops = &table;
  SQLHSTMT h = NewStmt(dbc2);
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(h, (SQLCHAR*)"select * from t", SQL_NTS));
  SQLINTEGER id = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(h, 1, SQL_C_SLONG, &id, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  EXPECT_EQ(0, id);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(h));
  EXPECT_EQ(1, id);
  EXPECT_EQ(SQL_NO_DATA, SQLFetch(h));
}

}  // namespace
}  // namespace qmrtest
