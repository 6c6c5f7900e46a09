// Connection handles: allocation, release, closing and the pulling of the
// agent's messages. (Connecting itself is the connect path's.)
#ifndef QMR_DRIVER_CONN_H
#define QMR_DRIVER_CONN_H

#include <cstdint>

#include "driver/handles.h"

// New record linked into the environment; null (code 16 on the environment)
// when memory runs out.
ConnHandle* CONN_Alloc(EnvHandle* env);
// Information-answer caches back to "not set".
void CONN_Reset(ConnHandle* conn);
// Closes and frees the statements, disconnects the agent, frees the
// connection's explicit descriptors. 0 or an internal error code.
int32_t ConnClose(ConnHandle* conn);
// Releases the record: number, environment link, diagnostics; tag
// kTagReleased. The memory is freed by whoever holds the record last (the
// dispatcher after the call, or the environment's close).
void CONN_Free(ConnHandle* conn);

// Pull the agent's messages into the connection's list (or the statement's
// when given); the number of messages pulled.
int CONN_PullErrors(ConnHandle* conn);
int DRV_PullErrors(ConnHandle* conn, StmtHandle* stmt);

#endif
