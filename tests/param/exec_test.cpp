// Parameter arrays, ignored sets, the processed count and statuses, the
// descriptions handed to the agent, output values and the warning path.
#include <sql.h>
#include <sqlext.h>

#include "param/param_fixture.h"

namespace qmrtest {
namespace {

using ExecTest = ParamTest;

TEST_F(ExecTest, ArrayWithAnIgnoredSetSendsAndCountsOnlyTheOthers) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?, ?)", 2));
  SQLINTEGER ids[3] = {1, 2, 3};
  SQLLEN idInd[3] = {0, 0, 0};
  char names[3][8] = {"a", "bbbbbbb", "cc"};
  SQLLEN nameInd[3] = {SQL_NTS, -77 /* never read: the set is ignored */, SQL_NULL_DATA};
  SQLUSMALLINT ops[3] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
  SQLUSMALLINT status[3] = {99, 99, 99};
  SQLULEN processed = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          ids, 0, idInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 7, 0,
                                          names, 8, nameInd));
  ASSERT_EQ(SQL_SUCCESS, Exec()) << State(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(2u, script->lastSet->rows_held);
  EXPECT_EQ(1, Fixed<int32_t>(0, 0));
  EXPECT_EQ(3, Fixed<int32_t>(0, 1));
  EXPECT_EQ("a", Prefixed(1, 0));
  EXPECT_TRUE(IsNull(1, 1));
  // The ignored set's seven characters do not widen the column.
  EXPECT_EQ(ColSetTypeSize(COLSET_VT_CHAR32, 1), Col(1).elem_size);
  EXPECT_EQ(2u, processed);
  EXPECT_EQ(SQL_PARAM_SUCCESS, status[0]);
  EXPECT_EQ(SQL_PARAM_UNUSED, status[1]);
  EXPECT_EQ(SQL_PARAM_SUCCESS, status[2]);
}

TEST_F(ExecTest, OneTypeAndWidthForAllSetsWhateverOneSetHolds) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?)", 1));
  char dates[3][32] = {"{d '2020-01-02'}", "", "2021-03-04"};
  SQLLEN ind[3] = {SQL_NTS, SQL_NULL_DATA, SQL_NTS};
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10,
                                          0, dates, 32, ind));
  ASSERT_EQ(SQL_SUCCESS, Exec());
  // Plain text among the escapes: one text column, the escape as ISO text.
  EXPECT_EQ(COLSET_VT_CHAR32, Col(0).type);
  EXPECT_EQ("2020-01-02", Prefixed(0, 0));
  EXPECT_TRUE(IsNull(0, 1));
  EXPECT_EQ("2021-03-04", Prefixed(0, 2));

  // Escapes only (and a NULL): one date column for all sets.
  std::strcpy(dates[2], "{d '2022-05-06'}");
  ASSERT_EQ(SQL_SUCCESS, Exec());
  EXPECT_EQ(COLSET_VT_DATE, Col(0).type);
  EXPECT_EQ(2020, Fixed<SQL_DATE_STRUCT>(0, 0).year);
  EXPECT_TRUE(IsNull(0, 1));
  EXPECT_EQ(6, Fixed<SQL_DATE_STRUCT>(0, 2).day);
}

TEST_F(ExecTest, RowWiseBindingWithOffset) {
  struct Row {
    SQLINTEGER v;
    SQLLEN ind;
    char s[6];
    SQLLEN sInd;
  };
  Row rows[4] = {};
  for (int i = 0; i < 4; ++i) {
    rows[i].v = 10 * i;
    std::snprintf(rows[i].s, sizeof rows[i].s, "r%d", i);
    rows[i].sInd = SQL_NTS;
  }
  SQLLEN offset = sizeof(Row);  // the application moved the window by one row
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?, ?)", 2));
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE,
                                        reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, &offset, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &rows[0].v, 0, &rows[0].ind));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 5, 0,
                                          rows[0].s, 6, &rows[0].sInd));
  ASSERT_EQ(SQL_SUCCESS, Exec()) << State(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(3u, script->lastSet->rows_held);
  EXPECT_EQ(10, Fixed<int32_t>(0, 0));
  EXPECT_EQ(30, Fixed<int32_t>(0, 2));
  EXPECT_EQ("r1", Prefixed(1, 0));
  EXPECT_EQ("r3", Prefixed(1, 2));
}

TEST_F(ExecTest, FailedSetReportsProcessedAndStatusesFromTheAgent) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?)", 1));
  SQLINTEGER v[4] = {1, 2, 3, 4};
  SQLUSMALLINT status[4] = {};
  SQLULEN processed = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(4), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          v, 0, nullptr));
  script->executeAnswer = 15;
  script->lastSetAnswer = 2;
  EXPECT_EQ(SQL_ERROR, Exec());
  EXPECT_EQ(3u, processed);
  EXPECT_EQ(SQL_PARAM_SUCCESS, status[0]);
  EXPECT_EQ(SQL_PARAM_SUCCESS, status[1]);
  EXPECT_EQ(SQL_PARAM_ERROR, status[2]);
  EXPECT_EQ(SQL_PARAM_UNUSED, status[3]);
}

TEST_F(ExecTest, DescriptionsGoOverOnceAndAgainWhenABindingChanges) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?)", 1));
  SQLINTEGER v = 5;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0,
                                          &v, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, Exec());
  ASSERT_EQ(1u, script->binds.size());
  EXPECT_EQ(SQL_INTEGER, script->binds[0].sqlType);
  EXPECT_EQ(1, script->binds[0].direction);
  ASSERT_EQ(SQL_SUCCESS, Exec());
  EXPECT_EQ(1, script->handOvers);
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_BIGINT, 19, 0,
                                          &v, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, Exec());
  EXPECT_EQ(2, script->handOvers);
  EXPECT_EQ(SQL_BIGINT, script->binds[0].sqlType);
}

TEST_F(ExecTest, MissingBindingIsWrongNumberOfParameters) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?, ?)", 2));
  SQLINTEGER v = 5;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &v, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, Exec());
  EXPECT_EQ("07001", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(0, script->executions);
  // SQL_RESET_PARAMS forgets the one that was bound.
  ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_RESET_PARAMS));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &v, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, Exec());
  EXPECT_EQ("07001", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(ExecTest, OutputAndInputOutputValuesComeBack) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("{call p(?, ?, ?)}", 3, "*B"));
  SQLINTEGER in = 7, out = 0, inout = 40;
  SQLLEN inInd = 0, outInd = 12345 /* an output buffer's indicator is never read */, inoutInd = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &in, 0, &inInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &out, 0, &outInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER,
                                          0, 0, &inout, 0, &inoutInd));
  const int32_t o = 70, io = 41;
  script->outputs = {{1, std::string(reinterpret_cast<const char*>(&o), 4), false},
                     {2, std::string(reinterpret_cast<const char*>(&io), 4), false},
                     // The agent hands the input column back changed: it must not land.
                     {0, std::string("\x63\0\0\0", 4), false}};
  script->executeAnswer = 80;
  ASSERT_EQ(SQL_SUCCESS, Exec()) << State(SQL_HANDLE_STMT, stmt);
  EXPECT_FALSE(IsNull(0, 0));
  EXPECT_TRUE(IsNull(1, 0));  // the output parameter sends NULL
  EXPECT_EQ(40, Fixed<int32_t>(2, 0));
  ASSERT_EQ(3u, script->binds.size());
  EXPECT_EQ(SQL_PARAM_OUTPUT, script->binds[1].direction);
  EXPECT_EQ(SQL_PARAM_INPUT_OUTPUT, script->binds[2].direction);
  EXPECT_EQ(7, in);
  EXPECT_EQ(70, out);
  EXPECT_EQ(4, outInd);
  EXPECT_EQ(41, inout);
}

TEST_F(ExecTest, TruncatedOutputKeepsItsWarning) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("{? = call f(?)}", 2, "*B"));
  char ret[4] = "";
  SQLLEN retInd = 0;
  SQLINTEGER arg = 3;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                          ret, sizeof ret, &retInd));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &arg, 0, nullptr));
  std::string cell("\x04\0\0\0abcd", 8);
  script->outputs = {{0, cell, false}};
  script->executeAnswer = 80;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, Exec());
  EXPECT_EQ("01004", State(SQL_HANDLE_STMT, stmt));
  EXPECT_STREQ("abc", ret);
  EXPECT_EQ(4, retInd);
  // The output column is as wide as the buffer that takes the value.
  EXPECT_GE(Col(0).elem_size, 4u + sizeof ret);
}

TEST_F(ExecTest, WarningFinishesTheExecutionFirst) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("{call p(?)}", 1, "*B"));
  SQLINTEGER out = 0;
  SQLLEN ind = 0;
  SQLULEN processed = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &out, 0, &ind));
  const int32_t o = 9;
  script->outputs = {{0, std::string(reinterpret_cast<const char*>(&o), 4), false}};
  script->executeAnswer = 74;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, Exec());
  EXPECT_EQ("IM902", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(9, out);
  EXPECT_EQ(1u, processed);
  StmtHandle* s = Stmt(stmt);
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(kStmtPrepared, s->state);
  EXPECT_NE(0, s->flags & kStmtFlagCursorOpen);
}

}  // namespace
}  // namespace qmrtest
