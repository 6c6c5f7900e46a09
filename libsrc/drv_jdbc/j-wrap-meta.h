// Wrappers of java.sql.DatabaseMetaData. The catalog methods take their Java
// arguments made by the caller (a null jstring passes Java null) and answer
// the ResultSet as a local reference.
#ifndef QMR_DRV_JDBC_J_WRAP_META_H
#define QMR_DRV_JDBC_J_WRAP_META_H

#include "drv_jdbc/j-wrap-types.h"

namespace DatabaseMetaData {

// Getters named by the caller, e.g. "getDatabaseProductName".
// Text: at most size - 1 bytes and a NUL (UTF-8 in UTF-8 mode); null gives
// empty text.
uint32_t getStringByName(JdbcConn* c, jobject md, const char* method, char* buf, uint32_t size);
uint32_t getBooleanByName(JdbcConn* c, jobject md, const char* method, uint8_t* value);
uint32_t getIntByName(JdbcConn* c, jobject md, const char* method, int32_t* value);

uint32_t supportsConvert(JdbcConn* c, jobject md, int32_t fromType, int32_t toType, uint8_t* value);
uint32_t supportsTransactionIsolationLevel(JdbcConn* c, jobject md, int32_t level, uint8_t* value);

uint32_t getTables(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                   jobjectArray types, jobject* rs);
uint32_t getCatalogs(JdbcStmt* s, jobject md, jobject* rs);
uint32_t getSchemas(JdbcStmt* s, jobject md, jobject* rs);
uint32_t getTableTypes(JdbcStmt* s, jobject md, jobject* rs);
uint32_t getColumns(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                    jstring column, jobject* rs);
uint32_t getProcedureColumns(JdbcStmt* s, jobject md, jstring catalog, jstring schema,
                             jstring procedure, jstring column, jobject* rs);
uint32_t getProcedures(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring procedure,
                       jobject* rs);
uint32_t getFunctions(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring function,
                      jobject* rs);
uint32_t getTablePrivileges(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                            jobject* rs);
uint32_t getColumnPrivileges(JdbcStmt* s, jobject md, jstring catalog, jstring schema,
                             jstring table, jstring column, jobject* rs);
uint32_t getIndexInfo(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                      bool unique, bool approximate, jobject* rs);
uint32_t getPrimaryKeys(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                        jobject* rs);
uint32_t getVersionColumns(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                           jobject* rs);
uint32_t getBestRowIdentifier(JdbcStmt* s, jobject md, jstring catalog, jstring schema,
                              jstring table, int32_t scope, bool nullable, jobject* rs);
uint32_t getTypeInfo(JdbcStmt* s, jobject md, jobject* rs);
uint32_t getCrossReference(JdbcStmt* s, jobject md, jstring pkCatalog, jstring pkSchema,
                           jstring pkTable, jstring fkCatalog, jstring fkSchema, jstring fkTable,
                           jobject* rs);
uint32_t getImportedKeys(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                         jobject* rs);
uint32_t getExportedKeys(JdbcStmt* s, jobject md, jstring catalog, jstring schema, jstring table,
                         jobject* rs);

}  // namespace DatabaseMetaData

#endif
