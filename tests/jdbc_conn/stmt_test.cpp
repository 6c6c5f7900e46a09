// Agent statement records: allocation, freeing, cursor names, the column
// and parameter descriptions and the column attributes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-jni.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-vm.h"
#include "drv_jdbc/j-wrap.h"
#include "jvm_fixture.h"

using namespace jtest;

namespace {

class StmtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ConnectMem("stmts", &conn_), 0u) << ::testing::PrintToString(Errors(Env()));
  }
  void TearDown() override {
    if (conn_ != 0) Ops().DRV_Disconnect(conn_);
  }
  // Opens a real result on the statement as the execute step will: the
  // ResultSet and its metadata as global references, the result bit set,
  // and column descriptions.
  void OpenResult(uint32_t stmt, const char* sql, std::initializer_list<int32_t> types) {
    JdbcStmt* s = AGT_Stmt(stmt);
    JNIEnv* env = attachJVM();
    s->jniEnv = env;
    JC_LocalFrame frame(env, 16);
    ASSERT_EQ(Connection::createStatement(s, *s->connRef), 0u);
    jstring text = JC_NewString(env, sql, 1);
    jobject rs = nullptr;
    ASSERT_EQ(JC_CallObjectMethod(env, s->statement, nullptr, "executeQuery",
                                  "(Ljava/lang/String;)Ljava/sql/ResultSet;", &rs, text),
              0u);
    jobject md = nullptr;
    ASSERT_EQ(ResultSet::getMetaData(s, rs, &md), 0u);
    s->resultSet = env->NewGlobalRef(rs);
    s->rsMetaData = env->NewGlobalRef(md);
    s->flags |= 0x02 | 0x08;
    Describe(s, types);
  }
  static void Describe(JdbcStmt* s, std::initializer_list<int32_t> types) {
    s->colCount = static_cast<uint16_t>(types.size());
    s->cols = ColDescAlloc(s->colCount);
    int i = 0;
    for (int32_t t : types) {
      std::string name = "C" + std::to_string(i + 1);
      ColDescSetName(&s->cols[i], name.c_str());
      s->cols[i].sql_type = t;
      ++i;
    }
  }
  // The value of attribute code for column (from the built list: the
  // column's own entry, else the column-0 default).
  static bool Attr(const ATTR_ENTRY* list, uint16_t n, int16_t code, uint16_t column,
                   ATTR_ENTRY* out) {
    const ATTR_ENTRY* def = nullptr;
    for (uint16_t i = 0; i < n; ++i) {
      if (list[i].field != code) continue;
      if (list[i].column == column) {
        *out = list[i];
        return true;
      }
      if (list[i].column == 0) def = &list[i];
    }
    if (def == nullptr) return false;
    *out = *def;
    return true;
  }
  static void FreeList(ATTR_ENTRY* list, uint16_t n) {
    for (uint16_t i = 0; i < n; ++i) ATTR_EntryRelease(&list[i]);
    std::free(list);
  }
  uint32_t conn_ = 0;
};

}  // namespace

TEST_F(StmtTest, AllocCopiesConnectionStateAndFreeInvalidatesTheHandle) {
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  JdbcStmt* s = AGT_Stmt(stmt);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->conn, AGT_Conn(conn_));
  EXPECT_EQ(s->connRef, &AGT_Conn(conn_)->connection);
  EXPECT_EQ(s->rowPosition, -1);
  EXPECT_EQ(s->wide, 0u);
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
  EXPECT_EQ(AGT_Stmt(stmt), nullptr);
  for (uint32_t rc : {Ops().DRV_FreeStmt(stmt), Ops().DRV_CloseCursor(stmt),
                      Ops().DRV_SetCursorName(stmt, "c")}) {
    EXPECT_EQ(rc, ERR_INVALID_ARGUMENT);
  }
  uint32_t out = 5;
  EXPECT_EQ(Ops().DRV_AllocStmt(stmt, &out), ERR_INVALID_ARGUMENT);  // a statement is no connection
}

TEST_F(StmtTest, CursorNamesBeforeAndAfterAResult) {
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  char buf[64] = "junk";
  uint16_t len = 99;
  // Named from allocation on, before anything ran.
  EXPECT_EQ(Ops().DRV_GetCursorName(stmt, buf, sizeof buf, &len), 0u);
  EXPECT_EQ(std::string(buf, 7), "SQL_CUR");
  EXPECT_EQ(len, std::strlen(buf));
  // No Java statement yet: the name is kept for the one the prepare makes,
  // and it is the name read back.
  EXPECT_EQ(Ops().DRV_SetCursorName(stmt, "early"), 0u);
  EXPECT_EQ(Ops().DRV_GetCursorName(stmt, buf, sizeof buf, &len), 0u);
  EXPECT_EQ(len, 5u);
  EXPECT_STREQ(buf, "early");
  char cut[3] = "";
  EXPECT_EQ(Ops().DRV_GetCursorName(stmt, cut, sizeof cut, &len), ERR_TRUNCATED);
  EXPECT_EQ(len, 5u);
  EXPECT_STREQ(cut, "ea");
  AGT_Stmt(stmt)->flags = 0;
  OpenResult(stmt, "VALUES (1, 'a')", {4, 12});
  // HSQLDB answers with its own refusal: it is posted, not swallowed.
  uint32_t rc = Ops().DRV_SetCursorName(stmt, "C1");
  if (rc != 0) {
    EXPECT_FALSE(Errors(stmt).empty());
  }
  EXPECT_EQ(Ops().DRV_GetCursorName(stmt, buf, sizeof buf, &len), 0u);
  EXPECT_STREQ(buf, "C1");
  EXPECT_EQ(Ops().DRV_CloseCursor(stmt), 0u);
  JdbcStmt* s = AGT_Stmt(stmt);
  EXPECT_EQ(s->resultSet, nullptr);
  EXPECT_EQ(s->rsMetaData, nullptr);
  EXPECT_NE(s->statement, nullptr);  // kept for another execute
  EXPECT_EQ(s->flags & 0x0E, 0);
  // The application's name outlives the result.
  buf[0] = '\0';
  EXPECT_EQ(Ops().DRV_GetCursorName(stmt, buf, sizeof buf, &len), 0u);
  EXPECT_STREQ(buf, "C1");
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
}

TEST_F(StmtTest, NoDescriptionYetGivesCountZeroAndNoArray) {
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  uint16_t n = 7;
  JdbcColDesc* d = reinterpret_cast<JdbcColDesc*>(&n);
  EXPECT_EQ(Ops().DRV_NumResultCols(stmt, &n, &d), 0u);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(d, nullptr);
  n = 7;
  EXPECT_EQ(Ops().DRV_DescribeCols(stmt, &n, &d), 0u);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(Ops().DRV_NumResultCols(stmt, nullptr, nullptr), ERR_INVALID_ARGUMENT);
  uint16_t na = 0;
  ATTR_ENTRY* a = nullptr;
  EXPECT_EQ(Ops().DRV_ColAttributes(stmt, &n, &na, &d, nullptr), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_ColAttributes(stmt, &n, &na, &d, &a), 0u);
  EXPECT_EQ(n, 0u);
  FreeList(a, na);
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
}

TEST_F(StmtTest, DescriptionsAreCopiesTheCallerOwns) {
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  JdbcStmt* s = AGT_Stmt(stmt);
  Describe(s, {4, 12});
  s->paramDescCount = 1;
  s->paramDescs = ColDescAlloc(1);
  std::strcpy(s->paramDescs[0].name, "*I");
  uint16_t n = 0;
  JdbcColDesc* d = nullptr;
  ASSERT_EQ(Ops().DRV_NumResultCols(stmt, &n, &d), 0u);
  ASSERT_EQ(n, 2u);
  EXPECT_STREQ(d[1].name, "C2");
  ASSERT_NE(d[1].texts[COLDESC_LABEL], nullptr);
  EXPECT_NE(d[1].texts[COLDESC_LABEL], s->cols[1].texts[COLDESC_LABEL]);  // own copy
  ColDescFree(d, n);
  ASSERT_EQ(Ops().DRV_DescribeCols(stmt, &n, &d), 0u);
  ASSERT_EQ(n, 1u);
  EXPECT_STREQ(d[0].name, "*I");
  ColDescFree(d, n);
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
}

TEST_F(StmtTest, ColumnAttributesWithoutMetadataAndForCatalogResults) {
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  JdbcStmt* s = AGT_Stmt(stmt);
  Describe(s, {12, 4, -4});
  // A server type entry answers type name and literal affixes.
  auto* e = static_cast<JdbcTypeEntry*>(std::calloc(1, sizeof(JdbcTypeEntry)));
  std::strcpy(e->typeName, "VARCHAR");
  std::strcpy(e->literalPrefix, "'");
  std::strcpy(e->literalSuffix, "'");
  int16_t key = 12;
  ASSERT_NE(hash_set(s->conn->typeTable, &key, e), nullptr);

  uint16_t n = 0, na = 0;
  JdbcColDesc* d = nullptr;
  ATTR_ENTRY* a = nullptr;
  ASSERT_EQ(Ops().DRV_ColAttributes(stmt, &n, &na, &d, &a), 0u);
  ASSERT_EQ(n, 3u);
  ATTR_ENTRY v{};
  ASSERT_TRUE(Attr(a, na, 10, 1, &v));
  EXPECT_EQ(v.value.u32, 2u);  // no metadata: updatability unknown
  ASSERT_TRUE(Attr(a, na, 14, 1, &v));
  EXPECT_STREQ(v.value.text, "VARCHAR");
  ASSERT_TRUE(Attr(a, na, 27, 1, &v));
  EXPECT_STREQ(v.value.text, "'");
  ASSERT_TRUE(Attr(a, na, 14, 2, &v));
  EXPECT_STREQ(v.value.text, "INTEGER");  // from the server's type table
  for (uint16_t i = 0; i < na; ++i) {
    // Asked of the cursor library per column, not answered by the agent.
    if (a[i].field == 1053 || a[i].field == 1055) {
      EXPECT_EQ(a[i].column, 0u);
    }
  }
  EXPECT_FALSE(Attr(a, na, 13, 1, &v));
  FreeList(a, na);
  ColDescFree(d, n);

  // A catalog result: case sensitivity by type, without asking Java, and
  // never updatable.
  OpenResult(stmt, "VALUES ('a', 1, X'00')", {12, 4, -4});
  s->catalogKind = 3;
  ASSERT_EQ(Ops().DRV_ColAttributes(stmt, &n, &na, &d, &a), 0u);
  ASSERT_TRUE(Attr(a, na, 12, 1, &v));
  EXPECT_EQ(v.value.u32, 1u);
  ASSERT_TRUE(Attr(a, na, 12, 2, &v));
  EXPECT_EQ(v.value.u32, 0u);
  ASSERT_TRUE(Attr(a, na, 10, 2, &v));
  EXPECT_EQ(v.value.u32, 0u);
  FreeList(a, na);
  ColDescFree(d, n);
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
}

TEST_F(StmtTest, ColumnAttributesFromResultSetMetaData) {
  ASSERT_EQ(Exec(conn_,
                 "CREATE TABLE attrs (id INT GENERATED BY DEFAULT AS IDENTITY, "
                 "v VARCHAR(10))"),
            0u);
  uint32_t stmt = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &stmt), 0u);
  OpenResult(stmt, "SELECT id, v FROM attrs", {4, 12});
  uint16_t n = 0, na = 0;
  JdbcColDesc* d = nullptr;
  ATTR_ENTRY* a = nullptr;
  ASSERT_EQ(Ops().DRV_ColAttributes(stmt, &n, &na, &d, &a), 0u);
  ATTR_ENTRY v{};
  ASSERT_TRUE(Attr(a, na, 11, 1, &v));
  EXPECT_EQ(v.value.u32, 1u);  // identity column
  ASSERT_TRUE(Attr(a, na, 11, 2, &v));
  EXPECT_EQ(v.value.u32, 0u);
  ASSERT_TRUE(Attr(a, na, 12, 2, &v));
  EXPECT_EQ(v.value.u32, 1u);  // VARCHAR compares case-sensitively in HSQLDB
  ASSERT_TRUE(Attr(a, na, 10, 2, &v));
  EXPECT_LE(v.value.u32, 2u);
  FreeList(a, na);
  ColDescFree(d, n);
  EXPECT_EQ(Ops().DRV_FreeStmt(stmt), 0u);
}

TEST_F(StmtTest, DisconnectFreesTheConnectionsStatementsOnly) {
  uint32_t other = 0;
  ASSERT_EQ(ConnectMem("stmts-other", &other), 0u);
  uint32_t s1 = 0, s2 = 0, s3 = 0;
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &s1), 0u);
  ASSERT_EQ(Ops().DRV_AllocStmt(conn_, &s2), 0u);
  ASSERT_EQ(Ops().DRV_AllocStmt(other, &s3), 0u);
  OpenResult(s2, "VALUES 1", {4});
  EXPECT_EQ(AGT_Conn(conn_)->stmts.size(), 2u);
  EXPECT_EQ(Ops().DRV_Disconnect(conn_), 0u);
  conn_ = 0;
  EXPECT_EQ(Ops().DRV_FreeStmt(s1), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(Ops().DRV_FreeStmt(s2), ERR_INVALID_ARGUMENT);
  EXPECT_NE(AGT_Stmt(s3), nullptr);
  EXPECT_EQ(Ops().DRV_FreeStmt(s3), 0u);
  EXPECT_TRUE(AGT_Conn(other)->stmts.empty());
  EXPECT_EQ(Ops().DRV_Disconnect(other), 0u);
}
