// The X/Open XA interface as a Linux transaction manager compiles against
// it: the transaction identifier, the switch record, the flags and the
// return codes, with the values X/Open publishes for them. `long` is
// the platform's own (64 bits here), so the layouts match what a C
// transaction manager built on this platform hands us.
//
// Every XA code and flag the driver uses is named here and nowhere else.
#ifndef QMR_UTIL_XA_H
#define QMR_UTIL_XA_H

// ---------------------------------------------------------------------------
// Transaction identifier: the global transaction id followed directly by
// the branch qualifier in data. formatID -1 marks a null XID.
constexpr int XIDDATASIZE = 128;
constexpr long MAXGTRIDSIZE = 64;
constexpr long MAXBQUALSIZE = 64;
constexpr long XID_NULL_FORMAT = -1;

struct xid_t {
  long formatID;
  long gtrid_length;
  long bqual_length;
  char data[XIDDATASIZE];
};
typedef struct xid_t XID;

// ---------------------------------------------------------------------------
// The switch record a resource manager hands to the transaction manager.
constexpr int RMNAMESZ = 32;

struct xa_switch_t {
  char name[RMNAMESZ];
  long flags;
  long version;
  int (*xa_open_entry)(char* xa_info, int rmid, long flags);
  int (*xa_close_entry)(char* xa_info, int rmid, long flags);
  int (*xa_start_entry)(XID* xid, int rmid, long flags);
  int (*xa_end_entry)(XID* xid, int rmid, long flags);
  int (*xa_rollback_entry)(XID* xid, int rmid, long flags);
  int (*xa_prepare_entry)(XID* xid, int rmid, long flags);
  int (*xa_commit_entry)(XID* xid, int rmid, long flags);
  int (*xa_recover_entry)(XID* xids, long count, int rmid, long flags);
  int (*xa_forget_entry)(XID* xid, int rmid, long flags);
  int (*xa_complete_entry)(int* handle, int* retval, int rmid, long flags);
};

// ---------------------------------------------------------------------------
// Flags of the switch record and of the calls.
constexpr long TMNOFLAGS = 0x00000000L;
constexpr long TMREGISTER = 0x00000001L;    // switch: dynamic registration
constexpr long TMNOMIGRATE = 0x00000002L;   // switch: no association migration
constexpr long TMUSEASYNC = 0x00000004L;    // switch: asynchronous operations
constexpr long TMASYNC = 0x80000000L;       // perform the routine asynchronously
constexpr long TMONEPHASE = 0x40000000L;    // commit in one phase
constexpr long TMFAIL = 0x20000000L;        // end: mark the branch rollback-only
constexpr long TMNOWAIT = 0x10000000L;      // return rather than block
constexpr long TMRESUME = 0x08000000L;      // start: resume a suspended association
constexpr long TMSUCCESS = 0x04000000L;     // end: the work succeeded
constexpr long TMSUSPEND = 0x02000000L;     // end: suspend the association
constexpr long TMSTARTRSCAN = 0x01000000L;  // recover: start a scan
constexpr long TMENDRSCAN = 0x00800000L;    // recover: end the scan
constexpr long TMMULTIPLE = 0x00400000L;    // complete: wait for any operation
constexpr long TMJOIN = 0x00200000L;        // start: join an existing branch
constexpr long TMMIGRATE = 0x00100000L;     // start: the association may migrate

// ---------------------------------------------------------------------------
// Return codes.
constexpr int XA_RBBASE = 100;
constexpr int XA_RBROLLBACK = XA_RBBASE;      // rolled back, reason unspecified
constexpr int XA_RBCOMMFAIL = XA_RBBASE + 1;  // communication failure
constexpr int XA_RBDEADLOCK = XA_RBBASE + 2;
constexpr int XA_RBINTEGRITY = XA_RBBASE + 3;
constexpr int XA_RBOTHER = XA_RBBASE + 4;
constexpr int XA_RBPROTO = XA_RBBASE + 5;
constexpr int XA_RBTIMEOUT = XA_RBBASE + 6;
constexpr int XA_RBTRANSIENT = XA_RBBASE + 7;
constexpr int XA_RBEND = XA_RBTRANSIENT;

constexpr int XA_NOMIGRATE = 9;  // resumption must occur where suspension occurred
constexpr int XA_HEURHAZ = 8;    // the branch may have been heuristically completed
constexpr int XA_HEURCOM = 7;    // heuristically committed
constexpr int XA_HEURRB = 6;     // heuristically rolled back
constexpr int XA_HEURMIX = 5;    // partly committed, partly rolled back
constexpr int XA_RETRY = 4;      // no effect; may be retried
constexpr int XA_RDONLY = 3;     // the branch was read-only and has been committed
constexpr int XA_OK = 0;
constexpr int XAER_ASYNC = -2;    // an asynchronous operation is already outstanding
constexpr int XAER_RMERR = -3;    // a resource manager error occurred in the branch
constexpr int XAER_NOTA = -4;     // the XID is not valid
constexpr int XAER_INVAL = -5;    // invalid arguments were given
constexpr int XAER_PROTO = -6;    // routine invoked in an improper context
constexpr int XAER_RMFAIL = -7;   // the resource manager is unavailable
constexpr int XAER_DUPID = -8;    // the XID already exists
constexpr int XAER_OUTSIDE = -9;  // the resource manager is doing work outside the transaction

#endif
