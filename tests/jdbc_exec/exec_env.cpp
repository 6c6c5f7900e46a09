#include "exec_env.h"
#include "drv_jdbc/agent_codes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-vm.h"

namespace jexec_test {

uint32_t Env() {
  static const uint32_t env = agent_test::StartAgent(
      "-Djava.class.path=/usr/share/java/hsqldb.jar -Duser.timezone=UTC -Xcheck:jni");
  return env;
}

uint32_t Connect(const std::string& db, uint32_t readOnly) {
  const uint32_t env = Env();
  if (env == 0) return 0;
  agent_test::Login login;
  login.driverClass = "org.hsqldb.jdbc.JDBCDriver";
  login.url = "jdbc:hsqldb:mem:" + db;
  login.user = "SA";
  login.readOnly = readOnly;
  uint32_t conn = 0;
  const uint32_t rc = agent_test::Connect(env, login, &conn);
  EXPECT_EQ(rc, 0u) << ::testing::PrintToString(Errors(env));
  return rc == 0 ? conn : 0u;
}

std::string Rows::Text(uint16_t col, uint32_t row) const {
  if (set.cols[col].type == COLSET_VT_CHAR32) return Prefixed(col, row);
  return reinterpret_cast<const char*>(Elem(col, row));
}

std::u16string Rows::Wide(uint16_t col, uint32_t row) const {
  std::u16string out;
  const unsigned char* e = Elem(col, row);
  const uint32_t size = set.cols[col].elem_size;
  if (set.cols[col].type == COLSET_VT_WCHAR32) {
    uint32_t len;
    std::memcpy(&len, e, sizeof len);
    out.resize(std::min(len, (size - 4) / 2));
    std::memcpy(&out[0], e + 4, 2 * out.size());
    return out;
  }
  for (uint32_t i = 0; i + 1 < size; i += 2) {
    char16_t c;
    std::memcpy(&c, e + i, 2);
    if (c == 0) return out;
    out.push_back(c);
  }
  ADD_FAILURE() << "wide text without its NUL";
  return out;
}

std::string Rows::Long(uint16_t col, uint32_t row) const {
  COLSET_LONG v;
  std::memcpy(&v, Elem(col, row), sizeof v);
  return v.value != nullptr ? std::string(static_cast<const char*>(v.value), v.length)
                            : std::string();
}

int32_t Rows::Int(uint16_t col, uint32_t row) const {
  int32_t v;
  std::memcpy(&v, Elem(col, row), sizeof v);
  return v;
}

int16_t Rows::Short(uint16_t col, uint32_t row) const {
  int16_t v;
  std::memcpy(&v, Elem(col, row), sizeof v);
  return v;
}

double Rows::Double(uint16_t col, uint32_t row) const {
  double v;
  std::memcpy(&v, Elem(col, row), sizeof v);
  return v;
}

std::string Rows::Prefixed(uint16_t col, uint32_t row) const {
  uint32_t len;
  std::memcpy(&len, Elem(col, row), sizeof len);
  // A length beyond the element is the whole length of a value it cut.
  return std::string(reinterpret_cast<const char*>(Elem(col, row)) + 4,
                     std::min(len, set.cols[col].elem_size - 4));
}

uint32_t RowCount(uint32_t stmt) {
  uint32_t v = 0xDEADBEEF;
  uint16_t len = 0;
  EXPECT_EQ(Ops().DRV_GetInfo(stmt, INFO_ROW_COUNT, &v, sizeof v, &len), 0u);
  return v;
}

}  // namespace jexec_test
