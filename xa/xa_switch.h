// The X/Open XA switch of the driver: a transaction manager takes it with
// qmr_xa_switch() (or GetXaSwitch), opens an XA connection per resource
// manager and thread with the open string "DSN=...;...", drives the
// branches through it, and the application works on the ODBC handles that
// SQLGetXaEnv and SQLGetXaConnect give the thread.
//
// A thread may hold one open connection per resource manager id. The
// handles SQLGetXaConnect answers are those of the thread's connection that
// last had a branch started (xa_start), else the one opened last: a
// manager that drives two resource managers on one thread starts the
// branch of the one the application is about to use.
#ifndef QMR_XA_XA_SWITCH_H
#define QMR_XA_XA_SWITCH_H

#include <cstdint>
#include <string>

#include "driver/api.h"
#include "drv_jdbc/drv_agent.h"
#include "util/xa.h"

// The switch for the coordinator's recovery: 0 with *xaSwitch the process's
// switch record, E_FAIL when the transaction code cannot start, E_POINTER
// without xaSwitch.
QMR_EXPORT int32_t GetXaSwitch(uint32_t flags, void** xaSwitch);

// The longest open string and data source name the switch takes.
constexpr size_t kXaInfoMax = 255;

// The process's switch record (filled once), for GetXaSwitch.
xa_switch_t* XA_SwitchRecord();
// Opens the XA trace when it is configured and not open; fills the switch.
int XA_InitSwitch();
// At process detach: the trace's last line, and the trace closed.
void XA_End();

// The data source an open string names: the value of its DSN keyword (the
// connection-string rules: any case, braces). False without one, or when
// it is longer than kXaInfoMax.
bool XA_GetDSN(const char* xaInfo, std::string* dsn);
// The data source's odbc.ini value "XaInfo" ("" when absent); false when it
// is longer than kXaInfoMax.
bool XA_GetXaInfo(const std::string& dsn, std::string* out);

// The agent's XA operations, through the connection's agent table (the
// worker-thread proxy's), with the agent's own return code. xaData is the
// connection's XA data word (not passed on).
int32_t XA_AgentOpen(const DRV_Agent* agent, uint32_t conn, void** xaData, uint32_t useThread,
                     const char* info, int32_t rmid, int64_t flags);
int32_t XA_AgentClose(const DRV_Agent* agent, uint32_t conn, void** xaData, const char* info,
                      int32_t rmid, int64_t flags);
// The six operations on one XID; slot is the table member.
int32_t XA_AgentXid(const DRV_Agent* agent, uint32_t conn, void** xaData,
                    DRV_XaXid_t DRV_OpTable::*slot, XID* xid, int32_t rmid, int64_t flags);
int32_t XA_AgentRecover(const DRV_Agent* agent, uint32_t conn, void** xaData, XID* xids,
                        int64_t count, int32_t rmid, int64_t flags);
int32_t XA_AgentComplete(const DRV_Agent* agent, uint32_t conn, void** xaData, int* handle,
                         int* retval, int32_t rmid, int64_t flags);

#endif
