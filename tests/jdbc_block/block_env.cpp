#include "block_env.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-exec-block.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-vm.h"

namespace jblock_test {

uint32_t Env() {
  static const uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar:/usr/share/java/derby.jar"
      ":/usr/share/java/postgresql.jar"
      " -Duser.timezone=UTC -Xcheck:jni -Dderby.stream.error.file=/dev/null");
  return env;
}

namespace {

uint32_t Connect(std::string cls, std::string url, std::string user) {
  const uint32_t env = Env();
  if (env == 0) return 0;
  agent_test::Login login;
  login.driverClass = cls;
  login.url = url;
  login.user = user;
  uint32_t conn = 0;
  const uint32_t rc = agent_test::Connect(env, login, &conn);
  EXPECT_EQ(rc, 0u) << ::testing::PrintToString(Errors(env));
  return rc == 0 ? conn : 0u;
}

}  // namespace

uint32_t ConnectHsqldb(const std::string& db) {
  return Connect("org.hsqldb.jdbc.JDBCDriver", "jdbc:hsqldb:mem:" + db, "SA");
}

uint32_t ConnectDerby(const std::string& db) {
  return Connect("org.apache.derby.jdbc.EmbeddedDriver", "jdbc:derby:memory:" + db + ";create=true",
                 "app");
}

uint32_t ConnectPostgres() {
  const std::string port = agent_test::PgPort();
  if (port.empty()) return 0;
  return Connect("org.postgresql.Driver", "jdbc:postgresql://127.0.0.1:" + port + "/qmr", "qmr");
}

bool FetchShot::operator==(const FetchShot& o) const {
  return rc == o.rc && errors == o.errors && rowsHeld == o.rowsHeld && colsUsed == o.colsUsed &&
         rowCount == o.rowCount && rowsFetched == o.rowsFetched && noMoreRows == o.noMoreRows &&
         types == o.types && elements == o.elements && indicators == o.indicators;
}

std::vector<FetchShot> FetchAll(uint32_t conn, const std::string& sql, uint16_t rows, bool block,
                                uint32_t wide, int limit) {
  Stmt s(conn);
  return FetchAllOn(s, sql, rows, block, wide, limit);
}

std::vector<FetchShot> FetchAllOn(const Stmt& s, const std::string& sql, uint16_t rows, bool block,
                                  uint32_t wide, int limit) {
  jblock::SetEnabled(block);
  std::vector<FetchShot> out;
  s.rec()->wide = wide;
  const uint32_t run = s.Run(sql);
  EXPECT_EQ(run, 0u) << sql << ": " << ::testing::PrintToString(Errors(s.h()));
  if (run != 0) {
    jblock::SetEnabled(true);
    return out;
  }
  COLSET set{};
  for (int i = 0; i < limit; ++i) {
    FetchShot shot;
    shot.rc = Ops().DRV_Fetch(s.h(), rows, &set);
    if (shot.rc != 0) shot.errors = Errors(s.h());
    shot.rowsHeld = set.rows_held;
    shot.colsUsed = set.cols_used;
    shot.rowCount = s.rec()->rowCount;
    shot.rowsFetched = s.rec()->rowsFetched;
    shot.noMoreRows = (s.rec()->flags & STMT_NO_MORE_ROWS) != 0;
    for (uint32_t c = 0; c < set.cols_used; ++c) {
      const COLSET_COL& col = set.cols[c];
      shot.types.push_back(col.type);
      const size_t n = static_cast<size_t>(set.rows_held) * col.elem_size;
      if (col.type == COLSET_VT_LONGCHAR || col.type == COLSET_VT_LONGBINARY ||
          col.type == COLSET_VT_LONGWCHAR) {
        // Out-of-line values: their lengths and contents, not where they lie.
        std::vector<uint8_t> values;
        for (uint32_t r = 0; r < set.rows_held; ++r) {
          COLSET_LONG l;
          std::memcpy(&l, col.data + static_cast<size_t>(r) * col.elem_size, sizeof l);
          const size_t bytes = col.type == COLSET_VT_LONGWCHAR ? 2 * size_t{l.length} : l.length;
          const auto* p = reinterpret_cast<const uint8_t*>(&l.length);
          values.insert(values.end(), p, p + sizeof l.length);
          if (l.value != nullptr) {
            const auto* v = static_cast<const uint8_t*>(l.value);
            values.insert(values.end(), v, v + bytes);
          }
        }
        shot.elements.push_back(values);
      } else {
        shot.elements.emplace_back(col.data, col.data + n);
      }
      shot.indicators.emplace_back(col.ind, col.ind + set.rows_held);
    }
    out.push_back(shot);
    if (shot.rc != 0 || set.rows_held == 0) break;
  }
  ColSetFreeColumns(&set);
  jblock::SetEnabled(true);
  return out;
}

std::string Describe(const FetchShot& s) {
  std::ostringstream o;
  o << "rc=" << s.rc << " rows=" << s.rowsHeld << " cols=" << s.colsUsed
    << " rowCount=" << s.rowCount << " fetched=" << s.rowsFetched << " end=" << s.noMoreRows
    << " errors=" << ::testing::PrintToString(s.errors);
  for (size_t c = 0; c < s.elements.size(); ++c) {
    o << "\n  col " << c << " type " << s.types[c] << " ind "
      << ::testing::PrintToString(s.indicators[c]) << " bytes ";
    for (uint8_t b : s.elements[c]) {
      static const char* hex = "0123456789abcdef";
      o << hex[b >> 4] << hex[b & 15];
    }
  }
  return o.str();
}

}  // namespace jblock_test
