// SQLGetInfo: the types the core answers itself, the SQL_CONVERT_ masks, and
// the agent's answers kept per connection.
#include "driver/info.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>
#include <string>

#include "driver/agent_fail.h"
#include "driver/conn.h"
#include "driver/connopt_text.h"
#include "driver/ops.h"
#include "drv_jdbc/agent_codes.h"
#include "util/errcodes.h"

namespace {

constexpr uint16_t kAgentTextRoom = 4096;
constexpr uint16_t kCoreVersionType = 1750;
constexpr char kDriverOdbcVersion[] = "03.50";

struct Call {
  ConnHandle* conn;
  uint16_t type;
  void* value;
  int16_t size;
  SQLSMALLINT* length;
  int mode;
};

template <class T>
DRV_Return PutNumber(const Call& k, T v) {
  if (k.value != nullptr) std::memcpy(k.value, &v, sizeof v);
  if (k.length != nullptr) *k.length = static_cast<SQLSMALLINT>(sizeof v);
  return SQL_SUCCESS;
}

DRV_Return PutText(const Call& k, const std::string& text) {
  if (k.size < 0 && k.value != nullptr) return Fail(k.conn, ERR_INVALID_LENGTH);
  int64_t full = 0;
  const int cut = OPT_WriteText(text, k.value, k.size, k.mode, &full);
  if (k.length != nullptr) *k.length = static_cast<SQLSMALLINT>(full > 32767 ? 32767 : full);
  if (cut == 0) return SQL_SUCCESS;
  return Warn(k.conn, ERR_TRUNCATED);
}

bool IsConvertType(uint16_t t) {
  return (t >= SQL_CONVERT_BIGINT && t <= SQL_CONVERT_LONGVARBINARY) || t == SQL_CONVERT_WCHAR ||
         t == SQL_CONVERT_WLONGVARCHAR || t == SQL_CONVERT_WVARCHAR || t == SQL_CONVERT_GUID;
}

uint32_t AskAgent(ConnHandle* c, uint32_t request, void* buf, uint16_t size) {
  const DRV_OpTable* ops = c->agent.ops;
  if (ops == nullptr || ops->DRV_GetInfo == nullptr) return ERR_NOT_SUPPORTED;
  uint16_t length = 0;
  return ops->DRV_GetInfo(c->agentConn, request, buf, size, &length);
}

// A numeric answer of the agent, from the cache when it was asked before.
DRV_Return AgentNumber(const Call& k, InfoForm form, int slot) {
  ConnInfoCache& cache = k.conn->infoCache;
  uint32_t v = 0;
  bool cached = false;
  if (form == InfoForm::Short) {
    cached = cache.shorts[slot] != -1;
    v = static_cast<uint16_t>(cache.shorts[slot]);
  } else {
    cached = cache.ints[slot] != -1;
    v = static_cast<uint32_t>(cache.ints[slot]);
  }
  if (!cached) {
    const uint32_t code = AskAgent(k.conn, INFO_ODBC_INT | k.type, &v, sizeof v);
    if (code != 0) return AgentFail(k.conn, code);
    if (form == InfoForm::Short) {
      cache.shorts[slot] = static_cast<int16_t>(v);
    } else {
      cache.ints[slot] = static_cast<int32_t>(v);
    }
  }
  switch (form) {
    case InfoForm::Short: return PutNumber(k, static_cast<uint16_t>(v));
    case InfoForm::Handle: return PutNumber(k, static_cast<uint64_t>(v));
    default: return PutNumber(k, v);
  }
}

DRV_Return AgentText(const Call& k, int slot) {
  std::unique_ptr<std::string>& entry = k.conn->infoCache.texts[slot];
  // The database name follows the connection's current catalog: never kept.
  const bool keep = k.type != SQL_DATABASE_NAME;
  if (keep && entry != nullptr) return PutText(k, *entry);
  char buf[kAgentTextRoom] = {};
  const uint32_t code = AskAgent(k.conn, INFO_ODBC_TEXT | k.type, buf, sizeof buf);
  if (code != 0) return AgentFail(k.conn, code);
  buf[sizeof buf - 1] = '\0';
  std::string text(buf);
  if (keep) entry = std::make_unique<std::string>(text);
  return PutText(k, text);
}

// The agent's 32-bit answer to another type, kept as AgentNumber keeps it.
// false with the agent's failure pending when it cannot tell.
bool AgentAnswer(const Call& k, uint16_t type, uint32_t* v) {
  Call ask = k;
  ask.type = type;
  ask.value = v;
  ask.size = sizeof *v;
  ask.length = nullptr;
  int slot = -1;
  if (INFO_Form(type, &slot) != InfoForm::Int) return false;
  return AgentNumber(ask, InfoForm::Int, slot) == SQL_SUCCESS;
}

// The SQL_CONVERT_ masks say what {fn CONVERT} does: a source whose JDBC
// driver does not take it with ODBC's type names (PostgreSQL's, H2's)
// converts nothing; one that does keeps of the fixed mask what its
// supportsConvert(from, to) allows (HSQLDB's DOUBLE converts to no BIT), and
// the wide conversions only where it knows their names.
bool ConvertMask(const Call& k, uint32_t* mask) {
  constexpr uint32_t kWide = SQL_CVT_WCHAR | SQL_CVT_WLONGVARCHAR | SQL_CVT_WVARCHAR;
  uint32_t functions = 0, allowed = 0, wide = 0;
  *mask = 0;
  if (!AgentAnswer(k, SQL_CONVERT_FUNCTIONS, &functions)) return false;
  if ((functions & SQL_FN_CVT_CONVERT) == 0) return true;
  const uint32_t fixed = INFO_ConvertMask(k.conn, k.type, k.mode);
  if (fixed == 0) return true;
  if (!AgentAnswer(k, k.type, &allowed)) return false;
  if (AskAgent(k.conn, INFO_CONVERT_WIDE, &wide, sizeof wide) != 0) wide = 0;
  *mask = fixed & (allowed | (wide != 0 ? kWide : 0u));
  return true;
}

DRV_Return GetInfo(const Call& k) {
  ConnHandle* c = k.conn;
  switch (k.type) {
    case kCoreVersionType: return PutNumber(k, uint32_t{3});
    case SQL_DATA_SOURCE_NAME: return PutText(k, c->dsn);
    case SQL_ODBC_API_CONFORMANCE: return PutNumber(k, uint16_t{SQL_OAC_LEVEL1});
    case SQL_DRIVER_ODBC_VER: return PutText(k, kDriverOdbcVersion);
    default: break;
  }
  const bool connected = c->state == kConnConnected;
  if (IsConvertType(k.type)) {
    int slot = -1;
    if (connected && c->cap0x200 != 0 && INFO_Form(k.type, &slot) == InfoForm::Int) {
      return AgentNumber(k, InfoForm::Int, slot);
    }
    if (!connected) return PutNumber(k, INFO_ConvertMask(c, k.type, k.mode));
    uint32_t mask = 0;
    if (!ConvertMask(k, &mask)) return SQL_ERROR;
    return PutNumber(k, mask);
  }
  if (!connected) return Fail(c, ERR_NOT_CONNECTED);
  int slot = -1;
  const InfoForm form = INFO_Form(k.type, &slot);
  switch (form) {
    case InfoForm::Short:
    case InfoForm::Int:
    case InfoForm::Handle: return AgentNumber(k, form, slot);
    case InfoForm::Text: return AgentText(k, slot);
    default: return Fail(c, ERR_INFO_TYPE_RANGE);
  }
}

}  // namespace

DRV_Return DRV_GetInfoOp(void* h, va_list args) {
  Call k{};
  k.conn = static_cast<ConnHandle*>(h);
  k.type = static_cast<uint16_t>(va_arg(args, int));
  k.value = va_arg(args, void*);
  k.size = static_cast<int16_t>(va_arg(args, int));
  k.length = va_arg(args, SQLSMALLINT*);
  k.mode = va_arg(args, int);
  return GetInfo(k);
}
