// The call dispatcher: every exported ODBC entry point hands its call
// descriptor and its arguments to CallODBC, which checks the handle, takes
// the locks, marks the connection busy, clears the handle's diagnostics when
// asked, traces the call and runs the operation.
//
// Argument protocol. An operation receives its handle record (null for calls
// without a handle) and the variadic list positioned behind the handle; it
// reads the ODBC arguments in ODBC order with va_arg, after the default
// promotions: SQLSMALLINT/SQLUSMALLINT arrive as int, SQLINTEGER as int,
// SQLUINTEGER as unsigned, SQLLEN as long, SQLULEN as unsigned long,
// pointers and handles as pointers. Entry points whose operation decides
// itself whether a value is text pass one trailing int: 'A' from the 8-bit
// wrapper, 'W' from the UTF-16 one.
#ifndef QMR_DRIVER_DISPATCH_H
#define QMR_DRIVER_DISPATCH_H

#include <cstdarg>
#include <cstdint>

#include "driver/handles.h"
#include "platform/lock.h"
#include "util/errcodes.h"
#include "util/handle_table.h"

// The 16-bit ODBC return code (SQLRETURN).
typedef int16_t DRV_Return;

// An operation behind a call descriptor.
typedef DRV_Return (*DRV_Operation)(void* handle, va_list args);

// Kinds of handle a descriptor takes.
enum : uint32_t {
  kCallNoHandle = 1,
  kCallEnv = 2,
  kCallConn = 3,
  kCallStmt = 4,
  kCallDesc = 5,
};

// One call descriptor per entry point and handle kind (read only by CallODBC).
struct CallDesc {
  const char* name;       // ODBC function name without "SQL"
  const char* argFormat;  // printf format of the arguments behind the handle; "" = none
  uint32_t flagA;         // kept for the record; nothing reads it
  uint32_t flagB;         // 1: clear the handle's diagnostics first, offer failures to failover
  uint32_t kind;          // kCallNoHandle .. kCallDesc
  DRV_Operation op;
};

// Width markers passed by the wrappers.
constexpr int kWidthAnsi = 'A';
constexpr int kWidthWide = 'W';

// Handle-table tags.
constexpr uint32_t kEnvTableTag = 1;
constexpr uint32_t kConnTableTag = 2;
constexpr uint32_t kStmtTableTag = 3;
constexpr uint32_t kDescTableTag = 4;

// The four handle tables, used only under the call lock (they have no lock
// of their own).
extern HANDLE_TABLE gEnvTable;
extern HANDLE_TABLE gConnTable;
extern HANDLE_TABLE gStmtTable;
extern HANDLE_TABLE gDescTable;

// Process-wide locks; created once and never destroyed, so that calls racing
// with process exit find them intact. All three are recursive, so their
// rules are REQUIRES where a function needs one held, never EXCLUDES. The
// order, outermost first: a connection's call lock (handles.h), the
// serialising lock, the connect lock, the call lock, a handle table's lock.
// The call lock is never held while a connection's call lock is waited for.
// The annotations (driver/lock_order.h and handles.h) state the first four
// for the analysis; a handle table's lock is the innermost of all
// (util/handle_table.h).
// The call lock is biased: every call takes it twice, and a single-threaded
// application should pay no atomic operation for that. Inline, so that a
// call asks for it without a call of its own.
inline plat::RecursiveMutex& DRV_CallLock()  // handle lookups, busy marks, env calls
    RETURN_CAPABILITY(lock_order::callLock) {
  static auto* lock = new plat::RecursiveMutex(plat::RecursiveMutex::kBiased);
  return *lock;
}
plat::RecursiveMutex& DRV_ConnectLock()  // held around a whole connect
    RETURN_CAPABILITY(lock_order::connectLock);
plat::RecursiveMutex& DRV_SerialLock()  // serialises all calls while in use
    RETURN_CAPABILITY(lock_order::serialLock);

using DRV_CallHold = plat::UniqueLock<plat::RecursiveMutex>;

// Waits with the call lock (held once by the caller) until a call on some
// connection ends; the lock is released meanwhile, so whatever the caller
// looked up must be looked up again.
void DRV_WaitCallEnd(DRV_CallHold& callLock) REQUIRES(DRV_CallLock());
// The same, giving up after `ms` milliseconds.
void DRV_WaitCallEndFor(DRV_CallHold& callLock, unsigned ms) REQUIRES(DRV_CallLock());

// Runs one call. Arguments as for the ODBC function (after the wrapper's
// conversions); for handle kinds 2 to 5 the first is the handle. A call on
// a handle whose connection runs another thread's call waits for its turn,
// also when that call runs on the very same handle: a synchronous call
// never answers SQL_STILL_EXECUTING. A statement call that would work at
// the database (CD_Cancellable) that SQLCancel met waiting for its turn ends
// unrun with HY008; any other call runs when its turn comes.
DRV_Return CallODBC(const CallDesc* desc, ...);

// SQLCancel's dispatch of a statement no other thread runs: as CallODBC,
// except that it answers SQL_STILL_EXECUTING when it finds another thread's
// call running on the statement (SQLCancel then stops that call) and does
// not count as a call waiting for its turn. Takes the handle only.
DRV_Return CallODBCCancel(const CallDesc* desc, void* handle);

// Work a wrapper needs done after the operation while the call still holds
// the handle (busy mark and locks): converting a text result, say. `diag` is
// the called handle's diagnostic area (null for calls without a handle).
struct DRV_Post {
  DRV_Return (*fn)(void* ctx, void* record, DiagArea* diag, DRV_Return rc);
  void* ctx;
};
DRV_Return CallODBCPost(const CallDesc* desc, const DRV_Post* post, ...);

// The same dispatch (handle checks, busy mark, locks, trace) with the
// operation replaced by one that stores `code` on the handle and answers
// SQL_ERROR. Wrappers use it to refuse bad arguments they detect before the
// operation could (a negative length, say). Takes the handle only.
DRV_Return CallODBCRefuse(const CallDesc* desc, int32_t code, void* handle);

// Creates the handle tables; 0, also when already initialised, else -1.
int DRV_InitCalls();
// Frees the environments that are left (unless a connection is inside a
// call) and the handle tables; calls are refused afterwards. Returns 0.
int DRV_DoneCalls();
bool DRV_CallsReady();

// Decides once per process whether connection, statement and descriptor
// calls skip the serialising lock (agent type bit 2).
void DRV_NoteConnFlag(const DRV_Agent* agent);
uint32_t DRV_NoSerialise();

// Record of a handle number when it is alive and of that kind; callers hold
// the call lock while they use the result.
EnvHandle* DRV_LookupEnv(uint64_t handle) REQUIRES(DRV_CallLock());
ConnHandle* DRV_LookupConn(uint64_t handle) REQUIRES(DRV_CallLock());
StmtHandle* DRV_LookupStmt(uint64_t handle) REQUIRES(DRV_CallLock());
DescHandle* DRV_LookupDesc(uint64_t handle) REQUIRES(DRV_CallLock());

// The number in the 64-bit handle the application passed.
inline uint64_t DRV_HandleNumber(const void* h) { return reinterpret_cast<uintptr_t>(h); }
inline void* DRV_HandleValue(uint32_t number) {
  return reinterpret_cast<void*>(static_cast<uintptr_t>(number));
}

// The name of a return code for the trace ("SUCCESS", "NO_DATA_FOUND" ...).
const char* DRV_ReturnName(int rc);

#endif
