// Connection handles: allocation, release, closing and the pulling of the
// agent's messages. (Connecting itself is the connect path's.)
#ifndef QMR_DRIVER_CONN_H
#define QMR_DRIVER_CONN_H

#include <sql.h>

#include <cstdint>

#include "driver/handles.h"

struct JdbcConnSettings;

// New record linked into the environment; null (ERR_NO_MEMORY on the environment)
// when memory runs out.
ConnHandle* CONN_Alloc(EnvHandle* env);
// Information-answer caches back to "not set".
void CONN_Reset(ConnHandle* conn);
// Frees the connect texts (the password wiped first).
void CONN_FreeConnectTexts(ConnHandle* conn);
// Lets go of the connection's enlistment in a coordinator's transaction.
void CONN_ReleaseDtc(ConnHandle* conn);
// Closes and frees the statements, disconnects the agent, frees the
// connection's explicit descriptors. 0 or an internal error code.
int32_t CONN_Close(ConnHandle* conn);
// Releases the record: number, environment link, diagnostics; tag
// kTagReleased. The memory is freed by whoever holds the record last (the
// dispatcher after the call, or the environment's close).
void CONN_Free(ConnHandle* conn);

// Brings an allocated connection to connected through its agent: registers
// the agent, initialises it (DRV_Init), opens the agent connection from the
// connect texts and the settings block (DRV_Connect), reads the agent's
// capabilities and sets the connection options. mode 'W' marks a connect
// through a UTF-16 entry point. The agent may take the block's texts over
// (clearing them there); the caller frees what is left. Success leaves state
// 2 and pending code 0; failure leaves state 1, and the agent's messages
// followed by the driver's own on the connection.
void ConnOpen(ConnHandle* conn, int mode, JdbcConnSettings* settings);
// Asks the agent for the operation table of the connection's request kind
// (opTableKind); on failure the kind becomes 0. The agent's code.
uint32_t GetOpTable(ConnHandle* conn);

// The registration ConnOpen runs (default DRV_RegisterAgent). Core tests put
// a fake agent behind their connections with it; null restores the default.
void CONN_SetAgentRegistrar(int (*registrar)(DRV_Agent* agent));

// The checks before a statement or a descriptor is allocated on the
// connection: a place for the new handle (cleared here) and a live
// connection. On false the failure is pending on the connection.
bool CONN_ReadyForChild(ConnHandle* conn, SQLHANDLE* out);

// Pull the agent's messages into the connection's list (or the statement's
// when given); the number of messages pulled.
int CONN_PullErrors(ConnHandle* conn);
int DRV_PullErrors(ConnHandle* conn, StmtHandle* stmt);

// Hides in every record of area each password the connection was given
// (PWD, and those of its JDBC URL), wherever a message quotes one.
void CONN_MaskSecrets(const ConnHandle* conn, DiagArea* area);

// Marks the connection lost when the area reports a communication failure:
// SQL_ATTR_CONNECTION_DEAD answers from this until the next connect.
void CONN_NoteLinkState(ConnHandle* conn, const DiagArea* area);
// The one step under both: the messages the agent keeps for one of its
// handles into area; how many (0 when there is no error call or it fails).
int DRV_PullErrorBatch(const DRV_OpTable* ops, uint32_t agentHandle, DiagArea* area);

#endif
