// The initial SQL file of a data source (INITSQL / InitialSQL): statements
// run on a new connection right after it is opened and set up.
#ifndef QMR_DRV_JDBC_J_INITSQL_H
#define QMR_DRV_JDBC_J_INITSQL_H

#include <jni.h>

#include <cstdio>
#include <functional>
#include <string>

struct JdbcConn;

// The file name actually opened: ".sql" is appended when the last path
// component has no extension (no '.' after its first character).
std::string JC_InitialSqlPath(const char* name);

// Reads the statements of an open file and hands each complete one to run
// (its text without the final ';', lines joined by one blank). A line whose
// first non-blank character is '#' is a comment; blank lines are skipped; a
// statement ends with a line whose last non-blank character is ';'.
// Returns 0 when every statement was terminated, else the number of lines
// read (the file ended inside a statement).
unsigned JC_ReadInitialSql(std::FILE* fp, const std::function<void(const std::string&)>& run);

// Runs the statements of the file on the connection. 0 when every statement
// was terminated; -1 when the file could not be opened, no statement object
// could be made, or the file ended inside a statement. Statements that fail
// are logged and skipped (their diagnostics go to the connection's list).
int runInitialSQL(JdbcConn* conn, jobject connection, const char* file);

#endif
