// The fixed ODBC column tables of the catalog results. A catalog result is
// described by these, never by the JDBC driver's own metadata, so every
// application sees the ODBC 3 names and shapes whatever the server says.
#include <iterator>

#include "drv_jdbc/j-catalog.h"
#include "util/utalloc.h"

namespace {

enum Shape : uint8_t { kText, kVarchar, kSmall, kInt, kBool };

struct ColSpec {
  const char* name;
  Shape shape;
  uint16_t size;  // characters of the text shapes
  uint8_t nullable;
};

const ColSpec kTables[] = {
    {"TABLE_CAT", kText, 128, 2},  {"TABLE_SCHEM", kText, 128, 2}, {"TABLE_NAME", kText, 128, 2},
    {"TABLE_TYPE", kText, 128, 2}, {"REMARKS", kText, 254, 2},
};

const ColSpec kColumns[] = {
    {"TABLE_CAT", kText, 128, 1},       {"TABLE_SCHEM", kText, 128, 1},
    {"TABLE_NAME", kText, 128, 0},      {"COLUMN_NAME", kText, 128, 0},
    {"DATA_TYPE", kSmall, 0, 0},        {"TYPE_NAME", kText, 128, 0},
    {"COLUMN_SIZE", kInt, 0, 1},        {"BUFFER_LENGTH", kInt, 0, 1},
    {"DECIMAL_DIGITS", kSmall, 0, 1},   {"NUM_PREC_RADIX", kSmall, 0, 1},
    {"NULLABLE", kSmall, 0, 0},         {"REMARKS", kText, 254, 1},
    {"COLUMN_DEF", kText, 254, 1},      {"SQL_DATA_TYPE", kSmall, 0, 0},
    {"SQL_DATETIME_SUB", kSmall, 0, 1}, {"CHAR_OCTET_LENGTH", kInt, 0, 1},
    {"ORDINAL_POSITION", kInt, 0, 0},   {"IS_NULLABLE", kText, 128, 0},
};

const ColSpec kProcedureColumns[] = {
    {"PROCEDURE_CAT", kText, 128, 1},  {"PROCEDURE_SCHEM", kText, 128, 1},
    {"PROCEDURE_NAME", kText, 128, 0}, {"COLUMN_NAME", kText, 128, 0},
    {"COLUMN_TYPE", kSmall, 0, 0},     {"DATA_TYPE", kSmall, 0, 0},
    {"TYPE_NAME", kText, 128, 0},      {"COLUMN_SIZE", kInt, 0, 1},
    {"BUFFER_LENGTH", kInt, 0, 1},     {"DECIMAL_DIGITS", kSmall, 0, 1},
    {"NUM_PREC_RADIX", kSmall, 0, 1},  {"NULLABLE", kSmall, 0, 0},
    {"REMARKS", kText, 254, 1},        {"COLUMN_DEF", kText, 254, 1},
    {"SQL_DATA_TYPE", kSmall, 0, 0},   {"SQL_DATETIME_SUB", kSmall, 0, 1},
    {"CHAR_OCTET_LENGTH", kInt, 0, 1}, {"ORDINAL_POSITION", kInt, 0, 0},
    {"IS_NULLABLE", kText, 128, 0},
};

const ColSpec kStatistics[] = {
    {"TABLE_CAT", kText, 128, 1},
    {"TABLE_SCHEM", kText, 128, 1},
    {"TABLE_NAME", kText, 128, 0},
    {"NON_UNIQUE", kBool, 0, 1},
    {"INDEX_QUALIFIER", kText, 128, 1},
    {"INDEX_NAME", kText, 128, 1},
    {"TYPE", kSmall, 0, 0},
    {"ORDINAL_POSITION", kSmall, 0, 1},
    {"COLUMN_NAME", kText, 128, 1},
    {"ASC_OR_DESC", kVarchar, 1, 1},
    {"CARDINALITY", kInt, 0, 1},
    {"PAGES", kInt, 0, 1},
    {"FILTER_CONDITION", kText, 128, 1},
};

const ColSpec kSpecialColumns[] = {
    {"SCOPE", kSmall, 0, 1},          {"COLUMN_NAME", kText, 128, 0},
    {"DATA_TYPE", kSmall, 0, 0},      {"TYPE_NAME", kText, 128, 0},
    {"COLUMN_SIZE", kInt, 0, 1},      {"BUFFER_LENGTH", kInt, 0, 1},
    {"DECIMAL_DIGITS", kSmall, 0, 1}, {"PSEUDO_COLUMN", kSmall, 0, 1},
};

const ColSpec kPrimaryKeys[] = {
    {"TABLE_CAT", kText, 128, 1},   {"TABLE_SCHEM", kText, 128, 1}, {"TABLE_NAME", kText, 128, 0},
    {"COLUMN_NAME", kText, 128, 0}, {"KEY_SEQ", kSmall, 0, 0},      {"PK_NAME", kText, 128, 1},
};

const ColSpec kForeignKeys[] = {
    {"PKTABLE_CAT", kText, 128, 1},  {"PKTABLE_SCHEM", kText, 128, 1},
    {"PKTABLE_NAME", kText, 128, 0}, {"PKCOLUMN_NAME", kText, 128, 0},
    {"FKTABLE_CAT", kText, 128, 1},  {"FKTABLE_SCHEM", kText, 128, 1},
    {"FKTABLE_NAME", kText, 128, 0}, {"FKCOLUMN_NAME", kText, 128, 0},
    {"KEY_SEQ", kSmall, 0, 0},       {"UPDATE_RULE", kSmall, 0, 1},
    {"DELETE_RULE", kSmall, 0, 1},   {"FK_NAME", kText, 128, 1},
    {"PK_NAME", kText, 128, 1},      {"DEFERRABILITY", kSmall, 0, 1},
};

const ColSpec kTablePrivileges[] = {
    {"TABLE_CAT", kText, 128, 1},    {"TABLE_SCHEM", kText, 128, 1}, {"TABLE_NAME", kText, 128, 0},
    {"GRANTOR", kText, 128, 1},      {"GRANTEE", kText, 128, 0},     {"PRIVILEGE", kText, 128, 0},
    {"IS_GRANTABLE", kText, 128, 1},
};

const ColSpec kColumnPrivileges[] = {
    {"TABLE_CAT", kText, 128, 1},   {"TABLE_SCHEM", kText, 128, 1},  {"TABLE_NAME", kText, 128, 0},
    {"COLUMN_NAME", kText, 128, 0}, {"GRANTOR", kText, 128, 1},      {"GRANTEE", kText, 128, 0},
    {"PRIVILEGE", kText, 128, 0},   {"IS_GRANTABLE", kText, 128, 1},
};

const ColSpec kProcedures[] = {
    {"PROCEDURE_CAT", kText, 128, 1},    {"PROCEDURE_SCHEM", kText, 128, 1},
    {"PROCEDURE_NAME", kText, 128, 0},   {"NUM_INPUT_PARAMS", kSmall, 0, 1},
    {"NUM_OUTPUT_PARAMS", kSmall, 0, 1}, {"NUM_RESULT_SETS", kSmall, 0, 1},
    {"REMARKS", kText, 254, 1},          {"PROCEDURE_TYPE", kSmall, 0, 1},
};

const ColSpec kTypeInfo[] = {
    {"TYPE_NAME", kText, 128, 0},         {"DATA_TYPE", kSmall, 0, 0},
    {"COLUMN_SIZE", kInt, 0, 1},          {"LITERAL_PREFIX", kVarchar, 128, 1},
    {"LITERAL_SUFFIX", kVarchar, 128, 1}, {"CREATE_PARAMS", kText, 128, 1},
    {"NULLABLE", kSmall, 0, 0},           {"CASE_SENSITIVE", kBool, 0, 0},
    {"SEARCHABLE", kSmall, 0, 0},         {"UNSIGNED_ATTRIBUTE", kBool, 0, 1},
    {"FIXED_PREC_SCALE", kBool, 0, 0},    {"AUTO_UNIQUE_VALUE", kBool, 0, 1},
    {"LOCAL_TYPE_NAME", kText, 128, 1},   {"MINIMUM_SCALE", kSmall, 0, 1},
    {"MAXIMUM_SCALE", kSmall, 0, 1},      {"SQL_DATA_TYPE", kSmall, 0, 0},
    {"SQL_DATETIME_SUB", kSmall, 0, 1},   {"NUM_PREC_RADIX", kInt, 0, 1},  // INTEGER here alone
    {"INTERVAL_PRECISION", kSmall, 0, 1},
};

struct Table {
  const ColSpec* cols;
  uint16_t count;
};

template <size_t N>
constexpr Table Of(const ColSpec (&t)[N]) {
  return {t, static_cast<uint16_t>(N)};
}

Table TableOf(uint32_t kind) {
  switch (kind) {
    case CAT_KIND_TYPE_INFO: return Of(kTypeInfo);
    case CAT_KIND_PROCEDURE_COLUMNS: return Of(kProcedureColumns);
    case CAT_KIND_TABLES: return Of(kTables);
    case CAT_KIND_STATISTICS: return Of(kStatistics);
    case CAT_KIND_PROCEDURES: return Of(kProcedures);
    case CAT_KIND_COLUMNS: return Of(kColumns);
    case CAT_KIND_SPECIAL_COLUMNS: return Of(kSpecialColumns);
    case CAT_KIND_PRIMARY_KEYS: return Of(kPrimaryKeys);
    case CAT_KIND_FOREIGN_KEYS: return Of(kForeignKeys);
    case CAT_KIND_TABLE_PRIVILEGES: return Of(kTablePrivileges);
    case CAT_KIND_COLUMN_PRIVILEGES: return Of(kColumnPrivileges);
    default: return {nullptr, 0};
  }
}

void Shape(JdbcColDesc* d, int32_t sqlType, uint32_t precision, uint32_t length, uint32_t valueType,
           uint32_t elemLen) {
  d->sql_type = sqlType;
  d->delivered_type = sqlType;
  d->precision = precision;
  d->display_size = length;
  d->scale = 0;
  d->value_type = valueType;
  d->elem_len = elemLen;
}

}  // namespace

JdbcColDesc* catColumns(uint32_t kind, uint32_t wide, const std::vector<int32_t>& javaTypes,
                        uint16_t* count) {
  if (count != nullptr) *count = 0;
  const Table t = TableOf(kind);
  if (t.cols == nullptr) return nullptr;
  auto* descs = static_cast<JdbcColDesc*>(s_alloc(t.count, sizeof(JdbcColDesc)));
  for (uint16_t i = 0; i < t.count; ++i) {
    const ColSpec& c = t.cols[i];
    JdbcColDesc* d = &descs[i];
    switch (c.shape) {
      case kText:
        if (wide != 0)
          Shape(d, -9, c.size, c.size, COLSET_VT_WNTS, c.size + 1u);
        else
          Shape(d, 12, c.size, c.size, COLSET_VT_NTS, c.size + 1u);
        break;
      case kVarchar: Shape(d, 12, c.size, c.size, COLSET_VT_NTS, c.size + 1u); break;
      case kInt: Shape(d, 4, 10, 11, COLSET_VT_INTEGER, 4); break;
      case kSmall: Shape(d, 5, 5, 6, COLSET_VT_SMALLINT, 2); break;
      case kBool: {
        // A JDBC driver that answers the flag as a boolean fills a one-byte
        // column; one that answers SMALLINT keeps the 16-bit form.
        const bool asBool = i < javaTypes.size() && javaTypes[i] != 5;
        if (asBool)
          Shape(d, 5, 5, 6, COLSET_VT_BIT, 1);
        else
          Shape(d, 5, 5, 6, COLSET_VT_SMALLINT, 2);
        break;
      }
    }
    d->flags = c.nullable & COLDESC_NULLABLE_MASK;
    ColDescSetUpdatable(d, COLDESC_UPDATE_UNKNOWN);
    ColDescSetName(d, c.name);
  }
  if (count != nullptr) *count = t.count;
  return descs;
}
