// The request block the core hands to the agent's catalog slots (25-34).
// Texts are NUL-terminated 8-bit (UTF-8) strings owned by the caller for the
// length of the call; any of them may be null. Which fields a slot reads:
//
//   DRV_DDTables                catalog, schema, name (table), extra (type list)
//   DRV_DDColumns               catalog, schema, name (table), extra (column)
//   DRV_DDColumnPrivileges      catalog, schema, name (table), extra (column)
//   DRV_DDProcedureColumns      catalog, schema, name (procedure), extra (column)
//   DRV_DDProcedures            catalog, schema, name (procedure)
//   DRV_DDTablePrivileges       catalog, schema, name (table)
//   DRV_DDPrimaryKeys           catalog, schema, name (table)
//   DRV_DDStatistics            catalog, schema, name; value[0] unique, value[1] accuracy
//   DRV_DDSpecialColumns        catalog, schema, name; value[0] identifier type,
//                               value[1] scope, value[2] nullable
//   DRV_DDForeignKeys           catalog, schema, name of the primary-key table;
//                               fkCatalog, fkSchema, fkName of the foreign-key table
#ifndef QMR_DRV_JDBC_DRV_CATALOG_H
#define QMR_DRV_JDBC_DRV_CATALOG_H

#include <strings.h>
#include <cstdint>

struct DRV_CatalogArgs {
  const char* catalog = nullptr;
  const char* schema = nullptr;
  const char* name = nullptr;
  const char* extra = nullptr;
  const char* fkCatalog = nullptr;
  const char* fkSchema = nullptr;
  const char* fkName = nullptr;
  uint16_t value[3] = {0, 0, 0};
};

// Whether name is the SQL standard's name of an ODBC 3 type (narrow text
// and date codes). A server may list several rows for one type (HSQLDB
// NVARCHAR before VARCHAR, PostgreSQL its identifier type "name"); the row
// under the standard name is the one that names a column of that type. BIT
// is left out: ODBC describes BOOLEAN columns as BIT too. The large object
// types go by their standard names too; unbounded text has none in the
// standard, TEXT is the one servers give it.
inline bool DRV_IsStandardTypeName(int16_t type, const char* name) {
  struct Standard {
    int16_t type;
    const char* name;
  };
  // CHAR 1, VARCHAR 12, LONGVARCHAR -1, ... as ODBC numbers them.
  static constexpr Standard kNames[] = {{1, "CHAR"},         {12, "VARCHAR"},
                                        {-1, "LONGVARCHAR"}, {2, "NUMERIC"},
                                        {3, "DECIMAL"},      {4, "INTEGER"},
                                        {5, "SMALLINT"},     {6, "FLOAT"},
                                        {7, "REAL"},         {8, "DOUBLE"},
                                        {-5, "BIGINT"},      {-6, "TINYINT"},
                                        {91, "DATE"},        {92, "TIME"},
                                        {93, "TIMESTAMP"},   {-2, "BINARY"},
                                        {-3, "VARBINARY"},   {-4, "LONGVARBINARY"},
                                        {-1, "CLOB"},        {-1, "CHARACTER LARGE OBJECT"},
                                        {-4, "BLOB"},        {-4, "BINARY LARGE OBJECT"},
                                        {-1, "TEXT"}};
  if (name == nullptr) return false;
  for (const Standard& s : kNames)
    if (s.type == type && strcasecmp(s.name, name) == 0) return true;
  return false;
}

#endif
