// The XA connections of the switch: one ODBC connection of the driver's own
// per thread and resource manager, on one shared environment.
#ifndef QMR_XA_XA_CONN_H
#define QMR_XA_XA_CONN_H

#include <cstdint>
#include <string>

#include "driver/api.h"

struct ConnHandle;

struct XA_CONN {
  SQLHDBC hdbc = nullptr;
  ConnHandle* conn = nullptr;  // the driver's record behind hdbc
};

struct XA_THREAD_CTX {
  int32_t rmid = 0;
  std::string xaInfo;  // the open string as given
  XA_CONN* xc = nullptr;
  XA_THREAD_CTX* next = nullptr;  // the thread's next context
};

// Connects with the whole open string; null (everything undone) when the
// connection cannot be made or its agent has no XA side. The environment's
// user count rises with a connection made.
XA_CONN* XA_ConnOpen(const char* xaInfo);
// Disconnects and frees; the last connection frees the shared environment.
void XA_ConnFree(XA_CONN* xc);
SQLHENV XA_SharedEnvHandle();

// The calling thread's contexts. XA_CtxFind: the one of rmid (and, when
// xaInfo is given, of that open string), or null. XA_CtxCurrent: the one
// SQLGetXaConnect answers with.
XA_THREAD_CTX* XA_CtxCreate(int32_t rmid, const char* xaInfo, XA_CONN* xc);
XA_THREAD_CTX* XA_CtxFind(int32_t rmid, const char* xaInfo = nullptr);
XA_THREAD_CTX* XA_CtxCurrent();
void XA_CtxMakeCurrent(XA_THREAD_CTX* ctx);
// Forgets the context (its connection is the caller's to free).
void XA_CtxRelease(XA_THREAD_CTX* ctx);

#endif
