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

#endif
