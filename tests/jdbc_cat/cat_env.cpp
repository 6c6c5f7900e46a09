#include "cat_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-stmt.h"
#include "drv_jdbc/j-vm.h"

namespace jcat_test {

const std::vector<Backend>& Backends() {
  static const std::vector<Backend> all = {
      {"HSQLDB", "org.hsqldb.jdbc.JDBCDriver", "jdbc:hsqldb:mem:catdb", "SA", "PUBLIC", "TABLE"},
      {"H2", "org.h2.Driver", "jdbc:h2:mem:catdb;DB_CLOSE_DELAY=-1", "SA", "PUBLIC", "BASE TABLE"},
      {"Derby", "org.apache.derby.jdbc.EmbeddedDriver", "jdbc:derby:memory:catdb;create=true",
       "APP", "APP", "TABLE"},
  };
  return all;
}

namespace {

uint32_t Env() {
  static const uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar:/usr/share/java/h2.jar:"
      "/usr/share/java/derby.jar -Duser.timezone=UTC -Xcheck:jni "
      "-Dderby.stream.error.file=/dev/null");
  return env;
}

}  // namespace

uint32_t Connect(const Backend& b, const JdbcConnSettings& settings) {
  const uint32_t env = Env();
  if (env == 0) return 0;
  // Its texts stay the caller's: the agent gets none of them.
  JdbcConnSettings handed = settings;
  handed.initialSql = nullptr;
  handed.dbmsName = nullptr;
  agent_test::Login login;
  login.settings = &handed;
  login.driverClass = b.driverClass;
  login.url = b.url;
  login.user = b.user;
  uint32_t conn = 0;
  const uint32_t rc = agent_test::Connect(env, login, &conn);
  EXPECT_EQ(rc, 0u) << b.name << ": " << ::testing::PrintToString(Errors(env));
  return rc == 0 ? conn : 0u;
}

void Exec(uint32_t conn, const std::vector<std::string>& sqls, bool ignoreErrors) {
  for (const std::string& sql : sqls) {
    Stmt s(conn);
    const uint32_t rc = s.Run(sql);
    if (!ignoreErrors) {
      EXPECT_EQ(rc, 0u) << sql << ": " << ::testing::PrintToString(Errors(s.h()));
    } else {
      Errors(s.h());
    }
  }
}

namespace {

std::string Cell(const COLSET_COL& c, uint32_t r) {
  if (c.ind[r] == COLSET_IND_NULL) return kNull;
  const unsigned char* e = c.data + static_cast<size_t>(r) * c.elem_size;
  switch (c.type) {
    case COLSET_VT_NTS:
      return std::string(reinterpret_cast<const char*>(e),
                         strnlen(reinterpret_cast<const char*>(e), c.elem_size));
    case COLSET_VT_WNTS: {
      std::string out;
      for (uint32_t i = 0; i + 1 < c.elem_size; i += 2) {
        char16_t ch;
        std::memcpy(&ch, e + i, 2);
        if (ch == 0) break;
        out.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
      }
      return out;
    }
    case COLSET_VT_BIT: return std::to_string(e[0]);
    case COLSET_VT_SMALLINT: {
      int16_t v;
      std::memcpy(&v, e, 2);
      return std::to_string(v);
    }
    case COLSET_VT_INTEGER: {
      int32_t v;
      std::memcpy(&v, e, 4);
      return std::to_string(v);
    }
    default: return "<type " + std::to_string(c.type) + ">";
  }
}

}  // namespace

std::vector<Row> FetchAll(uint32_t stmt, uint16_t block) {
  std::vector<Row> rows;
  for (int guard = 0; guard < 1000; ++guard) {
    COLSET set{};
    const uint32_t rc = Ops().DRV_Fetch(stmt, block, &set);
    EXPECT_EQ(rc, 0u) << ::testing::PrintToString(Errors(stmt));
    const uint32_t n = set.rows_held;
    for (uint32_t r = 0; r < n && rc == 0; ++r) {
      Row row;
      for (uint16_t c = 0; c < set.cols_used; ++c) row.push_back(Cell(set.cols[c], r));
      rows.push_back(row);
    }
    ColSetFreeColumns(&set);
    if (rc != 0 || n < block) break;
  }
  return rows;
}

std::vector<ColShape> Described(uint32_t stmt) {
  std::vector<ColShape> out;
  uint16_t n = 0;
  JdbcColDesc* d = nullptr;
  EXPECT_EQ(Ops().DRV_NumResultCols(stmt, &n, &d), 0u);
  for (uint16_t i = 0; i < n; ++i)
    out.push_back({d[i].name, d[i].sql_type, d[i].value_type, ColDescNullable(&d[i])});
  ColDescFree(d, n);
  return out;
}

}  // namespace jcat_test
