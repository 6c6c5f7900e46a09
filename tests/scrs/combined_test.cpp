// The combined agent calls the cursor library serves for agents that offer
// them: the batch, execute-and-describe, allocate-and-prepare, the fetch
// that describes its row, and long values handed out in pieces. The agent
// is the fake agent's table with statements kept in the agent's own table,
// so the hooks find them as they find the JDBC agent's.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drv_jdbc/agent_codes.h"
#include "drv_jdbc/j-error.h"
#include "drv_jdbc/j-handles.h"
#include "scrs/colset_ops.h"
#include "scrs/scrcombined.h"
#include "scrs/scrframe.h"
#include "support/fake_agent.h"
#include "util/rowstatus.h"

namespace {

struct Script {
  std::vector<std::string> run;  // texts prepared, in order
  uint32_t rowCount = 3;
  uint32_t executeRc = 0;
  uint32_t prepareRc = 0;
  std::string callColumn;  // the first column a procedure call describes
  uint32_t rowsLeft = 0;
  std::string longText;  // the long column's value in every row
} g;

uint32_t Alloc(uint32_t, uint32_t* stmt) {
  auto* s = new JdbcStmt();
  if (HT_Alloc(&gAgentStmtTable, stmt, s) != 0) return ERR_NO_MEMORY;
  s->handle = *stmt;
  return 0;
}
uint32_t Free(uint32_t stmt) {
  JdbcStmt* s = AGT_Stmt(stmt);
  HT_Free(&gAgentStmtTable, stmt);
  if (s != nullptr) errClear(&s->errors);
  free(s != nullptr ? s->sql : nullptr);
  delete s;
  return 0;
}
uint32_t Prepare(uint32_t stmt, const char* sql) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (g.prepareRc != 0) {
    errPostMsg(&s->errors, "no such table", static_cast<int>(g.prepareRc));
    return g.prepareRc;
  }
  g.run.push_back(sql);
  free(s->sql);
  s->sql = strdup(sql);
  s->flags |= STMT_PREPARED;
  return 0;
}
uint32_t Execute(uint32_t stmt) {
  JdbcStmt* s = AGT_Stmt(stmt);
  if (s->sql != nullptr && std::strncmp(s->sql, "select", 6) == 0) s->flags |= STMT_RESULT_SET;
  return g.executeRc;
}
uint32_t PrepareExecute(uint32_t stmt, const char* sql, COLSET* params, uint16_t,
                        const JdbcColBind*) {
  if (params != nullptr) ColSetDestroy(params);
  if (sql != nullptr) Prepare(stmt, sql);
  return Execute(stmt);
}
uint32_t SetOption(uint32_t stmt, uint32_t option, void* value) {
  JdbcStmt* s = AGT_Stmt(stmt);
  const uint32_t v = *static_cast<uint32_t*>(value);
  if (option == OPT_CURSOR_TYPE) s->cursorType = v;
  if (option == OPT_CONCURRENCY) s->concurrency = v;
  if (option == OPT_ROWSET_SIZE) s->rowsetSize = static_cast<int32_t>(v > 4 ? 4 : v);
  return option == OPT_ROWSET_SIZE && v > 4 ? ERR_VALUE_CHANGED : 0;
}
uint32_t GetInfo(uint32_t stmt, uint32_t request, void* value, uint16_t, uint16_t* len) {
  uint32_t v = 0;
  if (request == INFO_ROW_COUNT) v = g.rowCount;
  if (request == OPT_ROWSET_SIZE) v = static_cast<uint32_t>(AGT_Stmt(stmt)->rowsetSize);
  std::memcpy(value, &v, 4);
  *len = 4;
  return 0;
}
uint32_t Describe(uint32_t, uint16_t* n, JdbcColDesc** descs) {
  *n = g.callColumn.empty() ? 0 : 1;
  *descs = *n ? ColDescAlloc(1) : nullptr;
  if (*n) std::strcpy((*descs)[0].name, g.callColumn.c_str());
  return 0;
}
// Rows of (INTEGER, long text); 0 rows asked: the shape only.
uint32_t Fetch(uint32_t, uint16_t want, COLSET* set) {
  const uint32_t n = std::min<uint32_t>(want, g.rowsLeft);
  if (ColSetInit(set, 2) != 0) return ERR_NO_MEMORY;
  set->cols[0] = COLSET_COL{COLSET_VT_WNTS, 22, nullptr, nullptr};
  set->cols[1] = COLSET_COL{COLSET_VT_LONGCHAR, sizeof(COLSET_LONG), nullptr, nullptr};
  set->cols_used = 2;
  if (ColSetSetRows(set, n) != 0) return ERR_NO_MEMORY;
  for (uint32_t r = 0; r < n; ++r) {
    const std::string text = r % 2 == 0 ? g.longText : "short";
    COLSET_LONG l{static_cast<uint32_t>(text.size()), strdup(text.c_str())};
    std::memcpy(set->cols[1].data + sizeof l * r, &l, sizeof l);
    set->cols[0].ind[r] = set->cols[1].ind[r] = 0;
  }
  set->rows_held = n;
  g.rowsLeft -= n;
  return 0;
}

class Combined : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, AGT_InitTables());
    table_ = *fake_.table();
    table_.DRV_AllocStmt = Alloc;
    table_.DRV_FreeStmt = Free;
    table_.DRV_Prepare = Prepare;
    table_.DRV_Execute = Execute;
    table_.DRV_PrepareExecute = PrepareExecute;
    table_.DRV_SetOption = SetOption;
    table_.DRV_GetInfo = GetInfo;
    table_.DRV_NumResultCols = Describe;
    table_.DRV_DescribeCols = Describe;
    table_.DRV_Fetch = Fetch;
    saved_ = SCR_SavedAgent;
    SCR_SavedAgent.ops = &table_;
    g = Script{};
    conn_ = new JdbcConn();
    ASSERT_EQ(0, HT_Alloc(&gAgentConnTable, &connHandle_, conn_));
  }
  void TearDown() override {
    HT_Free(&gAgentConnTable, connHandle_);
    errClear(&conn_->errors);
    delete conn_;
    SCR_SavedAgent = saved_;
    AGT_DoneTables();
  }
  uint32_t Stmt(uint32_t type = 0) {
    uint32_t stmt = 0;
    EXPECT_EQ(0u, SCR_AllocPrepare(connHandle_, nullptr, 1, type, &stmt));
    return stmt;
  }
  qmrtest::FakeAgent fake_;
  DRV_OpTable table_{};
  DRV_Agent saved_{};
  JdbcConn* conn_ = nullptr;
  uint32_t connHandle_ = 0;
};

// A batch runs DDL and DML, and calls that give only parameters; a SELECT,
// or a call that describes a result column, stops it where it stands.
TEST_F(Combined, BatchStopsAtTheFirstStatementThatGivesRows) {
  const struct {
    std::vector<const char*> texts;
    std::string callColumn;
    uint32_t rc;
    uint16_t done;
  } rows[] = {
      {{"insert into t values (1)", "UPDATE t SET i = 2", "  (select 1)"}, "", ERR_DDL_DML_ONLY, 2},
      {{"delete from t", "{?= call p(?)}"}, "*O", 0, 2},
      {{"{call p}", "insert into t values (1)"}, "X", ERR_DDL_DML_ONLY, 0},
      {{nullptr, "create table u (i int)"}, "", 0, 2},
  };
  for (const auto& r : rows) {
    const uint32_t stmt = Stmt();
    ASSERT_EQ(0u, SCR_Prepare(stmt, "insert into t values (9)"));
    g.run.clear();
    g.callColumn = r.callColumn;
    std::vector<DRV_BatchRecord> batch;
    for (const char* t : r.texts) batch.push_back(DRV_BatchRecord{t, 0, nullptr, nullptr});
    uint16_t done = 99;
    uint32_t* results = nullptr;
    EXPECT_EQ(r.rc, SCR_ExecBatch(stmt, static_cast<uint16_t>(batch.size()), batch.data(), &done,
                                  &results))
        << r.texts[1];
    EXPECT_EQ(r.done, done) << r.texts[1];
    ASSERT_NE(nullptr, results);
    for (uint16_t i = 0; i < r.done; ++i) EXPECT_EQ(3u, results[i]) << r.texts[1] << " " << i;
    free(results);
    SCR_FreeStmt(stmt);
  }
}

// Execute-and-describe on a scrolling cursor hands the rowset size over
// (reading back the one the agent took), runs the text and answers the
// description and the row count; IM906 from the execute stays the answer.
TEST_F(Combined, ExecDescribeRunsAndDescribes) {
  const uint32_t stmt = Stmt(SQL_CURSOR_STATIC);
  g.callColumn = "*I";
  g.executeRc = ERR_OUTPUT_VALUES;
  g.rowCount = 7;
  uint16_t n1 = 0, n2 = 0;
  JdbcColDesc *d1 = nullptr, *d2 = nullptr;
  int32_t count = -1;
  EXPECT_EQ(ERR_OUTPUT_VALUES, SCR_ExecDescribe(stmt, "{call p(?)}", nullptr, 0, nullptr, 10, &n1,
                                                &d1, &n2, &d2, &count));
  EXPECT_EQ(4, AGT_Stmt(stmt)->rowsetSize);
  EXPECT_EQ(std::vector<std::string>{"{call p(?)}"}, g.run);
  EXPECT_EQ(1, n1);
  EXPECT_EQ(1, n2);
  EXPECT_EQ(7, count);
  ColDescFree(d1, n1);
  ColDescFree(d2, n2);
  table_.DRV_DescribeCols = nullptr;
  EXPECT_EQ(ERR_NOT_CAPABLE,
            SCR_ExecDescribe(stmt, "x", nullptr, 0, nullptr, 1, &n1, &d1, &n2, &d2, &count));
  SCR_FreeStmt(stmt);
}

// A statement that fails to prepare is freed; what the agent said of the
// failure is on the connection instead, alone.
TEST_F(Combined, AllocPrepareLeavesTheFailureOnTheConnection) {
  errPostMsg(&conn_->errors, "an older message", ERR_GENERAL);
  g.prepareRc = ERR_GENERAL;
  uint32_t stmt = 0;
  EXPECT_EQ(ERR_GENERAL, SCR_AllocPrepare(connHandle_, "select * from nowhere", 1, 0, &stmt));
  EXPECT_EQ(0u, stmt);
  ASSERT_NE(nullptr, conn_->errors.head);
  EXPECT_NE(nullptr, std::strstr(conn_->errors.head->message, "no such table"));
  EXPECT_EQ(nullptr, conn_->errors.head->next);
}

// Long values over 60000 bytes leave the rowset and come back in pieces
// that add up to the value; short ones stay where they were.
TEST_F(Combined, LongValuesComeInPieces) {
  const uint32_t stmt = Stmt(SQL_CURSOR_STATIC);
  ASSERT_EQ(0u, SCR_Prepare(stmt, "select i, t from t"));
  g.longText.assign(70001, 'x');
  g.longText[0] = 'a';
  g.longText.back() = 'z';
  g.rowsLeft = 3;
  ASSERT_EQ(0u, SCR_Execute(stmt));
  AGT_Stmt(stmt)->rowsetSize = 3;
  ROWSTATUS* rs = nullptr;
  uint32_t fetched = 0, count = 0;
  ASSERT_EQ(0u, SCR_FetchScrollRow(stmt, &rs, 1, &fetched, &count, SQL_FETCH_ABSOLUTE));
  ASSERT_EQ(3u, fetched);
  const COLSET_COL& t = rs->rows->cols[1];
  EXPECT_EQ(COLSET_IND_DEFERRED, t.ind[0]);
  EXPECT_EQ(0, t.ind[1]);
  EXPECT_EQ(5u, reinterpret_cast<const COLSET_LONG*>(t.data)[1].length);
  std::string whole;
  const std::vector<int32_t> before = {70001, 40001, 10001, 0};
  for (int32_t left : before) {
    void* piece = nullptr;
    uint32_t len = 0, type = 0;
    int32_t remaining = -1;
    ASSERT_EQ(0u, SCR_GetCachedData(stmt, 2, 3, 30000, &piece, &len, &type, &remaining));
    EXPECT_EQ(left, remaining);
    EXPECT_EQ(COLSET_VT_CHAR, type);
    EXPECT_EQ(left == 0, piece == nullptr);
    whole.append(static_cast<char*>(piece) ? static_cast<char*>(piece) : "", len);
    free(piece);
  }
  EXPECT_EQ(g.longText, whole);
  void* piece = nullptr;
  uint32_t len = 0, type = 0;
  int32_t remaining = 0;
  EXPECT_EQ(ERR_NO_DATA_FOUND, SCR_GetCachedData(stmt, 2, 2, 10, &piece, &len, &type, &remaining));
  EXPECT_EQ(ERR_INVALID_ARGUMENT,
            SCR_GetCachedData(stmt, 3, 1, 10, &piece, &len, &type, &remaining));
  RowStatusFree(&rs);
  SCR_FreeStmt(stmt);
}

// The fetch that describes: each column's value type and its width, in
// characters for the UTF-16 forms.
TEST_F(Combined, FetchDescribeGivesTheRowShape) {
  const uint32_t stmt = Stmt();
  COLSET row{};
  uint16_t n = 0;
  void* types = nullptr;
  ASSERT_EQ(0u, SCR_FetchDescribe(stmt, &n, &types, &row));
  ASSERT_EQ(2, n);
  auto* d = static_cast<JdbcColDesc*>(types);
  EXPECT_EQ(COLSET_VT_WNTS, d[0].value_type);
  EXPECT_EQ(11u, d[0].elem_len);
  EXPECT_EQ(COLSET_VT_LONGCHAR, d[1].value_type);
  ColDescFree(d, n);
  ColSetFreeColumns(&row);
  SCR_FreeStmt(stmt);
}

// Every combined call whose agent step is missing says so, never calling
// through an empty slot.
TEST_F(Combined, MissingAgentStepsAreNotCapable) {
  const uint32_t stmt = Stmt();
  table_.DRV_BindColsEx = nullptr;
  table_.DRV_Fetch = nullptr;
  table_.DRV_GetData = nullptr;
  const ParamDescNamed named{SQL_INTEGER, 0, 10, 0, 1, "p"};
  EXPECT_EQ(ERR_NOT_CAPABLE, SCR_BindColsEx(stmt, 1, &named));
  EXPECT_EQ(ERR_NOT_CAPABLE, SCR_Execute2(stmt, "update t set i = ?", nullptr, 1, &named));
  COLSET row{};
  uint16_t n = 0;
  EXPECT_EQ(ERR_NOT_CAPABLE, SCR_FetchDescribe(stmt, &n, nullptr, &row));
  void* piece = nullptr;
  uint32_t len = 0, type = 0;
  int32_t remaining = 0;
  EXPECT_EQ(ERR_NOT_CAPABLE, SCR_GetCachedData(stmt, 1, 1, 10, &piece, &len, &type, &remaining));
  table_.DRV_BindColsEx = [](uint32_t, uint16_t, const void*) -> uint32_t { return 0; };
  g.run.clear();
  EXPECT_EQ(0u, SCR_Execute2(stmt, "update t set i = ?", nullptr, 1, &named));
  EXPECT_EQ(std::vector<std::string>{"update t set i = ?"}, g.run);
  SCR_FreeStmt(stmt);
}

}  // namespace
