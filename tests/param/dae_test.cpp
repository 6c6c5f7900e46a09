// Data at execution: the dialogue, values in pieces, NULL and empty values
// through SQLPutData, and parameter arrays.
#include <sql.h>
#include <sqlext.h>

#include "param/param_fixture.h"

namespace qmrtest {
namespace {

using DaeTest = ParamTest;

SQLRETURN Put(SQLHSTMT h, const void* data, SQLLEN length) {
  return SQLPutData(h, const_cast<void*>(data), length);
}

TEST_F(DaeTest, ThreeParametersInPiecesThenExecute) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?, ?, ?)", 3));
  SQLLEN dae = SQL_LEN_DATA_AT_EXEC(0);
  SQLLEN dae2 = SQL_DATA_AT_EXEC;
  int tokens[3];
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
                                          100, 0, &tokens[0], 0, &dae));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY,
                                          100, 0, &tokens[1], 0, &dae2));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          &tokens[2], 0, &dae2));
  ASSERT_EQ(SQL_NEED_DATA, Exec());
  // No data before SQLParamData names a parameter.
  EXPECT_EQ(SQL_ERROR, Put(stmt, "x", 1));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(&tokens[0], token);
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "hello ", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "world", 5));
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, nullptr, 0));  // an empty piece adds nothing
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(&tokens[1], token);
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "\0\1", 2));
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "\2", 1));
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(&tokens[2], token);
  const SQLINTEGER v = 77;
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, &v, 1 /* a fixed-size value comes whole */));
  EXPECT_EQ(0, script->executions);
  ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token));
  EXPECT_EQ(1, script->executions);
  EXPECT_EQ("hello world", Prefixed(0, 0));
  EXPECT_EQ(std::string("\0\1\2", 3), Prefixed(1, 0));
  EXPECT_EQ(77, Fixed<int32_t>(2, 0));
  // The dialogue is over.
  EXPECT_EQ(SQL_ERROR, SQLParamData(stmt, &token));
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
}

TEST_F(DaeTest, NullAndEmptyThroughPutData) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?, ?)", 2));
  SQLLEN dae = SQL_DATA_AT_EXEC;
  SQLLEN dae2 = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0,
                                          reinterpret_cast<SQLPOINTER>(1), 0, &dae));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0,
                                          reinterpret_cast<SQLPOINTER>(2), 0, &dae2));
  ASSERT_EQ(SQL_NEED_DATA, Exec());
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "discarded", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, nullptr, SQL_NULL_DATA));
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, nullptr, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token));
  EXPECT_TRUE(IsNull(0, 0));
  EXPECT_FALSE(IsNull(1, 0));
  EXPECT_EQ("", Prefixed(1, 0));
}

TEST_F(DaeTest, BadPiecesAreRefused) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?)", 1));
  SQLLEN dae = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0,
                                          reinterpret_cast<SQLPOINTER>(1), 0, &dae));
  ASSERT_EQ(SQL_NEED_DATA, Exec());
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(SQL_ERROR, Put(stmt, nullptr, 3));
  EXPECT_EQ("HY009", State(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, Put(stmt, "abc", -9));
  EXPECT_EQ("HY090", State(SQL_HANDLE_STMT, stmt));
  // A new execution waits for the dialogue to end.
  EXPECT_EQ(SQL_ERROR, Exec());
  EXPECT_EQ("HY010", State(SQL_HANDLE_STMT, stmt));
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "ok", 2));
  ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token));
  EXPECT_EQ("ok", Prefixed(0, 0));
}

TEST_F(DaeTest, ArrayServesEverySetWithItsRowNumber) {
  ASSERT_EQ(SQL_SUCCESS, Prepare("INSERT INTO T VALUES (?)", 1));
  char tokens[3][4] = {};
  SQLLEN lens[3] = {SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC, SQL_DATA_AT_EXEC};
  SQLUSMALLINT ops[3] = {SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
  SQLULEN processed = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_OPERATION_PTR, ops, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3, 0,
                                          tokens, 4, lens));
  ASSERT_EQ(SQL_NEED_DATA, Exec());
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(tokens[0], token);
  EXPECT_EQ(1u, processed);
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "one", 3));
  // The ignored set is never asked for.
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(tokens[2], token);
  EXPECT_EQ(3u, processed);
  ASSERT_EQ(SQL_SUCCESS, Put(stmt, "three", 5));
  ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token));
  ASSERT_EQ(2u, script->lastSet->rows_held);
  EXPECT_EQ("one", Prefixed(0, 0));
  EXPECT_EQ("three", Prefixed(0, 1));
  EXPECT_EQ(2u, processed);
}

}  // namespace
}  // namespace qmrtest
