// The scripted slots.
#include "stmtattr/stmtattr_fixture.h"

#include <cstring>

#include "drv_jdbc/agent_codes.h"
#include "util/copyout.h"

namespace qmrtest {

AgentScript* StmtAttrTest::script = nullptr;

namespace {

uint32_t GetInfo(uint32_t h, uint32_t request, void* value, uint16_t size, uint16_t* length) {
  if (const int32_t rc = EnterCurrent(0, h)) return static_cast<uint32_t>(rc);
  AgentScript* a = StmtAttrTest::script;
  a->gets.push_back(request);
  if (auto r = a->getResult.find(request); r != a->getResult.end()) return r->second;
  auto it = a->held.find(request);
  if (it == a->held.end()) return 1;
  if (value != nullptr && size >= sizeof(uint32_t))
    std::memcpy(value, &it->second, sizeof(uint32_t));
  if (length != nullptr) *length = sizeof(uint32_t);
  return 0;
}

uint32_t SetOption(uint32_t h, uint32_t request, void* value) {
  if (const int32_t rc = EnterCurrent(1, h)) return static_cast<uint32_t>(rc);
  AgentScript* a = StmtAttrTest::script;
  const bool text =
      (request & (INFO_SCOPE_MASK | INFO_FORM_MASK)) == (INFO_SCOPE_STMT | INFO_FORM_TEXT);
  uint32_t v = 0;
  if (!text && value != nullptr) std::memcpy(&v, value, sizeof v);
  a->sets.emplace_back(request, v);
  const uint32_t rc = a->setResult.count(request) != 0 ? a->setResult[request] : 0;
  if (rc == 0) a->held[request] = v;
  if (rc == 75) a->held[request] = a->keepInstead.count(request) != 0 ? a->keepInstead[request] : v;
  return rc;
}

uint32_t GetCursorName(uint32_t h, char* buf, uint16_t size, uint16_t* length) {
  if (const int32_t rc = EnterCurrent(9, h)) return static_cast<uint32_t>(rc);
  AgentScript* a = StmtAttrTest::script;
  if (a->getNameResult != 0) return a->getNameResult;
  return STR_CopyOutW(a->cursorName.c_str(), buf, size, length) != 0 ? 19 : 0;
}

uint32_t SetCursorName(uint32_t h, const char* name) {
  if (const int32_t rc = EnterCurrent(10, h)) return static_cast<uint32_t>(rc);
  AgentScript* a = StmtAttrTest::script;
  if (a->setNameResult != 0) return a->setNameResult;
  a->cursorName = name;
  return 0;
}

uint32_t NativeSql(uint32_t h, const char* sql, char* out, uint32_t size, uint32_t* length) {
  if (const int32_t rc = EnterCurrent(17, h)) return static_cast<uint32_t>(rc);
  AgentScript* a = StmtAttrTest::script;
  a->nativeSeen = sql;
  if (a->nativeResult != 0) return a->nativeResult;
  const std::string answer = "NATIVE " + a->nativeSeen;
  if (length != nullptr) *length = static_cast<uint32_t>(answer.size());
  if (out == nullptr) return 0;
  return STR_CopyOut(answer.c_str(), out, size, nullptr) != 0 ? 19 : 0;
}

uint32_t MoreResults(uint32_t h) {
  if (const int32_t rc = EnterCurrent(24, h)) return static_cast<uint32_t>(rc);
  AgentScript* a = StmtAttrTest::script;
  ++a->moreCalls;
  if (a->moreResults.empty()) return 73;
  const uint32_t rc = a->moreResults.front();
  a->moreResults.pop_front();
  return rc;
}

uint32_t NumResultCols(uint32_t h, uint16_t* count, JdbcColDesc** descs) {
  if (const int32_t rc = EnterCurrent(15, h)) return static_cast<uint32_t>(rc);
  const uint16_t n = StmtAttrTest::script->nextColumns;
  *count = n;
  *descs = nullptr;
  if (n == 0) return 0;
  JdbcColDesc* d = ColDescAlloc(n);
  for (uint16_t i = 0; i < n; ++i) {
    std::strncpy(d[i].name, "C", COLDESC_NAME_SIZE - 1);
    d[i].sql_type = 4;
    d[i].delivered_type = 4;
    d[i].precision = 10;
    d[i].value_type = COLSET_VT_INTEGER;
    d[i].elem_len = 4;
    d[i].display_size = 11;
  }
  *descs = d;
  return 0;
}

}  // namespace

void StmtAttrTest::SetUp() {
  CoreTest::SetUp();
  script = &agent;
  table = *fake.table();
  table.DRV_GetInfo = GetInfo;
  table.DRV_SetOption = SetOption;
  table.DRV_GetCursorName = GetCursorName;
  table.DRV_SetCursorName = SetCursorName;
  table.DRV_NativeSql = NativeSql;
  table.DRV_MoreResults = MoreResults;
  table.DRV_NumResultCols = NumResultCols;
  table.DRV_ColAttributes = nullptr;  // described through DRV_NumResultCols
  env = Env(SQL_OV_ODBC3);
  dbc = Connected(env);
  {
    plat::Guard<plat::RecursiveMutex> g(DRV_CallLock());
    conn = DRV_LookupConn(DRV_HandleNumber(dbc));
  }
  stmt = NewStmt(dbc);
}

void StmtAttrTest::TearDown() {
  CoreTest::TearDown();
  script = nullptr;
}

SQLHENV StmtAttrTest::Env(uint32_t version) {
  SQLHENV e = NewEnv();
  EXPECT_EQ(SQL_SUCCESS, SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION,
                                       reinterpret_cast<SQLPOINTER>(uintptr_t{version}), 0));
  return e;
}

SQLHDBC StmtAttrTest::Connected(SQLHENV e) {
  SQLHDBC d = NewConn(e);
  ConnHandle* c = MarkConnected(d);
  EXPECT_NE(nullptr, c);
  if (c != nullptr) c->agent.ops = &table;
  return d;
}

}  // namespace qmrtest
