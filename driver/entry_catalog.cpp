// Entry points: the catalog functions.
#include "driver/api.h"
#include "driver/calldescs.h"
#include "driver/wide.h"

#define QMR_REFUSE_IF_BAD(desc, stmt, ...) \
  if (int32_t code = DRV_FirstRefusal({__VA_ARGS__})) return CallODBCRefuse(&(desc), code, (stmt))

namespace {

// The wide form of a call whose arguments are three texts (catalog, schema,
// name): each converted to UTF-8, the call refused with the first refusal
// among them, else dispatched as the narrow form would be.
SQLRETURN WideTexts3(const CallDesc& desc, SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                     SQLWCHAR* schema, SQLSMALLINT schemaLen, SQLWCHAR* name, SQLSMALLINT nameLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(name, nameLen);
  QMR_REFUSE_IF_BAD(desc, stmt, &c, &s, &t);
  return CallODBC(&desc, stmt, c.text(), c.length(), s.text(), s.length(), t.text(), t.length());
}

// The same with a fourth text (column name or table types).
SQLRETURN WideTexts4(const CallDesc& desc, SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                     SQLWCHAR* schema, SQLSMALLINT schemaLen, SQLWCHAR* name, SQLSMALLINT nameLen,
                     SQLWCHAR* fourth, SQLSMALLINT fourthLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(name, nameLen), k(fourth, fourthLen);
  QMR_REFUSE_IF_BAD(desc, stmt, &c, &s, &t, &k);
  return CallODBC(&desc, stmt, c.text(), c.length(), s.text(), s.length(), t.text(), t.length(),
                  k.text(), k.length());
}

// The 8-bit form of the same: the texts read strictly (NarrowIn).
SQLRETURN NarrowTexts3(const CallDesc& desc, SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                       SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* name, SQLSMALLINT nameLen) {
  NarrowIn c(cat, catLen), s(schema, schemaLen), t(name, nameLen);
  return CallODBC(&desc, stmt, c.text(), c.length(), s.text(), s.length(), t.text(), t.length());
}

SQLRETURN NarrowTexts4(const CallDesc& desc, SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                       SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* name, SQLSMALLINT nameLen,
                       SQLCHAR* fourth, SQLSMALLINT fourthLen) {
  NarrowIn c(cat, catLen), s(schema, schemaLen), t(name, nameLen), k(fourth, fourthLen);
  return CallODBC(&desc, stmt, c.text(), c.length(), s.text(), s.length(), t.text(), t.length(),
                  k.text(), k.length());
}

}  // namespace

QMR_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                       SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table,
                                       SQLSMALLINT tableLen, SQLCHAR* type, SQLSMALLINT typeLen) {
  return NarrowTexts4(CD_Tables, stmt, cat, catLen, schema, schemaLen, table, tableLen, type,
                      typeLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                        SQLWCHAR* schema, SQLSMALLINT schemaLen, SQLWCHAR* table,
                                        SQLSMALLINT tableLen, SQLWCHAR* type, SQLSMALLINT typeLen) {
  return WideTexts4(CD_TablesW, stmt, cat, catLen, schema, schemaLen, table, tableLen, type,
                    typeLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                        SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table,
                                        SQLSMALLINT tableLen, SQLCHAR* column,
                                        SQLSMALLINT columnLen) {
  return NarrowTexts4(CD_Columns, stmt, cat, catLen, schema, schemaLen, table, tableLen, column,
                      columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                         SQLWCHAR* schema, SQLSMALLINT schemaLen, SQLWCHAR* table,
                                         SQLSMALLINT tableLen, SQLWCHAR* column,
                                         SQLSMALLINT columnLen) {
  return WideTexts4(CD_ColumnsW, stmt, cat, catLen, schema, schemaLen, table, tableLen, column,
                    columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLColumnPrivileges(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                                 SQLCHAR* schema, SQLSMALLINT schemaLen,
                                                 SQLCHAR* table, SQLSMALLINT tableLen,
                                                 SQLCHAR* column, SQLSMALLINT columnLen) {
  return NarrowTexts4(CD_ColumnPrivileges, stmt, cat, catLen, schema, schemaLen, table, tableLen,
                      column, columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLColumnPrivilegesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                                  SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                                  SQLWCHAR* table, SQLSMALLINT tableLen,
                                                  SQLWCHAR* column, SQLSMALLINT columnLen) {
  return WideTexts4(CD_ColumnPrivilegesW, stmt, cat, catLen, schema, schemaLen, table, tableLen,
                    column, columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLTablePrivileges(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                                SQLCHAR* schema, SQLSMALLINT schemaLen,
                                                SQLCHAR* table, SQLSMALLINT tableLen) {
  return NarrowTexts3(CD_TablePrivileges, stmt, cat, catLen, schema, schemaLen, table, tableLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLTablePrivilegesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                                 SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                                 SQLWCHAR* table, SQLSMALLINT tableLen) {
  return WideTexts3(CD_TablePrivilegesW, stmt, cat, catLen, schema, schemaLen, table, tableLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                            SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table,
                                            SQLSMALLINT tableLen) {
  return NarrowTexts3(CD_PrimaryKeys, stmt, cat, catLen, schema, schemaLen, table, tableLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                             SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                             SQLWCHAR* table, SQLSMALLINT tableLen) {
  return WideTexts3(CD_PrimaryKeysW, stmt, cat, catLen, schema, schemaLen, table, tableLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT stmt, SQLCHAR* pkCat, SQLSMALLINT pkCatLen,
                                            SQLCHAR* pkSchema, SQLSMALLINT pkSchemaLen,
                                            SQLCHAR* pkTable, SQLSMALLINT pkTableLen,
                                            SQLCHAR* fkCat, SQLSMALLINT fkCatLen, SQLCHAR* fkSchema,
                                            SQLSMALLINT fkSchemaLen, SQLCHAR* fkTable,
                                            SQLSMALLINT fkTableLen) {
  NarrowIn a(pkCat, pkCatLen), b(pkSchema, pkSchemaLen), c(pkTable, pkTableLen);
  NarrowIn d(fkCat, fkCatLen), e(fkSchema, fkSchemaLen), f(fkTable, fkTableLen);
  return CallODBC(&CD_ForeignKeys, stmt, a.text(), a.length(), b.text(), b.length(), c.text(),
                  c.length(), d.text(), d.length(), e.text(), e.length(), f.text(), f.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT stmt, SQLWCHAR* pkCat, SQLSMALLINT pkCatLen,
                                             SQLWCHAR* pkSchema, SQLSMALLINT pkSchemaLen,
                                             SQLWCHAR* pkTable, SQLSMALLINT pkTableLen,
                                             SQLWCHAR* fkCat, SQLSMALLINT fkCatLen,
                                             SQLWCHAR* fkSchema, SQLSMALLINT fkSchemaLen,
                                             SQLWCHAR* fkTable, SQLSMALLINT fkTableLen) {
  WideIn a(pkCat, pkCatLen), b(pkSchema, pkSchemaLen), c(pkTable, pkTableLen);
  WideIn d(fkCat, fkCatLen), e(fkSchema, fkSchemaLen), f(fkTable, fkTableLen);
  QMR_REFUSE_IF_BAD(CD_ForeignKeysW, stmt, &a, &b, &c, &d, &e, &f);
  return CallODBC(&CD_ForeignKeysW, stmt, a.text(), a.length(), b.text(), b.length(), c.text(),
                  c.length(), d.text(), d.length(), e.text(), e.length(), f.text(), f.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLStatistics(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                           SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table,
                                           SQLSMALLINT tableLen, SQLUSMALLINT unique,
                                           SQLUSMALLINT accuracy) {
  NarrowIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen);
  return CallODBC(&CD_Statistics, stmt, c.text(), c.length(), s.text(), s.length(), t.text(),
                  t.length(), unique, accuracy);
}

QMR_EXPORT SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                            SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                            SQLWCHAR* table, SQLSMALLINT tableLen,
                                            SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen);
  QMR_REFUSE_IF_BAD(CD_StatisticsW, stmt, &c, &s, &t);
  return CallODBC(&CD_StatisticsW, stmt, c.text(), c.length(), s.text(), s.length(), t.text(),
                  t.length(), unique, accuracy);
}

QMR_EXPORT SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT stmt, SQLUSMALLINT kind, SQLCHAR* cat,
                                               SQLSMALLINT catLen, SQLCHAR* schema,
                                               SQLSMALLINT schemaLen, SQLCHAR* table,
                                               SQLSMALLINT tableLen, SQLUSMALLINT scope,
                                               SQLUSMALLINT nullable) {
  NarrowIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen);
  return CallODBC(&CD_SpecialColumns, stmt, kind, c.text(), c.length(), s.text(), s.length(),
                  t.text(), t.length(), scope, nullable);
}

QMR_EXPORT SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT stmt, SQLUSMALLINT kind, SQLWCHAR* cat,
                                                SQLSMALLINT catLen, SQLWCHAR* schema,
                                                SQLSMALLINT schemaLen, SQLWCHAR* table,
                                                SQLSMALLINT tableLen, SQLUSMALLINT scope,
                                                SQLUSMALLINT nullable) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen);
  QMR_REFUSE_IF_BAD(CD_SpecialColumnsW, stmt, &c, &s, &t);
  return CallODBC(&CD_SpecialColumnsW, stmt, kind, c.text(), c.length(), s.text(), s.length(),
                  t.text(), t.length(), scope, nullable);
}

QMR_EXPORT SQLRETURN SQL_API SQLProcedures(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                           SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* proc,
                                           SQLSMALLINT procLen) {
  return NarrowTexts3(CD_Procedures, stmt, cat, catLen, schema, schemaLen, proc, procLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLProceduresW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                            SQLWCHAR* schema, SQLSMALLINT schemaLen, SQLWCHAR* proc,
                                            SQLSMALLINT procLen) {
  return WideTexts3(CD_ProceduresW, stmt, cat, catLen, schema, schemaLen, proc, procLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                                 SQLCHAR* schema, SQLSMALLINT schemaLen,
                                                 SQLCHAR* proc, SQLSMALLINT procLen,
                                                 SQLCHAR* column, SQLSMALLINT columnLen) {
  return NarrowTexts4(CD_ProcedureColumns, stmt, cat, catLen, schema, schemaLen, proc, procLen,
                      column, columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                                  SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                                  SQLWCHAR* proc, SQLSMALLINT procLen,
                                                  SQLWCHAR* column, SQLSMALLINT columnLen) {
  return WideTexts4(CD_ProcedureColumnsW, stmt, cat, catLen, schema, schemaLen, proc, procLen,
                    column, columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallODBC(&CD_GetTypeInfo, stmt, type);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallODBC(&CD_GetTypeInfoW, stmt, type);
}
