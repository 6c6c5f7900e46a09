// Wrappers of java.sql.ResultSet and ResultSetMetaData.
#ifndef QMR_DRV_JDBC_J_WRAP_RS_H
#define QMR_DRV_JDBC_J_WRAP_RS_H

#include "drv_jdbc/j-wrap-get.h"
#include "drv_jdbc/j-wrap-types.h"

namespace ResultSet {

// The value getters (getBoolean ... getTimestamp, wasNull) are the shared
// ones, by column index.
using namespace ValueGetters;

// The plain decimal text (toPlainString) of a BigDecimal value, else getString.
uint32_t getString_5(JdbcStmt* s, jobject rs, int32_t column, char* buf, uint32_t size,
                     uint32_t* length);
uint32_t getMetaData(JdbcStmt* s, jobject rs, jobject* md);
uint32_t close(JdbcStmt* s, jobject rs);
uint32_t next(JdbcStmt* s, jobject rs, uint8_t* more);

}  // namespace ResultSet

namespace ResultSetMetaData {

uint32_t getColumnCount(JdbcStmt* s, jobject md, int32_t* count);
uint32_t getColumnDisplaySize(JdbcStmt* s, jobject md, int32_t column, int32_t* size);
uint32_t getColumnType(JdbcStmt* s, jobject md, int32_t column, int32_t* type);
uint32_t getPrecision(JdbcStmt* s, jobject md, int32_t column, int32_t* precision);
uint32_t getScale(JdbcStmt* s, jobject md, int32_t column, int32_t* scale);
uint32_t isNullable(JdbcStmt* s, jobject md, int32_t column, int32_t* nullable);
uint32_t isCaseSensitive(JdbcStmt* s, jobject md, int32_t column, uint8_t* value);
uint32_t isAutoIncrement(JdbcStmt* s, jobject md, int32_t column, uint8_t* value);
uint32_t isSearchable(JdbcStmt* s, jobject md, int32_t column, uint8_t* value);
// Into a name buffer of COLDESC_NAME_CHARS characters and a NUL (cut at a
// character boundary).
uint32_t getColumnLabel(JdbcStmt* s, jobject md, int32_t column, char* name);
// A malloc copy (empty text for null), or ERR_NO_MEMORY.
uint32_t getColumnLabel(JdbcStmt* s, jobject md, int32_t column, char** label);
uint32_t getColumnName(JdbcStmt* s, jobject md, int32_t column, char** name);
uint32_t getColumnTypeName(JdbcStmt* s, jobject md, int32_t column, char** name);
uint32_t getTableName(JdbcStmt* s, jobject md, int32_t column, char** name);
uint32_t getSchemaName(JdbcStmt* s, jobject md, int32_t column, char** name);
uint32_t isReadOnly(JdbcStmt* s, jobject md, int32_t column, uint8_t* value);
uint32_t isWritable(JdbcStmt* s, jobject md, int32_t column, uint8_t* value);

}  // namespace ResultSetMetaData

#endif
