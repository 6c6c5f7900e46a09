// Wrappers of java.sql.Connection.
#ifndef QMR_DRV_JDBC_J_WRAP_CONN_H
#define QMR_DRV_JDBC_J_WRAP_CONN_H

#include <string>
#include <vector>

#include "drv_jdbc/j-wrap-types.h"

namespace Connection {

uint32_t getMetaData(JdbcConn* c, jobject conn, jobject* md);
uint32_t getAutoCommit(JdbcConn* c, jobject conn, uint8_t* on);
uint32_t isReadOnly(JdbcConn* c, jobject conn, uint8_t* on);
uint32_t isClosed(JdbcConn* c, jobject conn, uint8_t* closed);
uint32_t getTransactionIsolation(JdbcConn* c, jobject conn, int32_t* level);
// At most size - 1 bytes and a NUL; a null catalog gives empty text.
uint32_t getCatalog(JdbcConn* c, jobject conn, char* buf, uint32_t size);
uint32_t createStatement(JdbcConn* c, jobject conn, jobject* stmt);
// Statement forms: the new object replaces the statement's Java statement
// (a global reference is kept in s->statement; the previous one is deleted).
uint32_t createStatement(JdbcStmt* s, jobject conn);
uint32_t prepareStatement(JdbcStmt* s, jobject conn, const char* sql);
uint32_t prepareCall(JdbcStmt* s, jobject conn, const char* sql);
// Prepares sql and closes the statement at once: 0 when the JDBC driver
// took the text.
uint32_t prepareAndClose(JdbcConn* c, jobject conn, const char* sql);
// Runs a query on a statement of its own and gives the first column of
// each row as text (a null as empty text).
uint32_t queryFirstColumn(JdbcConn* c, jobject conn, const char* sql,
                          std::vector<std::string>* texts);
uint32_t close(JdbcConn* c, jobject conn);
uint32_t commit(JdbcConn* c, jobject conn);
uint32_t rollback(JdbcConn* c, jobject conn);
uint32_t setAutoCommit(JdbcConn* c, jobject conn, bool on);
uint32_t setReadOnly(JdbcConn* c, jobject conn, bool on);
uint32_t setCatalog(JdbcConn* c, jobject conn, const char* catalog);
uint32_t setTransactionIsolation(JdbcConn* c, jobject conn, int32_t level);
// *out: a malloc copy of the answer (empty text for null); ERR_NO_MEMORY
// when the copy cannot be made.
uint32_t nativeSQL(JdbcConn* c, jobject conn, const char* sql, char** out);

}  // namespace Connection

#endif
