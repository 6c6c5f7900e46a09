// Agent connections: opening a JDBC connection through the configured class
// (a JDBC Driver, or a DataSource, ConnectionPoolDataSource or XADataSource
// set up from name=value;... property text), its set-up at connect (metadata,
// read-only, auto-commit, the initial SQL file, the server's type table),
// disconnect, commit and rollback.
#ifndef QMR_DRV_JDBC_J_CONN_H
#define QMR_DRV_JDBC_J_CONN_H

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drv_jdbc/drv_agent.h"
#include "drv_jdbc/j-conninfo.h"
#include "drv_jdbc/j-records.h"

// The class list used when the connect names no class: the first class
// connects, the one after the ';' is the class of XA connections.
extern const char DriverClassList[];

// Data-source properties parsed from "name=value;name=value" text. A
// property without '=' has no value (hasValue false).
struct DsProp {
  std::string name;
  std::string value;
  bool hasValue = false;
};
struct DsPropList {
  std::vector<DsProp> items;
};

// Splits at the ';' that stand outside braces; each item splits at its first
// '=' (the value keeps its braces). A ';' at the very end adds no item; two
// in a row add an item with an empty name. A new list (JC_FreeProps frees
// it), or null for null text.
DsPropList* JC_ParseProps(const char* text);
void JC_FreeProps(DsPropList* list);

// Calls "set<Name>" on the data source for each property, trying the parameter
// types String, int, boolean and none in that order. 0, ERR_GENERAL (no setter,
// or a setter threw: posted on the connection) or ERR_NO_MEMORY.
uint32_t JC_SetDataSourceProp(JdbcConn* c, jclass cls, jobject ds, const DsPropList* props);

// The two ways to open the connection, and the choice between them by the
// kind of the class (Driver, DataSource, ConnectionPoolDataSource,
// XADataSource). *out receives a local reference. 0, ERR_DRIVER_NOT_LOADED
// (class not found), ERR_GENERAL, ERR_NO_MEMORY or ERR_CANNOT_CONNECT (the
// connect itself failed; a Java exception is posted on the connection).
namespace agent_connect {
enum { DS_KIND_DRIVER = 1, DS_KIND_DATASOURCE = 2, DS_KIND_POOLED = 3, DS_KIND_XA = 4 };
uint32_t _getConnection(JdbcConn* c, jobject* out, char* className, char* text, const char* user,
                        const char* password, char** xaClassOut);
uint32_t DriverManager_getConnection(JdbcConn* c, jobject* out, const char* className,
                                     const char* url, const char* user, const char* password);
// A new instance of a data-source class (loaded through the connection's
// class loader) with its properties set from the "name=value;..." text:
// local references in *cls and *ds. 0, ERR_DRIVER_NOT_LOADED, ERR_GENERAL or
// ERR_NO_MEMORY.
uint32_t NewDataSource(JdbcConn* c, const char* className, const char* text, jclass* cls,
                       jobject* ds);
// kind: DS_KIND_DATASOURCE, DS_KIND_POOLED or DS_KIND_XA.
uint32_t DataSource_getConnection(JdbcConn* c, jobject* out, int kind, const char* className,
                                  const char* text, const char* user, const char* password);
}  // namespace agent_connect

// The server type table of a new connection (SQL type -> JdbcTypeEntry*),
// read through the agent's own type-information statement once per JDBC
// driver, URL and user in the process, and copied for later connections.
// Never null unless memory runs out; empty when the information cannot be
// read.
HASH_TABLE* loadTypeInfo(uint32_t connHandle, JdbcConn* c);
// Frees a type table and its entries.
void JC_FreeTypeTable(HASH_TABLE* table);

// Frees the record and everything it owns (not its Java objects: those are
// released by disconnect or by the failed connect).
void freeConnRec(JdbcConn* c);

extern "C" {
uint32_t DRV_Connect(uint32_t env, ConnectInfo* info, uint32_t* conn);
uint32_t DRV_Disconnect(uint32_t conn);
uint32_t DRV_Commit(uint32_t conn);
uint32_t DRV_Rollback(uint32_t conn);
}

#endif
