// Entry points: the catalog functions.
#include "driver/api.h"
#include "driver/calldescs.h"
#include "driver/wide.h"

#define QMR_REFUSE_IF_BAD(desc, stmt, ...)                          \
  if (int32_t code = DRV_FirstRefusal({__VA_ARGS__}))               \
  return CallODBCRefuse(&(desc), code, (stmt))

QMR_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                       SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table,
                                       SQLSMALLINT tableLen, SQLCHAR* type, SQLSMALLINT typeLen) {
  return CallODBC(&CD_Tables, stmt, cat, catLen, schema, schemaLen, table, tableLen, type,
                  typeLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLTablesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                        SQLWCHAR* schema, SQLSMALLINT schemaLen, SQLWCHAR* table,
                                        SQLSMALLINT tableLen, SQLWCHAR* type,
                                        SQLSMALLINT typeLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen), y(type, typeLen);
  QMR_REFUSE_IF_BAD(CD_TablesW, stmt, &c, &s, &t, &y);
  return CallODBC(&CD_TablesW, stmt, c.text(), c.length(), s.text(), s.length(), t.text(),
                  t.length(), y.text(), y.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                        SQLCHAR* schema, SQLSMALLINT schemaLen, SQLCHAR* table,
                                        SQLSMALLINT tableLen, SQLCHAR* column,
                                        SQLSMALLINT columnLen) {
  return CallODBC(&CD_Columns, stmt, cat, catLen, schema, schemaLen, table, tableLen, column,
                  columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLColumnsW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                         SQLWCHAR* schema, SQLSMALLINT schemaLen, SQLWCHAR* table,
                                         SQLSMALLINT tableLen, SQLWCHAR* column,
                                         SQLSMALLINT columnLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen), k(column, columnLen);
  QMR_REFUSE_IF_BAD(CD_ColumnsW, stmt, &c, &s, &t, &k);
  return CallODBC(&CD_ColumnsW, stmt, c.text(), c.length(), s.text(), s.length(), t.text(),
                  t.length(), k.text(), k.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLColumnPrivileges(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                                 SQLCHAR* schema, SQLSMALLINT schemaLen,
                                                 SQLCHAR* table, SQLSMALLINT tableLen,
                                                 SQLCHAR* column, SQLSMALLINT columnLen) {
  return CallODBC(&CD_ColumnPrivileges, stmt, cat, catLen, schema, schemaLen, table, tableLen,
                  column, columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLColumnPrivilegesW(SQLHSTMT stmt, SQLWCHAR* cat,
                                                  SQLSMALLINT catLen, SQLWCHAR* schema,
                                                  SQLSMALLINT schemaLen, SQLWCHAR* table,
                                                  SQLSMALLINT tableLen, SQLWCHAR* column,
                                                  SQLSMALLINT columnLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen), k(column, columnLen);
  QMR_REFUSE_IF_BAD(CD_ColumnPrivilegesW, stmt, &c, &s, &t, &k);
  return CallODBC(&CD_ColumnPrivilegesW, stmt, c.text(), c.length(), s.text(), s.length(),
                  t.text(), t.length(), k.text(), k.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLTablePrivileges(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                                SQLCHAR* schema, SQLSMALLINT schemaLen,
                                                SQLCHAR* table, SQLSMALLINT tableLen) {
  return CallODBC(&CD_TablePrivileges, stmt, cat, catLen, schema, schemaLen, table, tableLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLTablePrivilegesW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                                 SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                                 SQLWCHAR* table, SQLSMALLINT tableLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen);
  QMR_REFUSE_IF_BAD(CD_TablePrivilegesW, stmt, &c, &s, &t);
  return CallODBC(&CD_TablePrivilegesW, stmt, c.text(), c.length(), s.text(), s.length(),
                  t.text(), t.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                            SQLCHAR* schema, SQLSMALLINT schemaLen,
                                            SQLCHAR* table, SQLSMALLINT tableLen) {
  return CallODBC(&CD_PrimaryKeys, stmt, cat, catLen, schema, schemaLen, table, tableLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                             SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                             SQLWCHAR* table, SQLSMALLINT tableLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), t(table, tableLen);
  QMR_REFUSE_IF_BAD(CD_PrimaryKeysW, stmt, &c, &s, &t);
  return CallODBC(&CD_PrimaryKeysW, stmt, c.text(), c.length(), s.text(), s.length(), t.text(),
                  t.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT stmt, SQLCHAR* pkCat, SQLSMALLINT pkCatLen,
                                            SQLCHAR* pkSchema, SQLSMALLINT pkSchemaLen,
                                            SQLCHAR* pkTable, SQLSMALLINT pkTableLen,
                                            SQLCHAR* fkCat, SQLSMALLINT fkCatLen,
                                            SQLCHAR* fkSchema, SQLSMALLINT fkSchemaLen,
                                            SQLCHAR* fkTable, SQLSMALLINT fkTableLen) {
  return CallODBC(&CD_ForeignKeys, stmt, pkCat, pkCatLen, pkSchema, pkSchemaLen, pkTable,
                  pkTableLen, fkCat, fkCatLen, fkSchema, fkSchemaLen, fkTable, fkTableLen);
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
                                           SQLCHAR* schema, SQLSMALLINT schemaLen,
                                           SQLCHAR* table, SQLSMALLINT tableLen,
                                           SQLUSMALLINT unique, SQLUSMALLINT accuracy) {
  return CallODBC(&CD_Statistics, stmt, cat, catLen, schema, schemaLen, table, tableLen, unique,
                  accuracy);
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
  return CallODBC(&CD_SpecialColumns, stmt, kind, cat, catLen, schema, schemaLen, table,
                  tableLen, scope, nullable);
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
  return CallODBC(&CD_Procedures, stmt, cat, catLen, schema, schemaLen, proc, procLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLProceduresW(SQLHSTMT stmt, SQLWCHAR* cat, SQLSMALLINT catLen,
                                            SQLWCHAR* schema, SQLSMALLINT schemaLen,
                                            SQLWCHAR* proc, SQLSMALLINT procLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), p(proc, procLen);
  QMR_REFUSE_IF_BAD(CD_ProceduresW, stmt, &c, &s, &p);
  return CallODBC(&CD_ProceduresW, stmt, c.text(), c.length(), s.text(), s.length(), p.text(),
                  p.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLProcedureColumns(SQLHSTMT stmt, SQLCHAR* cat, SQLSMALLINT catLen,
                                                 SQLCHAR* schema, SQLSMALLINT schemaLen,
                                                 SQLCHAR* proc, SQLSMALLINT procLen,
                                                 SQLCHAR* column, SQLSMALLINT columnLen) {
  return CallODBC(&CD_ProcedureColumns, stmt, cat, catLen, schema, schemaLen, proc, procLen,
                  column, columnLen);
}

QMR_EXPORT SQLRETURN SQL_API SQLProcedureColumnsW(SQLHSTMT stmt, SQLWCHAR* cat,
                                                  SQLSMALLINT catLen, SQLWCHAR* schema,
                                                  SQLSMALLINT schemaLen, SQLWCHAR* proc,
                                                  SQLSMALLINT procLen, SQLWCHAR* column,
                                                  SQLSMALLINT columnLen) {
  WideIn c(cat, catLen), s(schema, schemaLen), p(proc, procLen), k(column, columnLen);
  QMR_REFUSE_IF_BAD(CD_ProcedureColumnsW, stmt, &c, &s, &p, &k);
  return CallODBC(&CD_ProcedureColumnsW, stmt, c.text(), c.length(), s.text(), s.length(),
                  p.text(), p.length(), k.text(), k.length());
}

QMR_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallODBC(&CD_GetTypeInfo, stmt, type);
}

QMR_EXPORT SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT stmt, SQLSMALLINT type) {
  return CallODBC(&CD_GetTypeInfoW, stmt, type);
}
