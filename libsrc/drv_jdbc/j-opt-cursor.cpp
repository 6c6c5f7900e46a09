// Cursor type and concurrency negotiation, the agent's value-type table
// (agent slot 23) and the DYN_CURS_SENSITIVITY helpers.
#include <sqlext.h>

#include <cstdint>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-handles.h"
#include "drv_jdbc/j-opt.h"

const CursorOptionRule CursorOptionRules[] = {
    {SQL_CONCURRENCY,
     SQL_SCROLL_CONCURRENCY,
     {SQL_CONCUR_LOCK, SQL_CONCUR_ROWVER, SQL_CONCUR_VALUES, SQL_CONCUR_ROWVER, CURSOR_RULE_END},
     {{SQL_CONCUR_READ_ONLY, SQL_SCCO_READ_ONLY},
      {SQL_CONCUR_LOCK, SQL_SCCO_LOCK},
      {SQL_CONCUR_ROWVER, SQL_SCCO_OPT_ROWVER},
      {SQL_CONCUR_VALUES, SQL_SCCO_OPT_VALUES},
      {CURSOR_RULE_END, 0}}},
    {SQL_CURSOR_TYPE,
     SQL_SCROLL_OPTIONS,
     {SQL_CURSOR_DYNAMIC, SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN,
      CURSOR_RULE_END},
     {{SQL_CURSOR_FORWARD_ONLY, SQL_SO_FORWARD_ONLY},
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_SO_KEYSET_DRIVEN},
      {SQL_CURSOR_DYNAMIC, SQL_SO_DYNAMIC},
      {SQL_CURSOR_STATIC, SQL_SO_STATIC},
      {CURSOR_RULE_END, 0}}},
    {0, 0, {CURSOR_RULE_END}, {{CURSOR_RULE_END, 0}}},
};

const AgentValueType AgentValueTypes[AGT_VALUE_TYPE_COUNT] = {
    {SQL_C_CHAR, 32767, 0x2A31FE}, {SQL_C_SHORT, 0, 0x2821FE},     {SQL_C_LONG, 0, 0x2821FE},
    {SQL_C_FLOAT, 0, 0x2821FE},    {SQL_C_DOUBLE, 0, 0x2821FE},    {SQL_C_TIME, 0, 0x282400},
    {SQL_C_DATE, 0, 0x282200},     {SQL_C_TIMESTAMP, 0, 0x282800}, {SQL_C_BINARY, 65533, 0x2A3000},
};

const CursorOptionRule* findCursorRule(uint32_t option) {
  for (const CursorOptionRule* r = CursorOptionRules; r->option != 0; ++r) {
    if (r->option == option) return r;
  }
  return nullptr;
}

namespace {

// The bit of a value in the rule's map; 0 for a value the map does not hold.
uint32_t BitOf(const CursorOptionRule& rule, int32_t value) {
  for (const auto& m : rule.map) {
    if (m.value == CURSOR_RULE_END) break;
    if (m.value == value) return m.bit;
  }
  return 0;
}

}  // namespace

uint32_t negotiateCursorValue(const CursorOptionRule& rule, uint32_t mask, uint32_t* value) {
  const int32_t asked = static_cast<int32_t>(*value);
  int32_t v = asked;
  // The search only moves forward through the list, so it ends.
  size_t pos = 0;
  const size_t n = sizeof rule.fallback / sizeof rule.fallback[0];
  while (v != CURSOR_RULE_END && (BitOf(rule, v) & mask) == 0) {
    int32_t next = CURSOR_RULE_END;
    for (; pos < n && rule.fallback[pos] != CURSOR_RULE_END; ++pos) {
      if (rule.fallback[pos] == v) {
        ++pos;
        if (pos < n) next = rule.fallback[pos];
        break;
      }
    }
    v = next;
  }
  if (v == CURSOR_RULE_END) return ERR_NOT_CAPABLE;
  if (v != asked) {
    *value = static_cast<uint32_t>(v);
    return ERR_VALUE_CHANGED;
  }
  return 0;
}

uint32_t negotiateCursorOption(const JdbcConn* c, uint32_t option, uint32_t* value) {
  const CursorOptionRule* rule = findCursorRule(option);
  if (rule == nullptr || c == nullptr) return 0;
  const DRV_OpTable* ops = AGT_RegisteredOps();
  const DRV_Agent agent{DRV_AGENT_JDBC, ops != nullptr ? ops : &DRV_JdbcOpTable};
  uint32_t mask = 0;
  uint16_t length = 0;
  if (SCR_AgentInfo(&agent, c->handle, rule->infoType, &mask, sizeof mask, &length) != 0) {
    return 0;
  }
  return negotiateCursorValue(*rule, mask, value);
}

uint32_t parseDynCursSensitivity(const char* text) {
  if (text == nullptr) return 0;
  switch (text[0]) {
    case 'D':
    case 'd': return 2;
    case 'H':
    case 'h': return 1;
    default: return 0;
  }
}

const char* dynCursSensitivityName(uint32_t level) {
  switch (level) {
    case 1: return "HIGH";
    case 2: return "DISABLED";
    default: return "LOW";
  }
}

extern "C" uint32_t DRV_GetOpTable(uint32_t conn, DRV_OpTableRequest* request) {
  if (AGT_Conn(conn) == nullptr || request == nullptr) return ERR_INVALID_ARGUMENT;
  if (request->kind != 1) return ERR_NOT_CAPABLE;
  request->count = AGT_VALUE_TYPE_COUNT;
  request->table = AgentValueTypes;
  return 0;
}
