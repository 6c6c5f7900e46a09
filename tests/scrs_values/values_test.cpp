// The values a cursor keeps for values concurrency, read where the library
// keeps them, on HSQLDB, H2 and Derby: statements go through the library's
// table as the driver sends them, and a second connection changes a row
// after the cursor has read it.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "scrs/colset_ops.h"
#include "scrs/scranalysis.h"
#include "scrs/scrcursor.h"
#include "scrs/scrframe.h"
#include "tests/support/agent_env.h"

namespace {

using agent_test::Errors;

struct Backend {
  const char* name;
  const char* cls;
  const char* url;
  const char* user;
};

void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }
std::string Name(const ::testing::TestParamInfo<Backend>& i) { return i.param.name; }

const Backend kBackends[] = {
    {"hsqldb", "org.hsqldb.jdbc.JDBCDriver", "jdbc:hsqldb:mem:values", "SA"},
    {"h2", "org.h2.Driver", "jdbc:h2:mem:values;DB_CLOSE_DELAY=-1", "sa"},
    {"derby", "org.apache.derby.jdbc.EmbeddedDriver", "jdbc:derby:memory:values;create=true",
     "app"}};

const DRV_OpTable& Library() {
  static DRV_Agent agent{};
  static const int registered = DRV_RegisterAgent(&agent);
  (void)registered;
  return *agent.ops;
}

uint32_t Connect(const Backend& b) {
  static const uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar:/usr/share/java/h2.jar"
      ":/usr/share/java/derby.jar -Duser.timezone=UTC -Xcheck:jni"
      " -Dderby.stream.error.file=/dev/null");
  agent_test::Login login;
  login.driverClass = b.cls;
  login.url = b.url;
  login.user = b.user;
  login.ops = &Library();
  uint32_t conn = 0;
  EXPECT_EQ(agent_test::Connect(env, login, &conn), 0u) << ::testing::PrintToString(Errors(env));
  return conn;
}

// One value of a set as text ("" for NULL), integers in decimal.
std::string Cell(const COLSET* set, uint16_t col, uint32_t row) {
  std::string text;
  int64_t n = 0;
  if (SCR_CellInt(set, col, row, &n)) return std::to_string(n);
  return SCR_CellText(set, col, row, &text) ? text : "";
}

// Rows of a set as "c0 c1 ...|..." from row `first` for n rows.
std::string Rows(const COLSET* set, uint32_t first, uint32_t n) {
  std::string out;
  for (uint32_t r = first; r < first + n && r < set->rows_held; ++r) {
    out += out.empty() ? "" : "|";
    for (uint16_t c = 0; c < set->cols_used; ++c) out += (c ? " " : "") + Cell(set, c, r);
  }
  return out;
}

class KeptValues : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    app_ = Connect(GetParam());
    other_ = Connect(GetParam());
    ASSERT_NE(app_, 0u);
    agent_test::Stmt drop(app_);
    drop.Run("DROP TABLE VALS_T");
    agent_test::Exec(app_, {"CREATE TABLE VALS_T (ID INT NOT NULL PRIMARY KEY, V VARCHAR(10))",
                            "INSERT INTO VALS_T VALUES (3, 'c'), (1, 'a'), (5, 'e'), (2, 'b'),"
                            " (4, 'd')"});
  }
  void TearDown() override {
    if (stmt_ != 0) Library().DRV_FreeStmt(stmt_);
    for (uint32_t c : {app_, other_}) if (c != 0) Library().DRV_Disconnect(c);
  }
  // A statement of the application's connection with these cursor options,
  // the text prepared through the library.
  SCR_CURSOR* Prepare(uint32_t type, uint32_t rowset, const char* sql) {
    EXPECT_EQ(Library().DRV_AllocStmt(app_, &stmt_), 0u);
    uint32_t conc = SQL_CONCUR_VALUES;
    EXPECT_EQ(Library().DRV_SetOption(stmt_, 0x32030006u, &type), 0u);
    EXPECT_EQ(Library().DRV_SetOption(stmt_, 0x32030007u, &conc), 0u);
    EXPECT_EQ(Library().DRV_SetOption(stmt_, 0x32030009u, &rowset), 0u);
    EXPECT_EQ(Library().DRV_Prepare(stmt_, sql), 0u) << ::testing::PrintToString(Errors(stmt_));
    return SCR_StmtCursor(stmt_);
  }
  // Fetches the rowset from absolute row `row`; the rowset's values.
  std::string Fetch(int32_t row) {
    ROWSTATUS* rs = nullptr;
    uint32_t fetched = 0, count = 0;
    const uint32_t rc =
        Library().DRV_FetchScroll(stmt_, &rs, row, &fetched, &count, SQL_FETCH_ABSOLUTE);
    EXPECT_EQ(rc, 0u) << ::testing::PrintToString(Errors(stmt_));
    const std::string got = rc == 0 ? Rows(rs->rows, 0, fetched) : "";
    RowStatusFree(&rs);
    return got;
  }
  uint32_t app_ = 0, other_ = 0, stmt_ = 0;
};

// A static cursor keeps every row's values as it read them, in the order of
// its own rows, whatever another user does after the read.
TEST_P(KeptValues, StaticCursorKeepsWhatItRead) {
  SCR_CURSOR* cur = Prepare(SQL_CURSOR_STATIC, 2, "SELECT V FROM VALS_T WHERE ID > 1");
  ASSERT_NE(cur, nullptr);
  ASSERT_EQ(cur->concurrency, static_cast<uint32_t>(SQL_CONCUR_VALUES));
  ASSERT_EQ(Library().DRV_Execute(stmt_), 0u) << ::testing::PrintToString(Errors(stmt_));
  EXPECT_EQ(Fetch(1), "b|c");
  agent_test::Exec(other_, {"UPDATE VALS_T SET V = 'x' WHERE ID = 4"});
  const struct {
    int32_t row;
    const char* rowset;
    uint32_t n;
    const char* kept;  // every column of the table: ID, V
  } steps[] = {{3, "d|e", 2, "4 d|5 e"}, {1, "b|c", 2, "2 b|3 c"}, {4, "e", 1, "5 e"}};
  for (const auto& s : steps) {
    EXPECT_EQ(Fetch(s.row), s.rowset) << s.row;
    const KS_KEYSET* ks = cur->analysis->keyset.get();
    ASSERT_NE(ks, nullptr);
    ASSERT_GE(ks->valuesWindow, 0);
    const uint32_t at = static_cast<uint32_t>(cur->rowsetStart - 1 - ks->valuesWindow);
    EXPECT_EQ(Rows(ks->values, at, s.n), s.kept) << s.row;
  }
}

// A keyset-driven cursor reads the values of the keys of its rowset: the
// rows of the keys asked for, whatever their place in the table.
TEST_P(KeptValues, KeyedValuesFollowTheKeyWindow) {
  SCR_CURSOR* cur = Prepare(SQL_CURSOR_KEYSET_DRIVEN, 3, "SELECT V FROM VALS_T ORDER BY ID DESC");
  ASSERT_NE(cur, nullptr);
  ASSERT_EQ(cur->cursorType, static_cast<uint32_t>(SQL_CURSOR_KEYSET_DRIVEN));
  SCR_ANALYSIS& a = *cur->analysis;
  a.keyset.reset(new KS_KEYSET());
  agent_test::Stmt keys(app_);
  ASSERT_EQ(keys.Run("SELECT ID FROM VALS_T ORDER BY ID DESC"), 0u);
  ASSERT_EQ(DRV_JdbcOpTable.DRV_Fetch(keys.h(), 10, &a.keyset->window), 0u);
  a.keyset->windowFirst = 0;
  agent_test::Exec(other_, {"UPDATE VALS_T SET V = 'y' WHERE ID = 3"});
  // Keyset rows 1..3 hold keys 4, 3, 2, read in one block and in two.
  const struct {
    uint32_t blocks, blockSize, last;
  } splits[] = {{1, 3, 3}, {2, 2, 1}};
  for (const auto& s : splits) {
    ASSERT_EQ(scs_p_GetOptConcColVals(cur, nullptr, 1, s.blocks, s.blockSize, s.last), 0)
        << ::testing::PrintToString(Errors(a.valuesStmt));
    EXPECT_EQ(Rows(a.keyset->values, 0, 10), "4 d|3 y|2 b") << s.blocks;
  }
}

INSTANTIATE_TEST_SUITE_P(Embedded, KeptValues, ::testing::ValuesIn(kBackends), Name);

}  // namespace
