// The values cursors keep for values concurrency, read where the library
// keeps them, on HSQLDB, H2 and Derby: statements go through the library's
// table as the driver sends them, and a second connection changes a row
// after the cursor read it.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "tests/support/agent_env.h"

namespace {

using agent_test::Errors;

const DRV_OpTable& Library() {
  static DRV_Agent agent{};
  static const int registered = DRV_RegisterAgent(&agent);
  (void)registered;
  return *agent.ops;
}

// Rows first..first+n-1 of a set as "c0 c1|c0 c1..." (integers in decimal).
std::string Rows(const COLSET* set, uint32_t first, uint32_t n) {
  std::string out;
  for (uint32_t r = first; r < first + n && r < set->rows_held; ++r) {
    out += out.empty() ? "" : "|";
    for (uint16_t c = 0; c < set->cols_used; ++c) {
      std::string text;
      int64_t v = 0;
      if (SCR_CellInt(set, c, r, &v)) text = std::to_string(v);
      else SCR_CellText(set, c, r, &text);
      out += (c ? " " : "") + text;
    }
  }
  return out;
}

// Driver class and URL.
class KeptValues : public ::testing::TestWithParam<std::pair<const char*, const char*>> {
 protected:
  void SetUp() override {
    static const uint32_t env = agent_test::StartAgent(
        "-Djava.class.path=/usr/share/java/hsqldb.jar:/usr/share/java/h2.jar"
        ":/usr/share/java/derby.jar -Duser.timezone=UTC -Xcheck:jni"
        " -Dderby.stream.error.file=/dev/null");
    agent_test::Login login;
    login.driverClass = GetParam().first;
    login.url = GetParam().second;
    login.ops = &Library();
    for (uint32_t* c : {&app_, &other_})
      ASSERT_EQ(agent_test::Connect(env, login, c), 0u) << ::testing::PrintToString(Errors(env));
    agent_test::Stmt(app_).Run("DROP TABLE VALS_T");
    agent_test::Exec(app_, {"CREATE TABLE VALS_T (ID INT NOT NULL PRIMARY KEY, V VARCHAR(9))",
                            "INSERT INTO VALS_T VALUES (3, 'c'), (1, 'a'), (5, 'e')",
                            "INSERT INTO VALS_T VALUES (2, 'b'), (4, 'd')"});
  }
  void TearDown() override {
    if (stmt_ != 0) Library().DRV_FreeStmt(stmt_);
    for (uint32_t c : {app_, other_}) if (c != 0) Library().DRV_Disconnect(c);
  }
  // A statement with these cursor options and values concurrency, the text
  // prepared through the library.
  SCR_CURSOR* Prepare(uint32_t type, uint32_t rowset, const char* sql) {
    uint32_t conc = SQL_CONCUR_VALUES;
    EXPECT_EQ(Library().DRV_AllocStmt(app_, &stmt_), 0u);
    EXPECT_EQ(Library().DRV_SetOption(stmt_, 0x32030006u, &type), 0u);
    EXPECT_EQ(Library().DRV_SetOption(stmt_, 0x32030007u, &conc), 0u);
    EXPECT_EQ(Library().DRV_SetOption(stmt_, 0x32030009u, &rowset), 0u);
    EXPECT_EQ(Library().DRV_Prepare(stmt_, sql), 0u) << ::testing::PrintToString(Errors(stmt_));
    return SCR_StmtCursor(stmt_);
  }
  uint32_t app_ = 0, other_ = 0, stmt_ = 0;
};

// A static cursor keeps each rowset's values as it read them: every column
// of the table, in the order of its own rows, whatever changed since.
TEST_P(KeptValues, StaticCursorKeepsWhatItRead) {
  SCR_CURSOR* cur = Prepare(SQL_CURSOR_STATIC, 2, "SELECT V FROM VALS_T WHERE ID > 1");
  ASSERT_EQ(Library().DRV_Execute(stmt_), 0u) << ::testing::PrintToString(Errors(stmt_));
  const struct {
    int32_t row;
    const char* rowset;
    const char* kept;
  } steps[] = {{1, "b|c", "2 b|3 c"}, {3, "d|e", "4 d|5 e"}, {1, "b|c", "2 b|3 c"},
               {4, "e", "5 e"}};
  for (const auto& s : steps) {
    ROWSTATUS* rs = nullptr;
    uint32_t got = 0, count = 0;
    ASSERT_EQ(Library().DRV_FetchScroll(stmt_, &rs, s.row, &got, &count, SQL_FETCH_ABSOLUTE), 0u)
        << ::testing::PrintToString(Errors(stmt_));
    EXPECT_EQ(Rows(rs->rows, 0, got), s.rowset);
    RowStatusFree(&rs);
    const KS_KEYSET* ks = cur->analysis->keyset.get();
    ASSERT_TRUE(ks != nullptr && ks->valuesWindow >= 0);
    EXPECT_EQ(Rows(ks->values, cur->rowsetStart - 1 - ks->valuesWindow, got), s.kept) << s.row;
    agent_test::Exec(other_, {"UPDATE VALS_T SET V = 'x' WHERE ID IN (3, 4)"});
  }
}

// A keyset-driven cursor reads the values of the keys of its rowset from
// the key window, in one block or in several, as they stand now.
TEST_P(KeptValues, KeyedValuesFollowTheKeyWindow) {
  SCR_CURSOR* cur = Prepare(SQL_CURSOR_KEYSET_DRIVEN, 3, "SELECT V FROM VALS_T ORDER BY ID DESC");
  ASSERT_EQ(cur->cursorType, static_cast<uint32_t>(SQL_CURSOR_KEYSET_DRIVEN));
  SCR_ANALYSIS& a = *cur->analysis;
  a.keyset.reset(new KS_KEYSET());
  agent_test::Stmt keys(app_);
  ASSERT_EQ(keys.Run("SELECT ID FROM VALS_T ORDER BY ID DESC"), 0u);
  ASSERT_EQ(DRV_JdbcOpTable.DRV_Fetch(keys.h(), 10, &a.keyset->window), 0u);
  a.keyset->windowFirst = 0;
  agent_test::Exec(other_, {"UPDATE VALS_T SET V = 'y' WHERE ID = 3"});
  // Keyset rows 1..3: keys 4, 3, 2.
  for (uint32_t blockSize : {3u, 2u}) {
    ASSERT_EQ(scs_p_GetOptConcColVals(cur, nullptr, 1, 3 / blockSize + (3 % blockSize != 0),
                                      blockSize, 3 % blockSize ? 3 % blockSize : blockSize), 0)
        << ::testing::PrintToString(Errors(a.valuesStmt));
    EXPECT_EQ(Rows(a.keyset->values, 0, 9), "4 d|3 y|2 b") << blockSize;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Embedded, KeptValues,
    ::testing::Values(std::make_pair("org.hsqldb.jdbc.JDBCDriver", "jdbc:hsqldb:mem:values"),
                      std::make_pair("org.h2.Driver", "jdbc:h2:mem:values;DB_CLOSE_DELAY=-1"),
                      std::make_pair("org.apache.derby.jdbc.EmbeddedDriver",
                                     "jdbc:derby:memory:values;create=true")));

}  // namespace
