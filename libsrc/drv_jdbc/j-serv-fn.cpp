// The tables behind the information answers and the helpers that need no
// Java: scalar-function lists to ODBC bit masks, the scroll and capability
// masks.
#include <sqlext.h>

#include <cstdint>
#include <cstring>

#include "drv_jdbc/j-serv.h"

const ScalarFnRow ScalarFunctionNames[] = {
    {"ABS", SQL_FN_NUM_ABS, 1},
    {"ACOS", SQL_FN_NUM_ACOS, 1},
    {"ASIN", SQL_FN_NUM_ASIN, 1},
    {"ATAN", SQL_FN_NUM_ATAN, 1},
    {"ATAN2", SQL_FN_NUM_ATAN2, 1},
    {"CEILING", SQL_FN_NUM_CEILING, 1},
    {"COS", SQL_FN_NUM_COS, 1},
    {"COT", SQL_FN_NUM_COT, 1},
    {"DEGREES", SQL_FN_NUM_DEGREES, 1},
    {"EXP", SQL_FN_NUM_EXP, 1},
    {"FLOOR", SQL_FN_NUM_FLOOR, 1},
    {"LOG", SQL_FN_NUM_LOG, 1},
    {"LOG10", SQL_FN_NUM_LOG10, 1},
    {"MOD", SQL_FN_NUM_MOD, 1},
    {"PI", SQL_FN_NUM_PI, 1},
    {"POWER", SQL_FN_NUM_POWER, 1},
    {"RADIANS", SQL_FN_NUM_RADIANS, 1},
    {"RAND", SQL_FN_NUM_RAND, 1},
    {"ROUND", SQL_FN_NUM_ROUND, 1},
    {"SIGN", SQL_FN_NUM_SIGN, 1},
    {"SIN", SQL_FN_NUM_SIN, 1},
    {"SQRT", SQL_FN_NUM_SQRT, 1},
    {"TAN", SQL_FN_NUM_TAN, 1},
    {"TRUNCATE", SQL_FN_NUM_TRUNCATE, 1},
    {"ASCII", SQL_FN_STR_ASCII, 2},
    {"CHAR", SQL_FN_STR_CHAR, 2},
    {"CONCAT", SQL_FN_STR_CONCAT, 2},
    {"DIFFERENCE", SQL_FN_STR_DIFFERENCE, 2},
    {"INSERT", SQL_FN_STR_INSERT, 2},
    {"LCASE", SQL_FN_STR_LCASE, 2},
    {"LEFT", SQL_FN_STR_LEFT, 2},
    {"LENGTH", SQL_FN_STR_LENGTH, 2},
    {"LOCATE", SQL_FN_STR_LOCATE, 2},
    {"LOCATE_2", SQL_FN_STR_LOCATE_2, 2},
    {"LTRIM", SQL_FN_STR_LTRIM, 2},
    {"REPEAT", SQL_FN_STR_REPEAT, 2},
    {"REPLACE", SQL_FN_STR_REPLACE, 2},
    {"RIGHT", SQL_FN_STR_RIGHT, 2},
    {"RTRIM", SQL_FN_STR_RTRIM, 2},
    {"SOUNDEX", SQL_FN_STR_SOUNDEX, 2},
    {"SPACE", SQL_FN_STR_SPACE, 2},
    {"SUBSTRING", SQL_FN_STR_SUBSTRING, 2},
    {"UCASE", SQL_FN_STR_UCASE, 2},
    {"BIT_LENGTH", SQL_FN_STR_BIT_LENGTH, 2},
    {"CHAR_LENGTH", SQL_FN_STR_CHAR_LENGTH, 2},
    {"CHARACTER_LENGTH", SQL_FN_STR_CHARACTER_LENGTH, 2},
    {"OCTET_LENGTH", SQL_FN_STR_OCTET_LENGTH, 2},
    {"POSITION", SQL_FN_STR_POSITION, 2},
    {"DBNAME", SQL_FN_SYS_DBNAME, 3},
    {"USERNAME", SQL_FN_SYS_USERNAME, 3},
    {"USER", SQL_FN_SYS_USERNAME, 3},
    {"USERNAME", SQL_FN_SYS_USERNAME, 3},
    {"IFNULL", SQL_FN_SYS_IFNULL, 3},
    {"CURDATE", SQL_FN_TD_CURDATE, 4},
    {"CURTIME", SQL_FN_TD_CURTIME, 4},
    {"DAYNAME", SQL_FN_TD_DAYNAME, 4},
    {"DAYOFMONTH", SQL_FN_TD_DAYOFMONTH, 4},
    {"DAYOFWEEK", SQL_FN_TD_DAYOFWEEK, 4},
    {"DAYOFYEAR", SQL_FN_TD_DAYOFYEAR, 4},
    {"HOUR", SQL_FN_TD_HOUR, 4},
    {"MINUTE", SQL_FN_TD_MINUTE, 4},
    {"MONTH", SQL_FN_TD_MONTH, 4},
    {"MONTHNAME", SQL_FN_TD_MONTHNAME, 4},
    {"NOW", SQL_FN_TD_NOW, 4},
    {"QUARTER", SQL_FN_TD_QUARTER, 4},
    {"SECOND", SQL_FN_TD_SECOND, 4},
    {"TIMESTAMPADD", SQL_FN_TD_TIMESTAMPADD, 4},
    {"TIMESTAMPDIFF", SQL_FN_TD_TIMESTAMPDIFF, 4},
    {"WEEK", SQL_FN_TD_WEEK, 4},
    {"YEAR", SQL_FN_TD_YEAR, 4},
    {"CURRENT_DATE", SQL_FN_TD_CURRENT_DATE, 4},
    {"CURRENT_TIME", SQL_FN_TD_CURRENT_TIME, 4},
    {"CURRENT_TIMESTAMP", SQL_FN_TD_CURRENT_TIMESTAMP, 4},
    {"EXTRACT", SQL_FN_TD_EXTRACT, 4},
    {nullptr, 0, 0},
};

const ConvertTarget ConvertTargets[] = {
    {SQL_BIT, SQL_CVT_BIT},
    {SQL_TINYINT, SQL_CVT_TINYINT},
    {SQL_SMALLINT, SQL_CVT_SMALLINT},
    {SQL_INTEGER, SQL_CVT_INTEGER},
    {SQL_BIGINT, SQL_CVT_BIGINT},
    {SQL_FLOAT, SQL_CVT_FLOAT},
    {SQL_REAL, SQL_CVT_REAL},
    {SQL_DOUBLE, SQL_CVT_DOUBLE},
    {SQL_NUMERIC, SQL_CVT_NUMERIC},
    {SQL_DECIMAL, SQL_CVT_DECIMAL},
    {SQL_CHAR, SQL_CVT_CHAR},
    {SQL_VARCHAR, SQL_CVT_VARCHAR},
    {SQL_LONGVARCHAR, SQL_CVT_LONGVARCHAR},
    {SQL_DATE, SQL_CVT_DATE},
    {SQL_TIME, SQL_CVT_TIME},
    {SQL_TIMESTAMP, SQL_CVT_TIMESTAMP},
    {SQL_TYPE_DATE, SQL_CVT_DATE},
    {SQL_TYPE_TIME, SQL_CVT_TIME},
    {SQL_TYPE_TIMESTAMP, SQL_CVT_TIMESTAMP},
    {SQL_BINARY, SQL_CVT_BINARY},
    {SQL_VARBINARY, SQL_CVT_VARBINARY},
    {SQL_LONGVARBINARY, SQL_CVT_LONGVARBINARY},
    {0, 0},
};

HASH_TABLE* buildScalarFnTable() {
  HASH_TABLE* t = hash_create(65, 0);
  if (t == nullptr) return nullptr;
  for (uintptr_t row = 1; ScalarFunctionNames[row - 1].name != nullptr; ++row) {
    if (hash_set(t, ScalarFunctionNames[row - 1].name, reinterpret_cast<void*>(row)) == nullptr) {
      hash_destroy(t);
      return nullptr;
    }
  }
  return t;
}

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The bit of one upper-cased name of the list, or 0.
uint32_t NameBit(const char* name, HASH_TABLE* names, uint32_t category) {
  // JDBC's system-function list calls the database-name function DATABASE.
  if (std::strcmp(name, "DATABASE") == 0) name = "DBNAME";
  const uintptr_t row = reinterpret_cast<uintptr_t>(hash_lookup(names, name));
  if (row == 0) return 0;
  const ScalarFnRow& fn = ScalarFunctionNames[row - 1];
  return fn.category == category ? fn.bit : 0;
}

}  // namespace

uint32_t parseFunctionList(char* list, HASH_TABLE* names, uint32_t category) {
  if (list == nullptr || names == nullptr) return 0;
  uint32_t mask = 0;
  char* p = list;
  for (;;) {
    while (IsSpace(*p)) ++p;
    char* name = p;
    while (*p != '\0' && *p != ',') {
      if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
      ++p;
    }
    const bool more = *p == ',';
    *p = '\0';
    // A blank before the comma belongs to no name ("ABS ,FLOOR").
    for (char* end = p; end > name && IsSpace(end[-1]); --end) end[-1] = '\0';
    if (*name != '\0') mask |= NameBit(name, names, category);
    if (!more) break;
    ++p;
  }
  return mask;
}

uint32_t scrollOptionsMask(const JdbcConn* c) {
  const uint32_t all =
      SQL_SO_FORWARD_ONLY | SQL_SO_KEYSET_DRIVEN | SQL_SO_DYNAMIC | SQL_SO_MIXED | SQL_SO_STATIC;
  if (c != nullptr && c->settings.dynCursSensitivity == 2)
    return SQL_SO_FORWARD_ONLY | SQL_SO_STATIC;
  return all;
}

uint32_t capabilityMask(JdbcConn* c) {
  if (c == nullptr) return AGT_CAPABILITIES;
  c->dynCursorsEnabled = 1;
  return c->settings.noAutoCommit != 0 ? AGT_CAPABILITIES : AGT_CAPABILITIES | AGT_CAP_AUTOCOMMIT;
}
